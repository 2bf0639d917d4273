#include "backup.h"

#include "database.h"
#include "sqliterows.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace server {

namespace {

// The copy is on disk, and its name in its directory, before we say it is there.
void syncToDisk(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

void backupSqlite(Database &db, const QString &target)
{
    sqlite3 *source = sqliteConnection(db);
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part);
    sqlite3 *copy = nullptr;
    const auto failed = [&](const QString &why) {
        sqlite3_close(copy);
        QFile::remove(part);
        return Error(QStringLiteral("cópia de segurança em %1 falhou: %2").arg(target, why));
    };
    if (sqlite3_open_v2(QFile::encodeName(part).constData(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr)
        != SQLITE_OK)
        throw failed(QString::fromUtf8(sqlite3_errmsg(copy)));
    sqlite3_backup *backup = sqlite3_backup_init(copy, "main", source, "main");
    if (!backup)
        throw failed(QString::fromUtf8(sqlite3_errmsg(copy)));
    int rc = SQLITE_OK;
    // -1: all pages in one step. A writer holding the lock for a moment answers BUSY: try again.
    for (int attempt = 0; attempt < 1500; ++attempt) {
        rc = sqlite3_backup_step(backup, -1);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            break;
        QThread::msleep(10);
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        throw failed(QString::fromUtf8(sqlite3_errstr(rc)));
    if (sqlite3_close(copy) != SQLITE_OK)
        throw failed(QStringLiteral("o arquivo não pôde ser fechado"));
    copy = nullptr;
    syncToDisk(part);
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0)
        throw failed(QStringLiteral("o arquivo não pôde ser renomeado"));
    syncToDisk(QFileInfo(target).absolutePath());
}

void dumpPostgres(const QString &connection, const QString &target, const QString &schema)
{
    if (!connection.startsWith(QLatin1String("postgres:")))
        throw Error(QStringLiteral("pg_dump só copia bancos PostgreSQL."));
    const QString part = target + QStringLiteral(".part");
    QProcess dump;
    dump.setProcessChannelMode(QProcess::ForwardedOutputChannel);   // its messages go to our log
    QStringList arguments = {QStringLiteral("--format=custom"), QStringLiteral("--file=") + part,
                             QStringLiteral("--dbname=") + connection.mid(9)};
    if (!schema.isEmpty())
        arguments << QStringLiteral("--schema=") + schema;
    dump.start(QStringLiteral("pg_dump"), arguments);
    if (!dump.waitForStarted())
        throw Error(QStringLiteral("pg_dump não pôde ser executado (instale postgresql-client): %1").arg(dump.errorString()));
    dump.waitForFinished(-1);
    if (dump.exitStatus() != QProcess::NormalExit || dump.exitCode() != 0) {
        QFile::remove(part);
        throw Error(QStringLiteral("pg_dump falhou (código %1): %2").arg(dump.exitCode()).arg(QString::fromUtf8(dump.readAllStandardError()).trimmed()));
    }
    syncToDisk(part);
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0)
        throw Error(QStringLiteral("a cópia %1 não pôde ser renomeada.").arg(target));
}

QString backupBeforeUpgrade(Database &db, const QString &connection, int from)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    if (db.dialect() == Dialect::SQLite) {
        const QString file = db.handle().databaseName();
        const QString target = QStringLiteral("%1.versao-%2-%3.bak").arg(file).arg(from).arg(stamp);
        backupSqlite(db, target);
        return target;
    }
    const QString target = QDir::current().absoluteFilePath(QStringLiteral("servtran-versao-%1-%2.dump").arg(from).arg(stamp));
    // the schema the server works in (the first of its search_path), not others the database holds
    Query schema(db, QStringLiteral("SELECT current_schema()"));
    schema.exec();
    dumpPostgres(connection, target, schema.next() ? schema.text(0) : QString());
    return target;
}

} // namespace server
