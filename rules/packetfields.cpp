#include "packetfields.h"

namespace rules {

using protocol::FieldKind;
using protocol::PacketField;

namespace {
PacketField text(const char *name, int size, bool readOnly = false)
{
    return {QLatin1String(name), FieldKind::String, size, false, readOnly};
}
PacketField number(const char *name) { return {QLatin1String(name), FieldKind::Float, 0, false, false}; }
PacketField dateTime(const char *name) { return {QLatin1String(name), FieldKind::DateTime, 0, false, false}; }
} // namespace

namespace fields {

const QList<PacketField> &padrao()
{
    static const QList<PacketField> f = {
        text("CDCLIENTE", 21),   text("NMRAZSOCCLIE", 50), text("CDDESTFILI", 3),   text("NMDESTFILI", 30),
        text("CDFILIAL", 4),     dateTime("DTSERVTRAN"),   text("CDSERVFILI", 5),   text("NRINSJURCLIE", 20),
        text("IDTPIJURCLIE", 1), number("QTCOMECLIST"),    number("QTEFETCLIST"),
    };
    return f;
}

const QList<PacketField> &servTran()
{
    static const QList<PacketField> f = {
        text("CDPRATO", 10),          text("NMPRATO", 40),         number("QTEFETCLIST"),
        number("QTCOMESTIST"),        number("QTTOTAPRATST"),      text("SGUNIDADE", 10),
        text("CDFILIAL", 4),          text("CDSERVFILI", 5),       dateTime("DTSERVTRAN"),
        text("CDFILAUXPRAT", 4),      number("QTCOMECLIST"),       number("QTPADRAOST"),
        number("QTCONTAIST"),         number("QTTOTACONTST"),      number("QTPARCPRATST"),
        number("QTCONTCOMPST"),       number("VRPECONSST"),        text("CDDESTFILI", 3),
        text("CDCLIENTE", 21),        text("CDDIETPADST", 4),      number("QTAMOSTRAST"),
        text("NRSERVTRAN", 10),       number("QTCONTCOMPSTCAMOS"), number("QTTOTACONTSTCAMOS"),
    };
    return f;
}

const QList<PacketField> &etiqueta()
{
    static const QList<PacketField> f = {
        text("CDFILAUXPRAT", 4), text("CDPRATO", 10),      text("CDFILIAL", 4),   text("CDSERVFILI", 5),
        dateTime("DTSERVTRAN"),  text("NRSEQUETIQTR", 4),  number("QTPRATETIQTR"), text("CDDESTFILI", 3),
        text("CDCLIENTE", 21),   text("NRSERVTRAN", 10),   text("CDDIETPADST", 4),
    };
    return f;
}

const QList<PacketField> &comenServ()
{
    static const QList<PacketField> f = {number("QTCOMESTICAR")};
    return f;
}

const QList<PacketField> &ptoEntrega()
{
    static const QList<PacketField> f = {text("CDDESTFILI", 3), text("NMDESTFILI", 30)};
    return f;
}

const QList<PacketField> &seqServTran()
{
    static const QList<PacketField> f = {text("SEQUSERV", 10, true)};
    return f;
}

const QList<PacketField> &dadosPrato()
{
    static const QList<PacketField> f = {number("QTPADRAO"), number("QTCONTAI"), number("QTAMOSTRAUN"),
                                         number("PERCENTUAL")};
    return f;
}

const QList<PacketField> &prato()
{
    static const QList<PacketField> f = {number("VRARREDTRANS"), text("SGUNIDADE", 10)};
    return f;
}

const QList<PacketField> &unidMediFili()
{
    static const QList<PacketField> f = {number("QTAMOSTRAUN")};
    return f;
}

const QList<PacketField> &percent()
{
    static const QList<PacketField> f = {number("VRPEMINCONT")};
    return f;
}

// One row per dish row a write included (I), changed (A) or deleted (E). DSANTES and DSDEPOIS
// hold the columns as JSON: every column of an included or deleted row, the changed ones otherwise.
const QList<PacketField> &historico()
{
    static const QList<PacketField> f = {
        dateTime("DTHRALTERACAO"), text("CDOPERADOR", 8),    text("NMOPERADOR", 40), text("DSENDERECO", 64),
        text("NMMETODO", 20),      text("IDALTERACAO", 1),   text("CDDIETPADST", 4), text("NRSERVTRAN", 10),
        text("CDCLIENTE", 21),     text("NMRAZSOCCLIE", 50), text("CDDESTFILI", 3),  text("NMDESTFILI", 30),
        text("CDPRATO", 10),       text("NMPRATO", 40),      text("DSANTES", 8000),  text("DSDEPOIS", 8000),
        number("NRHISTSERVTRAN"),   // the entry's number: the next page starts after the last one read
    };
    return f;
}

} // namespace fields

} // namespace rules
