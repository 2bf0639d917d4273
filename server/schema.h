#pragma once
// The schema of the shared database, one SQL file per dialect under db/, and its version.
//
// A new database gets the whole schema at the current version. An older one is upgraded by the
// steps db/upgrade-N-<dialect>.sql, N being the version each step reaches, all in one transaction
// with the new version, so that a failed or interrupted upgrade leaves the database as it was.
// A database made before versions existed (no VERSAOBANCO) counts as version 1.

#include "errors.h"

#include <QStringList>

namespace server {

class Database;

// The version of the schema this server works with.
constexpr int kSchemaVersion = 5;

// A database whose schema is newer than this server's: it must not be served.
class SchemaTooNewError : public Error {
public:
    using Error::Error;
};

// The version of a database's schema; 0 when it has none of the schema's tables.
int schemaVersion(Database &db);
// Throws SchemaTooNewError when version is newer than this server's.
void refuseNewerSchema(Database &db, int version);
// A database without the schema gets it whole at kSchemaVersion; an older one is upgraded
// (upgradeSchema); tables of the current schema that are missing are created.
void createSchema(Database &db);
// Brings an older schema to kSchemaVersion in one transaction; does nothing when it is current
// (another server may have just done it). Throws SchemaTooNewError for a newer one.
void upgradeSchema(Database &db);
// True when the schema's tables are all there.
bool hasSchema(Database &db);
// The tables of the schema, parents before children.
QStringList schemaTables();

} // namespace server
