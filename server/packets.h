#pragma once
// The data packets the server sends: their fields carry exactly the names, kinds and sizes of the
// screen's client datasets, and are filled from a query whose columns come in the same order.

#include <protocol/packet.h>

#include <QList>

namespace server {

class Database;
class Query;

namespace fields {
const QList<protocol::PacketField> &padrao();        // delivery points of a day (cdsPadrao)
const QList<protocol::PacketField> &servTran();      // dish rows (cdsServTran)
const QList<protocol::PacketField> &etiqueta();      // labels (cdsEtiqueta)
const QList<protocol::PacketField> &comenServ();     // diners of the service (cdsComenServ)
const QList<protocol::PacketField> &ptoEntrega();    // delivery points of a branch (cdsPtoEntrega)
const QList<protocol::PacketField> &seqServTran();   // highest row number (cdsSeqServTran)
const QList<protocol::PacketField> &dadosPrato();    // registered data of a dish (cdsDadosPrato)
const QList<protocol::PacketField> &prato();         // rounding step and unit (cdsPrato)
const QList<protocol::PacketField> &unidMediFili();  // sample of the unit in the branch (cdsUnidMediFili)
const QList<protocol::PacketField> &percent();       // default minimum fill (cdsPercent)
} // namespace fields

// Reads every row of an executed query into a packet; column i fills field i.
protocol::DataPacket packetFromQuery(Query &query, const QList<protocol::PacketField> &fields);
// A packet of the given rows (values already in packet form).
protocol::DataPacket packetOf(const QList<protocol::PacketField> &fields, const QList<QList<QVariant>> &rows);
// The value a packet array element carries.
QVariant packetValue(const protocol::DataPacket &packet);

} // namespace server
