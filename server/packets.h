#pragma once
// The data packets the server sends: their fields are the ones the screen's client datasets are
// defined from, filled from a query whose columns come in the same order.

#include <protocol/packet.h>
#include <rules/packetfields.h>

#include <QList>

namespace server {

class Database;
class Query;

// The packets' fields, as the screen knows them too.
namespace fields = rules::fields;

// Runs a query whose values are bound and reads every row into a packet; column i fills field i.
protocol::DataPacket packetFromQuery(Query &query, const QList<protocol::PacketField> &fields);
// A packet of the given rows (values already in packet form).
protocol::DataPacket packetOf(const QList<protocol::PacketField> &fields, const QList<QList<QVariant>> &rows);
// The value a packet array element carries.
QVariant packetValue(const protocol::DataPacket &packet);

} // namespace server
