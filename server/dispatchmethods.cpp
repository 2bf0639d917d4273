// The containers' dispatch at the kitchen: the temperature each container's label leaves with
// (SetExpedicao) and the day's containers with their dispatch (GetExpedicao).

#include "arguments.h"
#include "database.h"
#include "packets.h"
#include "service.h"

#include <protocol/remoteresult.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <cmath>

namespace server {

namespace {

// Beyond these no thermometer of a kitchen reads: a typing slip, not a temperature.
constexpr double kMinCelsius = -60;
constexpr double kMaxCelsius = 130;
constexpr int kMaxReason = 200;

const QString kLabelCondition = QStringLiteral(
    "CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI AND DTSERVTRAN = :DTSERVTRAN "
    "AND CDDIETPADST = :CDDIETPADST AND NRSERVTRAN = :NRSERVTRAN AND NRSEQUETIQTR = :NRSEQUETIQTR");

struct LabelKey {
    QString branch, service;
    QDate date;
    QString diet, number, label;
};

void bindLabel(Query &query, const LabelKey &key)
{
    query.bind(QStringLiteral("CDFILIAL"), key.branch)
        .bind(QStringLiteral("CDSERVFILI"), key.service)
        .bindDate(QStringLiteral("DTSERVTRAN"), key.date)
        .bind(QStringLiteral("CDDIETPADST"), key.diet)
        .bind(QStringLiteral("NRSERVTRAN"), key.number)
        .bind(QStringLiteral("NRSEQUETIQTR"), key.label);
}

QString celsiusText(double value)
{
    return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(value, 'f', 1) + QStringLiteral(" °C");
}

} // namespace

// Records one container's dispatch: the label's first entry, or with a reason a correction after
// it. Nothing is overwritten; each entry is also a change of the row in the history of changes,
// its dispatch value ("EXPEDICAO <label>") going from the last temperature to the new one.
QVariant ServTranService::setExpedicao(const QVariantList &list)
{
    const Arguments args(QStringLiteral("SetExpedicao"), list, 8);
    LabelKey key;
    key.branch = args.text(0, "CDFILIAL", 4);
    allowBranch(key.branch);
    key.service = args.text(1, "CDSERVFILI", 5);
    key.date = args.date(2, "DTSERVTRAN");
    key.diet = args.text(3, "CDDIETPADST", 4);
    key.number = args.text(4, "NRSERVTRAN", 10);
    key.label = args.text(5, "NRSEQUETIQTR", 4);
    const double celsius = args.number(6, "temperatura");
    const QString reason = args.text(7, "motivo", kMaxReason).trimmed();
    if (!std::isfinite(celsius) || celsius < kMinCelsius || celsius > kMaxCelsius)
        throw Refusal(QStringLiteral("A temperatura deve estar entre %1 e %2.")
                          .arg(celsiusText(kMinCelsius), celsiusText(kMaxCelsius)));
    const double stored = std::round(celsius * 10) / 10;

    Transaction transaction(m_db);
    Query label(m_db, QStringLiteral(
        "SELECT E.CDCLIENTE, E.CDDESTFILI, E.CDPRATO, E.CDFILAUXPRAT FROM ETIQSERVTRAN E WHERE ") + kLabelCondition);
    bindLabel(label, key);
    label.exec();
    if (!label.next())
        throw Refusal(QStringLiteral("Etiqueta %1 do serviço transportado %2 não encontrada.").arg(key.label, key.number));
    const QStringList rowNames = {label.text(0), label.text(1), label.text(2), label.text(3)};

    Query last(m_db, QStringLiteral(
        "SELECT NRSEQEXPED, VRTEMPERATURA FROM EXPESERVTRAN WHERE ") + kLabelCondition
                         + QStringLiteral(" ORDER BY NRSEQEXPED DESC LIMIT 1"));
    bindLabel(last, key);
    last.exec();
    const bool dispatched = last.next();
    const int entry = dispatched ? int(last.count(0)) + 1 : 1;
    const double before = dispatched ? last.value(1).toDouble() : 0;   // the last entry's
    if (dispatched && reason.isEmpty())
        throw Refusal(QStringLiteral("A etiqueta %1 já foi expedida a %2; para corrigir, informe o motivo.")
                          .arg(key.label, celsiusText(before)));
    if (!dispatched && !reason.isEmpty())
        throw Refusal(QStringLiteral("A etiqueta %1 ainda não foi expedida; não há o que corrigir.").arg(key.label));

    Query insert(m_db, QStringLiteral(
        "INSERT INTO EXPESERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, NRSEQUETIQTR, NRSEQEXPED, "
        "VRTEMPERATURA, DTHREXPEDICAO, CDOPERADOR, DSENDERECO, DSMOTIVO) VALUES (:CDFILIAL, :CDSERVFILI, :DTSERVTRAN, "
        ":CDDIETPADST, :NRSERVTRAN, :NRSEQUETIQTR, :NRSEQEXPED, :VRTEMPERATURA, :DTHREXPEDICAO, :CDOPERADOR, "
        ":DSENDERECO, :DSMOTIVO)"));
    bindLabel(insert, key);
    insert.bind(QStringLiteral("NRSEQEXPED"), entry)
        .bind(QStringLiteral("VRTEMPERATURA"), stored)
        .bind(QStringLiteral("DTHREXPEDICAO"), m_db.toSql(QDateTime::currentDateTimeUtc()))
        .bind(QStringLiteral("CDOPERADOR"), context().operatorCode)
        .bind(QStringLiteral("DSENDERECO"), context().peerAddress.left(64))
        .bind(QStringLiteral("DSMOTIVO"), reason.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(reason));
    insert.exec();

    // The history of changes: the row's dispatch value of this label, before and after.
    const QString column = QStringLiteral("EXPEDICAO ") + key.label;
    QJsonObject was, is;
    if (dispatched)
        was.insert(column, before);
    is.insert(column, stored);
    if (!reason.isEmpty())
        is.insert(QStringLiteral("MOTIVO"), reason);
    const auto json = [](const QJsonObject &o) {
        return o.isEmpty() ? QVariant(QMetaType::fromType<QString>())
                           : QVariant(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
    };
    Query history(m_db, QStringLiteral(
        "INSERT INTO HISTSERVTRAN (DTHRALTERACAO, CDOPERADOR, DSENDERECO, NMMETODO, IDALTERACAO, CDFILIAL, CDSERVFILI, "
        "DTSERVTRAN, CDDIETPADST, NRSERVTRAN, CDCLIENTE, CDDESTFILI, CDPRATO, CDFILAUXPRAT, DSANTES, DSDEPOIS) VALUES "
        "(:DTHRALTERACAO, :CDOPERADOR, :DSENDERECO, 'SetExpedicao', 'A', :CDFILIAL, :CDSERVFILI, :DTSERVTRAN, "
        ":CDDIETPADST, :NRSERVTRAN, :CDCLIENTE, :CDDESTFILI, :CDPRATO, :CDFILAUXPRAT, :DSANTES, :DSDEPOIS)"));
    history.bind(QStringLiteral("DTHRALTERACAO"), m_db.toSql(QDateTime::currentDateTimeUtc()))
        .bind(QStringLiteral("CDOPERADOR"), context().operatorCode)
        .bind(QStringLiteral("DSENDERECO"), context().peerAddress.left(64))
        .bind(QStringLiteral("CDFILIAL"), key.branch)
        .bind(QStringLiteral("CDSERVFILI"), key.service)
        .bindDate(QStringLiteral("DTSERVTRAN"), key.date)
        .bind(QStringLiteral("CDDIETPADST"), key.diet)
        .bind(QStringLiteral("NRSERVTRAN"), key.number)
        .bind(QStringLiteral("CDCLIENTE"), rowNames[0])
        .bind(QStringLiteral("CDDESTFILI"), rowNames[1])
        .bind(QStringLiteral("CDPRATO"), rowNames[2])
        .bind(QStringLiteral("CDFILAUXPRAT"), rowNames[3])
        .bind(QStringLiteral("DSANTES"), json(was))
        .bind(QStringLiteral("DSDEPOIS"), json(is));
    history.exec();
    transaction.commit();
    return protocol::resultOk(true);
}

// The day's containers as their labels print, each with its latest dispatch entry (temperature,
// when, by whom, the reason of a correction) and how many entries it has; none when not dispatched.
QVariant ServTranService::getExpedicao(const QVariantList &list)
{
    const Day day = dayArguments(Arguments(QStringLiteral("GetExpedicao"), list, 3));
    using protocol::FieldKind;
    QList<protocol::PacketField> fields = printLabelFields();
    fields << protocol::PacketField{QLatin1String("VRTEMPERATURA"), FieldKind::Float, 0, false, false}
           << protocol::PacketField{QLatin1String("DTHREXPEDICAO"), FieldKind::DateTime, 0, false, false}
           << protocol::PacketField{QLatin1String("CDOPERADOR"), FieldKind::String, 8, false, false}
           << protocol::PacketField{QLatin1String("DSMOTIVO"), FieldKind::String, kMaxReason, false, false}
           << protocol::PacketField{QLatin1String("QTEXPEDICOES"), FieldKind::Float, 0, false, false};
    QList<QList<QVariant>> rows = printLabelRows(day);

    Query latest(m_db, QStringLiteral(
        "SELECT X.CDDIETPADST, X.NRSERVTRAN, X.NRSEQUETIQTR, X.VRTEMPERATURA, X.DTHREXPEDICAO, X.CDOPERADOR, "
        "       X.DSMOTIVO, X.NRSEQEXPED "
        "FROM EXPESERVTRAN X "
        "WHERE X.CDFILIAL = :CDFILIAL AND X.CDSERVFILI = :CDSERVFILI AND X.DTSERVTRAN = :DTSERVTRAN "
        "ORDER BY X.NRSEQEXPED"));
    latest.bind(QStringLiteral("CDFILIAL"), day.branch)
        .bind(QStringLiteral("CDSERVFILI"), day.service)
        .bindDate(QStringLiteral("DTSERVTRAN"), day.date);
    latest.exec();
    QHash<QString, QList<QVariant>> dispatchOf;   // later entries replace earlier ones
    while (latest.next()) {
        const QDateTime when = m_db.dateTimeFromSql(latest.value(4)).toLocalTime();
        dispatchOf.insert(latest.text(0) + QLatin1Char('|') + latest.text(1) + QLatin1Char('|') + latest.text(2),
                          {latest.value(3), when, latest.value(5), latest.value(6), double(latest.count(7))});
    }
    const QList<QVariant> none = {QVariant(QMetaType::fromType<double>()), QVariant(QMetaType::fromType<QDateTime>()),
                                  QVariant(QMetaType::fromType<QString>()), QVariant(QMetaType::fromType<QString>()),
                                  0.0};
    for (QList<QVariant> &row : rows)
        row << dispatchOf.value(row[0].toString() + QLatin1Char('|') + row[1].toString() + QLatin1Char('|') + row[2].toString(),
                                none);
    return protocol::resultOk(packetValue(packetOf(fields, rows)));
}

} // namespace server
