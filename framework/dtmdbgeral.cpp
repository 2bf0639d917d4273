#include "dtmdbgeral.h"

#include <toolkit/error.h>

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace framework {

QString sharedConnectionName() { return QStringLiteral("dtmDBGeral"); }

void closeSharedDatabase()
{
    const QString name = sharedConnectionName();
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void openSharedDatabase(const QString &setting)
{
    closeSharedDatabase();
    const QString name = sharedConnectionName();
    const QString trimmed = setting.trimmed();
    if (trimmed.isEmpty())
        throw toolkit::Error(QStringLiteral("Banco de dados não informado."));

    QSqlDatabase db;
    if (trimmed.startsWith(QLatin1String("postgres:")) && !trimmed.startsWith(QLatin1String("postgres://"))) {
        // The application server's form: "postgres:host=H port=P dbname=D user=U password=S".
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(QStringLiteral("localhost"));
        const QStringList pairs = trimmed.mid(9).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &pair : pairs) {
            const QString key = pair.section(QLatin1Char('='), 0, 0).trimmed().toLower();
            const QString value = pair.section(QLatin1Char('='), 1).trimmed();
            if (key == QLatin1String("host"))
                db.setHostName(value);
            else if (key == QLatin1String("port"))
                db.setPort(value.toInt());
            else if (key == QLatin1String("dbname"))
                db.setDatabaseName(value);
            else if (key == QLatin1String("user"))
                db.setUserName(value);
            else if (key == QLatin1String("password"))
                db.setPassword(value);
        }
        if (db.databaseName().isEmpty()) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw toolkit::Error(QStringLiteral("Banco de dados PostgreSQL sem dbname: %1").arg(trimmed));
        }
    } else if (trimmed.startsWith(QLatin1String("postgresql://")) || trimmed.startsWith(QLatin1String("postgres://"))) {
        const QUrl url(trimmed);
        if (!url.isValid() || url.path().size() < 2)
            throw toolkit::Error(QStringLiteral("Endereço de banco de dados inválido: %1").arg(trimmed));
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(url.host().isEmpty() ? QStringLiteral("localhost") : url.host());
        if (url.port() > 0)
            db.setPort(url.port());
        db.setDatabaseName(url.path().mid(1));
        db.setUserName(url.userName());
        db.setPassword(url.password());
    } else {
        QString path = trimmed;
        if (path.startsWith(QLatin1String("sqlite:")))
            path = path.mid(7);
        const QFileInfo info(path);
        if (!info.exists() || !info.isFile() || !info.isReadable())
            throw toolkit::Error(QStringLiteral("Banco de dados não encontrado ou ilegível: %1").arg(path));
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(info.absoluteFilePath());
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    const auto fail = [&](const QString &text) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw toolkit::Error(QStringLiteral("Não foi possível abrir o banco de dados: %1").arg(text));
    };
    if (!db.open())
        fail(db.lastError().text());
    // A file that is not a database opens fine and fails at its first statement: try one now.
    QString probeError;
    {
        QSqlQuery probe(db);
        const QString sql = db.driverName() == QLatin1String("QSQLITE") ? QStringLiteral("SELECT count(*) FROM sqlite_master")
                                                                         : QStringLiteral("SELECT 1");
        if (!probe.exec(sql))
            probeError = probe.lastError().text();
    }
    if (!probeError.isEmpty())
        fail(probeError);
}

QSqlDatabase sharedDatabase()
{
    const QString name = sharedConnectionName();
    if (!QSqlDatabase::contains(name))
        throw toolkit::Error(QStringLiteral("A conexão com o banco de dados não está aberta."));
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.isOpen())
        throw toolkit::Error(QStringLiteral("A conexão com o banco de dados não está aberta."));
    return db;
}

DatabaseKind databaseKind(const QSqlDatabase &db)
{
    const QString driver = db.driverName();
    if (driver == QLatin1String("QOCI"))
        return DatabaseKind::Oracle;
    if (driver == QLatin1String("QODBC") || driver == QLatin1String("QTDS"))
        return DatabaseKind::MsSql;
    if (driver == QLatin1String("QIBASE"))
        return DatabaseKind::InterBase;
    return DatabaseKind::Default;
}

} // namespace framework
