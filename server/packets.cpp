#include "packets.h"

#include "database.h"
#include "sqliterows.h"

namespace server {

using protocol::FieldKind;
using protocol::PacketField;

namespace {

// SQLite's rows as they are kept: text as UTF-8 bytes, days as ISO text.
protocol::DataPacket packetFromSqlite(const Query &query, const QList<PacketField> &fields)
{
    SqliteRows rows(query);
    if (rows.columnCount() != fields.size())
        throw DatabaseError(QStringLiteral("Erro interno: a consulta tem %1 colunas para %2 campos.")
                                .arg(rows.columnCount())
                                .arg(fields.size()));
    protocol::PacketWriter packet(fields);
    QByteArray lastDay;
    QDateTime lastDate;
    while (rows.next()) {
        packet.startRow();
        for (int i = 0; i < fields.size(); ++i) {
            if (rows.isNull(i)) {
                packet.appendNull();
                continue;
            }
            switch (fields[i].kind) {
            case FieldKind::String:
                packet.appendText(rows.utf8(i));
                break;
            case FieldKind::Float:
                packet.appendNumber(rows.number(i));
                break;
            case FieldKind::DateTime: {
                const QByteArrayView day = rows.utf8(i);
                if (lastDate.isNull() || day != QByteArrayView(lastDay)) {   // a day's rows share their date
                    lastDay = day.toByteArray();
                    lastDate = protocol::wallClock(query.database().dateFromSql(QString::fromUtf8(day)));
                }
                packet.appendDateTime(lastDate);
                break;
            }
            }
        }
        packet.endRow();
    }
    return packet.finish();
}

protocol::DataPacket packetFromQtSql(Query &query, const QList<PacketField> &fields)
{
    query.exec();
    protocol::PacketWriter packet(fields);
    QVariant lastDay;
    QDateTime lastDate;
    while (query.next()) {
        packet.startRow();
        for (int i = 0; i < fields.size(); ++i) {
            const QVariant v = query.value(i);
            if (v.isNull()) {
                packet.appendNull();
                continue;
            }
            switch (fields[i].kind) {
            case FieldKind::String:
                packet.appendText(v.toString());
                break;
            case FieldKind::Float:
                packet.appendNumber(v.toDouble());
                break;
            case FieldKind::DateTime:
                if (v != lastDay) {   // a day's rows share their date
                    lastDay = v;
                    lastDate = protocol::wallClock(query.date(i));
                }
                packet.appendDateTime(lastDate);
                break;
            }
        }
        packet.endRow();
    }
    return packet.finish();
}

} // namespace

// Straight from the rows into the packet's bytes: a day holds tens of thousands of rows, and a
// table of QVariants in between would cost more than reading them.
protocol::DataPacket packetFromQuery(Query &query, const QList<PacketField> &fields)
{
    if (query.database().dialect() == Dialect::SQLite)
        return packetFromSqlite(query, fields);
    return packetFromQtSql(query, fields);
}

protocol::DataPacket packetOf(const QList<PacketField> &fields, const QList<QList<QVariant>> &rows)
{
    protocol::PacketContent content;
    content.fields = fields;
    for (const auto &values : rows)
        content.rows.append(protocol::PacketRow{values, protocol::RowChange::Unchanged, {}});
    return protocol::encodePacket(content);
}

QVariant packetValue(const protocol::DataPacket &packet)
{
    return QVariant::fromValue(packet);
}

} // namespace server
