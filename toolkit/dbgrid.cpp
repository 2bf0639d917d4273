#include "dbgridmodel.h"

#include "controls.h"
#include "designmetrics.h"
#include "error.h"
#include "focustracker.h"
#include "numberinput.h"

#include <algorithm>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>

namespace toolkit {

namespace {

// Hands an exception to the application's error handling once the current event is over
// (never from inside a paint event, where a message box must not open).
void handleLater(std::exception_ptr error)
{
    QTimer::singleShot(0, qApp, [error] { handleException(error); });
}

} // namespace

void DrawCellArgs::textRect(int x, int y, const QString &text) const
{
    if (drawText)
        drawText(x, y, text);
}

QVariant DrawCellArgs::value(const QString &fieldName) const
{
    return valueOf ? valueOf(fieldName) : QVariant();
}

QString DrawCellArgs::text(const QString &fieldName) const
{
    return textOf ? textOf(fieldName) : QString();
}

// ---------------------------------------------------------------------------------------------

class DBGrid::Private::Delegate : public QStyledItemDelegate {
public:
    Delegate(DBGrid::Private *d, QObject *parent) : QStyledItemDelegate(parent), d(d) {}
    void detach() { d = nullptr; }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        const int col = index.column();
        const bool ellipsis = col < d->colCount() && d->cols().at(col).buttonStyle == ColumnButton::Ellipsis;
        auto *editor = new CellEditor(parent, ellipsis);
        if (const Field *f = d->fieldOf(col)) {
            editor->setEditMask(f->editMask());
            if (f->kind() == FieldKind::String && f->size() > 0 && !editor->mask().hasLiterals())
                editor->setMaxLength(editor->mask().isEmpty() ? f->size() : std::min(editor->maxLength(), f->size()));
            editor->setAlignment(f->alignment());
        }
        if (editor->button())
            QObject::connect(editor->button(), &QToolButton::clicked, d->q, [dd = d] { dd->editButtonClick(); });
        d->editor = editor;
        d->editorCol = col;
        return editor;
    }

    // Once, when the editor opens: later the view calls it for every change of the row, and
    // the user's typing must not be replaced (a change of the field itself is shown by the grid).
    void setEditorData(QWidget *w, const QModelIndex &index) const override
    {
        auto *editor = static_cast<CellEditor *>(w);
        if (editor->property("loaded").toBool())
            return;
        editor->setProperty("loaded", true);
        const Field *f = d->fieldOf(index.column());
        QString text;
        if (f)
            guarded([&] { text = f->editText(); });
        editor->setText(text);
        editor->setModified(false);
    }

    // What was typed is written by the grid itself, to the field (never through the model).
    void setModelData(QWidget *, QAbstractItemModel *, const QModelIndex &) const override {}

    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        editor->setGeometry(option.rect);
    }

    void destroyEditor(QWidget *editor, const QModelIndex &index) const override
    {
        if (d)
            d->editorReleased(editor);
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    // Keys typed in the editor go through the grid first, as the grid's own keys do; the
    // editor's losing the focus decides nothing here (the grid's exit does).
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (!d)
            return false;
        if (event->type() == QEvent::KeyPress && object == d->editor)
            return d->handleKey(static_cast<QKeyEvent *>(event), true);
        if (event->type() == QEvent::ShortcutOverride && object == d->editor) {
            // Keys the grid uses in the editor must reach it, not a window shortcut.
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
                event->accept();
                return true;
            }
        }
        return false;
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (!d) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        const int row = index.row();
        const int col = index.column();
        const DrawStates states = d->drawStates(row, col);
        QStyleOptionViewItem opt(option);
        opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        if (states & DrawState::Selected)
            opt.state |= QStyle::State_Selected | QStyle::State_Active;
        if (states & DrawState::Focused)
            opt.state |= QStyle::State_HasFocus;
        opt.palette = cellPalette(states);
        QStyledItemDelegate::paint(painter, opt, index);

        drawCell(painter, option.rect, row, col, states);

        // Where the keys go must show: the current cell of the grid that has the focus is framed.
        if (states & DrawState::Focused) {
            painter->save();
            painter->setPen(QPen(opt.palette.color(QPalette::Active, QPalette::HighlightedText), 1, Qt::DotLine));
            painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
            painter->restore();
        }

        // The current cell's ellipsis button, over whatever the cell shows.
        const bool current = row == d->currentRow() && col == d->selectedCol;
        if (current && col < d->colCount() && d->cols().at(col).buttonStyle == ColumnButton::Ellipsis
            && !(d->editor && d->editorCol == col)) {
            QStyleOptionButton button;
            button.rect = d->buttonRect(option.rect);
            button.text = QStringLiteral("…");
            button.state = QStyle::State_Enabled | QStyle::State_Raised;
            d->q->style()->drawControl(QStyle::CE_PushButton, &button, painter, d->q);
        }
    }

private:
    // The selection of a grid without the focus is shown in a paler colour than that of the grid
    // the keys go to, so that the focused grid stands out among the three of a screen.
    QPalette cellPalette(DrawStates states) const
    {
        QPalette palette = d->q->palette();
        if ((states & DrawState::Selected) && !(states & DrawState::Focused) && !d->editor) {
            const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
            const QColor base = palette.color(QPalette::Active, QPalette::Base);
            const auto mix = [](int a, int b) { return (a + 2 * b) / 3; };
            const QColor pale(mix(highlight.red(), base.red()), mix(highlight.green(), base.green()),
                              mix(highlight.blue(), base.blue()));
            for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
                palette.setColor(group, QPalette::Highlight, pale);
                palette.setColor(group, QPalette::HighlightedText, palette.color(group, QPalette::Text));
            }
        }
        return palette;
    }

    // The form's own drawing of the cell, after the default one.
    void drawCell(QPainter *painter, const QRect &cellRect, int row, int col, DrawStates states) const
    {
        if (!d->q->onDrawColumnCell || col >= d->colCount())
            return;
        Field *field = d->fieldOf(col);
        DrawCellArgs args{painter, cellRect, col, &d->cols().at(col), field, states};
        args.row = row;
        const bool selected = bool(states & DrawState::Selected);
        const QPalette palette = cellPalette(states);
        const QRect rect = cellRect;
        args.drawText = [painter, rect, selected, palette](int x, int y, const QString &text) {
            painter->save();
            painter->setClipRect(rect);
            painter->fillRect(rect, selected ? palette.brush(QPalette::Active, QPalette::Highlight) : palette.brush(QPalette::Base));
            painter->setPen(selected ? palette.color(QPalette::Active, QPalette::HighlightedText) : palette.color(QPalette::Text));
            painter->drawText(QRect(rect.left() + x, rect.top() + y, std::max(0, rect.width() - x), std::max(0, rect.height() - y)),
                              Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
            painter->restore();
        };
        DBGrid::Private *dd = d;
        args.valueOf = [dd, row](const QString &name) {
            const ClientDataSet *ds = dd->dataSet();
            const Field *f = ds ? ds->findField(name) : nullptr;
            return dd->valueAt(row, f);
        };
        args.textOf = [dd, row](const QString &name) {
            const ClientDataSet *ds = dd->dataSet();
            const Field *f = ds ? ds->findField(name) : nullptr;
            return dd->textAt(row, f);
        };
        painter->save();
        try {
            d->q->onDrawColumnCell(d->q, args);
        } catch (...) {
            handleLater(std::current_exception());
        }
        painter->restore();
    }

    DBGrid::Private *d;
};

// ---------------------------------------------------------------------------------------------
// Private

bool DBGrid::Private::canEdit(int col) const
{
    if (!(options & GridOption::Editing) || !active() || col < 0 || col >= colCount())
        return false;
    if (cols().at(col).readOnly)
        return false;
    const Field *f = fieldOf(col);
    return f && !f->readOnly();
}

DrawStates DBGrid::Private::drawStates(int row, int col) const
{
    DrawStates states;
    if (row != currentRow() || col != selectedCol)
        return states;
    const bool focused = q->hasFocus();
    if (editor || focused || (options & GridOption::AlwaysShowSelection))
        states |= DrawState::Selected;
    if (focused && !editor)
        states |= DrawState::Focused;
    return states;
}

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

// The row goes to edit state when the user first changes a cell, as typing into a data-entry
// grid does; an empty grid starts its first row.
bool DBGrid::Private::startEditing()
{
    ClientDataSet *ds = dataSet();
    if (!ds || !ds->active())
        return false;
    if (ds->isEditing())
        return true;
    const bool ok = guarded([ds] {
        if (ds->isEmpty())
            ds->append();
        else
            ds->edit();
    });
    return ok && ds->isEditing();
}

// Opens the editor on the current cell. Typing opens it with that text (the row goes to edit
// state first); Enter, F2 or a click open it on the row as it is, in whatever state it is.
bool DBGrid::Private::openEditor(const QString &typed)
{
    if (editor)
        return true;
    if (!canEdit(selectedCol))
        return false;
    ClientDataSet *ds = dataSet();
    if ((!typed.isEmpty() || ds->isEmpty()) && !startEditing())
        return false;
    // The state-change handlers may have switched editing or moved the column.
    if (!canEdit(selectedCol) || editor)
        return bool(editor);
    syncCurrent();
    const QModelIndex index = q->currentIndex();
    if (!index.isValid())
        return false;
    opening = true;
    const bool opened = q->QTableView::edit(index, QAbstractItemView::AllEditTriggers, nullptr);
    opening = false;
    if (!opened || !editor)
        return false;
    CellEditor *e = editor;
    e->setFocus(Qt::OtherFocusReason);
    // Handlers that heard of the focus moving may have posted the row and closed the editor.
    if (editor != e)
        return false;
    e->selectAll();
    ds->registerEditor(q, [this] { writeEditor(); });
    // A change that came through no key (a paste from the context menu) edits the row too.
    QObject::connect(e, &QLineEdit::textEdited, q, [this, e] {
        if (e != editor || startEditing())
            return;
        QString text;
        if (const Field *f = fieldOf(editorCol))
            guarded([&] { text = f->editText(); });
        if (editor) {
            editor->setText(text);
            editor->setModified(false);
        }
    });
    if (!typed.isEmpty())
        e->type(typed);
    q->viewport()->update();
    return true;
}

void DBGrid::Private::writeEditor()
{
    if (!editor || !editor->isModified())
        return;
    Field *f = fieldOf(editorCol);
    if (!f)
        return;
    f->setAsString(editor->text());
    if (editor)
        editor->setModified(false);
}

bool DBGrid::Private::commitEditor()
{
    if (!editor)
        return true;
    try {
        writeEditor();
        return true;
    } catch (...) {
        if (editor)
            editor->setFocus(Qt::OtherFocusReason);
        handleException(std::current_exception());
        return false;
    }
}

void DBGrid::Private::dropEditor()
{
    CellEditor *e = editor;
    if (!e)
        return;
    editor = nullptr;
    editorCol = -1;
    if (ClientDataSet *ds = source ? source->dataSet() : nullptr)
        ds->unregisterEditor(q);
    q->QTableView::closeEditor(e, QAbstractItemDelegate::NoHint);
    q->viewport()->update();
}

void DBGrid::Private::editorReleased(QWidget *w)
{
    if (w != editor)
        return;
    editor = nullptr;
    editorCol = -1;
    if (ClientDataSet *ds = source ? source->dataSet() : nullptr)
        ds->unregisterEditor(q);
}

// Before the cursor leaves the row: what was typed goes to the field, then the row is posted;
// a row left unchanged is cancelled instead (an untouched new row disappears).
bool DBGrid::Private::leaveRow()
{
    if (!commitEditor())
        return false;
    dropEditor();
    ClientDataSet *ds = dataSet();
    if (!ds || !ds->isEditing())
        return true;
    return guarded([ds] {
        if (ds->modified())
            ds->post();
        else
            ds->cancel();
    });
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

bool DBGrid::Private::hasEditButton() const
{
    return selectedCol >= 0 && selectedCol < colCount() && cols().at(selectedCol).buttonStyle == ColumnButton::Ellipsis;
}

void DBGrid::Private::editButtonClick()
{
    if (!hasEditButton())
        return;
    guarded([this] { q->onEditButtonClick(q); });
}

void DBGrid::Private::insertRow()
{
    ClientDataSet *ds = dataSet();
    if (!ds || !ds->active() || !(options & GridOption::Editing))
        return;
    if (!leaveRow())
        return;
    guarded([ds] { ds->insert(); });
}

void DBGrid::Private::deleteRow()
{
    ClientDataSet *ds = dataSet();
    if (!ds || !ds->active() || !(options & GridOption::Editing) || ds->isEmpty())
        return;
    if ((options & GridOption::ConfirmDelete) && q->confirmDelete
        && !q->confirmDelete(QStringLiteral("Confirma Exclusão?")))
        return;
    dropEditor();
    guarded([ds] { ds->deleteRecord(); });
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

bool DBGrid::editorMode() const { return bool(d->editor); }

QString DBGrid::editorText(const QString &fieldName) const
{
    if (!d->editor || d->editorCol < 0 || d->editorCol >= d->colCount())
        return QString();
    if (d->cols().at(d->editorCol).fieldName.compare(fieldName, Qt::CaseInsensitive) != 0)
        return QString();
    return d->editor->text();
}

QLineEdit *DBGrid::cellEditor() const { return d->editor; }

bool DBGrid::showEditor()
{
    return d->openEditor();
}

bool DBGrid::hideEditor()
{
    if (!d->commitEditor())
        return false;
    d->dropEditor();
    return true;
}

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

bool DBGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    // Editors open only through the grid's own rules (typing, F2, Enter, a click).
    if (!d || !d->opening)
        return false;
    return QTableView::edit(index, trigger, event);
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
