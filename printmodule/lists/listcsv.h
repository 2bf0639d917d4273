#pragma once
// The kitchen's spreadsheet files (the lists, the cold-chain report), in the form Brazilian
// spreadsheets open without asking:
// UTF-8 with a byte-order mark, ";" between fields, lines ended by CR LF, numbers with a decimal
// comma and no thousands separator, dates dd/MM/yyyy; a field holding ";", a quote or a line
// break is quoted, its quotes doubled; a name that would start a formula is kept as text.

#include "kitchenlist.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

namespace printlists {

// A table as the file: the heading line with the column titles, then one line a row of cells
// (a QString, a double or null). Texts are kept from running as formulas; numbers are the file's
// own and stay numbers.
QByteArray csvTable(const QStringList &titles, const QList<QList<QVariant>> &lines);
// Writes a file's bytes; toolkit::Error when the file cannot be written (none is left half written).
void writeCsvFile(const QByteArray &content, const QString &path);

// The whole file: a heading line with the column titles, then every line of the list (each dish
// row once, each group's totals after its rows, the list's totals last).
QByteArray listCsv(const KitchenList &list);
// Writes it; toolkit::Error when the file cannot be written (none is left half written).
void writeListCsv(const KitchenList &list, const QString &path);

// One field as it stands in the file.
QString csvField(const QString &text);
// A text cell as the spreadsheet must read it: never a formula (a leading apostrophe when it
// begins with "=", "+", "-", "@", a tab or a carriage return).
QString csvText(const QString &text);
// A number as the file writes it: as many decimals as the stored value needs to read back equal.
QString csvNumber(double value);

} // namespace printlists
