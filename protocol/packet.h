#pragma once
// Data packets: the self-describing CBOR value by which the application server sends the rows
// of a dataset and receives a dataset's change log. The layout is written down in
// docs/packet-format.md; DataPacket keeps it opaque everywhere but here and in the dataset.

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace protocol {

inline constexpr int kPacketVersion = 1;

enum class FieldKind : quint8 { String, Float, DateTime };

QString fieldKindName(FieldKind kind);

struct PacketField {
    QString name;
    FieldKind kind = FieldKind::String;
    int size = 0;             // maximum length of a string field; 0 for other kinds
    bool required = false;
    bool readOnly = false;
    bool operator==(const PacketField &) const = default;
};

// How a row of a delta differs from the data it was loaded from.
enum class RowChange : quint8 { Unchanged = 0, Inserted = 1, Modified = 2, Deleted = 3 };

// One row. A null QVariant is SQL null, distinct from an empty string. Strings are QString,
// floats double, date-times QDateTime (wall-clock time, kept in UTC so that no time zone ever
// shifts a date).
struct PacketRow {
    QList<QVariant> values;
    RowChange change = RowChange::Unchanged;
    QList<QVariant> original;   // delta rows of kind Modified or Deleted: the values as loaded
};

class PacketCells;

struct PacketContent {
    QList<PacketField> fields;
    QList<PacketRow> rows;
    bool delta = false;
    // Set by indexPacket(): the rows left as the packet's bytes (`rows` is then empty).
    std::shared_ptr<const PacketCells> cells;
    int fieldIndex(const QString &name) const;   // -1 when absent
};

class PacketError : public std::runtime_error {
public:
    explicit PacketError(const QString &message);
    QString message() const { return QString::fromUtf8(what()); }
};

// The opaque value itself: encoded bytes. Cheap to copy (implicitly shared).
class DataPacket {
public:
    DataPacket() = default;
    explicit DataPacket(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    const QByteArray &bytes() const { return m_bytes; }
    bool isEmpty() const { return m_bytes.isEmpty(); }
    bool operator==(const DataPacket &) const = default;

private:
    QByteArray m_bytes;
};

// Counts a decoded packet may hold, checked before the loops that build it, so that the work and
// memory of a decode stay bounded whatever the input claims.
inline constexpr qsizetype kMaxPacketFields = 1024;
struct PacketLimits {
    qsizetype maxFields = kMaxPacketFields;
    qsizetype maxRows = -1;   // -1: as many as the bytes hold
};

// Encodes with Qt's streaming writer. Values must match their field's kind (null always fits).
DataPacket encodePacket(const PacketContent &content);
// Writes a packet row by row without holding its rows, for packets made straight from a query:
// the same packet as encodePacket() but for the row count, left open (an indefinite array).
class PacketWriter {
public:
    explicit PacketWriter(const QList<PacketField> &fields);
    ~PacketWriter();
    PacketWriter(const PacketWriter &) = delete;
    PacketWriter &operator=(const PacketWriter &) = delete;

    void startRow();
    // One value per field, in field order; each must fit its field's kind (throws PacketError).
    void appendNull();
    void appendText(const QString &text);   // no longer than the field's size
    void appendText(QByteArrayView utf8);   // the same from UTF-8 (invalid sequences are replaced)
    void appendNumber(double value);
    void appendDateTime(const QDateTime &wallClockTime);
    void endRow();                         // throws PacketError unless every field got its value
    DataPacket finish();

private:
    const PacketField &next(FieldKind kind);

    QByteArray m_bytes;
    QList<PacketField> m_fields;
    struct Stream;
    std::unique_ptr<Stream> m_stream;
    qsizetype m_column = -1;
    QDateTime m_lastDateTime;   // a day's rows share their date: its encoding is worked out once
    qint64 m_lastMSecs = 0;
};

// Decodes with a strict CBOR cursor; throws PacketError on any malformed, truncated or
// inconsistent input, or on more fields or rows than the limits allow, never allocating more than
// the input can justify. Rows need at least one field.
PacketContent decodePacket(const DataPacket &packet, const PacketLimits &limits = {});

// The rows of a packet kept as its bytes, for a reader that needs few of its cells at a time (a
// dataset shows a screenful and filters on two or three columns): one pass has checked every cell
// as decodePacket() does and noted where each starts; a cell is decoded when it is read.
class PacketCells {
public:
    PacketCells(QByteArray bytes, QList<FieldKind> kinds, std::vector<quint32> starts);
    qsizetype rowCount() const { return m_kinds.isEmpty() ? 0 : qsizetype(m_starts.size()) / m_kinds.size(); }
    // The value decodePacket() gives for that cell.
    QVariant value(qsizetype row, qsizetype column) const;
    // A text cell's UTF-8 bytes, nothing when it is null: where they stand in the packet (valid
    // while these cells are), joined when the text came in chunks.
    std::optional<QByteArray> utf8(qsizetype row, qsizetype column) const;

private:
    QByteArray m_bytes;
    QList<FieldKind> m_kinds;
    std::vector<quint32> m_starts;   // row by row, where each cell's head is in m_bytes
};

// The same checks as decodePacket(), the same fields, but the rows of a data packet (not a delta)
// are left in `cells` instead of decoded.
PacketContent indexPacket(const DataPacket &packet, const PacketLimits &limits = {});

// Wall-clock helpers: the one way dates enter and leave packets.
QDateTime wallClock(QDate date, QTime time = QTime(0, 0));
QDateTime wallClock(const QDateTime &local);

} // namespace protocol

Q_DECLARE_METATYPE(protocol::DataPacket)
