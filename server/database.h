#pragma once
// The shared database as the server sees it: one connection, opened from a connection string,
// owned by the thread that opened it (a QSqlDatabase connection must not cross threads).
//
//   sqlite:/path/to/file.db[?synchronous=normal]              WAL mode, busy timeout, foreign keys on,
//                                                             synchronous = FULL unless NORMAL is asked
//   postgres:host=H port=P dbname=D user=U [password=W] [other libpq options]

#include "errors.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace server {

enum class Dialect { SQLite, PostgreSQL };

class Database {
public:
    explicit Database(const QString &connection);   // throws Error when it cannot connect
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    Dialect dialect() const { return m_dialect; }
    QSqlDatabase handle() const { return QSqlDatabase::database(m_name, false); }
    // The connection string without its password, for logs and messages.
    const QString &description() const { return m_description; }

    // The one place where a day (a date without time) enters and leaves the database:
    // DATE in PostgreSQL, ISO text 'yyyy-MM-dd' in SQLite.
    QVariant toSql(QDate date) const;
    QDate dateFromSql(const QVariant &value) const;
    // The same for a moment in time (the history's): TIMESTAMPTZ in PostgreSQL, ISO text in UTC
    // with milliseconds in SQLite, so that text order is time order.
    QVariant toSql(const QDateTime &moment) const;
    QDateTime dateTimeFromSql(const QVariant &value) const;

    // A statement without parameters (schema, pragmas, transaction control).
    void execute(const QString &sql);

    // A PostgreSQL connection outlives its server's restarts: after a failed call, dropIfLost()
    // closes a connection that no longer answers, and the next call's ensureOpen() connects
    // again, or throws DatabaseError "O banco de dados está indisponível..." while it cannot.
    void dropIfLost();
    void ensureOpen();

private:
    friend class Transaction;
    friend class Query;

    void startSession();

    // A statement prepared on this connection, with the placeholders of its text.
    struct Prepared {
        QSqlQuery query;
        QSet<QString> placeholders;
    };
    // On SQLite a statement finished with goes back here by its text, for the next Query of the
    // same text: preparing costs more than running most of the short statements of a call (the
    // operator's access, the history's reads, a label's insert).
    std::unique_ptr<Prepared> takePrepared(const QString &sql);
    void keepPrepared(const QString &sql, std::unique_ptr<Prepared> prepared);

    QString m_name;
    Dialect m_dialect = Dialect::SQLite;
    QString m_description;
    QString m_synchronous = QStringLiteral("FULL");
    std::unordered_map<QString, std::vector<std::unique_ptr<Prepared>>> m_idle;
    qsizetype m_idleCount = 0;
};

// A transaction that rolls back on every path but an explicit commit().
// Write transactions in SQLite start with BEGIN IMMEDIATE: they take the write lock up front, so
// that two servers on one file never both hold a read lock and wait for each other to upgrade.
// Read transactions give the several queries of one answer the same snapshot.
class Transaction {
public:
    enum Kind { Write, Read };
    explicit Transaction(Database &db, Kind kind = Write);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Database &m_db;
    bool m_open = false;
};

// A prepared statement with named placeholders (:NAME). exec() refuses to run while any
// placeholder of the text is unbound, or when a bound name is not in the text, because the
// drivers silently bind NULL for a misspelled name.
class Query {
public:
    Query(Database &db, const QString &sql);
    ~Query();
    Query(Query &&) noexcept = default;
    Query &bind(const QString &name, const QVariant &value);
    Query &bindDate(const QString &name, QDate date) { return bind(name, m_db.toSql(date)); }
    void exec();
    // The statement, its database and its values, for readers that run it by other means
    // (SqliteRows); throws as exec() does while a placeholder is unbound.
    const QString &sql() const { return m_sql; }
    Database &database() const { return m_db; }
    const QHash<QString, QVariant> &boundValues() const;
    // The driver's own handle of the prepared statement (for SQLite a sqlite3_stmt*).
    QVariant statementHandle() const;
    bool next() { return m_statement->query.next(); }

    QVariant value(int column) const { return m_statement->query.value(column); }
    QString text(int column) const { return m_statement->query.value(column).toString(); }
    std::optional<double> number(int column) const;
    QDate date(int column) const { return m_db.dateFromSql(m_statement->query.value(column)); }
    qint64 count(int column) const { return m_statement->query.value(column).toLongLong(); } // COUNT(*) type varies
    int rowsAffected() const { return m_statement->query.numRowsAffected(); }
    int columnCount() const;

private:
    Database &m_db;
    std::unique_ptr<Database::Prepared> m_statement;
    QString m_sql;
    QHash<QString, QVariant> m_bound;
};

// Null-preserving conversion of a number for binding.
inline QVariant sqlNumber(std::optional<double> value)
{
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<double>());
}

} // namespace server
