#include "sqliterows.h"

#include "database.h"

#include <QSqlDriver>
#include <sqlite3.h>

namespace server {

namespace {

[[noreturn]] void fail(sqlite3 *connection, const QString &sql)
{
    throw DatabaseError(QStringLiteral("Erro no banco de dados (%1): %2")
                            .arg(sql.simplified().left(60), QString::fromUtf8(sqlite3_errmsg(connection))));
}

} // namespace

sqlite3 *sqliteConnection(const Database &db)
{
    const QVariant handle = db.handle().driver()->handle();
    if (db.dialect() != Dialect::SQLite || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw DatabaseError(QStringLiteral("Erro interno: a conexão não é SQLite."));
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
    if (!connection)
        throw DatabaseError(QStringLiteral("Erro interno: a conexão SQLite está fechada."));
    return connection;
}


// The statement is the one the Query prepared (and keeps for its next use): only its values are
// bound here, and it is reset, not finalized, when the rows have been read.
SqliteRows::SqliteRows(const Query &query) : m_sql(query.sql())
{
    const QHash<QString, QVariant> &values = query.boundValues();
    sqlite3 *connection = sqliteConnection(query.database());
    const QVariant handle = query.statementHandle();
    if (qstrcmp(handle.typeName(), "sqlite3_stmt*") != 0 || !*static_cast<sqlite3_stmt *const *>(handle.constData()))
        throw DatabaseError(QStringLiteral("Erro interno: a consulta não foi preparada no SQLite."));
    m_statement = *static_cast<sqlite3_stmt *const *>(handle.constData());
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const int index = sqlite3_bind_parameter_index(m_statement, (QLatin1Char(':') + it.key()).toUtf8().constData());
        const QVariant &v = it.value();
        int rc;
        if (index == 0)
            rc = SQLITE_RANGE;
        else if (v.isNull())
            rc = sqlite3_bind_null(m_statement, index);
        else if (v.metaType().id() == QMetaType::Double || v.metaType().id() == QMetaType::Float)
            rc = sqlite3_bind_double(m_statement, index, v.toDouble());
        else if (v.metaType().id() == QMetaType::Int || v.metaType().id() == QMetaType::LongLong)
            rc = sqlite3_bind_int64(m_statement, index, v.toLongLong());
        else {
            const QByteArray text = v.toString().toUtf8();
            rc = sqlite3_bind_text(m_statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
        if (rc != SQLITE_OK)
            fail(connection, m_sql);
    }
}

SqliteRows::~SqliteRows()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

bool SqliteRows::next()
{
    switch (sqlite3_step(m_statement)) {
    case SQLITE_ROW: return true;
    case SQLITE_DONE: return false;
    default: break;
    }
    fail(sqlite3_db_handle(m_statement), m_sql);
}

int SqliteRows::columnCount() const { return sqlite3_column_count(m_statement); }

bool SqliteRows::isNull(int column) const { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }

QByteArrayView SqliteRows::utf8(int column) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QByteArrayView(text, sqlite3_column_bytes(m_statement, column));
}

double SqliteRows::number(int column) const { return sqlite3_column_double(m_statement, column); }

} // namespace server
