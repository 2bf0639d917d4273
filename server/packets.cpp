#include "packets.h"

#include "database.h"

namespace server {

using protocol::FieldKind;
using protocol::PacketField;

protocol::DataPacket packetFromQuery(Query &query, const QList<PacketField> &fields)
{
    protocol::PacketContent content;
    content.fields = fields;
    while (query.next()) {
        protocol::PacketRow row;
        row.values.reserve(fields.size());
        for (int i = 0; i < fields.size(); ++i) {
            const QVariant v = query.value(i);
            if (v.isNull()) {
                row.values.append(QVariant());
                continue;
            }
            switch (fields[i].kind) {
            case FieldKind::String:
                row.values.append(v.toString());
                break;
            case FieldKind::Float:
                row.values.append(v.toDouble());
                break;
            case FieldKind::DateTime:
                row.values.append(protocol::wallClock(query.date(i)));
                break;
            }
        }
        content.rows.append(std::move(row));
    }
    return protocol::encodePacket(content);
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
