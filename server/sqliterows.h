#pragma once
// A query's rows read through SQLite's own API, for the packets of a day: QtSql's driver turns
// every value into UTF-16 and a QVariant on the way, which costs more than reading the row, while
// a packet wants the UTF-8 bytes SQLite keeps. Runs on the connection of a SQLite Database, in its
// transaction, with the placeholders and values a Query holds.

#include <QByteArrayView>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace server {

class Database;
class Query;

// The SQLite connection under a Database (throws DatabaseError for another dialect).
sqlite3 *sqliteConnection(const Database &db);

class SqliteRows {
public:
    explicit SqliteRows(const Query &query);   // throws DatabaseError
    ~SqliteRows();
    SqliteRows(const SqliteRows &) = delete;
    SqliteRows &operator=(const SqliteRows &) = delete;

    bool next();   // throws DatabaseError
    int columnCount() const;
    bool isNull(int column) const;
    QByteArrayView utf8(int column) const;   // valid until the next call
    double number(int column) const;

private:
    sqlite3_stmt *m_statement = nullptr;
    QString m_sql;
};

} // namespace server
