// The data-aware grid: its data source and what the dataset tells it, its options, its enter
// and exit, and its making and unmaking; the other concerns live in the dbgrid*.cpp units.

#include "dbgriddelegate.h"
#include "dbgridmodel.h"
#include "error.h"
#include "focustracker.h"

#include <QHeaderView>

#include <algorithm>

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

// ---------------------------------------------------------------------------------------------
// DBGrid

// The grid's enter and exit, as the focus tracker tells them: leaving the grid writes what was
// typed (a refusal takes the focus back to it) or cancels an untouched new row.
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

} // namespace toolkit
