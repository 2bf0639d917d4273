#pragma once
// Values that travel in calls and replies: null, booleans, numbers, text, date-times, data
// packets, arrays of values (a packet array is one) and maps with text keys.

#include "packet.h"

#include <QCborValue>
#include <QVariant>

namespace protocol {

// CBOR tag that marks a byte string as an encoded data packet.
inline constexpr quint64 kDataPacketTag = 1635017060; // 0x61746164, "atad" in ASCII; unassigned by IANA

QCborValue toCbor(const QVariant &value);     // throws PacketError for a kind it cannot carry
QVariant fromCbor(const QCborValue &value);   // throws PacketError for what it does not know

// A request and its reply, as whole frames' payloads.
struct Request {
    QString server;
    QString method;
    QVariantList args;
};

struct Reply {
    QVariant value;
    QVariantList refs;     // every argument as the server left it (by-reference arguments)
    QString fault;         // non-empty: the call itself failed; value and refs are meaningless
    bool failed() const { return !fault.isEmpty(); }
};

// Values a message may hold (every element of its arrays and maps, nested ones included; a data
// packet counts as one), checked before it is built: a call carries a few arguments, a reply a
// few packets, and a frame of small values costs many times its bytes once built.
inline constexpr qint64 kMaxRequestValues = 10000;
inline constexpr qint64 kMaxReplyValues = 1000000;

QByteArray encodeRequest(const Request &request);
Request decodeRequest(const QByteArray &payload);   // throws PacketError
// The method a request names, read without decoding its arguments (empty when it names none or
// the bytes are not a request); never throws.
QString requestMethod(const QByteArray &payload);
QByteArray encodeReply(const Reply &reply);
Reply decodeReply(const QByteArray &payload);       // throws PacketError

} // namespace protocol
