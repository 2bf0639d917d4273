// The grid's keys and mouse: what a key means in a cell or in the open editor once the form's key
// handlers had their say, Tab between cells, a key the editor leaves unused going on to the
// window, and clicks that move the cursor or open the editor.

#include "controls.h"
#include "dbgridprivate.h"
#include "error.h"
#include "numberinput.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>

namespace toolkit {

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

} // namespace toolkit
