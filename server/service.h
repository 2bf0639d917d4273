#pragma once
// The remote data module "Pla04100.rdmServTran": the methods the transported-services
// screen and the calculation dialog call by name, and the history of changes the print module
// reads. It keeps no state between calls, so any number of servers can serve one database.

#include "callcontext.h"
#include "settings.h"

#include <protocol/packet.h>
#include <protocol/value.h>

#include <QDate>
#include <memory>

namespace server {

class Database;
class Arguments;
class OperatorAccess;
class SideReader;
struct LabelKey;

class ServTranService {
public:
    static QString serverName() { return QStringLiteral("Pla04100.rdmServTran"); }

    // The largest request frame the server reads; a larger one closes its connection. Each method
    // has its own, smaller limit (a fault), far below the wire's frame limit.
    static constexpr quint32 kMaxRequestFrame = 16u * 1024u * 1024u;
    static constexpr qsizetype kMaxSmallRequest = 64 * 1024;
    static constexpr qsizetype kMaxChangeLogRequest = 8 * 1024 * 1024;
    // Rows one change log may hold: twice the largest day the screen loads.
    static constexpr qsizetype kMaxChangeLogRows = 20000;
    // One page of a day's history (GetHistorico): at most so many entries and about so much text.
    static constexpr int kHistoryPageRows = 2000;
    static constexpr qsizetype kHistoryPageBytes = 4 * 1024 * 1024;

    explicit ServTranService(Database &db, ServiceSettings settings = {});
    ~ServTranService();
    // A reader beside this one's thread that reads part of a large reply at the same time (SQLite).
    void readBesideWith(SideReader *side) { m_side = side; }

    // One call of `requestBytes` bytes on the wire, made by the operator the context names. Never
    // throws: every failure becomes a fault or the method's own error answer. A call that names
    // a branch the operator may not use is a fault, and nothing is read or written.
    protocol::Reply call(const protocol::Request &request, const CallContext &context, qsizetype requestBytes = 0);
    // The same, from and to the payloads of frames.
    QByteArray handle(const QByteArray &requestPayload, const CallContext &context);
    // Whether a call of the method may run long (a recalculation over many days, a large save):
    // such calls never take the last free worker.
    static bool isLongCall(const QString &method);
    // Checks the password of the operator the context names (the hello's), answering as a call:
    // true, or a fault. Never throws.
    QByteArray signIn(const QString &password, const CallContext &context);
    // A reply as the payload of its frame.
    static QByteArray encode(const protocol::Reply &reply);
    // Methods that only read what the screens and the print module show, which a hot standby
    // may answer. GetSeqServTran is not one: its answer numbers the next write.
    static bool onlyReads(const QString &method);

    // A day of a service of a branch: the key every day-level method starts with.
    struct Day {
        QString branch;
        QString service;
        QDate date;
    };
    // A dish row as the labels know it: its key and the client, point and dish it is about.
    struct RowKey {
        QString branch, service;
        QDate date;
        QString diet, number, client, point, dish, dishOwner;
    };

private:
    // reading (readmethods.cpp)
    QVariant getDados(const QVariantList &args);
    QVariant getPadrao(const QVariantList &args);
    QVariant getServTran(const QVariantList &args);
    QVariant getEtiqueta(const QVariantList &args);
    QVariant getPtoEntrega(const QVariantList &args);
    QVariant pratoAux(const QVariantList &args);
    QVariant getDadosPrato(const QVariantList &args);
    QVariant getSeqServTran(const QVariantList &args);
    QVariant getHistorico(const QVariantList &args);   // history.cpp
    QVariant getEtiquetasImpressao(const QVariantList &args);
    // saving and deleting (savemethods.cpp)
    QVariant setServTran(const QVariantList &args);
    QVariant delServTran(const QVariantList &args);
    QVariant deletePrato(const QVariantList &args);
    // labels and calculation (labelmethods.cpp)
    QVariant calcEtiqueta(const QVariantList &args);
    QVariant calcServTrans(const QVariantList &args);
    // the containers' dispatch (dispatchmethods.cpp)
    QVariant setExpedicao(const QVariantList &args);
    QVariant getExpedicao(const QVariantList &args);
    // the containers' receipt at their delivery points, by their labels' links (receiptmethods.cpp)
    QVariant getRecebimento(const QVariantList &args);
    QVariant setRecebimento(const QVariantList &args);

    // Who makes the running call (valid only while a call runs).
    const CallContext &context() const { return *m_context; }
    // Throws Fault unless the running call's operator may use the branch.
    void allowBranch(const QString &branch);
    // The day arguments, after checking that the operator may use their branch.
    Day dayArguments(const Arguments &args);
    static QVariant pointsPacket(Database &db, const Day &day);
    static QVariant dishesPacket(Database &db, const Day &day);
    static QVariant labelsPacket(Database &db, const Day &day);
    static QVariant dinersPacket(Database &db, const Day &day);
    static const QList<protocol::PacketField> &printLabelFields();
    // The day's labels as they print, or only the one label given.
    QList<QList<QVariant>> printLabelRows(const Day &day, const LabelKey *only = nullptr);
    // GetExpedicao's packet: the day's containers, or the one label given.
    QVariant containersPacket(const Day &day, const LabelKey *only = nullptr);
    // The label a link's token names, once the caller may use its branch and the link still serves.
    LabelKey linkedLabel(const QString &token);
    void calculateDay(const QString &branch, const QString &service, QDate date);
    // `current`: the quantities of the row's labels, in label order, when the caller has read them
    void writeLabels(const RowKey &row, double fullCount, double fullQuantity, double partialCount,
                     double partialQuantity, const QList<double> *current = nullptr);

    struct Method;
    static const Method *findMethod(const QString &name);

    Database &m_db;
    const ServiceSettings m_settings;
    const CallContext *m_context = nullptr;
    std::unique_ptr<OperatorAccess> m_access;   // of the running call
    SideReader *m_side = nullptr;
};

} // namespace server
