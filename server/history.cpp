#include "history.h"

#include "arguments.h"
#include "callcontext.h"
#include "database.h"
#include "packets.h"
#include "service.h"
#include "sqliterows.h"

#include <protocol/remoteresult.h>

#include <QDateTime>
#include <QLocale>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>

namespace server {

namespace {

using protocol::FieldKind;

// The row key: the first five columns of a dish row's primary key, as columns() orders them.
const QStringList kKeyColumns = {QStringLiteral("CDFILIAL"), QStringLiteral("CDSERVFILI"),
                                 QStringLiteral("DTSERVTRAN"), QStringLiteral("CDDIETPADST"),
                                 QStringLiteral("NRSERVTRAN")};

// What a history row names of its dish row: the key, then the client, point and dish.
const QStringList &identityColumns()
{
    static const QStringList list = kKeyColumns + QStringList{QStringLiteral("CDCLIENTE"), QStringLiteral("CDDESTFILI"),
                                                              QStringLiteral("CDPRATO"), QStringLiteral("CDFILAUXPRAT")};
    return list;
}

// The columns of a dish row with their kinds, the key first.
const QList<protocol::PacketField> &rowColumns()
{
    static const QList<protocol::PacketField> list = [] {
        QList<protocol::PacketField> columns;
        for (const QString &key : kKeyColumns)
            for (const protocol::PacketField &f : fields::servTran())
                if (f.name == key)
                    columns << f;
        for (const protocol::PacketField &f : fields::servTran())
            if (!kKeyColumns.contains(f.name))
                columns << f;
        return columns;
    }();
    return list;
}

// A day as the history keeps it, ISO text ("2027-01-04"), which is how SQLite stores it already:
// only another driver's date is converted.
QString isoDay(const Database &db, const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QString && value.toString().size() == 10)
        return value.toString();
    return db.dateFromSql(value).toString(Qt::ISODate);
}

// A day the history keeps, as a statement binds it.
QVariant sqlDay(const Database &db, const QVariant &isoText)
{
    return db.dialect() == Dialect::SQLite ? isoText : db.toSql(QDate::fromString(isoText.toString(), Qt::ISODate));
}

// The rows of a bound query, each value as the history keeps it (numbers as doubles, the rest as
// text). On SQLite through its own API: QtSql's driver builds a record of every column on each
// run, which costs more than the one-row reads of a write.
class HistoryRows {
public:
    explicit HistoryRows(Query &query)
    {
        if (query.database().dialect() == Dialect::SQLite) {
            m_sqlite.emplace(query);
        } else {
            query.exec();
            m_query = &query;
        }
    }
    bool next() { return m_sqlite ? m_sqlite->next() : m_query->next(); }
    QVariant value(int column, FieldKind kind) const
    {
        if (m_sqlite) {
            if (m_sqlite->isNull(column))
                return QVariant();
            return kind == FieldKind::Float ? QVariant(m_sqlite->number(column))
                                            : QVariant(QString::fromUtf8(m_sqlite->utf8(column)));
        }
        const QVariant v = m_query->value(column);
        if (v.isNull())
            return QVariant();
        if (kind == FieldKind::Float)
            return v.toDouble();
        return v.metaType().id() == QMetaType::QDate ? v.toDate().toString(Qt::ISODate) : v.toString();
    }

private:
    std::optional<SqliteRows> m_sqlite;
    Query *m_query = nullptr;
};

} // namespace

const QString kLabelsColumn = QStringLiteral("ETIQUETAS");

const QStringList &ChangeHistory::columns()
{
    static const QStringList list = [] {
        QStringList names;
        for (const protocol::PacketField &f : rowColumns())
            names << f.name;
        return names << kLabelsColumn;
    }();
    return list;
}

namespace {

FieldKind kindOf(qsizetype column) { return column < rowColumns().size() ? rowColumns()[column].kind : FieldKind::String; }

// A row's labels as a user reads them: runs of equal quantities, in label order
// ("4 × 4,000 + 1 × 2,300"); null when the row has none.
QVariant labelSummary(const QList<double> &quantities)
{
    if (quantities.isEmpty())
        return QVariant();
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    QStringList runs;
    for (qsizetype i = 0; i < quantities.size();) {
        qsizetype j = i;
        while (j < quantities.size() && quantities[j] == quantities[i])
            ++j;
        runs << QStringLiteral("%1 × %2").arg(j - i).arg(brazil.toString(quantities[i], 'f', 3));
        i = j;
    }
    return runs.join(QStringLiteral(" + "));
}

} // namespace

namespace {

// The columns in name order, the order a history row's JSON lists them in.
const QList<qsizetype> &columnsByName()
{
    static const QList<qsizetype> order = [] {
        QList<qsizetype> indexes;
        for (qsizetype i = 0; i < ChangeHistory::columns().size(); ++i)
            indexes << i;
        std::sort(indexes.begin(), indexes.end(),
                  [](qsizetype a, qsizetype b) { return ChangeHistory::columns()[a] < ChangeHistory::columns()[b]; });
        return indexes;
    }();
    return order;
}

// A history row's values as JSON, written straight into UTF-8: an object of the columns given in
// name order, in the compact form QJsonDocument writes (the text history rows have always held),
// without building a QJsonObject of every value first.
class ValuesJson {
public:
    void add(const QString &column, const QVariant &value, FieldKind kind)
    {
        m_text += m_text.isEmpty() ? '{' : ',';
        appendString(column);
        m_text += ':';
        if (value.isNull())
            m_text += "null";
        else if (kind == FieldKind::Float)
            appendNumber(value.toDouble());
        else
            appendString(value.toString());
    }
    // The object's text; a null text when no column was added.
    QVariant text() const
    {
        return m_text.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(QString::fromUtf8(m_text + '}'));
    }
    bool isEmpty() const { return m_text.isEmpty(); }

private:
    // Whole numbers up to 2^53 as integers, others in their shortest exact form ("0.1", "1e+16").
    void appendNumber(double d)
    {
        if (!std::isfinite(d))
            m_text += "null";
        else if (std::trunc(d) == d && std::fabs(d) <= 9007199254740992.0)
            m_text += QByteArray::number(qint64(d));
        else
            m_text += QByteArray::number(d, 'g', QLocale::FloatingPointShortest);
    }
    void appendString(const QString &s)
    {
        static constexpr char hex[] = "0123456789abcdef";
        const auto escapeUnit = [this](char16_t u) {
            m_text += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                m_text += hex[(u >> shift) & 0xf];
        };
        m_text += '"';
        for (qsizetype i = 0; i < s.size(); ++i) {
            const char16_t u = s[i].unicode();
            if (u >= 0x80) {
                if (QChar::isHighSurrogate(u) && i + 1 < s.size() && QChar::isLowSurrogate(s[i + 1].unicode())) {
                    const char32_t c = QChar::surrogateToUcs4(u, s[++i].unicode());
                    m_text += char(0xf0 | (c >> 18));
                    m_text += char(0x80 | ((c >> 12) & 0x3f));
                    m_text += char(0x80 | ((c >> 6) & 0x3f));
                    m_text += char(0x80 | (c & 0x3f));
                } else if (QChar::isSurrogate(u)) {
                    escapeUnit(u);   // a lone half of a pair has no UTF-8
                } else if (u < 0x800) {
                    m_text += char(0xc0 | (u >> 6));
                    m_text += char(0x80 | (u & 0x3f));
                } else {
                    m_text += char(0xe0 | (u >> 12));
                    m_text += char(0x80 | ((u >> 6) & 0x3f));
                    m_text += char(0x80 | (u & 0x3f));
                }
                continue;
            }
            switch (u) {
            case '"': m_text += "\\\""; break;
            case '\\': m_text += "\\\\"; break;
            case '\b': m_text += "\\b"; break;
            case '\f': m_text += "\\f"; break;
            case '\n': m_text += "\\n"; break;
            case '\r': m_text += "\\r"; break;
            case '\t': m_text += "\\t"; break;
            default:
                if (u < 0x20)
                    escapeUnit(u);
                else
                    m_text += char(u);
            }
        }
        m_text += '"';
    }

    QByteArray m_text;
};

} // namespace

namespace {
std::atomic<bool> g_recording{true};
}

ChangeHistory::ChangeHistory(Database &db, const CallContext &caller, QString method)
    : m_db(db), m_caller(caller), m_method(std::move(method)), m_recording(g_recording)
{
}

void ChangeHistory::setRecordingForBenchmark(bool on) { g_recording = on; }

int ChangeHistory::readBefore(const QString &condition, const Binder &bind)
{
    return m_recording ? read(condition, bind, true, m_before) : 0;
}

void ChangeHistory::readAfter(const QString &condition, const Binder &bind)
{
    if (m_recording)
        read(condition, bind, false, m_after);
}

void ChangeHistory::afterWriting(const QHash<QString, QVariant> &changed, const QList<double> &labelQuantities)
{
    if (!m_recording)
        return;
    const QVariant labels = labelSummary(labelQuantities);
    for (auto row = m_before.cbegin(); row != m_before.cend(); ++row) {
        Values values = row.value();
        for (auto c = changed.cbegin(); c != changed.cend(); ++c) {
            const qsizetype i = columns().indexOf(c.key());
            Q_ASSERT(i >= 0 && i < rowColumns().size());
            // kept as read() keeps them: numbers as doubles, the rest as text
            values[i] = c.value().isNull()                ? QVariant()
                        : kindOf(i) == FieldKind::Float   ? QVariant(c.value().toDouble())
                                                          : QVariant(c.value().toString());
        }
        values.last() = labels;
        m_after.insert(row.key(), values);
    }
}

namespace {

// A row's values as the history keeps them: numbers as doubles, texts as texts, the day as ISO
// text, so that a row read twice, or read and then handed back by a write, compares equal
// whatever the driver returned.
QList<QVariant> rowValues(const Database &db, const HistoryRows &rows)
{
    QList<QVariant> values;
    values.reserve(ChangeHistory::columns().size());
    for (int i = 0; i < rowColumns().size(); ++i) {
        const QVariant v = rows.value(i, rowColumns()[i].kind);
        if (!v.isNull() && rowColumns()[i].name == QLatin1String("DTSERVTRAN"))
            values << isoDay(db, v);
        else
            values << v;
    }
    values << QVariant();   // the labels, filled in by the caller
    return values;
}

QString keyOfValues(const QList<QVariant> &values)
{
    QStringList keyParts;
    for (int i = 0; i < kKeyColumns.size(); ++i)
        keyParts << values[i].toString();
    return keyParts.join(QChar(0x1f));
}

// the row's columns, without the labels' value that readLabels fills in
const QString &selectedColumns()
{
    static const QString selected = ChangeHistory::columns().mid(0, rowColumns().size()).join(QStringLiteral(", "));
    return selected;
}

} // namespace

void ChangeHistory::noteKey(const QString &key)
{
    if (!m_seen.contains(key)) {
        m_seen.insert(key);
        m_order << key;
    }
}

// The key of a row from its key columns as a statement binds them.
QString ChangeHistory::keyOf(const QList<QVariant> &keyValues) const
{
    QStringList keyParts;
    for (int i = 0; i < kKeyColumns.size(); ++i)
        keyParts << (kKeyColumns[i] == QLatin1String("DTSERVTRAN") ? isoDay(m_db, keyValues[i])
                                                                   : keyValues[i].toString());
    return keyParts.join(QChar(0x1f));
}

int ChangeHistory::read(const QString &condition, const Binder &bind, bool lock, QHash<QString, Values> &into)
{
    // Under READ COMMITTED a plain read sees the row as it was before a concurrent write that is
    // about to commit, and that write's change would be recorded again by this one.
    const bool forUpdate = lock && m_db.dialect() == Dialect::PostgreSQL;
    // (in key order, so that two writes over the same rows take their locks in the same order)
    Query query(m_db, QStringLiteral("SELECT %1 FROM SERVTRAN WHERE %2 ORDER BY %3%4")
                          .arg(selectedColumns(), condition, kKeyColumns.join(QStringLiteral(", ")),
                               forUpdate ? QStringLiteral(" FOR UPDATE") : QString()));
    bind(query);
    HistoryRows rows(query);
    int count = 0;
    for (; rows.next(); ++count) {
        Values values = rowValues(m_db, rows);
        const QString key = keyOfValues(values);
        noteKey(key);
        into.insert(key, std::move(values));
    }
    if (count > 0)
        readLabels(condition, bind, into);
    return count;
}

QString ChangeHistory::returning() const
{
    return m_recording ? QStringLiteral(" RETURNING ") + selectedColumns() : QString();
}

int ChangeHistory::run(Query &write, const QList<QVariant> &formerKey)
{
    if (!m_recording) {
        write.exec();
        return write.rowsAffected();
    }
    // the labels the row had: as this write left them, or as they were before it
    QVariant labels;
    const QString former = keyOf(formerKey);
    if (const auto now = m_after.constFind(former); now != m_after.cend())
        labels = now->last();
    else if (const auto was = m_before.constFind(former); was != m_before.cend())
        labels = was->last();
    m_after.remove(former);
    int stored = 0;
    HistoryRows rows(write);
    while (rows.next()) {
        Values values = rowValues(m_db, rows);
        values.last() = labels;
        const QString key = keyOfValues(values);
        noteKey(key);
        m_after.insert(key, std::move(values));
        ++stored;
    }
    return stored;
}

int ChangeHistory::runInsert(Query &insert)
{
    insert.exec();
    const int stored = insert.rowsAffected();
    if (!m_recording || stored != 1)
        return stored;
    const QHash<QString, QVariant> &bound = insert.boundValues();
    Values values;
    values.reserve(columns().size());
    for (const protocol::PacketField &column : rowColumns()) {
        const QVariant v = bound.value(column.name);
        // kept as read() keeps them: numbers as doubles, the day as ISO text, the rest as text
        values << (v.isNull()                                  ? QVariant()
                   : column.kind == FieldKind::Float           ? QVariant(v.toDouble())
                   : column.name == QLatin1String("DTSERVTRAN") ? QVariant(isoDay(m_db, v))
                                                               : QVariant(v.toString()));
    }
    values << QVariant();   // an included row has no labels
    const QString key = keyOfValues(values);
    noteKey(key);
    m_after.insert(key, std::move(values));
    return stored;
}

std::optional<QList<double>> ChangeHistory::labelsBefore(const QList<QVariant> &key) const
{
    const QString row = keyOf(key);
    if (!m_before.contains(row))
        return std::nullopt;
    return m_labelsBefore.value(row);
}

void ChangeHistory::deleted(const QList<QVariant> &key)
{
    if (m_recording)
        m_after.remove(keyOf(key));
}

// The labels of the rows just read (the conditions name only columns a label row has too).
void ChangeHistory::readLabels(const QString &condition, const Binder &bind, QHash<QString, Values> &into)
{
    Query query(m_db, QStringLiteral("SELECT %1, QTPRATETIQTR FROM ETIQSERVTRAN WHERE %2 ORDER BY %1, NRSEQUETIQTR")
                          .arg(kKeyColumns.join(QStringLiteral(", ")), condition));
    bind(query);
    HistoryRows rows(query);
    QString current;
    QList<double> quantities;
    const auto flush = [&] {
        if (auto row = into.find(current); row != into.end()) {
            row->last() = labelSummary(quantities);
            if (&into == &m_before)
                m_labelsBefore.insert(current, quantities);
        }
        quantities.clear();
    };
    while (rows.next()) {
        QList<QVariant> keyValues;
        for (int i = 0; i < kKeyColumns.size(); ++i)
            keyValues << rows.value(i, FieldKind::String);
        const QString key = keyOf(keyValues);
        if (key != current) {
            flush();
            current = key;
        }
        quantities << rows.value(kKeyColumns.size(), FieldKind::Float).toDouble();
    }
    flush();
}

void ChangeHistory::write()
{
    std::optional<Query> insert;   // prepared once, when the first changed row comes
    for (const QString &key : std::as_const(m_order)) {
        const auto before = m_before.constFind(key);
        const auto after = m_after.constFind(key);
        const bool wasThere = before != m_before.cend();
        const bool isThere = after != m_after.cend();
        if (!wasThere && !isThere)
            continue;   // stored and deleted again, or moved on, by the same write
        ValuesJson was, is;
        for (const qsizetype i : columnsByName()) {
            const FieldKind kind = kindOf(i);
            const QVariant old = wasThere ? before->at(i) : QVariant();
            const QVariant now = isThere ? after->at(i) : QVariant();
            if (wasThere && isThere && old == now)
                continue;
            if (wasThere && (isThere || !old.isNull()))
                was.add(columns()[i], old, kind);
            if (isThere && (wasThere || !now.isNull()))
                is.add(columns()[i], now, kind);
        }
        if (wasThere && isThere && was.isEmpty())
            continue;   // read again, unchanged
        if (!insert)
            insert.emplace(prepareInsert());
        const QChar kind = !wasThere ? QLatin1Char('I') : !isThere ? QLatin1Char('E') : QLatin1Char('A');
        insert->bind(QStringLiteral("IDALTERACAO"), QString(kind))
            .bind(QStringLiteral("DSANTES"), was.text())
            .bind(QStringLiteral("DSDEPOIS"), is.text());
        const Values &row = isThere ? *after : *before;
        for (const QString &c : identityColumns()) {
            const QVariant &v = row[columns().indexOf(c)];
            insert->bind(c, c == QLatin1String("DTSERVTRAN") ? sqlDay(m_db, v) : v);
        }
        insert->exec();
    }
    m_before.clear();
    m_labelsBefore.clear();
    m_after.clear();
    m_order.clear();
    m_seen.clear();
}

// The history's insert with who, when, from where and how bound: the same for every row of a write.
Query ChangeHistory::prepareInsert()
{
    static const QString sql = [] {
        QStringList placeholders;
        for (const QString &c : identityColumns())
            placeholders << QLatin1Char(':') + c;
        return QStringLiteral(
                   "INSERT INTO HISTSERVTRAN (DTHRALTERACAO, CDOPERADOR, DSENDERECO, NMMETODO, IDALTERACAO, %1, DSANTES, "
                   "DSDEPOIS) VALUES (:DTHRALTERACAO, :CDOPERADOR, :DSENDERECO, :NMMETODO, :IDALTERACAO, %2, :DSANTES, "
                   ":DSDEPOIS)")
            .arg(identityColumns().join(QStringLiteral(", ")), placeholders.join(QStringLiteral(", ")));
    }();
    Query query(m_db, sql);
    query.bind(QStringLiteral("DTHRALTERACAO"), m_db.toSql(QDateTime::currentDateTimeUtc()))
        .bind(QStringLiteral("CDOPERADOR"), m_caller.operatorCode)
        .bind(QStringLiteral("DSENDERECO"), m_caller.peerAddress.left(64))
        .bind(QStringLiteral("NMMETODO"), m_method);
    return query;
}

// ---- Reading the history ----------------------------------------------------------------------

// The history of a day, oldest first, with the names of the operator, client, point and dish as
// they are now, one page at a time: the entries after the number given (0: from the first), at
// most kHistoryPageRows of them and about kHistoryPageBytes of text, so that no day, however
// long its history, answers more than one reply can carry. The moments go out as the server's
// wall-clock time, like every date of a packet.
QVariant ServTranService::getHistorico(const QVariantList &list)
{
    // the fourth argument, the last entry read, may be left out: the first page
    const QVariantList withPage = list.size() == 3 ? list + QVariantList{0.0} : list;
    const Arguments args(QStringLiteral("GetHistorico"), withPage, 4);
    const Day day = dayArguments(Arguments(QStringLiteral("GetHistorico"), withPage.mid(0, 3), 3));
    const double after = args.number(3, "NRHISTSERVTRAN");
    Query query(m_db, QStringLiteral(
        "SELECT H.DTHRALTERACAO, H.CDOPERADOR, O.NMOPERADOR, H.DSENDERECO, H.NMMETODO, H.IDALTERACAO, "
        "       H.CDDIETPADST, H.NRSERVTRAN, H.CDCLIENTE, C.NMRAZSOCCLIE, H.CDDESTFILI, D.NMDESTFILI, "
        "       H.CDPRATO, P.NMPRATO, H.DSANTES, H.DSDEPOIS, H.NRHISTSERVTRAN "
        "FROM HISTSERVTRAN H "
        "LEFT JOIN OPERADOR O ON O.CDOPERADOR = H.CDOPERADOR "
        "LEFT JOIN CLIENTE C ON C.CDCLIENTE = H.CDCLIENTE "
        "LEFT JOIN DESTFILI D ON D.CDFILIAL = H.CDFILIAL AND D.CDDESTFILI = H.CDDESTFILI "
        "LEFT JOIN PRATO P ON P.CDPRATO = H.CDPRATO AND P.CDFILAUXPRAT = H.CDFILAUXPRAT "
        "WHERE H.CDFILIAL = :CDFILIAL AND H.CDSERVFILI = :CDSERVFILI AND H.DTSERVTRAN = :DTSERVTRAN "
        "  AND H.NRHISTSERVTRAN > :AFTER "
        "ORDER BY H.NRHISTSERVTRAN LIMIT %1").arg(kHistoryPageRows));
    query.bind(QStringLiteral("CDFILIAL"), day.branch)
        .bind(QStringLiteral("CDSERVFILI"), day.service)
        .bindDate(QStringLiteral("DTSERVTRAN"), day.date)
        .bind(QStringLiteral("AFTER"), qint64(std::max(0.0, after)));
    query.exec();
    const QList<protocol::PacketField> &f = fields::historico();
    const int numberColumn = int(f.size()) - 1;
    protocol::PacketWriter packet(f);
    qsizetype bytes = 0;
    while (bytes < kHistoryPageBytes && query.next()) {
        packet.startRow();
        packet.appendDateTime(protocol::wallClock(m_db.dateTimeFromSql(query.value(0)).toLocalTime()));
        for (int i = 1; i < numberColumn; ++i) {
            const QVariant v = query.value(i);
            if (v.isNull()) {
                packet.appendNull();
            } else {
                const QString text = v.toString().left(f[i].size);
                bytes += text.size();
                packet.appendText(text);
            }
        }
        packet.appendNumber(query.value(numberColumn).toDouble());
        packet.endRow();
        bytes += 64;
    }
    return protocol::resultOk(packetValue(packet.finish()));
}

} // namespace server
