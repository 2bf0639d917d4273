#include "database.h"

#include <QSqlResult>

#include <QAtomicInt>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>

namespace server {

namespace {

QAtomicInt connectionCounter;

QString sqlErrorText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    return text;
}

[[noreturn]] void failSql(const QString &what, const QSqlError &error)
{
    throw DatabaseError(QStringLiteral("Erro no banco de dados (%1): %2").arg(what, sqlErrorText(error)));
}

// "key=value key=value" of a PostgreSQL connection string.
QMap<QString, QString> parseOptions(const QString &text)
{
    QMap<QString, QString> options;
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq <= 0)
            throw Error(QStringLiteral("Conexão PostgreSQL inválida: \"%1\" não é chave=valor.").arg(part));
        options.insert(part.left(eq), part.mid(eq + 1));
    }
    return options;
}

} // namespace

Database::Database(const QString &connection)
    : m_name(QStringLiteral("servtran-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
    QSqlDatabase db;
    if (connection.startsWith(QLatin1String("sqlite:"))) {
        QString path = connection.mid(7);
        // "?synchronous=normal" trades the last commits before a power cut for speed; FULL syncs
        // the WAL at every commit, so an acknowledged save survives one, as on PostgreSQL.
        const qsizetype query = path.lastIndexOf(QLatin1Char('?'));
        if (query >= 0) {
            const QString option = path.mid(query + 1).toLower();
            if (option == QLatin1String("synchronous=normal"))
                m_synchronous = QStringLiteral("NORMAL");
            else if (option != QLatin1String("synchronous=full"))
                throw Error(QStringLiteral("Conexão SQLite inválida: opção \"%1\" desconhecida (use ?synchronous=full "
                                           "ou ?synchronous=normal).")
                                .arg(path.mid(query + 1)));
            path.truncate(query);
        }
        if (path.isEmpty())
            throw Error(QStringLiteral("Conexão SQLite sem arquivo: use sqlite:/caminho/arquivo.db"));
        m_dialect = Dialect::SQLite;
        m_description = connection;
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        // Several servers may share the file: wait for a lock rather than fail at once.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=15000"));
    } else if (connection.startsWith(QLatin1String("postgres:"))) {
        m_dialect = Dialect::PostgreSQL;
        auto options = parseOptions(connection.mid(9));
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        db.setHostName(options.take(QStringLiteral("host")));
        if (options.contains(QStringLiteral("port"))) {
            bool ok = false;
            const int port = options.take(QStringLiteral("port")).toInt(&ok);
            if (!ok || port <= 0 || port > 65535) {
                QSqlDatabase::removeDatabase(m_name);
                throw Error(QStringLiteral("Conexão PostgreSQL inválida: porta incorreta."));
            }
            db.setPort(port);
        }
        db.setDatabaseName(options.take(QStringLiteral("dbname")));
        db.setUserName(options.take(QStringLiteral("user")));
        db.setPassword(options.take(QStringLiteral("password")));
        if (!options.contains(QStringLiteral("connect_timeout")))
            options.insert(QStringLiteral("connect_timeout"), QStringLiteral("10"));
        QStringList rest;
        for (auto it = options.cbegin(); it != options.cend(); ++it)
            rest << it.key() + QLatin1Char('=') + it.value();
        db.setConnectOptions(rest.join(QLatin1Char(';')));
        m_description = connection;
        m_description.replace(QRegularExpression(QStringLiteral("password=\\S*")), QStringLiteral("password=***"));
    } else {
        throw Error(QStringLiteral("Conexão desconhecida \"%1\": use sqlite:ARQUIVO ou postgres:host=... port=... "
                                   "dbname=... user=...")
                        .arg(connection));
    }

    if (!db.open()) {
        const QString text = sqlErrorText(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        throw Error(QStringLiteral("Não foi possível abrir o banco de dados %1: %2").arg(m_description, text));
    }
    try {
        startSession();
    } catch (...) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        throw;
    }
}

void Database::startSession()
{
    if (m_dialect == Dialect::SQLite) {
        execute(QStringLiteral("PRAGMA journal_mode = WAL"));
        execute(QStringLiteral("PRAGMA foreign_keys = ON"));
        execute(QStringLiteral("PRAGMA synchronous = ") + m_synchronous);
    } else {
        execute(QStringLiteral("SET client_min_messages TO WARNING"));
    }
}

void Database::dropIfLost()
{
    if (m_dialect != Dialect::PostgreSQL)
        return;
    QSqlDatabase db = handle();
    if (!db.isOpen())
        return;
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT 1"))) {
        probe = QSqlQuery();
        db.close();
    }
}

void Database::ensureOpen()
{
    QSqlDatabase db = handle();
    if (db.isOpen())
        return;
    if (!db.open())
        throw DatabaseError(QStringLiteral("O banco de dados está indisponível; tente novamente em instantes (%1).")
                                .arg(sqlErrorText(db.lastError())));
    try {
        startSession();
    } catch (const Error &) {
        db.close();
        throw;
    }
}

Database::~Database()
{
    m_idle.clear();   // the statements go before their connection
    {
        QSqlDatabase db = handle();
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QVariant Database::toSql(QDate date) const
{
    if (!date.isValid())
        return QVariant(QMetaType::fromType<QString>());
    if (m_dialect == Dialect::SQLite)
        return date.toString(Qt::ISODate);
    return date;
}

QDate Database::dateFromSql(const QVariant &value) const
{
    if (value.isNull())
        return {};
    if (value.metaType().id() == QMetaType::QDate)
        return value.toDate();
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime().date();
    return QDate::fromString(value.toString().left(10), Qt::ISODate);
}

QVariant Database::toSql(const QDateTime &moment) const
{
    if (!moment.isValid())
        return QVariant(QMetaType::fromType<QString>());
    if (m_dialect == Dialect::SQLite)
        return moment.toUTC().toString(Qt::ISODateWithMs);
    return moment.toUTC();
}

QDateTime Database::dateTimeFromSql(const QVariant &value) const
{
    if (value.isNull())
        return {};
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime().toUTC();
    QDateTime moment = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    return moment.isValid() ? moment.toUTC() : moment;
}

void Database::execute(const QString &sql)
{
    QSqlQuery query(handle());
    if (!query.exec(sql))
        failSql(sql.simplified().left(60), query.lastError());
}

Transaction::Transaction(Database &db, Kind kind) : m_db(db)
{
    if (db.dialect() == Dialect::SQLite)
        db.execute(kind == Write ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    else
        db.execute(kind == Write ? QStringLiteral("BEGIN")
                                 : QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    m_open = true;
}

Transaction::~Transaction()
{
    if (!m_open)
        return;
    QSqlQuery query(m_db.handle());
    query.exec(QStringLiteral("ROLLBACK"));   // nothing more to do if even that fails
}

void Transaction::commit()
{
    m_db.execute(QStringLiteral("COMMIT"));
    m_open = false;
}

std::unique_ptr<Database::Prepared> Database::takePrepared(const QString &sql)
{
    const auto it = m_idle.find(sql);
    if (it == m_idle.end() || it->second.empty())
        return nullptr;
    std::unique_ptr<Prepared> prepared = std::move(it->second.back());
    it->second.pop_back();
    --m_idleCount;
    return prepared;
}

void Database::keepPrepared(const QString &sql, std::unique_ptr<Prepared> prepared)
{
    // PostgreSQL prepares on the server, where a statement outlives a table dropped and created
    // again; and statements built with varying text are not kept beyond a bound.
    constexpr qsizetype kMaxIdle = 256;
    if (m_dialect != Dialect::SQLite || m_idleCount >= kMaxIdle)
        return;
    prepared->query.finish();   // reset: a statement left stepping would hold its read snapshot
    m_idle[sql].push_back(std::move(prepared));
    ++m_idleCount;
}

Query::Query(Database &db, const QString &sql) : m_db(db), m_statement(db.takePrepared(sql)), m_sql(sql)
{
    if (m_statement)
        return;
    m_statement = std::make_unique<Database::Prepared>(Database::Prepared{QSqlQuery(db.handle()), {}});
    static const QRegularExpression placeholder(QStringLiteral("(?<![:\\w]):([A-Za-z_][A-Za-z0-9_]*)"));
    for (auto it = placeholder.globalMatch(sql); it.hasNext();)
        m_statement->placeholders.insert(it.next().captured(1));
    m_statement->query.setForwardOnly(true);
    if (!m_statement->query.prepare(sql))
        failSql(QStringLiteral("prepare"), m_statement->query.lastError());
}

Query::~Query()
{
    if (m_statement)
        m_db.keepPrepared(m_sql, std::move(m_statement));
}

Query &Query::bind(const QString &name, const QVariant &value)
{
    if (!m_statement->placeholders.contains(name))
        throw DatabaseError(QStringLiteral("Erro interno: parâmetro :%1 não existe na consulta.").arg(name));
    m_statement->query.bindValue(QLatin1Char(':') + name, value);
    m_bound.insert(name, value);
    return *this;
}

const QHash<QString, QVariant> &Query::boundValues() const
{
    if (m_bound.size() != m_statement->placeholders.size()) {
        QStringList missing;
        for (const QString &name : std::as_const(m_statement->placeholders))
            if (!m_bound.contains(name))
                missing << QLatin1Char(':') + name;
        missing.sort();
        throw DatabaseError(QStringLiteral("Erro interno: parâmetros sem valor: %1").arg(missing.join(u' ')));
    }
    return m_bound;
}

void Query::exec()
{
    boundValues();
    if (!m_statement->query.exec())
        failSql(m_sql.simplified().left(60), m_statement->query.lastError());
}

QVariant Query::statementHandle() const
{
    const QSqlResult *result = m_statement->query.result();
    return result ? result->handle() : QVariant();
}

int Query::columnCount() const { return m_statement->query.record().count(); }

std::optional<double> Query::number(int column) const
{
    const QVariant v = m_statement->query.value(column);
    if (v.isNull())
        return std::nullopt;
    return v.toDouble();
}

} // namespace server
