#include "packet.h"

#include "cborcursor.h"
#include "cborwriter.h"

#include <QSet>
#include <QTimeZone>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace protocol {

namespace {

constexpr quint64 kEpochDateTag = 1; // standard CBOR tag: seconds since the epoch

const QString kKeyFormat = QStringLiteral("packet");
const QString kKeyDelta = QStringLiteral("delta");
const QString kKeyFields = QStringLiteral("fields");
const QString kKeyRows = QStringLiteral("rows");

enum FieldFlag : quint8 { FlagRequired = 1, FlagReadOnly = 2 };

[[noreturn]] void fail(const QString &what) { throw PacketError(what); }

using detail::CborWriter;

void writeEpochSeconds(CborWriter &w, qint64 ms)
{
    w.tag(kEpochDateTag);
    if (ms % 1000 == 0)
        w.integer(ms / 1000);
    else
        w.real(double(ms) / 1000.0);
}

void writeValue(CborWriter &w, const QVariant &v, const PacketField &field)
{
    if (v.isNull()) {
        w.null();
        return;
    }
    switch (field.kind) {
    case FieldKind::String: {
        const QString s = v.toString();
        if (field.size > 0 && s.size() > field.size)
            fail(QStringLiteral("field %1: a value is longer than %2 characters").arg(field.name).arg(field.size));
        w.text(s);
        return;
    }
    case FieldKind::Float:
        w.real(v.toDouble());
        return;
    case FieldKind::DateTime: {
        writeEpochSeconds(w, wallClock(v.toDateTime()).toMSecsSinceEpoch());
        return;
    }
    }
}

using Type = detail::CborCursor::Type;
using Head = detail::CborCursor::Head;

// A number item's value (its type checked before).
double numberValue(const Head &h)
{
    switch (h.type) {
    case Type::UnsignedInt: return double(h.value);
    case Type::NegativeInt: return -1.0 - double(h.value);
    default: return h.real;
    }
}

QDateTime epochDateTime(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0)), Qt::UTC);
}

// UTF-16 units of valid UTF-8: one per sequence, two for those of four bytes.
qsizetype utf16Length(QByteArrayView utf8)
{
    qsizetype units = 0;
    for (const char b : utf8)
        units += (quint8(b) & 0xc0) != 0x80 ? 1 : 0;
    for (const char b : utf8)
        units += quint8(b) >= 0xf0 ? 1 : 0;
    return units;
}

void writeRow(CborWriter &w, const QList<QVariant> &values, const QList<PacketField> &fields)
{
    if (values.size() != fields.size())
        fail(QStringLiteral("a row holds %1 values for %2 fields").arg(values.size()).arg(fields.size()));
    w.startArray(quint64(values.size()));
    for (qsizetype i = 0; i < values.size(); ++i)
        writeValue(w, values[i], fields[i]);
}

class Reader {
public:
    // With `starts`, the rows of a data packet are checked and where each cell starts is noted
    // there, instead of decoding them.
    Reader(const QByteArray &bytes, const PacketLimits &limits, std::vector<quint32> *starts = nullptr)
        : c(bytes.constData(), bytes.size()), m_base(bytes.constData()), m_limits(limits), m_starts(starts)
    {
    }

    PacketContent read()
    {
        PacketContent content;
        Head h = head();
        if (h.type == Type::Tag && h.value == 55799)   // self-described CBOR
            h = head();
        if (h.type != Type::Map)
            fail(QStringLiteral("a data packet must be a map"));
        bool haveVersion = false, haveFields = false, haveRows = false;
        for (qint64 i = 0; h.length < 0 || i < h.length; ++i) {
            if (h.length < 0 && c.peekBreak()) {
                c.skipBreak();
                break;
            }
            const QString key = text(head(), "a key");
            if (key == kKeyFormat) {
                const Head v = head();
                if (v.type != Type::UnsignedInt)
                    fail(QStringLiteral("the packet version must be an unsigned integer"));
                if (v.value != uint64_t(kPacketVersion))
                    fail(QStringLiteral("unsupported packet version %1").arg(v.value));
                haveVersion = true;
            } else if (key == kKeyDelta) {
                const Head v = head();
                if (v.type != Type::True && v.type != Type::False)
                    fail(QStringLiteral("\"delta\" must be true or false"));
                content.delta = v.type == Type::True;
            } else if (key == kKeyFields) {
                readFields(content);
                haveFields = true;
            } else if (key == kKeyRows) {
                if (!haveFields)
                    fail(QStringLiteral("the rows come before the field definitions"));
                readRows(content);
                haveRows = true;
            } else {
                fail(QStringLiteral("unknown packet key \"%1\"").arg(key));
            }
        }
        if (!haveVersion)
            fail(QStringLiteral("the packet has no version"));
        if (!haveFields || !haveRows)
            fail(QStringLiteral("the packet lacks its fields or its rows"));
        if (!c.atEnd())
            fail(QStringLiteral("malformed packet: data follows the packet"));
        return content;
    }

private:
    // The texts of a column seen lately, by a hash of their bytes: a column's values recur (the
    // branch and service of every row, the dish of a label, the number of a label within its
    // row), and a recurring value shares its QString instead of being decoded and allocated again.
    struct TextSlot {
        static constexpr qsizetype kMaxBytes = 46;
        qint8 size = -1;   // -1: empty
        char utf8[kMaxBytes];
        QString text;
    };
    static constexpr size_t kTextSlots = 64;

    struct ColumnCache {
        std::unique_ptr<TextSlot[]> texts;   // kTextSlots, for text columns
        double seconds = 0;
        QVariant dateTime;
    };

    detail::CborCursor c;
    const char *m_base;
    PacketLimits m_limits;
    std::vector<quint32> *m_starts;
    QByteArray m_scratch;
    std::vector<ColumnCache> m_cache;

    Head head()
    {
        Head h;
        if (!c.readHead(h))
            fail(QStringLiteral("malformed packet: ") + QString::fromLatin1(c.error()));
        return h;
    }

    QByteArrayView utf8(const Head &h, const char *what)
    {
        if (h.type != Type::Text)
            fail(QStringLiteral("malformed packet: %1 must be text").arg(QLatin1String(what)));
        QByteArrayView bytes;
        if (!c.readText(h, bytes, m_scratch))
            fail(QStringLiteral("malformed packet: ") + QString::fromLatin1(c.error()));
        if (!bytes.isValidUtf8())   // as the other arguments of a call: refused, never replaced
            fail(QStringLiteral("malformed packet: %1 is not valid UTF-8").arg(QLatin1String(what)));
        return bytes;
    }

    QString text(const Head &h, const char *what) { return QString::fromUtf8(utf8(h, what)); }

    // Opens an array: its count, or -1 when indefinite; `more` tells whether items remain.
    qint64 array(const Head &h, const char *what)
    {
        if (h.type != Type::Array)
            fail(QStringLiteral("malformed packet: %1 must be an array").arg(QLatin1String(what)));
        return h.length;
    }
    bool more(qint64 count, qint64 done)
    {
        if (count >= 0)
            return done < count;
        if (c.peekBreak()) {
            c.skipBreak();
            return false;
        }
        return true;
    }

    double number(const Head &h, const QString &field)
    {
        if (h.type != Type::Float && h.type != Type::UnsignedInt && h.type != Type::NegativeInt)
            fail(QStringLiteral("malformed packet: field %1 must be a number").arg(field));
        return numberValue(h);
    }

    // After a date-time's head: its seconds since the epoch, checked.
    double epochSeconds(const Head &h, const PacketField &f)
    {
        if (h.type != Type::Tag || h.value != kEpochDateTag)
            fail(QStringLiteral("field %1: a date-time must be an epoch time").arg(f.name));
        const double secs = number(head(), f.name);
        if (!std::isfinite(secs) || std::fabs(secs) > 1e13)
            fail(QStringLiteral("field %1: a date-time is out of range").arg(f.name));
        return secs;
    }

    [[noreturn]] void tooLong(const PacketField &f)
    {
        fail(QStringLiteral("field %1: a value is longer than %2 characters").arg(f.name).arg(f.size));
    }

    void readFields(PacketContent &content)
    {
        const qint64 count = array(head(), "\"fields\"");
        const auto tooMany = [this] {
            return PacketError(QStringLiteral("the packet defines more than %1 fields").arg(m_limits.maxFields));
        };
        if (count > m_limits.maxFields)
            throw tooMany();
        QSet<QString> names;
        for (qint64 i = 0; more(count, i); ++i) {
            if (i >= m_limits.maxFields)
                throw tooMany();
            const qint64 items = array(head(), "a field definition");
            if (items != 4)
                fail(QStringLiteral("a field definition must hold four items"));
            PacketField f;
            f.name = text(head(), "a field name");
            if (f.name.isEmpty())
                fail(QStringLiteral("a field has no name"));
            const QByteArrayView kind = utf8(head(), "a field kind");
            if (kind == "string")
                f.kind = FieldKind::String;
            else if (kind == "float")
                f.kind = FieldKind::Float;
            else if (kind == "datetime")
                f.kind = FieldKind::DateTime;
            else
                fail(QStringLiteral("unknown field kind \"%1\"").arg(QString::fromUtf8(kind)));
            const Head size = head();
            // only text has a size: a size on another kind would not survive encoding again
            if (size.type != Type::UnsignedInt || size.value > (1u << 20) || (f.kind != FieldKind::String && size.value != 0))
                fail(QStringLiteral("field %1: bad size").arg(f.name));
            f.size = int(size.value);
            const Head flags = head();
            if (flags.type != Type::UnsignedInt || flags.value > 3)
                fail(QStringLiteral("field %1: bad flags").arg(f.name));
            f.required = flags.value & FlagRequired;
            f.readOnly = flags.value & FlagReadOnly;
            if (names.contains(f.name))
                fail(QStringLiteral("field %1 is defined twice").arg(f.name));
            names.insert(f.name);
            content.fields.append(std::move(f));
        }
    }

    QVariant columnText(const Head &h, const PacketField &f, qsizetype column)
    {
        const QByteArrayView bytes = utf8(h, "a string value");
        if (bytes.size() > TextSlot::kMaxBytes)
            return checkedText(bytes, f);
        ColumnCache &cache = m_cache[size_t(column)];
        if (!cache.texts)
            cache.texts = std::make_unique<TextSlot[]>(kTextSlots);
        size_t hash = 2166136261u;   // FNV-1a: these texts are a few bytes long
        for (const char b : bytes)
            hash = (hash ^ quint8(b)) * 16777619u;
        TextSlot &slot = cache.texts[(hash ^ (hash >> 16)) % kTextSlots];
        if (slot.size == bytes.size() && std::memcmp(slot.utf8, bytes.data(), size_t(bytes.size())) == 0)
            return slot.text;
        slot.text = checkedText(bytes, f);
        slot.size = qint8(bytes.size());
        std::memcpy(slot.utf8, bytes.data(), size_t(bytes.size()));
        return slot.text;
    }

    QString checkedText(QByteArrayView bytes, const PacketField &f)
    {
        QString value = QString::fromUtf8(bytes);
        if (f.size > 0 && value.size() > f.size)
            tooLong(f);
        return value;
    }

    QVariant value(const PacketField &f, qsizetype column)
    {
        const Head h = head();
        if (h.type == Type::Null)
            return QVariant();
        switch (f.kind) {
        case FieldKind::String:
            return columnText(h, f, column);
        case FieldKind::Float:
            return number(h, f.name);
        case FieldKind::DateTime: {
            const double secs = epochSeconds(h, f);
            ColumnCache &cache = m_cache[size_t(column)];   // a day's rows share their date
            if (cache.dateTime.isNull() || cache.seconds != secs) {
                cache.seconds = secs;
                cache.dateTime = epochDateTime(secs);
            }
            return cache.dateTime;
        }
        }
        return QVariant();
    }

    // Checks a value as value() reads it, building nothing.
    void check(const PacketField &f)
    {
        const Head h = head();
        if (h.type == Type::Null)
            return;
        switch (f.kind) {
        case FieldKind::String: {
            const QByteArrayView bytes = utf8(h, "a string value");
            // UTF-8 never has fewer bytes than UTF-16 has units: only a longer text needs counting
            if (f.size > 0 && bytes.size() > f.size && utf16Length(bytes) > f.size)
                tooLong(f);
            return;
        }
        case FieldKind::Float: number(h, f.name); return;
        case FieldKind::DateTime: epochSeconds(h, f); return;
        }
    }

    // Steps through a row's array, calling `cell(i)` where the value of field i starts.
    template<typename Cell>
    void eachValue(const Head &h, const QList<PacketField> &fields, Cell cell)
    {
        const qint64 count = array(h, "a row");
        if (count >= 0 && count != fields.size())
            fail(QStringLiteral("a row holds %1 values for %2 fields").arg(count).arg(fields.size()));
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (count < 0 && c.peekBreak())
                fail(QStringLiteral("a row ends before its fields do"));
            cell(i);
        }
        if (count < 0 && more(count, 0))
            fail(QStringLiteral("a row holds more values than there are fields"));
    }

    QList<QVariant> values(const Head &h, const QList<PacketField> &fields)
    {
        QList<QVariant> out(fields.size());
        QVariant *slot = out.data();
        eachValue(h, fields, [&](qsizetype i) { slot[i] = value(fields[i], i); });
        return out;
    }

    void index(const Head &h, const QList<PacketField> &fields)
    {
        eachValue(h, fields, [&](qsizetype i) {
            m_starts->push_back(quint32(c.offset(m_base)));
            check(fields[i]);
        });
    }

    void readRows(PacketContent &content)
    {
        const qint64 count = array(head(), "\"rows\"");
        const auto tooMany = [this] {
            return PacketError(QStringLiteral("the packet holds more than %1 rows").arg(m_limits.maxRows));
        };
        if (m_limits.maxRows >= 0 && count > m_limits.maxRows)
            throw tooMany();
        // A row of no fields takes a byte and says nothing: refused, so that each row costs
        // the input at least a byte per value it makes.
        if (content.fields.isEmpty() && count != 0 && !(count < 0 && c.peekBreak()))
            fail(QStringLiteral("the packet has rows but no fields"));
        // Each row takes at least a byte per field: reserve no more than the data can hold.
        const bool indexing = m_starts && !content.delta;
        if (count > 0 && indexing)
            m_starts->reserve(size_t(std::min<qint64>(count, 1 << 16)) * size_t(content.fields.size()));
        else if (count > 0)
            content.rows.reserve(qsizetype(std::min<qint64>(count, 1 << 16)));
        m_cache = std::vector<ColumnCache>(size_t(content.fields.size()));
        for (qint64 i = 0; more(count, i); ++i) {
            if (m_limits.maxRows >= 0 && i >= m_limits.maxRows)
                throw tooMany();
            if (indexing) {
                index(head(), content.fields);
                continue;
            }
            PacketRow row;
            if (!content.delta) {
                row.values = values(head(), content.fields);
            } else {
                const qint64 items = array(head(), "a delta row");
                if (items != 3)
                    fail(QStringLiteral("a delta row must hold three items"));
                const Head kind = head();
                if (kind.type != Type::UnsignedInt || kind.value < 1 || kind.value > 3)
                    fail(QStringLiteral("a delta row has no valid change kind"));
                row.change = RowChange(kind.value);
                row.values = values(head(), content.fields);
                const Head original = head();
                if (original.type == Type::Null) {
                    if (row.change != RowChange::Inserted)
                        fail(QStringLiteral("a modified or deleted row lacks its original values"));
                } else {
                    row.original = values(original, content.fields);
                }
            }
            content.rows.append(std::move(row));
        }
    }
};

} // namespace

QString fieldKindName(FieldKind kind)
{
    switch (kind) {
    case FieldKind::String: return QStringLiteral("string");
    case FieldKind::Float: return QStringLiteral("float");
    case FieldKind::DateTime: return QStringLiteral("datetime");
    }
    return {};
}

int PacketContent::fieldIndex(const QString &name) const
{
    for (qsizetype i = 0; i < fields.size(); ++i)
        if (fields[i].name == name)
            return int(i);
    return -1;
}

PacketError::PacketError(const QString &message) : std::runtime_error(message.toStdString()) {}

namespace {

// Everything of a packet before its rows: the version, the delta flag, the field definitions and
// the key of the rows.
void writeHead(CborWriter &w, bool delta, const QList<PacketField> &fields)
{
    w.startMap(delta ? 4 : 3);
    w.text(QLatin1StringView("packet"));
    w.integer(kPacketVersion);
    if (delta) {
        w.text(QLatin1StringView("delta"));
        w.boolean(true);
    }
    w.text(QLatin1StringView("fields"));
    w.startArray(quint64(fields.size()));
    for (const PacketField &f : fields) {
        w.startArray(4);
        w.text(f.name);
        w.text(fieldKindName(f.kind));
        w.unsignedInteger(quint64(f.kind == FieldKind::String ? f.size : 0));
        w.unsignedInteger(quint64((f.required ? FlagRequired : 0) | (f.readOnly ? FlagReadOnly : 0)));
    }
    w.text(QLatin1StringView("rows"));
}

} // namespace

struct PacketWriter::Stream {
    explicit Stream(QByteArray &bytes) : writer(bytes) {}
    CborWriter writer;
};

PacketWriter::PacketWriter(const QList<PacketField> &fields)
    : m_fields(fields), m_stream(std::make_unique<Stream>(m_bytes))
{
    writeHead(m_stream->writer, false, m_fields);
    m_stream->writer.startArray();
}

PacketWriter::~PacketWriter() = default;

void PacketWriter::startRow()
{
    if (m_column >= 0)
        fail(QStringLiteral("a row was started inside another"));
    m_stream->writer.startArray(quint64(m_fields.size()));
    m_column = 0;
}

const PacketField &PacketWriter::next(FieldKind kind)
{
    if (m_column < 0 || m_column >= m_fields.size())
        fail(QStringLiteral("a value outside a row or beyond its fields"));
    const PacketField &f = m_fields[m_column++];
    if (f.kind != kind)
        fail(QStringLiteral("field %1: a value of another kind").arg(f.name));
    return f;
}

void PacketWriter::appendNull()
{
    if (m_column < 0 || m_column >= m_fields.size())
        fail(QStringLiteral("a value outside a row or beyond its fields"));
    ++m_column;
    m_stream->writer.null();
}

void PacketWriter::appendText(const QString &text)
{
    const PacketField &f = next(FieldKind::String);
    if (f.size > 0 && text.size() > f.size)
        fail(QStringLiteral("field %1: a value is longer than %2 characters").arg(f.name).arg(f.size));
    m_stream->writer.text(text);
}

void PacketWriter::appendText(QByteArrayView utf8)
{
    // UTF-8 never has fewer bytes than UTF-16 has units: only a longer text needs counting
    const PacketField &f = next(FieldKind::String);
    if ((f.size > 0 && utf8.size() > f.size) || !utf8.isValidUtf8()) {
        --m_column;
        appendText(QString::fromUtf8(utf8));
        return;
    }
    m_stream->writer.utf8(utf8.data(), utf8.size());
}

void PacketWriter::appendNumber(double value)
{
    next(FieldKind::Float);
    m_stream->writer.real(value);
}

void PacketWriter::appendDateTime(const QDateTime &time)
{
    next(FieldKind::DateTime);
    if (time != m_lastDateTime || m_lastDateTime.isNull()) {
        m_lastDateTime = time;
        m_lastMSecs = wallClock(time).toMSecsSinceEpoch();
    }
    writeEpochSeconds(m_stream->writer, m_lastMSecs);
}

void PacketWriter::endRow()
{
    if (m_column != m_fields.size())
        fail(QStringLiteral("a row holds %1 values for %2 fields").arg(m_column).arg(m_fields.size()));
    m_column = -1;
}

DataPacket PacketWriter::finish()
{
    if (m_column >= 0)
        fail(QStringLiteral("the packet ends inside a row"));
    m_stream->writer.end();   // the rows' indefinite array
    m_stream.reset();
    return DataPacket(std::move(m_bytes));
}

DataPacket encodePacket(const PacketContent &c)
{
    QByteArray out;
    {
        CborWriter w(out);
        writeHead(w, c.delta, c.fields);
        w.startArray(quint64(c.rows.size()));
        for (const PacketRow &row : c.rows) {
            if (!c.delta) {
                writeRow(w, row.values, c.fields);
                continue;
            }
            if (row.change == RowChange::Unchanged)
                throw PacketError(QStringLiteral("a delta row must say how it changed"));
            w.startArray(3);
            w.unsignedInteger(quint64(row.change));
            writeRow(w, row.values, c.fields);
            if (row.change == RowChange::Inserted)
                w.null();
            else
                writeRow(w, row.original, c.fields);
        }
    }
    return DataPacket(std::move(out));
}

PacketContent decodePacket(const DataPacket &packet, const PacketLimits &limits)
{
    if (packet.isEmpty())
        throw PacketError(QStringLiteral("the data packet is empty"));
    return Reader(packet.bytes(), limits).read();
}

PacketContent indexPacket(const DataPacket &packet, const PacketLimits &limits)
{
    if (packet.isEmpty())
        throw PacketError(QStringLiteral("the data packet is empty"));
    if (quint64(packet.bytes().size()) > std::numeric_limits<quint32>::max())
        return decodePacket(packet, limits);
    std::vector<quint32> starts;
    PacketContent content = Reader(packet.bytes(), limits, &starts).read();
    if (content.delta)
        return content;
    QList<FieldKind> kinds;
    kinds.reserve(content.fields.size());
    for (const PacketField &f : std::as_const(content.fields))
        kinds.append(f.kind);
    content.cells = std::make_shared<const PacketCells>(packet.bytes(), std::move(kinds), std::move(starts));
    return content;
}

PacketCells::PacketCells(QByteArray bytes, QList<FieldKind> kinds, std::vector<quint32> starts)
    : m_bytes(std::move(bytes)), m_kinds(std::move(kinds)), m_starts(std::move(starts))
{
}

// The cells were checked when they were indexed: their heads are read without checking again.
QVariant PacketCells::value(qsizetype row, qsizetype column) const
{
    const quint32 start = m_starts[size_t(row * m_kinds.size() + column)];
    detail::CborCursor c(m_bytes.constData() + start, m_bytes.size() - start);
    Head h;
    c.readHead(h);
    if (h.type == Type::Null)
        return QVariant();
    switch (m_kinds[column]) {
    case FieldKind::String: {
        QByteArrayView bytes;
        QByteArray scratch;
        c.readText(h, bytes, scratch);
        return QString::fromUtf8(bytes);
    }
    case FieldKind::Float: return numberValue(h);
    case FieldKind::DateTime: {
        Head seconds;
        c.readHead(seconds);
        return epochDateTime(numberValue(seconds));
    }
    }
    return QVariant();
}

std::optional<QByteArray> PacketCells::utf8(qsizetype row, qsizetype column) const
{
    const quint32 start = m_starts[size_t(row * m_kinds.size() + column)];
    detail::CborCursor c(m_bytes.constData() + start, m_bytes.size() - start);
    Head h;
    c.readHead(h);
    if (h.type != Type::Text)
        return std::nullopt;
    QByteArrayView bytes;
    QByteArray scratch;
    c.readText(h, bytes, scratch);
    return h.length >= 0 ? QByteArray::fromRawData(bytes.data(), bytes.size()) : scratch;
}

QDateTime wallClock(QDate date, QTime time)
{
    return QDateTime(date, time, Qt::UTC);
}

QDateTime wallClock(const QDateTime &dt)
{
    if (!dt.isValid())
        return {};
    if (dt.timeSpec() == Qt::UTC)
        return dt;
    return QDateTime(dt.date(), dt.time(), Qt::UTC);
}

} // namespace protocol
