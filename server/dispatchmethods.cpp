// The containers' dispatch at the kitchen: the temperature each container's label leaves with
// (SetExpedicao) and the day's containers with their dispatch and receipt (GetExpedicao).

#include "arguments.h"
#include "database.h"
#include "labelentries.h"
#include "packets.h"
#include "service.h"

#include <protocol/remoteresult.h>

#include <QJsonObject>

namespace server {

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
    const double stored = storedCelsius(celsius);

    Transaction transaction(m_db);
    const LabelOwner owner = labelOwner(
        m_db, key, QStringLiteral("Etiqueta %1 do serviço transportado %2 não encontrada.").arg(key.label, key.number));

    Query last(m_db, QStringLiteral("SELECT NRSEQEXPED, VRTEMPERATURA FROM EXPESERVTRAN WHERE ") + labelCondition()
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
    recordLabelChange(m_db, context(), QStringLiteral("SetExpedicao"), key, owner, was, is);
    transaction.commit();
    return protocol::resultOk(true);
}

// The day's containers as their labels print, each with its latest dispatch entry (temperature,
// when, by whom, the reason of a correction), when it left, how many entries it has, and its
// receipt at the delivery point (when it arrived, the latest temperature, receiver and reason, how
// many entries); none when not dispatched or not received.
QVariant ServTranService::getExpedicao(const QVariantList &list)
{
    return protocol::resultOk(containersPacket(dayArguments(Arguments(QStringLiteral("GetExpedicao"), list, 3))));
}

QVariant ServTranService::containersPacket(const Day &day, const LabelKey *only)
{
    using protocol::FieldKind;
    const auto field = [](const char *name, FieldKind kind, int size = 0) {
        return protocol::PacketField{QLatin1String(name), kind, size, false, false};
    };
    QList<protocol::PacketField> fields = printLabelFields();
    fields << field("VRTEMPERATURA", FieldKind::Float) << field("DTHREXPEDICAO", FieldKind::DateTime)
           << field("CDOPERADOR", FieldKind::String, 8) << field("DSMOTIVO", FieldKind::String, kMaxReason)
           << field("QTEXPEDICOES", FieldKind::Float) << field("DTHRSAIDA", FieldKind::DateTime)
           << field("VRTEMPRECEB", FieldKind::Float) << field("DTHRRECEBIMENTO", FieldKind::DateTime)
           << field("NMRECEBEDOR", FieldKind::String, 60) << field("DSMOTIVORECEB", FieldKind::String, kMaxReason)
           << field("QTRECEBIMENTOS", FieldKind::Float) << field("QTETIQUETAS", FieldKind::Float);
    QList<QList<QVariant>> rows = printLabelRows(day, only);

    // The entries of the day, or of the one label, in their order: later ones replace earlier
    // ones, the first one's moment kept (when the container left, when it arrived).
    const auto entries = [&](const char *columns, const char *table, const char *order) {
        const QString where = only ? labelCondition()
                                   : QStringLiteral("CDFILIAL = :CDFILIAL AND CDSERVFILI = :CDSERVFILI "
                                                    "AND DTSERVTRAN = :DTSERVTRAN");
        Query query(m_db, QStringLiteral("SELECT CDDIETPADST, NRSERVTRAN, NRSEQUETIQTR, %1 FROM %2 WHERE %3 ORDER BY %4")
                              .arg(QLatin1String(columns), QLatin1String(table), where, QLatin1String(order)));
        if (only)
            bindLabel(query, *only);
        else
            query.bind(QStringLiteral("CDFILIAL"), day.branch)
                .bind(QStringLiteral("CDSERVFILI"), day.service)
                .bindDate(QStringLiteral("DTSERVTRAN"), day.date);
        query.exec();
        return query;
    };
    const auto labelOf = [](const QVariant &diet, const QVariant &number, const QVariant &label) {
        return QStringLiteral("%1|%2|%3").arg(diet.toString(), number.toString(), label.toString());
    };
    const auto wallClock = [this](const QVariant &stored) { return m_db.dateTimeFromSql(stored).toLocalTime(); };

    QHash<QString, QList<QVariant>> dispatchOf;
    Query dispatch = entries("VRTEMPERATURA, DTHREXPEDICAO, CDOPERADOR, DSMOTIVO, NRSEQEXPED", "EXPESERVTRAN", "NRSEQEXPED");
    while (dispatch.next()) {
        QList<QVariant> &entry = dispatchOf[labelOf(dispatch.value(0), dispatch.value(1), dispatch.value(2))];
        const QDateTime when = wallClock(dispatch.value(4));
        const QVariant left = entry.isEmpty() ? QVariant(when) : entry.at(5);
        entry = {dispatch.value(3), when, dispatch.value(5), dispatch.value(6), double(dispatch.count(7)), left};
    }
    QHash<QString, QList<QVariant>> receiptOf;
    Query receipt = entries("VRTEMPERATURA, DTHRRECEBIMENTO, NMRECEBEDOR, DSMOTIVO, NRSEQRECEB", "RECESERVTRAN", "NRSEQRECEB");
    while (receipt.next()) {
        QList<QVariant> &entry = receiptOf[labelOf(receipt.value(0), receipt.value(1), receipt.value(2))];
        const QVariant arrived = entry.isEmpty() ? QVariant(wallClock(receipt.value(4))) : entry.at(1);
        entry = {receipt.value(3), arrived, receipt.value(5), receipt.value(6), double(receipt.count(7))};
    }

    const QVariant noNumber(QMetaType::fromType<double>()), noMoment(QMetaType::fromType<QDateTime>()),
        noText(QMetaType::fromType<QString>());
    const QList<QVariant> notDispatched = {noNumber, noMoment, noText, noText, 0.0, noMoment};
    const QList<QVariant> notReceived = {noNumber, noMoment, noText, noText, 0.0};
    // How many labels the container's dish row has, for "Etiqueta i de n": counted among the day's
    // rows, or for one label read from its row's labels.
    QHash<QString, int> labelsOfRow;
    const auto rowOf = [](const QVariant &diet, const QVariant &number) -> QString {
        return diet.toString() + u'|' + number.toString();
    };
    if (only) {
        Query count(m_db, QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE CDFILIAL = :CDFILIAL AND CDSERVFILI = "
                                         ":CDSERVFILI AND DTSERVTRAN = :DTSERVTRAN AND CDDIETPADST = :CDDIETPADST "
                                         "AND NRSERVTRAN = :NRSERVTRAN"));
        count.bind(QStringLiteral("CDFILIAL"), only->branch)
            .bind(QStringLiteral("CDSERVFILI"), only->service)
            .bindDate(QStringLiteral("DTSERVTRAN"), only->date)
            .bind(QStringLiteral("CDDIETPADST"), only->diet)
            .bind(QStringLiteral("NRSERVTRAN"), only->number);
        count.exec();
        labelsOfRow.insert(rowOf(only->diet, only->number), count.next() ? int(count.count(0)) : 0);
    } else {
        for (const QList<QVariant> &row : rows)
            ++labelsOfRow[rowOf(row[0], row[1])];
    }
    for (QList<QVariant> &row : rows) {
        const QString label = labelOf(row[0], row[1], row[2]);
        const double labels = labelsOfRow.value(rowOf(row[0], row[1]));
        row << dispatchOf.value(label, notDispatched) << receiptOf.value(label, notReceived) << labels;
    }
    return packetValue(packetOf(fields, rows));
}

} // namespace server
