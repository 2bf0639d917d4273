#pragma once
// Writes CBOR straight into a QByteArray, byte for byte as QCborStreamWriter writes it (shortest
// heads, doubles as 64-bit floats, definite-length text). Packets and messages are written value
// by value, hundreds of thousands of them for a day; QCborStreamWriter passes every value through
// a QIODevice, which costs more than the rest of writing the value.

#include <QByteArray>
#include <QStringEncoder>
#include <QStringView>
#include <cstring>

namespace protocol::detail {

class CborWriter {
public:
    // Appends to `out`, which holds exactly what was written once the writer is gone.
    explicit CborWriter(QByteArray &out) : m_out(out), m_size(out.size()) {}
    ~CborWriter() { m_out.resize(m_size); }
    CborWriter(const CborWriter &) = delete;
    CborWriter &operator=(const CborWriter &) = delete;

    void startArray(quint64 count) { head(4, count); }
    void startArray() { byte(0x9f); }   // indefinite, closed by end()
    void startMap(quint64 count) { head(5, count); }
    void end() { byte(0xff); }
    void tag(quint64 tag) { head(6, tag); }

    void null() { byte(0xf6); }
    void boolean(bool b) { byte(b ? 0xf5 : 0xf4); }
    void integer(qint64 v) { v >= 0 ? head(0, quint64(v)) : head(1, quint64(-1 - v)); }
    void unsignedInteger(quint64 v) { head(0, v); }
    void real(double d)
    {
        quint64 bits;
        std::memcpy(&bits, &d, 8);
        char *p = room(9);
        p[0] = char(0xfb);
        for (int i = 0; i < 8; ++i)
            p[1 + i] = char(bits >> (56 - 8 * i));
    }

    void utf8(const char *bytes, qsizetype size)
    {
        head(3, quint64(size));
        std::memcpy(room(size), bytes, size_t(size));
    }
    void text(QStringView s)
    {
        // UTF-8 takes at most three bytes per UTF-16 unit: encode in place, then write the head
        // before it (moving the bytes only when the head is longer than guessed).
        const qsizetype most = m_encoder.requiredSpace(s.size());
        const int guess = headSize(quint64(most));
        char *start = room(guess + most);
        char *end = m_encoder.appendToBuffer(start + guess, s);
        const qsizetype size = end - (start + guess);
        const int actual = headSize(quint64(size));
        if (actual != guess)
            std::memmove(start + actual, start + guess, size_t(size));
        writeHead(start, 3, quint64(size), actual);
        m_size -= (guess + most) - (actual + size);
    }
    void text(QLatin1StringView ascii) { utf8(ascii.data(), ascii.size()); }   // ASCII keys only
    void bytes(const char *data, qsizetype size)
    {
        head(2, quint64(size));
        std::memcpy(room(size), data, size_t(size));
    }
    // Items already encoded, as they are.
    void encoded(const char *data, qsizetype size) { std::memcpy(room(size), data, size_t(size)); }

private:
    QByteArray &m_out;
    qsizetype m_size;   // bytes written; m_out is larger while writing
    QStringEncoder m_encoder{QStringEncoder::Utf8};

    char *room(qsizetype n)
    {
        if (m_out.size() - m_size < n)
            m_out.resize(std::max<qsizetype>(m_size + n, 2 * m_out.size() + 256));
        char *p = m_out.data() + m_size;
        m_size += n;
        return p;
    }
    void byte(quint8 b) { *room(1) = char(b); }

    static int headSize(quint64 v) { return v < 24 ? 1 : v <= 0xff ? 2 : v <= 0xffff ? 3 : v <= 0xffffffffu ? 5 : 9; }
    static void writeHead(char *p, quint8 major, quint64 v, int size)
    {
        const quint8 info = size == 1 ? quint8(v) : size == 2 ? 24 : size == 3 ? 25 : size == 5 ? 26 : 27;
        p[0] = char((major << 5) | info);
        for (int i = 1; i < size; ++i)
            p[i] = char(v >> (8 * (size - 1 - i)));
    }
    void head(quint8 major, quint64 v)
    {
        const int size = headSize(v);
        writeHead(room(size), major, v, size);
    }
};

} // namespace protocol::detail
