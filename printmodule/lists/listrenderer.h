#pragma once
// A kitchen list on paper: A4 landscape pages with the list's title and day at the top, each
// group under its title with the column heads (repeated when a group goes on to the next page),
// its rows and its totals, the list's totals last, and "Página i de n" at the foot. The same
// drawing serves the preview, the printer and the PDF file.

#include "kitchenlist.h"
#include "listcolumns.h"

#include <labels/labelrenderer.h>

#include <QList>

class QPagedPaintDevice;

namespace printlists {

// What a page holds, top to bottom.
struct PageItem {
    enum Kind { GroupTitle, ColumnHeads, Line } kind = Line;
    int group = -1; // index in the list's groups; -1 for the list's totals
    const ListLine *line = nullptr; // for a Line
    bool continued = false; // a group title repeated on a new page
};
using ListPage = QList<PageItem>;

// The pages of the list: a pure function of the list, in the heights of the fixed page layout.
QList<ListPage> paginateList(const KitchenList &list);

// The page every list is printed on (A4 landscape, the margins drawn by the list itself).
void applyListPageLayout(QPagedPaintDevice &device);

// Draws the list on the device's pages; false when the progress (told after each page) stopped
// it. toolkit::Error when the device cannot be painted.
bool renderList(QPagedPaintDevice &device, const KitchenList &list, const printlabels::RenderProgress &progress = {});

// A figure as the page shows it: Brazilian format, up to three decimals, no trailing zeros.
QString pageNumber(double value);

} // namespace printlists
