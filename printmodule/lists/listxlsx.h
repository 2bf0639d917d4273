#pragma once
// A kitchen list as a real spreadsheet (.xlsx), which opens as it reads on paper whatever the
// spreadsheet program guesses: codes as text (their leading zeros kept), figures as numbers
// with their field's decimals, the day as a date, the heading line frozen above the rows.

#include "kitchenlist.h"

#include <QString>

namespace printlists {

// Writes the list's lines as the CSV file holds them (each dish row, each group's totals, the
// list's totals); toolkit::Error when the file cannot be written (none is left half written).
void writeListXlsx(const KitchenList &list, const QString &path);

} // namespace printlists
