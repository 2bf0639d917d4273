// The grid's columns: persistent ones as the form declares them, or one per visible field while
// it declares none; their widths, scaled to the font, or the field's display width and title.

#include "dbgridmodel.h"
#include "designmetrics.h"

#include <QHeaderView>

#include <algorithm>

namespace toolkit {

void DBGrid::Private::rebuildAutoColumns()
{
    autoColumns.clear();
    if (!columns.isEmpty() || !source || !source->dataSet())
        return;
    for (const Field *f : source->dataSet()->fields()) {
        if (!f->visible())
            continue;
        GridColumn c;
        c.fieldName = f->fieldName();
        autoColumns.append(c);
    }
}

void DBGrid::Private::applyColumns()
{
    QHeaderView *header = q->horizontalHeader();
    const QFontMetrics metrics(q->font());
    const int digit = metrics.horizontalAdvance(QLatin1Char('0'));
    // A cell's text sits inside the style's margins on both sides, and the grid line takes one.
    const int margins = 2 * (q->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, q) + 1) + 1;
    for (int i = 0; i < colCount() && i < model->columnCount(); ++i) {
        const GridColumn &c = cols().at(i);
        int width = 0;
        if (c.width > 0) {
            width = scaled(c.width, q);
        } else {
            // A display width counts characters: already in the font in use. A column sized by
            // its field shows its whole title too.
            const Field *f = fieldOf(i);
            width = std::max((f ? f->displayWidth() : 10) * digit + margins, model->titleWidth(i));
        }
        header->resizeSection(i, width);
    }
}

void DBGrid::addColumn(const GridColumn &column)
{
    d->columns.append(column);
    d->autoColumns.clear();
    d->reload();
    d->applyColumns();
}

int DBGrid::columnCount() const { return d->colCount(); }

GridColumn &DBGrid::column(int index)
{
    return d->columns.isEmpty() ? d->autoColumns[index] : d->columns[index];
}

const GridColumn &DBGrid::column(int index) const { return d->cols().at(index); }

int DBGrid::columnIndexOfField(const QString &fieldName) const
{
    const auto &cols = d->cols();
    for (int i = 0; i < cols.size(); ++i)
        if (cols.at(i).fieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void DBGrid::setColumnButton(int index, ColumnButton button)
{
    if (index < 0 || index >= d->colCount())
        return;
    GridColumn &c = column(index);
    if (c.buttonStyle == button)
        return;
    c.buttonStyle = button;
    // An open editor on that column gets (or loses) its button the next time it opens.
    viewport()->update();
}

void DBGrid::refreshColumns()
{
    d->applyColumns();
    d->model->refreshAll();
    viewport()->update();
}

} // namespace toolkit
