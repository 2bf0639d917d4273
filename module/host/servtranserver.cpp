#include "servtranserver.h"

#include <toolkit/error.h>

namespace servtran {

namespace {
QVariant date(const QDateTime &dt)
{
    return dt.isValid() ? QVariant(protocol::wallClock(dt)) : QVariant();
}
} // namespace

QVariant ServTranServer::call(const char *method, QVariantList &args)
{
    return m_connection->call(QString::fromLatin1(method), args);
}

QVariant ServTranServer::GetDados(const QString &CDFILIAL, const QString &CDSERVFILI, const QDateTime &DTSERVTRAN)
{
    QVariantList args{CDFILIAL, CDSERVFILI, date(DTSERVTRAN)};
    return call("GetDados", args);
}

QVariant ServTranServer::GetPadrao(const QString &CDFILIAL, const QString &CDSERVFILI, const QDateTime &DTSERVTRAN)
{
    QVariantList args{CDFILIAL, CDSERVFILI, date(DTSERVTRAN)};
    return call("GetPadrao", args);
}

QVariant ServTranServer::GetServTran(const QString &CDFILIAL, const QString &CDSERVFILI, const QDateTime &DTSERVTRAN)
{
    QVariantList args{CDFILIAL, CDSERVFILI, date(DTSERVTRAN)};
    return call("GetServTran", args);
}

QVariant ServTranServer::GetEtiqueta(const QString &CDFILIAL, const QString &CDSERVFILI, const QDateTime &DTSERVTRAN)
{
    QVariantList args{CDFILIAL, CDSERVFILI, date(DTSERVTRAN)};
    return call("GetEtiqueta", args);
}

QVariant ServTranServer::GetPtoEntrega(const QString &CDFILIAL, const QString &CDDESTFILI, const QString &mode)
{
    QVariantList args{CDFILIAL, CDDESTFILI, mode};
    return call("GetPtoEntrega", args);
}

QVariant ServTranServer::PratoAux(const QString &CDPRATO, const QString &CDFILAUXPRAT, const QString &CDFILIAL,
                                  const QString &CDSERVFILI, const QDateTime &DTSERVTRAN, const QString &CDCLIENTE,
                                  const QString &CDDESTFILI)
{
    QVariantList args{CDPRATO, CDFILAUXPRAT, CDFILIAL, CDSERVFILI, date(DTSERVTRAN), CDCLIENTE, CDDESTFILI};
    return call("PratoAux", args);
}

QVariant ServTranServer::getDadosPrato(const QString &CDFILIAL, const QString &CDSERVFILI, const QString &CDPRATO,
                                       const QString &CDFILAUXPRAT)
{
    QVariantList args{CDFILIAL, CDSERVFILI, CDPRATO, CDFILAUXPRAT};
    return call("getDadosPrato", args);
}

QVariant ServTranServer::GetSeqServTran(const QString &CDFILIAL, const QString &CDSERVFILI, const QDateTime &DTSERVTRAN,
                                        const QString &CDDIETPADST)
{
    QVariantList args{CDFILIAL, CDSERVFILI, date(DTSERVTRAN), CDDIETPADST};
    return call("GetSeqServTran", args);
}

QVariant ServTranServer::SetServTran(const protocol::DataPacket &delta)
{
    QVariantList args{QVariant::fromValue(delta)};
    return call("SetServTran", args);
}

QVariant ServTranServer::CalcEtiqueta(const QString &CDFILIAL, const QString &CDSERVFILI, const QString &CDDESTFILI,
                                      QString &NRSERVTRAN, const QString &CDCLIENTE, const QString &CDDIETPADST,
                                      const QDateTime &DTSERVTRAN, const QString &CDFILAUXPRAT, const QString &CDPRATO,
                                      double &fullNoSample, double QTCONTAIST, double &partialQuantity,
                                      double &partialCountNoSample, double &fullWithSample,
                                      double &partialCountWithSample)
{
    QVariantList args{CDFILIAL, CDSERVFILI,   CDDESTFILI, NRSERVTRAN,      CDCLIENTE,
                      CDDIETPADST, date(DTSERVTRAN), CDFILAUXPRAT, CDPRATO, fullNoSample,
                      QTCONTAIST, partialQuantity, partialCountNoSample, fullWithSample, partialCountWithSample};
    const QVariant result = call("CalcEtiqueta", args);
    NRSERVTRAN = args.at(3).toString();
    fullNoSample = args.at(9).toDouble();
    partialQuantity = args.at(11).toDouble();
    partialCountNoSample = args.at(12).toDouble();
    fullWithSample = args.at(13).toDouble();
    partialCountWithSample = args.at(14).toDouble();
    return result;
}

QVariant ServTranServer::DelServTran(const QString &CDFILIAL, const QString &CDSERVFILI, const QDateTime &DTSERVTRAN,
                                     const QString &CDDESTFILI, const QString &CDCLIENTE)
{
    QVariantList args{CDFILIAL, CDSERVFILI, date(DTSERVTRAN), CDDESTFILI, CDCLIENTE};
    return call("DelServTran", args);
}

QVariant ServTranServer::DeletePrato(const QString &CDFILAUXPRAT, const QString &CDPRATO, const QString &CDFILIAL,
                                     const QString &CDSERVFILI, const QString &CDDESTFILI, const QString &CDCLIENTE,
                                     const QDateTime &DTSERVTRAN)
{
    QVariantList args{CDFILAUXPRAT, CDPRATO, CDFILIAL, CDSERVFILI, CDDESTFILI, CDCLIENTE, date(DTSERVTRAN)};
    return call("DeletePrato", args);
}

QVariant ServTranServer::CalcServTrans(const QString &branchList, QString &serviceList, const QDateTime &date1,
                                       const QDateTime &secondDate, const QString &operatorCode, const QDateTime &now)
{
    QVariantList args{branchList, serviceList, date(date1), date(secondDate), operatorCode, date(now)};
    const QVariant result = call("CalcServTrans", args);
    serviceList = args.at(1).toString();
    return result;
}

protocol::DataPacket packetOf(const QVariant &payload)
{
    if (payload.metaType() != QMetaType::fromType<protocol::DataPacket>())
        throw toolkit::Error(QStringLiteral("O servidor de aplicação não devolveu um pacote de dados."));
    return payload.value<protocol::DataPacket>();
}

protocol::DataPacket packetAt(const QVariant &payload, int index)
{
    const QVariantList array = payload.toList();
    if (payload.metaType().id() != QMetaType::QVariantList || index < 0 || index >= array.size())
        throw toolkit::Error(QStringLiteral("O servidor de aplicação devolveu %1 pacotes de dados; esperava o de número %2.")
                                 .arg(payload.metaType().id() == QMetaType::QVariantList ? array.size() : 0)
                                 .arg(index + 1));
    return packetOf(array.at(index));
}

} // namespace servtran
