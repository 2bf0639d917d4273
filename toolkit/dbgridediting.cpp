// Editing in the grid: the in-place editor (made by the delegate with the field's mask, opened by
// the grid's own rules, written to the field or dropped) and the row's edit state (started by the
// first change, posted or cancelled when the row is left, rows inserted and deleted).

#include "dbgriddelegate.h"
#include "error.h"

#include <algorithm>

namespace toolkit {

QWidget *DBGrid::Private::Delegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
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
void DBGrid::Private::Delegate::setEditorData(QWidget *w, const QModelIndex &index) const
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

void DBGrid::Private::Delegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}

void DBGrid::Private::Delegate::destroyEditor(QWidget *editor, const QModelIndex &index) const
{
    if (d)
        d->editorReleased(editor);
    QStyledItemDelegate::destroyEditor(editor, index);
}

// Keys typed in the editor go through the grid first, as the grid's own keys do; the
// editor's losing the focus decides nothing here (the grid's exit does).
bool DBGrid::Private::Delegate::eventFilter(QObject *object, QEvent *event)
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

bool DBGrid::Private::canEdit(int col) const
{
    if (!(options & GridOption::Editing) || !active() || col < 0 || col >= colCount())
        return false;
    if (cols().at(col).readOnly)
        return false;
    const Field *f = fieldOf(col);
    return f && !f->readOnly();
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

bool DBGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    // Editors open only through the grid's own rules (typing, F2, Enter, a click).
    if (!d || !d->opening)
        return false;
    return QTableView::edit(index, trigger, event);
}

} // namespace toolkit
