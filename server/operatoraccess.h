#pragma once
// The branches an operator may use (OPERADOR, OPERFILI), checked by the server on every call
// that names a branch: a client that skips its own check gets no further.

#include <QSet>
#include <QString>

namespace server {

class Database;

class OperatorAccess {
public:
    OperatorAccess(Database &db, const QString &operatorCode) : m_db(db), m_operator(operatorCode.trimmed()) {}

    // Throws Fault when the operator is not registered, or is listed in OPERFILI without this
    // branch. An operator with no row in OPERFILI is not restricted, as the screens read it.
    void require(const QString &branch);

private:
    Database &m_db;
    QString m_operator;
    QSet<QString> m_allowed;   // branches already allowed during this call
};

} // namespace server
