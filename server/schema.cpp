#include "schema.h"

#include "database.h"

#include <QFile>

namespace server {

namespace {

QString dialectName(Dialect dialect)
{
    return dialect == Dialect::SQLite ? QStringLiteral("sqlite") : QStringLiteral("postgres");
}

QString resourceText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Esquema do banco de dados não encontrado (%1).").arg(path));
    return QString::fromUtf8(file.readAll());
}

QString schemaText(Dialect dialect)
{
    return resourceText(QStringLiteral(":/db/schema-%1.sql").arg(dialectName(dialect)));
}

// The step that brings the schema from version - 1 to version.
QString upgradeText(Dialect dialect, int version)
{
    return resourceText(QStringLiteral(":/db/upgrade-%1-%2.sql").arg(version).arg(dialectName(dialect)));
}

// The files hold one statement per ';' at the end of a line; comments are dropped first.
QStringList statements(const QString &text)
{
    QStringList result;
    QString current;
    for (QString line : text.split(QLatin1Char('\n'))) {
        const qsizetype comment = line.indexOf(QLatin1String("--"));
        if (comment >= 0)
            line.truncate(comment);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        current += line + QLatin1Char('\n');
        if (line.endsWith(QLatin1Char(';'))) {
            current.chop(2);
            result << current;
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        result << current;
    return result;
}

void run(Database &db, const QString &text)
{
    for (const QString &statement : statements(text))
        db.execute(statement);
}

// Asked without a failing statement, which would spoil a PostgreSQL transaction; PostgreSQL's
// to_regclass follows the search_path, as the statements do.
bool tableExists(Database &db, const QString &table)
{
    Query probe(db, db.dialect() == Dialect::SQLite
                        ? QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = :T COLLATE NOCASE")
                        : QStringLiteral("SELECT COUNT(*) FROM (SELECT to_regclass(CAST(:T AS TEXT)) AS R) T WHERE R IS NOT NULL"));
    probe.bind(QStringLiteral("T"), db.dialect() == Dialect::SQLite ? table : table.toLower());
    probe.exec();
    return probe.next() && probe.count(0) > 0;
}

void writeVersion(Database &db, int version)
{
    db.execute(QStringLiteral("DELETE FROM VERSAOBANCO"));
    Query insert(db, QStringLiteral("INSERT INTO VERSAOBANCO (NRVERSAO) VALUES (:V)"));
    insert.bind(QStringLiteral("V"), version);
    insert.exec();
}

// Two servers starting together on one PostgreSQL database must not both upgrade it: the second
// waits here until the first has committed, then finds the schema current. (SQLite's write
// transaction already serializes them.)
void lockSchema(Database &db)
{
    if (db.dialect() == Dialect::PostgreSQL)
        db.execute(QStringLiteral("SELECT pg_advisory_xact_lock(84100001)"));
}

} // namespace

QStringList schemaTables()
{
    return {QStringLiteral("FILIAL"),   QStringLiteral("SERVICO"),      QStringLiteral("PRATO"),
            QStringLiteral("CLIENTE"),  QStringLiteral("OPERADOR"),     QStringLiteral("OPERFILI"),
            QStringLiteral("SENHAOPER"),
            QStringLiteral("DESTFILI"), QStringLiteral("PRATOSERV"),    QStringLiteral("UNIDMEDIFILI"),
            QStringLiteral("PARAMFILI"), QStringLiteral("COMESERV"),    QStringLiteral("SERVTRAN"),
            QStringLiteral("ETIQSERVTRAN"), QStringLiteral("HISTSERVTRAN"), QStringLiteral("CONSPRATO"),
            QStringLiteral("CONSFILI"), QStringLiteral("PREPSERVTRAN"), QStringLiteral("EXPESERVTRAN"),
            QStringLiteral("RECESERVTRAN"), QStringLiteral("CHAVELINK"),
            QStringLiteral("VERSAOBANCO")};
}

void refuseNewerSchema(Database &db, int version)
{
    if (version > kSchemaVersion)
        throw SchemaTooNewError(QStringLiteral("o banco %1 tem o esquema na versão %2, mais nova que a versão %3 deste "
                                               "servidor; instale a versão do servidor que o atualizou.")
                                    .arg(db.description())
                                    .arg(version)
                                    .arg(kSchemaVersion));
}

int schemaVersion(Database &db)
{
    if (tableExists(db, QStringLiteral("VERSAOBANCO"))) {
        Query version(db, QStringLiteral("SELECT MAX(NRVERSAO) FROM VERSAOBANCO"));
        version.exec();
        if (version.next() && !version.value(0).isNull())
            return int(version.count(0));
    }
    return tableExists(db, QStringLiteral("SERVTRAN")) ? 1 : 0;
}

void createSchema(Database &db)
{
    {
        Transaction transaction(db);
        lockSchema(db);
        const int version = schemaVersion(db);
        refuseNewerSchema(db, version);
        if (version == 0) {
            run(db, schemaText(db.dialect()));
            writeVersion(db, kSchemaVersion);
            transaction.commit();
            return;
        }
    }
    upgradeSchema(db);
    Transaction transaction(db);
    run(db, schemaText(db.dialect()));
    transaction.commit();
}

void upgradeSchema(Database &db)
{
    Transaction transaction(db);
    lockSchema(db);
    const int version = schemaVersion(db);
    refuseNewerSchema(db, version);
    if (version == 0 || version == kSchemaVersion)
        return;
    for (int step = version + 1; step <= kSchemaVersion; ++step)
        run(db, upgradeText(db.dialect(), step));
    writeVersion(db, kSchemaVersion);
    transaction.commit();
}

// Asked of the database itself rather than of the driver's table list, so that the answer
// follows PostgreSQL's search_path.
bool hasSchema(Database &db)
{
    for (const QString &table : schemaTables()) {
        try {
            Query probe(db, QStringLiteral("SELECT COUNT(*) FROM %1 WHERE 1 = 0").arg(table));
            probe.exec();
        } catch (const DatabaseError &) {
            return false;
        }
    }
    return true;
}

} // namespace server
