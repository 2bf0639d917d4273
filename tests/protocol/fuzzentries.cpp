#include "fuzzentries.h"

#include <protocol/frame.h>
#include <protocol/hello.h>
#include <protocol/packet.h>
#include <protocol/value.h>

#include <cstdio>
#include <cstdlib>

namespace protocolfuzz {

namespace {

[[noreturn]] void finding(const char *what)
{
    std::fprintf(stderr, "fuzz finding: %s\n", what);
    std::abort();
}

} // namespace

void frames(QByteArrayView data)
{
    if (data.isEmpty())
        return;
    // The first byte picks the size of the pieces the rest arrives in, as a socket might.
    const qsizetype piece = 1 + qsizetype(quint8(data[0])) * 7;
    const QByteArrayView stream = data.sliced(1);
    protocol::FrameBuffer buffer(1u << 20);
    QByteArray reframed;
    for (qsizetype at = 0; at < stream.size() && !buffer.oversized(); at += piece) {
        buffer.append(stream.sliced(at, qMin(piece, stream.size() - at)).toByteArray());
        while (std::optional<QByteArray> payload = buffer.take())
            reframed += protocol::frame(*payload);
    }
    // the frames taken, framed again, are exactly the bytes they were taken from
    if (reframed != stream.first(reframed.size()))
        finding("frames taken differ from the bytes they came from");
    if (!buffer.oversized() && reframed.size() + buffer.pendingBytes() != stream.size())
        finding("bytes lost between frames");
}

void calls(QByteArrayView data)
{
    const QByteArray bytes = data.toByteArray();
    try {
        const protocol::Request request = protocol::decodeRequest(bytes);
        const protocol::Request again = protocol::decodeRequest(protocol::encodeRequest(request));
        if (again.server != request.server || again.method != request.method || again.args.size() != request.args.size())
            finding("a request does not survive encoding");
    } catch (const protocol::PacketError &) {
    }
    try {
        const protocol::Hello hello = protocol::decodeHello(bytes);
        const protocol::Hello again = protocol::decodeHello(protocol::encodeHello(hello));
        if (again.operatorCode != hello.operatorCode || again.token != hello.token || again.password != hello.password)
            finding("a hello does not survive encoding");
    } catch (const protocol::PacketError &) {
    }
    try {
        const protocol::Reply reply = protocol::decodeReply(bytes);
        const protocol::Reply again = protocol::decodeReply(protocol::encodeReply(reply));
        if (again.fault != reply.fault || again.refs.size() != reply.refs.size())
            finding("a reply does not survive encoding");
    } catch (const protocol::PacketError &) {
    }
}

void packets(QByteArrayView data)
{
    const protocol::DataPacket packet(data.toByteArray());
    for (const protocol::PacketLimits &limits : {protocol::PacketLimits{}, protocol::PacketLimits{24, 100}}) {
        try {
            const protocol::PacketContent content = protocol::decodePacket(packet, limits);
            const protocol::PacketContent again = protocol::decodePacket(protocol::encodePacket(content), limits);
            if (again.fields != content.fields || again.rows.size() != content.rows.size() || again.delta != content.delta)
                finding("a packet does not survive encoding");
        } catch (const protocol::PacketError &) {
        }
    }
}

} // namespace protocolfuzz
