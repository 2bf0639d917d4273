#include "value.h"

#include "cborcursor.h"
#include "cborwriter.h"

#include <QCborArray>
#include <QCborMap>
#include <QTimeZone>
#include <limits>

namespace protocol {

namespace {
const QString kServer = QStringLiteral("server");
const QString kMethod = QStringLiteral("method");
const QString kArgs = QStringLiteral("args");
const QString kValue = QStringLiteral("value");
const QString kRefs = QStringLiteral("refs");
const QString kFault = QStringLiteral("fault");
constexpr int kMaxDepth = 16;

QCborValue toCborAt(const QVariant &v, int depth)
{
    if (depth > kMaxDepth)
        throw PacketError(QStringLiteral("a value is nested too deeply"));
    if (!v.isValid() || v.isNull())
        return QCborValue(QCborValue::Null);
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return QCborValue(v.toBool());
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QCborValue(v.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return QCborValue(v.toDouble());
    case QMetaType::QString:
        return QCborValue(v.toString());
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        const QDateTime dt = v.metaType().id() == QMetaType::QDate ? wallClock(v.toDate()) : wallClock(v.toDateTime());
        return QCborValue(QCborTag(1), QCborValue(double(dt.toMSecsSinceEpoch()) / 1000.0));
    }
    case QMetaType::QVariantList: {
        QCborArray a;
        for (const QVariant &item : v.toList())
            a.append(toCborAt(item, depth + 1));
        return a;
    }
    case QMetaType::QVariantMap: {
        QCborMap m;
        const QVariantMap map = v.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            m.insert(it.key(), toCborAt(it.value(), depth + 1));
        return m;
    }
    default:
        break;
    }
    if (v.metaType() == QMetaType::fromType<DataPacket>())
        return QCborValue(QCborTag(kDataPacketTag), QCborValue(v.value<DataPacket>().bytes()));
    throw PacketError(QStringLiteral("a value of type %1 cannot be sent").arg(QString::fromLatin1(v.typeName())));
}

// The same encoding as toCborAt() followed by QCborValue::toCbor(), written straight into the
// message's bytes: a reply carries a day's packets, which a tree would copy twice more.
void writeAt(detail::CborWriter &w, const QVariant &v, int depth)
{
    if (depth > kMaxDepth)
        throw PacketError(QStringLiteral("a value is nested too deeply"));
    if (!v.isValid() || v.isNull()) {
        w.null();
        return;
    }
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        w.boolean(v.toBool());
        return;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        w.integer(v.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        w.real(v.toDouble());
        return;
    case QMetaType::QString:
        w.text(*static_cast<const QString *>(v.constData()));
        return;
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        // Qt's tree turns an epoch time into its extended date-time, written as tag 0 over ISO text
        const QDateTime dt = v.metaType().id() == QMetaType::QDate ? wallClock(v.toDate()) : wallClock(v.toDateTime());
        w.tag(0);
        w.text(dt.isValid() ? QDateTime::fromMSecsSinceEpoch(dt.toMSecsSinceEpoch(), Qt::UTC).toString(Qt::ISODateWithMs)
                            : QString());
        return;
    }
    case QMetaType::QVariantList: {
        const QVariantList &list = *static_cast<const QVariantList *>(v.constData());
        w.startArray(quint64(list.size()));
        for (const QVariant &item : list)
            writeAt(w, item, depth + 1);
        return;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap &map = *static_cast<const QVariantMap *>(v.constData());
        w.startMap(quint64(map.size()));
        for (auto it = map.begin(); it != map.end(); ++it) {
            w.text(it.key());
            writeAt(w, it.value(), depth + 1);
        }
        return;
    }
    default:
        break;
    }
    if (v.metaType() == QMetaType::fromType<DataPacket>()) {
        const QByteArray &bytes = static_cast<const DataPacket *>(v.constData())->bytes();
        w.tag(kDataPacketTag);
        w.bytes(bytes.constData(), bytes.size());
        return;
    }
    throw PacketError(QStringLiteral("a value of type %1 cannot be sent").arg(QString::fromLatin1(v.typeName())));
}

// `packets`: the data packets decodeMap() took out of the message, which its tree names by index.
QVariant fromCborAt(const QCborValue &c, int depth, const QList<QByteArray> *packets = nullptr)
{
    if (depth > kMaxDepth)
        throw PacketError(QStringLiteral("a value is nested too deeply"));
    switch (c.type()) {
    case QCborValue::Null:
    case QCborValue::Undefined:
        return QVariant();
    case QCborValue::False:
    case QCborValue::True:
        return c.toBool();
    case QCborValue::Integer:
        return double(c.toInteger());
    case QCborValue::Double:
        return c.toDouble();
    case QCborValue::String:
        return c.toString();
    case QCborValue::Array: {
        QVariantList list;
        for (const QCborValue &item : c.toArray())
            list.append(fromCborAt(item, depth + 1, packets));
        return list;
    }
    case QCborValue::Map: {
        QVariantMap map;
        const QCborMap m = c.toMap();
        for (auto it = m.begin(); it != m.end(); ++it) {
            if (!it.key().isString())
                throw PacketError(QStringLiteral("a map key must be text"));
            map.insert(it.key().toString(), fromCborAt(it.value(), depth + 1, packets));
        }
        return map;
    }
    case QCborValue::Tag: {
        const QCborValue inner = c.taggedValue();
        if (c.tag() == QCborTag(kDataPacketTag) && inner.isByteArray())
            return QVariant::fromValue(DataPacket(inner.toByteArray()));
        if (c.tag() == QCborTag(kDataPacketTag) && packets && inner.isInteger() && inner.toInteger() >= 0
            && inner.toInteger() < packets->size())
            return QVariant::fromValue(DataPacket(packets->at(qsizetype(inner.toInteger()))));
        if (c.tag() == QCborTag(1) && (inner.isDouble() || inner.isInteger())) {
            const double secs = inner.toDouble();
            if (!(secs > -1e13 && secs < 1e13))
                throw PacketError(QStringLiteral("a date-time is out of range"));
            return QDateTime::fromMSecsSinceEpoch(qint64(secs * 1000.0 + (secs < 0 ? -0.5 : 0.5)), Qt::UTC);
        }
        break;
    }
    case QCborValue::DateTime:
        return wallClock(c.toDateTime());
    default:
        break;
    }
    throw PacketError(QStringLiteral("a value of an unknown kind was received"));
}

// What a walk over a message found besides its count of values.
struct Scan {
    // Offsets of the integer -2^64 (major type 1, argument 2^64 - 1), which Qt's tree reads as 0.
    QList<qsizetype> minus2To64;
    // Where each data packet's item lies (the tag, then its byte string), in order: a reply's
    // packets are megabytes, which Qt's tree would copy in and out again.
    struct Packet {
        qsizetype itemStart, itemEnd, bytesStart, size;
    };
    QList<Packet> packets;
    bool packetsApart = true;   // false when a packet's tag holds anything but one definite byte string
};

// Walks one CBOR item without building it and takes each value it holds (nested ones included,
// a data packet as one) from `left`: Qt's tree of a message costs tens of bytes per value, so the
// count is known before the tree is built.
void countValues(detail::CborCursor &c, const char *base, int depth, qint64 &left, Scan &scan)
{
    using Type = detail::CborCursor::Type;
    if (depth > kMaxDepth + 2)
        throw PacketError(QStringLiteral("a value is nested too deeply"));
    if (--left < 0)
        throw PacketError(QStringLiteral("the message holds too many values"));
    const qsizetype start = c.offset(base);
    detail::CborCursor::Head h;
    if (!c.readHead(h))
        throw PacketError(QStringLiteral("malformed message: ") + QString::fromLatin1(c.error()));
    switch (h.type) {
    case Type::Text:
    case Type::Bytes:
        if (!c.skipString(h))
            throw PacketError(QStringLiteral("malformed message: ") + QString::fromLatin1(c.error()));
        return;
    case Type::Array:
    case Type::Map:
        for (qint64 i = 0; h.length < 0 || i < h.length; ++i) {
            if (h.length < 0 && c.peekBreak()) {
                c.skipBreak();
                return;
            }
            countValues(c, base, depth + 1, left, scan);
            if (h.type == Type::Map)
                countValues(c, base, depth + 1, left, scan);
        }
        return;
    case Type::Tag: {
        detail::CborCursor ahead = c;
        detail::CborCursor::Head inner;
        const bool packet = h.value == kDataPacketTag;
        const bool definiteBytes = packet && ahead.readHead(inner) && inner.type == Type::Bytes && inner.length >= 0;
        const qsizetype bytesStart = ahead.offset(base);
        countValues(c, base, depth + 1, left, scan);
        if (definiteBytes)
            scan.packets.append({start, c.offset(base), bytesStart, qsizetype(inner.length)});
        else if (packet)
            scan.packetsApart = false;
        return;
    }
    case Type::NegativeInt:
        if (h.value == std::numeric_limits<quint64>::max())
            scan.minus2To64.append(c.offset(base) - 9);   // always written in nine bytes
        return;
    case Type::Break:
        throw PacketError(QStringLiteral("malformed message: an unexpected break"));
    default:
        return;
    }
}

// A message's map, with its data packets apart: in the tree each is its tag over its index.
struct DecodedMap {
    QCborMap map;
    QList<QByteArray> packets;
};

DecodedMap decodeMap(const QByteArray &payload, qint64 maxValues)
{
    detail::CborCursor cursor(payload.constData(), payload.size());
    Scan scan;
    countValues(cursor, payload.constData(), 0, maxValues, scan);
    // -2^64 is exactly a double: the same value as a float64 item, also nine bytes, which the
    // tree reads right (as the packet decoder reads the integer).
    QByteArray bytes = payload;
    for (qsizetype at : std::as_const(scan.minus2To64))
        bytes.replace(at, 9, QByteArray::fromHex("fbc3f0000000000000"));
    DecodedMap decoded;
    if (scan.packetsApart && !scan.packets.isEmpty()) {
        QByteArray rest;
        {
            detail::CborWriter w(rest);
            qsizetype from = 0;
            for (const Scan::Packet &packet : std::as_const(scan.packets)) {
                w.encoded(bytes.constData() + from, packet.itemStart - from);
                w.tag(kDataPacketTag);
                w.unsignedInteger(quint64(decoded.packets.size()));
                decoded.packets.append(QByteArray(bytes.constData() + packet.bytesStart, packet.size));
                from = packet.itemEnd;
            }
            w.encoded(bytes.constData() + from, bytes.size() - from);
        }
        bytes = rest;
    }
    QCborParserError err;
    const QCborValue v = QCborValue::fromCbor(bytes, &err);
    if (err.error != QCborError::NoError)
        throw PacketError(QStringLiteral("malformed message: ") + err.errorString());
    if (!v.isMap())
        throw PacketError(QStringLiteral("malformed message: not a map"));
    decoded.map = v.toMap();
    return decoded;
}

QVariantList listOf(const QCborValue &v, const QString &what, const QList<QByteArray> &packets)
{
    if (!v.isArray())
        throw PacketError(QStringLiteral("malformed message: \"%1\" must be an array").arg(what));
    return fromCborAt(v, 0, &packets).toList();
}
} // namespace

QCborValue toCbor(const QVariant &value) { return toCborAt(value, 0); }
QVariant fromCbor(const QCborValue &value) { return fromCborAt(value, 0); }

QByteArray encodeRequest(const Request &request)
{
    QByteArray out;
    {
        detail::CborWriter w(out);
        w.startMap(3);
        w.text(kServer);
        w.text(request.server);
        w.text(kMethod);
        w.text(request.method);
        w.text(kArgs);
        writeAt(w, QVariant(request.args), 0);
    }
    return out;
}

Request decodeRequest(const QByteArray &payload)
{
    const DecodedMap decoded = decodeMap(payload, kMaxRequestValues);
    const QCborMap &m = decoded.map;
    if (!m.value(kServer).isString() || !m.value(kMethod).isString())
        throw PacketError(QStringLiteral("malformed request: no server or method name"));
    Request r;
    r.server = m.value(kServer).toString();
    r.method = m.value(kMethod).toString();
    r.args = listOf(m.value(kArgs), kArgs, decoded.packets);
    return r;
}

QString requestMethod(const QByteArray &payload)
{
    try {
        detail::CborCursor c(payload.constData(), payload.size());
        detail::CborCursor::Head h;
        if (!c.readHead(h) || h.type != detail::CborCursor::Type::Map || h.length < 0)
            return {};
        QByteArray scratch;
        Scan ignored;
        qint64 budget = kMaxRequestValues;
        for (qint64 i = 0; i < h.length; ++i) {
            detail::CborCursor::Head key;
            QByteArrayView text;
            if (!c.readHead(key) || key.type != detail::CborCursor::Type::Text || !c.readText(key, text, scratch))
                return {};
            if (text == QByteArrayView("method")) {
                detail::CborCursor::Head value;
                if (!c.readHead(value) || value.type != detail::CborCursor::Type::Text || !c.readText(value, text, scratch))
                    return {};
                return QString::fromUtf8(text);
            }
            countValues(c, payload.constData(), 1, budget, ignored);   // skips the value
        }
    } catch (const PacketError &) {
    }
    return {};
}

QByteArray encodeReply(const Reply &reply)
{
    QByteArray out;
    {
        detail::CborWriter w(out);
        if (reply.failed()) {
            w.startMap(1);
            w.text(kFault);
            w.text(reply.fault);
        } else {
            w.startMap(2);
            w.text(kValue);
            writeAt(w, reply.value, 0);
            w.text(kRefs);
            writeAt(w, QVariant(reply.refs), 0);
        }
    }
    return out;
}

Reply decodeReply(const QByteArray &payload)
{
    const DecodedMap decoded = decodeMap(payload, kMaxReplyValues);
    const QCborMap &m = decoded.map;
    Reply r;
    if (m.contains(kFault)) {
        r.fault = m.value(kFault).toString();
        if (r.fault.isEmpty())
            r.fault = QStringLiteral("the server reported an unnamed fault");
        return r;
    }
    if (!m.contains(kValue))
        throw PacketError(QStringLiteral("malformed reply: no value"));
    r.value = fromCborAt(m.value(kValue), 0, &decoded.packets);
    r.refs = listOf(m.value(kRefs), kRefs, decoded.packets);
    return r;
}

} // namespace protocol
