#pragma once
// The columns of the kitchen lists, one definition for the page and the spreadsheet: what each
// is called and what a line holds in it. The page shows what a reader needs beside its group's
// title; the spreadsheet repeats the day, the point and the dish on every line so that each
// line stands on its own when sorted or filtered.

#include "kitchenlist.h"

#include <QList>
#include <QVariant>

namespace printlists {

enum class Column {
    Line, // what the line is: a dish row or a total
    Date,
    Branch,
    Service,
    ClientCode,
    ClientName,
    PointCode,
    PointName,
    DishCode,
    DishName,
    Unit,
    Diners,
    PerPerson,
    Quantity,
    Sample,
    QuantityWithSample,
    PerContainer,
    Containers,
    FullContainers,
    PartialContainers,
    PartialQuantity,
    ContainersWithSample,
    FullContainersWithSample,
    PartialContainersWithSample,
};

QList<Column> pageColumns(ListKind kind);
QList<Column> spreadsheetColumns(ListKind kind);

QString columnTitle(Column column);
bool isNumeric(Column column);
// The decimals a figure is written with: none for diners and containers, three for quantities.
int columnDecimals(Column column);
// Relative width on the page.
double columnWeight(Column column);

// What the line holds in the column: a QString, a double, or null when the column means nothing
// for the line (a total's quantity per person).
QVariant cellValue(const KitchenList &list, const ListLine &line, Column column);

// "Prato", "Total do ponto", "Total geral"...
QString lineText(ListKind kind, LineKind line);

} // namespace printlists
