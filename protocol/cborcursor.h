#pragma once
// A small, strict reader for the part of CBOR that data packets use (integers, text, arrays,
// maps, tags, null, booleans, floats). Packets are the bulk of what the screen loads, and Qt's
// general streaming reader spends more time per item than the whole load may take; this one
// walks the bytes directly. Every length is checked against the bytes left before it is used.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cmath>
#include <cstring>

namespace protocol::detail {

class CborCursor {
public:
    enum class Type { UnsignedInt, NegativeInt, Text, Bytes, Array, Map, Tag, False, True, Null, Undefined, Float, Break };

    CborCursor(const char *data, qsizetype size) : p(reinterpret_cast<const uint8_t *>(data)), end(p + size) {}

    qsizetype offset(const char *base) const { return reinterpret_cast<const char *>(p) - base; }
    bool atEnd() const { return p == end; }

    // Reads the head of the next item. For Text, Bytes, Array and Map `length` is the count
    // (or -1 when indefinite); for ints and tags `value`; for Float `real`.
    struct Head {
        Type type;
        uint64_t value = 0;
        qint64 length = 0;
        double real = 0;
    };

    // Returns false (and sets error) on truncated or malformed input.
    bool readHead(Head &h)
    {
        if (p >= end)
            return failed("unexpected end of data");
        const uint8_t initial = *p++;
        const uint8_t major = initial >> 5;
        const uint8_t info = initial & 0x1f;
        if (major == 7) {
            switch (info) {
            case 20: h.type = Type::False; return true;
            case 21: h.type = Type::True; return true;
            case 22: h.type = Type::Null; return true;
            case 23: h.type = Type::Undefined; return true;
            case 25: {
                uint64_t v;
                if (!readUint(2, v))
                    return false;
                h.type = Type::Float;
                h.real = halfToDouble(uint16_t(v));
                return true;
            }
            case 26: {
                uint64_t v;
                if (!readUint(4, v))
                    return false;
                float f;
                const uint32_t bits = uint32_t(v);
                std::memcpy(&f, &bits, 4);
                h.type = Type::Float;
                h.real = f;
                return true;
            }
            case 27: {
                uint64_t v;
                if (!readUint(8, v))
                    return false;
                std::memcpy(&h.real, &v, 8);
                h.type = Type::Float;
                return true;
            }
            case 31: h.type = Type::Break; return true;
            default: return failed("unsupported simple value");
            }
        }
        uint64_t arg = 0;
        bool indefinite = false;
        if (info < 24)
            arg = info;
        else if (info == 24 || info == 25 || info == 26 || info == 27) {
            if (!readUint(1u << (info - 24), arg))
                return false;
        } else if (info == 31 && (major == 2 || major == 3 || major == 4 || major == 5))
            indefinite = true;
        else
            return failed("malformed item head");
        h.value = arg;
        switch (major) {
        case 0: h.type = Type::UnsignedInt; return true;
        case 1: h.type = Type::NegativeInt; return true;
        case 6: h.type = Type::Tag; return true;
        case 2: h.type = Type::Bytes; break;
        case 3: h.type = Type::Text; break;
        case 4: h.type = Type::Array; break;
        case 5: h.type = Type::Map; break;
        }
        if (indefinite) {
            h.length = -1;
            return true;
        }
        // No count may promise more items or bytes than are left.
        const uint64_t left = uint64_t(end - p);
        if (arg > left)
            return failed("a length exceeds the data");
        h.length = qint64(arg);
        return true;
    }

    // After a Text head: the string's UTF-8 bytes (chunks of an indefinite string joined into
    // `scratch`). The pointer stays valid until the next call.
    bool readText(const Head &h, QByteArrayView &out, QByteArray &scratch)
    {
        if (h.length >= 0) {
            out = QByteArrayView(reinterpret_cast<const char *>(p), h.length);
            p += h.length;
            return true;
        }
        scratch.clear();
        for (;;) {
            Head chunk;
            if (!readHead(chunk))
                return false;
            if (chunk.type == Type::Break)
                break;
            if (chunk.type != Type::Text || chunk.length < 0)
                return failed("bad chunk in a text string");
            scratch.append(reinterpret_cast<const char *>(p), chunk.length);
            p += chunk.length;
        }
        out = QByteArrayView(scratch);
        return true;
    }

    // After a Text or Bytes head: steps over the string (every chunk of an indefinite one).
    bool skipString(const Head &h)
    {
        if (h.length >= 0) {
            p += h.length;
            return true;
        }
        for (;;) {
            Head chunk;
            if (!readHead(chunk))
                return false;
            if (chunk.type == Type::Break)
                return true;
            if (chunk.type != h.type || chunk.length < 0)
                return failed("bad chunk in a string");
            p += chunk.length;
        }
    }

    bool peekBreak() const { return p < end && *p == 0xff; }
    void skipBreak() { ++p; }

    const char *error() const { return m_error; }

private:
    const uint8_t *p;
    const uint8_t *end;
    const char *m_error = nullptr;

    bool failed(const char *why)
    {
        m_error = why;
        return false;
    }
    bool readUint(unsigned bytes, uint64_t &v)
    {
        if (uint64_t(end - p) < bytes)
            return failed("unexpected end of data");
        v = 0;
        for (unsigned i = 0; i < bytes; ++i)
            v = (v << 8) | p[i];
        p += bytes;
        return true;
    }
    static double halfToDouble(uint16_t half)
    {
        const int exp = (half >> 10) & 0x1f;
        const int mant = half & 0x3ff;
        double val;
        if (exp == 0)
            val = std::ldexp(mant, -24);
        else if (exp != 31)
            val = std::ldexp(mant + 1024, exp - 25);
        else
            val = mant == 0 ? INFINITY : NAN;
        return (half & 0x8000) ? -val : val;
    }
};

} // namespace protocol::detail
