#pragma once
// Operators' passwords: the server keeps only a slow, salted hash of each (Argon2id through
// libsodium, its own string form with the salt and the costs inside), in SENHAOPER.

#include <QString>

namespace server {

class Database;

// The hash of a password, salted at random. Throws Error when the library cannot make one.
QString hashPassword(const QString &password);
// Whether the password is the one the hash was made of.
bool passwordMatches(const QString &hash, const QString &password);

// Stores the operator's new password (its hash). Throws Error when the operator is not in
// OPERADOR or the password is empty.
void setOperatorPassword(Database &db, const QString &operatorCode, const QString &password);
// Whether the operator has a password and this is it. An operator without one cannot sign in.
bool operatorPasswordMatches(Database &db, const QString &operatorCode, const QString &password);

} // namespace server
