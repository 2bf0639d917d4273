#pragma once
// The kitchen's documents on paper: A4 landscape pages with the document's title and day at the
// top, each group under its title with the column heads (repeated when a group goes on to the next
// page), its rows and its totals, a closing part last (a list's totals, a report's summary), and
// "Página i de n" at the foot. The kitchen lists and the cold-chain report are drawn by it, and
// the same drawing serves the preview, the printer and the PDF file.

#include "kitchenlist.h"
#include "listcolumns.h"

#include <labels/labelrenderer.h>

#include <QList>
#include <QVariant>

#include <optional>

class QPagedPaintDevice;

namespace printlists {

struct TableColumn {
    QString title;
    double weight = 1; // relative width on the page
    bool numeric = false; // right-aligned, never wrapped
};

// A line of a table: a row, whose texts wrap onto more lines as their column needs, or a total,
// in bold under a rule, its label across the group's first columns.
struct TableLine {
    LineKind kind = LineKind::Row;
    QString label; // a total's: "Total do ponto"
    QList<QVariant> cells; // one a column: a QString, a double (shown by pageNumber) or null
};

struct TableGroup {
    QString title;
    QList<TableColumn> columns;
    int labelColumns = 0; // the columns a total's label takes (its cells there are not drawn)
    QList<TableLine> lines;
};

// What a page of the kitchen's kind is drawn from.
struct TableDocument {
    QString title;
    ListDay day;
    QList<TableGroup> groups;
    TableGroup closing; // drawn last when it has lines
};

// What a page holds, top to bottom.
struct PageItem {
    enum Kind { GroupTitle, ColumnHeads, Line } kind = Line;
    int group = -1; // index in the document's groups; -1 for its closing part
    std::optional<TableLine> line; // for a Line
    bool continued = false; // a group title repeated on a new page
};
using ListPage = QList<PageItem>;

// A kitchen list as the pages show it: the page columns, each group's rows and totals, the
// list's totals as the closing part.
TableDocument listDocument(const KitchenList &list);

// The pages of a document: a pure function of it, in the heights of the fixed page layout. A
// row takes the totals that follow it along, so that no total starts a page alone.
QList<ListPage> paginate(const TableDocument &document);
QList<ListPage> paginateList(const KitchenList &list);

// The page every such document is printed on (A4 landscape, the margins drawn by the document).
void applyListPageLayout(QPagedPaintDevice &device);

// Draws the document on the device's pages; false when the progress (told after each page)
// stopped it. toolkit::Error when the device cannot be painted.
bool renderDocument(
    QPagedPaintDevice &device, const TableDocument &document, const printlabels::RenderProgress &progress = {});
bool renderList(QPagedPaintDevice &device, const KitchenList &list, const printlabels::RenderProgress &progress = {});

// A figure as the page shows it: Brazilian format, up to three decimals, no trailing zeros.
QString pageNumber(double value);

} // namespace printlists
