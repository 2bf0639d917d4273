#include "frame.h"

#include <QtEndian>

namespace protocol {

QByteArray frame(const QByteArray &payload)
{
    Q_ASSERT(quint64(payload.size()) <= kMaxFrameSize);
    QByteArray out(4 + payload.size(), Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(payload.size()), out.data());
    memcpy(out.data() + 4, payload.constData(), size_t(payload.size()));
    return out;
}

QByteArray frameHead(qsizetype payloadSize)
{
    Q_ASSERT(quint64(payloadSize) <= kMaxFrameSize);
    QByteArray head(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(payloadSize), head.data());
    return head;
}

std::optional<QByteArray> FrameBuffer::take()
{
    if (m_oversized || m_pending.size() < 4)
        return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(m_pending.constData());
    if (length > m_maxSize) {
        m_oversized = true;
        return std::nullopt;
    }
    if (quint64(m_pending.size()) < 4u + length)
        return std::nullopt;
    if (quint64(m_pending.size()) == 4u + length) {
        // the frame alone, as a reply usually is: handed over without copying its bytes (a day's
        // reply is megabytes); removing the head only moves the start of the array
        QByteArray payload = std::move(m_pending);
        m_pending = QByteArray();
        payload.remove(0, 4);
        return payload;
    }
    QByteArray payload = m_pending.mid(4, length);
    m_pending.remove(0, 4 + length);
    return payload;
}

} // namespace protocol
