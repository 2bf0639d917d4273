#include "schema.h"

#include "database.h"

#include <QFile>

namespace server {

namespace {

QString schemaText(Dialect dialect)
{
    const QString path = dialect == Dialect::SQLite ? QStringLiteral(":/db/schema-sqlite.sql")
                                                    : QStringLiteral(":/db/schema-postgres.sql");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("Esquema do banco de dados não encontrado (%1).").arg(path));
    return QString::fromUtf8(file.readAll());
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

} // namespace

QStringList schemaTables()
{
    return {QStringLiteral("FILIAL"),   QStringLiteral("SERVICO"),      QStringLiteral("PRATO"),
            QStringLiteral("CLIENTE"),  QStringLiteral("OPERADOR"),     QStringLiteral("OPERFILI"),
            QStringLiteral("SENHAOPER"),
            QStringLiteral("DESTFILI"), QStringLiteral("PRATOSERV"),    QStringLiteral("UNIDMEDIFILI"),
            QStringLiteral("PARAMFILI"), QStringLiteral("COMESERV"),    QStringLiteral("SERVTRAN"),
            QStringLiteral("ETIQSERVTRAN"), QStringLiteral("HISTSERVTRAN")};
}

void createSchema(Database &db)
{
    Transaction transaction(db);
    for (const QString &statement : statements(schemaText(db.dialect())))
        db.execute(statement);
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
