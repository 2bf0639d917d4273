#pragma once
// The module's typed view of the application server's remote data module rdmServTran: its
// thirteen methods with their argument lists, called by name through the screen's (or the
// dialog's) connection. Each answers the raw remote result; the callers check it as their
// handlers say (CheckResultServ, or the text convention of SetServTran and CalcEtiqueta).

#include <framework/netconnection.h>
#include <protocol/packet.h>

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace servtran {

inline constexpr const char *kServerName = "Pla04100.rdmServTran";

class ServTranServer {
public:
    explicit ServTranServer(TNetConnection *connection) : m_connection(connection) {}

    QVariant GetDados(const QString &CDFILIAL, const QString &CDSERVFILI, const QDateTime &DTSERVTRAN);
    QVariant GetPadrao(const QString &CDFILIAL, const QString &CDSERVFILI, const QDateTime &DTSERVTRAN);
    QVariant GetServTran(const QString &CDFILIAL, const QString &CDSERVFILI, const QDateTime &DTSERVTRAN);
    QVariant GetEtiqueta(const QString &CDFILIAL, const QString &CDSERVFILI, const QDateTime &DTSERVTRAN);
    QVariant GetPtoEntrega(const QString &CDFILIAL, const QString &CDDESTFILI, const QString &mode);
    QVariant PratoAux(const QString &CDPRATO, const QString &CDFILAUXPRAT, const QString &CDFILIAL,
                      const QString &CDSERVFILI, const QDateTime &DTSERVTRAN, const QString &CDCLIENTE,
                      const QString &CDDESTFILI);
    QVariant getDadosPrato(const QString &CDFILIAL, const QString &CDSERVFILI, const QString &CDPRATO,
                           const QString &CDFILAUXPRAT);
    QVariant GetSeqServTran(const QString &CDFILIAL, const QString &CDSERVFILI, const QDateTime &DTSERVTRAN,
                            const QString &CDDIETPADST);
    QVariant SetServTran(const protocol::DataPacket &delta);
    // Arguments 4, 10 and 12 to 15 are by reference: the server may overwrite them.
    QVariant CalcEtiqueta(const QString &CDFILIAL, const QString &CDSERVFILI, const QString &CDDESTFILI,
                          QString &NRSERVTRAN, const QString &CDCLIENTE, const QString &CDDIETPADST,
                          const QDateTime &DTSERVTRAN, const QString &CDFILAUXPRAT, const QString &CDPRATO,
                          double &fullNoSample, double QTCONTAIST, double &partialQuantity,
                          double &partialCountNoSample, double &fullWithSample, double &partialCountWithSample);
    QVariant DelServTran(const QString &CDFILIAL, const QString &CDSERVFILI, const QDateTime &DTSERVTRAN,
                         const QString &CDDESTFILI, const QString &CDCLIENTE);
    QVariant DeletePrato(const QString &CDFILAUXPRAT, const QString &CDPRATO, const QString &CDFILIAL,
                         const QString &CDSERVFILI, const QString &CDDESTFILI, const QString &CDCLIENTE,
                         const QDateTime &DTSERVTRAN);
    // The service list is by reference.
    QVariant CalcServTrans(const QString &branchList, QString &serviceList, const QDateTime &date,
                           const QDateTime &secondDate, const QString &operatorCode, const QDateTime &now);

private:
    QVariant call(const char *method, QVariantList &args);
    TNetConnection *m_connection;
};

// A data packet out of a checked payload: the payload itself, or element `index` of a packet
// array. Anything else is a server fault the user is told about.
protocol::DataPacket packetOf(const QVariant &payload);
protocol::DataPacket packetAt(const QVariant &payload, int index);

} // namespace servtran
