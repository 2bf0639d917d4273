#pragma once
// The fields of every data packet the application server sends to the transported-services
// screen: names, kinds and text sizes, in column order. The server fills its packets with them
// and the screen defines its client datasets from them, so the two cannot drift apart.

#include <protocol/packet.h>

#include <QList>

namespace rules::fields {

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
const QList<protocol::PacketField> &historico();     // history of changes of a day's dish rows

} // namespace rules::fields
