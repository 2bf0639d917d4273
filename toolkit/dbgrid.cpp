#include "dbgriddelegate.h"
#include "dbgridmodel.h"

#include "controls.h"
#include "designmetrics.h"
#include "error.h"
#include "focustracker.h"
#include "numberinput.h"

#include <algorithm>

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>

namespace toolkit {

// ---------------------------------------------------------------------------------------------
// Private

void DBGrid::Private::rebind()
{
    for (const auto &c : std::as_const(connections))
        QObject::disconnect(c);
    connections.clear();
    dropEditor();
    if (DataSource *s = source) {
        connections << QObject::connect(s, &DataSource::dataSetChanged, q, [this] { rebind(); });
        connections << QObject::connect(s, &DataSource::layoutChanged, q, [this] { refresh(); });
        connections << QObject::connect(s, &DataSource::stateChanged, q, [this] {
            const ClientDataSet *ds = dataSet();
            if (editor && !(ds && ds->isEditing()))
                dropEditor();   // posted or cancelled elsewhere: nothing left to type into
            refresh();
        });
        connections << QObject::connect(s, &DataSource::currentChanged, q, [this] {
            if (editor && editorCol >= 0 && q->currentIndex().row() != currentRow())
                dropEditor();
            if (!model->sameColumns()) {
                reload();
            } else if (!model->sameShape()) {
                model->resizeRows();
                model->refreshAll();
            } else {
                model->resizeRows();   // the row count is the same: only what the view knows of a pending row
                model->refreshRow(currentRow());
            }
            syncCurrent();
        });
        connections << QObject::connect(s, &DataSource::fieldChanged, q, [this](Field *f) {
            model->refreshRow(currentRow());
            // The field under the open editor changed (a lookup wrote it): show the new value.
            if (editor && f && fieldOf(editorCol) == f) {
                QString text;
                guarded([&] { text = f->editText(); });
                editor->setText(text);
                editor->setModified(false);
            }
        });
        connections << QObject::connect(s, &DataSource::focusControlRequested, q, [this](Field *f) {
            if (!f)
                return;
            const int col = q->columnIndexOfField(f->fieldName());
            if (col < 0)
                return;
            moveToColumn(col);
            if (selectedCol != col)
                return;
            if (q->isEnabled() && q->isVisible()) {
                if (editor)
                    editor->setFocus(Qt::OtherFocusReason);
                else
                    q->setFocus(Qt::OtherFocusReason);
            }
            // Back on the column to correct it: open the editor while the row is being edited.
            const ClientDataSet *ds = dataSet();
            if (ds && ds->isEditing() && !editor && canEdit(col))
                openEditor();
        });
    }
    rebuildAutoColumns();
    reload();
    applyColumns();   // widths that follow the fields' display widths
}

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

void DBGrid::Private::reload()
{
    dropEditor();
    const int columnsBefore = model->columnCount();
    syncing = true;
    model->reload();
    syncing = false;
    if (selectedCol >= colCount())
        selectedCol = std::max(0, colCount() - 1);
    // Widths as declared when the columns come; afterwards they are the user's to resize.
    if (model->columnCount() != columnsBefore)
        applyColumns();
    syncCurrent();
}

void DBGrid::Private::refresh()
{
    if (columns.isEmpty()) {
        const auto before = autoColumns.size();
        rebuildAutoColumns();
        if (autoColumns.size() != before) {
            reload();
            return;
        }
    }
    if (!model->sameColumns()) {
        reload();
        return;
    }
    model->resizeRows();
    model->refreshAll();
    syncCurrent();
    q->viewport()->update();
}

void DBGrid::Private::syncCurrent()
{
    const int row = currentRow();
    const QModelIndex target = (row >= 0 && row < model->rowCount() && selectedCol < model->columnCount())
        ? model->index(row, selectedCol)
        : QModelIndex();
    if (q->currentIndex() != target) {
        syncing = true;
        q->selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
        syncing = false;
    }
    if (target.isValid() && !editor)
        q->scrollTo(target);
    q->viewport()->update();
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

void DBGrid::Private::applyOptions()
{
    q->horizontalHeader()->setVisible(bool(options & GridOption::Titles));
    q->horizontalHeader()->setSectionResizeMode((options & GridOption::ColumnResize) ? QHeaderView::Interactive
                                                                                       : QHeaderView::Fixed);
    q->setShowGrid(bool(options & (GridOption::ColLines | GridOption::RowLines)));
    if (!(options & GridOption::Editing) && editor) {
        // Editing switched off: what was typed is kept in the field, then the editor goes.
        if (!guarded([this] { writeEditor(); }))
            return;
        dropEditor();
    }
    q->viewport()->update();
}

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

// Runs the key handlers, then what the key means to the grid. True when the key was used up.
bool DBGrid::Private::handleKey(QKeyEvent *event, bool fromEditor)
{
    const Qt::KeyboardModifiers mods = event->modifiers();
    int key = event->key();
    if (!guarded([&] { q->onKeyDown(q, key, mods); }) || key == 0)
        return true;
    const QChar original = typedChar(event);
    QChar c = original;
    if (!c.isNull()) {
        if (!guarded([&] { q->onKeyPress(q, c); }) || c.isNull())
            return true;
    }
    // The handlers may have posted or cancelled the row, switched editing off or closed the
    // dataset: the key now means what it means to the grid as it is.
    fromEditor = fromEditor && editor;
    if (mods & Qt::AltModifier)
        return false;   // menus and window commands
    const bool ctrl = mods & Qt::ControlModifier;
    const bool shift = mods & Qt::ShiftModifier;

    switch (key) {
    case Qt::Key_Up:
        priorRow();
        return true;
    case Qt::Key_Down:
        nextRow(true);
        return true;
    case Qt::Key_PageUp:
        moveBy(-std::max(1, q->viewport()->height() / std::max(1, q->verticalHeader()->defaultSectionSize()) - 1));
        return true;
    case Qt::Key_PageDown:
        moveBy(std::max(1, q->viewport()->height() / std::max(1, q->verticalHeader()->defaultSectionSize()) - 1));
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!ctrl && (options & GridOption::Tabs)) {
            tab(key == Qt::Key_Tab && !shift);
            return true;
        }
        // Tab leaves the grid (Ctrl+Tab always does).
        q->leaveToNextControl(key == Qt::Key_Tab && !shift);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (ctrl) {
            editButtonClick();
            return true;
        }
        if (fromEditor) {
            if (commitEditor())
                dropEditor();
            return true;
        }
        return openEditor();
    case Qt::Key_Escape:
        if (fromEditor) {
            dropEditor();   // the typing is undone; the row keeps its state
            return true;
        }
        if (ClientDataSet *ds = dataSet(); ds && ds->isEditing()) {
            guarded([ds] { ds->cancel(); });
            return true;
        }
        return false;
    case Qt::Key_F2:
        if (!fromEditor)
            openEditor();
        return true;
    case Qt::Key_F4:
        // The look-up key of every edit with a look-up, in the cells that offer one too.
        if (!ctrl && !shift && hasEditButton()) {
            editButtonClick();
            return true;
        }
        break;
    default:
        break;
    }

    if (fromEditor) {
        CellEditor *e = editor;
        const QString shown = e->displayText();
        const bool all = e->hasSelectedText() && e->selectedText().size() == shown.size();
        if (key == Qt::Key_Left && !shift && ((e->cursorPosition() == 0 && !e->hasSelectedText()) || all)) {
            moveToColumn(selectedCol - 1);
            return true;
        }
        if (key == Qt::Key_Right && !shift && ((e->cursorPosition() == shown.size() && !e->hasSelectedText()) || all)) {
            moveToColumn(selectedCol + 1);
            return true;
        }
        // A number cell takes what a typed number is written with, under the one rule for it.
        if (!c.isNull() && c.isPrint() && !ctrl) {
            if (const Field *f = fieldOf(editorCol); f && f->kind() == FieldKind::Float) {
                c = numberInputChar(c, mods);
                if (c.isNull())
                    return true;
            }
        }
        const bool types = !c.isNull() && c.isPrint() && !ctrl;
        const bool changes = types || key == Qt::Key_Backspace || key == Qt::Key_Delete
            || event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)
            || event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo);
        if (changes && !startEditing())
            return true;   // the row cannot be edited: the key changes nothing
        if (!editor)
            return true;   // a state-change handler switched editing off meanwhile
        if (c != original && types) {
            editor->type(QString(c));
            return true;
        }
        return false;   // the editor types it
    }

    switch (key) {
    case Qt::Key_Left:
        moveToColumn(selectedCol - 1);
        return true;
    case Qt::Key_Right:
        moveToColumn(selectedCol + 1);
        return true;
    case Qt::Key_Home:
        if (ctrl) {
            if (leaveRow())
                guarded([this] { dataSet()->first(); });
        } else {
            moveToColumn(0);
        }
        return true;
    case Qt::Key_End:
        if (ctrl) {
            if (leaveRow())
                guarded([this] { dataSet()->last(); });
        } else {
            moveToColumn(colCount() - 1);
        }
        return true;
    case Qt::Key_Insert:
        if (!ctrl && !shift) {
            insertRow();
            return true;
        }
        return false;
    case Qt::Key_Delete:
        if (ctrl) {
            deleteRow();
            return true;
        }
        return false;
    default:
        break;
    }

    if (!c.isNull() && c.isPrint() && !ctrl) {
        // Typing into a cell opens its editor with that character.
        if (const Field *f = fieldOf(selectedCol); f && f->kind() == FieldKind::Float)
            c = numberInputChar(c, mods);
        if (!c.isNull() && canEdit(selectedCol))
            openEditor(QString(c));
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// DBGrid

class DBGrid::Private::Focus : public FocusListener {
public:
    explicit Focus(DBGrid *grid, DBGrid::Private *d) : q(grid), d(d) {}
    void focusEntered() override
    {
        q->viewport()->update();
        q->onEnter(q);
    }
    void focusExited() override
    {
        ClientDataSet *ds = d->dataSet();
        if (ds && ds->active()) {
            const bool typed = d->editor && d->editor->isModified();
            if ((d->options & GridOption::CancelOnExit) && ds->state() == DataSetState::Insert && !ds->modified() && !typed) {
                d->dropEditor();
                ds->cancel();
            } else {
                try {
                    d->writeEditor();
                } catch (...) {
                    // The typed text is refused: back to the editor to correct it.
                    if (d->editor)
                        d->editor->setFocus(Qt::OtherFocusReason);
                    else
                        q->setFocus(Qt::OtherFocusReason);
                    throw;
                }
            }
        }
        d->dropEditor();
        q->viewport()->update();
        q->onExit(q);
    }

private:
    DBGrid *q;
    DBGrid::Private *d;
};

// Watches the viewport, which never has the focus: a key press there climbs from the editor.
class DBGrid::Private::KeyClimb : public QObject {
public:
    KeyClimb(DBGrid::Private *d, QObject *parent) : QObject(parent), d(d) {}
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress)
            d->climbingKey = event;
        return false;
    }

private:
    DBGrid::Private *d;
};

DBGrid::DBGrid(QWidget *parent, const QString &name) : QTableView(parent), d(new Private(this))
{
    setObjectName(name);
    d->model = new Private::Model(d, this);
    d->delegate = new Private::Delegate(d, this);
    setModel(d->model);
    setItemDelegate(d->delegate);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setTextElideMode(Qt::ElideRight);   // a narrow title keeps its start
    // Whether a title fits depends on its section's width.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section) {
        if (QAbstractItemModel *m = model())
            emit m->headerDataChanged(Qt::Horizontal, section, section);
    });
    horizontalHeader()->setSectionsClickable(false);
    d->applyOptions();
    d->focus = new Private::Focus(this, d);
    d->keyClimb = new Private::KeyClimb(d, this);
    viewport()->installEventFilter(d->keyClimb);
    FocusTracker::instance()->add(this, d->focus);
}

DBGrid::~DBGrid()
{
    FocusTracker::instance()->remove(this);
    if (d->source && d->source->dataSet())
        d->source->dataSet()->unregisterEditor(this);
    for (const auto &c : std::as_const(d->connections))
        disconnect(c);
    // The view's own destruction may still reach the model and the delegate.
    d->model->detach();
    d->delegate->detach();
    viewport()->removeEventFilter(d->keyClimb);
    delete d->keyClimb;
    delete d->focus;
    delete d;
    d = nullptr;
}

DataSource *DBGrid::dataSource() const { return d->source; }

void DBGrid::setDataSource(DataSource *source)
{
    if (d->source == source)
        return;
    if (d->source && d->source->dataSet())
        d->source->dataSet()->unregisterEditor(this);
    d->source = source;
    d->rebind();
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

GridOptions DBGrid::options() const { return d->options; }

void DBGrid::setOptions(GridOptions options)
{
    if (d->options == options)
        return;
    d->options = options;
    d->applyOptions();
}

void DBGrid::setOption(GridOption option, bool on)
{
    setOptions(on ? (d->options | option) : (d->options & ~GridOptions(option)));
}

int DBGrid::selectedIndex() const { return d->selectedCol; }

void DBGrid::setSelectedIndex(int index)
{
    d->moveToColumn(index);
}

Field *DBGrid::selectedField() const { return d->fieldOf(d->selectedCol); }

bool DBGrid::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        // A key the editor left unused climbs back up through the editor's parents: the grid
        // already had its say (the editor's keys go through it first), so it goes on, ignored,
        // to the window.
        if (event == std::exchange(d->climbingKey, nullptr)) {
            event->ignore();
            return true;
        }
        // Tab is the grid's own key (between cells) before it is the window's (between controls).
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QTableView::event(event);
}

bool DBGrid::leaveToNextControl(bool forward)
{
    // What was typed is written first; a refused value keeps the focus in its cell.
    if (!d->commitEditor()) {
        FocusTracker::instance()->keep(d->editor ? static_cast<QWidget *>(d->editor.data()) : this);
        return false;
    }
    d->dropEditor();
    return QTableView::focusNextPrevChild(forward);
}

void DBGrid::keyPressEvent(QKeyEvent *event)
{
    if (d->editor && !d->opening) {
        // With the editor open, keys sent to the grid itself belong to the editor; sent there, an
        // unused one climbs the parents (the window included) by itself.
        QCoreApplication::sendEvent(d->editor, event);
        event->accept();
        return;
    }
    if (d->handleKey(event, false))
        event->accept();
    else
        event->ignore();
}

void DBGrid::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid() || event->button() != Qt::LeftButton) {
        QTableView::mousePressEvent(event);
        return;
    }
    const bool wasCurrent = index.row() == d->currentRow() && index.column() == d->selectedCol;
    if (focusPolicy() != Qt::NoFocus && !hasFocus() && !d->editor)
        setFocus(Qt::MouseFocusReason);
    event->accept();
    if (wasCurrent) {
        // A click on the current cell: its ellipsis button, or its editor.
        if (index.column() < d->colCount() && d->cols().at(index.column()).buttonStyle == ColumnButton::Ellipsis
            && d->buttonRect(visualRect(index)).contains(event->position().toPoint())) {
            d->editButtonClick();
            return;
        }
        if (!d->editor && d->canEdit(index.column()))
            d->openEditor();
        return;
    }
    if (index.row() != d->currentRow() && !d->moveToRow(index.row()))
        return;
    d->moveToColumn(index.column());
}

void DBGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index.row() == d->currentRow() && index.column() == d->selectedCol && !d->editor)
        d->openEditor();
    event->accept();
    emit doubleClicked(index);
}

void DBGrid::mouseMoveEvent(QMouseEvent *event)
{
    // No drag selection: the cursor is the dataset's.
    event->accept();
}

void DBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (!d || d->syncing)
        return;
    // The view moved its cursor by itself (a focus-in, a reset): the dataset decides.
    const int row = d->currentRow();
    const QModelIndex wanted = (row >= 0 && row < d->model->rowCount() && d->selectedCol < d->model->columnCount())
        ? d->model->index(row, d->selectedCol)
        : QModelIndex();
    if (current != wanted)
        QTimer::singleShot(0, this, [this] {
            if (d)
                d->syncCurrent();
        });
}

} // namespace toolkit
