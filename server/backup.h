#pragma once
// Copies of the shared database taken while it is served: `servtran-server --backup FILE` and the
// copy taken before an upgrade of the schema.

#include <QString>

namespace server {

class Database;

// A SQLite database copied by SQLite's online backup API into target: every page in one step, so
// in one read transaction of the source and one consistent moment, while other connections go on
// committing (WAL). Written to target + ".part" and renamed once complete, so that target is
// either the old file or a whole copy. Throws Error.
void backupSqlite(Database &db, const QString &target);

// A PostgreSQL database dumped by pg_dump (custom format, for pg_restore) into target, from the
// server's own connection string; only `schema` when one is named. Throws Error when pg_dump is
// missing or fails.
void dumpPostgres(const QString &connection, const QString &target, const QString &schema = {});

// The copy taken before the schema of a database at version `from` is upgraded: beside the file
// for SQLite, in the working directory for PostgreSQL. Its path.
QString backupBeforeUpgrade(Database &db, const QString &connection, int from);

} // namespace server
