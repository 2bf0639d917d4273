#pragma once
// The schema of the shared database, one SQL file per dialect under db/.

#include <QStringList>

namespace server {

class Database;

// Creates every table that does not exist yet; tables that exist are left alone.
void createSchema(Database &db);
// True when the schema's tables are all there.
bool hasSchema(Database &db);
// The tables of the schema, parents before children.
QStringList schemaTables();

} // namespace server
