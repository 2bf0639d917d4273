// The grid's cell cursor: its row is the dataset's current row, its column the grid's own. Moving
// to another row leaves the current one first (what was typed written, the row posted or
// cancelled); moving to another column runs the column's exit and enter handlers.

#include "dbgridmodel.h"
#include "error.h"

#include <QTimer>

namespace toolkit {

bool DBGrid::Private::nextRow(bool appendAtEnd)
{
    ClientDataSet *ds = dataSet();
    if (!ds || !ds->active())
        return false;
    if (ds->state() == DataSetState::Insert && !ds->modified() && !(editor && editor->isModified())) {
        // An untouched new row: at the end nothing follows it; elsewhere it is dropped and the
        // row below it becomes current.
        if (ds->viewCurrentRow() >= ds->viewRowCount() - 1)
            return true;
        dropEditor();
        return guarded([ds] { ds->cancel(); });
    }
    if (!leaveRow())
        return false;
    return guarded([this, ds, appendAtEnd] {
        ds->next();
        if (ds->eof() && appendAtEnd && canEdit(selectedCol < colCount() ? selectedCol : 0)
            && (options & GridOption::Editing))
            ds->append();
    });
}

bool DBGrid::Private::priorRow()
{
    ClientDataSet *ds = dataSet();
    if (!ds || !ds->active())
        return false;
    if (ds->state() == DataSetState::Insert && !ds->modified() && !(editor && editor->isModified())
        && ds->viewCurrentRow() >= ds->viewRowCount() - 1) {
        // An untouched row appended at the end: dropping it goes back to the last row.
        dropEditor();
        return guarded([ds] {
            ds->cancel();
            ds->last();
        });
    }
    if (!leaveRow())
        return false;
    return guarded([ds] { ds->prior(); });
}

bool DBGrid::Private::moveBy(int distance)
{
    ClientDataSet *ds = dataSet();
    if (!ds || !ds->active())
        return false;
    if (!leaveRow())
        return false;
    return guarded([ds, distance] { ds->moveBy(distance); });
}

bool DBGrid::Private::moveToRow(int row)
{
    ClientDataSet *ds = dataSet();
    if (!ds || !ds->active() || row < 0 || row >= ds->viewRowCount() || row == ds->viewCurrentRow())
        return true;
    const bool pendingBefore = ds->state() == DataSetState::Insert && row > ds->viewCurrentRow();
    const int countBefore = ds->viewRowCount();
    if (!leaveRow())
        return false;
    // A new row that was dropped no longer stands above the clicked one.
    if (pendingBefore && ds->viewRowCount() == countBefore - 1)
        --row;
    return guarded([ds, row] { ds->setRecNo(row); });
}

bool DBGrid::Private::moveToColumn(int col)
{
    if (col < 0 || col >= colCount())
        return false;
    if (col == selectedCol)
        return true;
    // What was typed reaches the field before the column-exit handler looks at it.
    if (!commitEditor())
        return false;
    dropEditor();
    const int before = selectedCol;
    if (!inColExit) {
        inColExit = true;
        bool ok = true;
        try {
            q->onColExit(q);
        } catch (...) {
            ok = false;
            handleException(std::current_exception());
        }
        inColExit = false;
        if (!ok)
            return false;   // refused: the cursor stays in the column being left
        if (selectedCol != before)
            return selectedCol == col;   // the handler moved the cursor itself
        if (col >= colCount())
            return false;                // the handler took the columns away
    }
    selectedCol = col;
    syncCurrent();
    guarded([this] { q->onColEnter(q); });
    q->viewport()->update();
    return true;
}

bool DBGrid::Private::tab(bool forward)
{
    if (colCount() == 0)
        return false;
    if (forward) {
        if (selectedCol + 1 < colCount())
            return moveToColumn(selectedCol + 1);
        if (!nextRow(true))
            return false;
        return moveToColumn(0);
    }
    if (selectedCol > 0)
        return moveToColumn(selectedCol - 1);
    if (!priorRow())
        return false;
    return moveToColumn(colCount() - 1);
}

QModelIndex DBGrid::Private::cursorIndex() const
{
    const int row = currentRow();
    return (row >= 0 && row < model->rowCount() && selectedCol < model->columnCount()) ? model->index(row, selectedCol)
                                                                                        : QModelIndex();
}

void DBGrid::Private::syncCurrent()
{
    const QModelIndex target = cursorIndex();
    if (q->currentIndex() != target) {
        syncing = true;
        q->selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
        syncing = false;
    }
    if (target.isValid() && !editor)
        q->scrollTo(target);
    q->viewport()->update();
}

int DBGrid::selectedIndex() const { return d->selectedCol; }

void DBGrid::setSelectedIndex(int index)
{
    d->moveToColumn(index);
}

Field *DBGrid::selectedField() const { return d->fieldOf(d->selectedCol); }

void DBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (!d || d->syncing)
        return;
    // The view moved its cursor by itself (a focus-in, a reset): the dataset decides.
    if (current != d->cursorIndex())
        QTimer::singleShot(0, this, [this] {
            if (d)
                d->syncCurrent();
        });
}

} // namespace toolkit
