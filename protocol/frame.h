#pragma once
// Frames on the wire: a 4-byte big-endian length, then that many bytes of one CBOR value.

#include <QByteArray>
#include <optional>

namespace protocol {

inline constexpr quint32 kMaxFrameSize = 64u * 1024u * 1024u;

QByteArray frame(const QByteArray &payload);   // payload must not exceed kMaxFrameSize
// The 4-byte head alone, for a sender that writes a large payload after it as it is: a socket
// takes a QByteArray without copying it, where frame() would copy megabytes.
QByteArray frameHead(qsizetype payloadSize);

// Collects bytes as they arrive and hands out whole frames.
class FrameBuffer {
public:
    // A side may take less than the wire's limit (the server takes requests of a few MiB).
    explicit FrameBuffer(quint32 maxSize = kMaxFrameSize) : m_maxSize(qMin(maxSize, kMaxFrameSize)) {}
    void append(const QByteArray &bytes) { m_pending.append(bytes); }
    void setMaxSize(quint32 maxSize) { m_maxSize = qMin(maxSize, kMaxFrameSize); }
    // The next whole frame's payload, if one has arrived.
    std::optional<QByteArray> take();
    // A length header over the limit was seen: the stream cannot be trusted any more.
    bool oversized() const { return m_oversized; }
    qsizetype pendingBytes() const { return m_pending.size(); }

private:
    QByteArray m_pending;
    quint32 m_maxSize;
    bool m_oversized = false;
};

} // namespace protocol
