#pragma once
// The demo data set: branches, operators, services, dishes at every level of the dish code,
// clients, delivery points, registered dish data, and one day already holding points, dishes and
// labels (branch 0001, service 00001, 2026-12-08).

#include <QDate>

namespace server {

class Database;

inline QDate demoDay() { return QDate(2026, 12, 8); }

// True when the database has no branch yet.
bool isEmpty(Database &db);
// Loads the demo data into a database that has the schema and is empty, in one transaction.
// Its operators sign in with kDemoPassword.
void loadDemoData(Database &db);
inline constexpr const char *kDemoPassword = "demo";

// Registration numbers with their check digits: CNPJ from its first 12 digits, CPF from its first 9.
QString cnpj(const QString &first12);
QString cpf(const QString &first9);

} // namespace server
