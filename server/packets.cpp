#include "packets.h"

#include "database.h"

namespace server {

using protocol::FieldKind;
using protocol::PacketField;

protocol::DataPacket packetFromQuery(Query &query, const QList<PacketField> &fields)
{
    // Straight from the rows into the packet's bytes: a day holds tens of thousands of rows, and
    // a table of QVariants in between would cost more than reading them.
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
