#pragma once
// The dish rows of a day as the application server holds them: read with GetDados through a
// connection to rdmServTran, so that the lists show exactly the stored figures.

#include "kitchenlist.h"

#include <framework/netconnection.h>

namespace printlists {

inline constexpr const char *kServerName = "Pla04100.rdmServTran";

// Every dish row of the service on the day, with its point's names. A refusal of the server is
// shown and ends in toolkit::Abort; a failed call or an unexpected answer is a toolkit::Error.
QList<DishRow> readDishRows(TNetConnection &connection, const QString &branch, const QString &service, QDate date);

} // namespace printlists
