#pragma once
// The grid's inside, shared by its units: dbgrid.cpp (the data source, options and focus),
// dbgridmodel.cpp (the model over the dataset's view), dbgridcolumns.cpp (columns and their
// widths), dbgridpainting.cpp (cells as drawn), dbgridediting.cpp (the in-place editor and the
// row's edit state), dbgridcursor.cpp (moves between rows and columns) and dbgridkeys.cpp (keys
// and the mouse).

#include "dbgrid.h"
#include "dbgridcelleditor.h"

#include <QPointer>

namespace toolkit {

class DBGrid::Private {
public:
    class Model;
    class Delegate;
    class Focus;

    explicit Private(DBGrid *grid) : q(grid) {}

    DBGrid *q;
    Model *model = nullptr;
    Delegate *delegate = nullptr;
    Focus *focus = nullptr;
    QPointer<DataSource> source;
    QList<QMetaObject::Connection> connections;
    QList<GridColumn> columns;        // persistent columns
    QList<GridColumn> autoColumns;    // one per visible field while no persistent column exists
    GridOptions options = GridOption::Editing | GridOption::Titles | GridOption::ColumnResize
        | GridOption::ColLines | GridOption::RowLines | GridOption::Tabs | GridOption::ConfirmDelete
        | GridOption::CancelOnExit;
    int selectedCol = 0;
    QPointer<CellEditor> editor;
    int editorCol = -1;
    bool opening = false;
    bool syncing = false;
    bool inColExit = false;
    // A key press that reached the viewport: it comes up, unused, from the editor inside it.
    const QEvent *climbingKey = nullptr;
    class KeyClimb;
    KeyClimb *keyClimb = nullptr;

    // --- data (dbgridmodel.cpp) ---
    ClientDataSet *dataSet() const
    {
        return (source && source->enabled()) ? source->dataSet() : nullptr;
    }
    bool active() const
    {
        const ClientDataSet *ds = dataSet();
        return ds && ds->active();
    }
    const QList<GridColumn> &cols() const { return columns.isEmpty() ? autoColumns : columns; }
    int colCount() const { return int(cols().size()); }
    Field *fieldOf(int col) const
    {
        const ClientDataSet *ds = source ? source->dataSet() : nullptr;
        if (!ds || col < 0 || col >= colCount())
            return nullptr;
        return ds->findField(cols().at(col).fieldName);
    }
    int currentRow() const { return active() ? dataSet()->viewCurrentRow() : -1; }
    int pendingRow() const
    {
        const ClientDataSet *ds = active() ? dataSet() : nullptr;
        return ds && ds->state() == DataSetState::Insert ? ds->viewCurrentRow() : -1;
    }
    int rowCount() const { return active() ? dataSet()->viewRowCount() : 0; }
    QVariant valueAt(int row, const Field *field) const;
    QString textAt(int row, const Field *field, bool forEdit = false) const;
    bool canEdit(int col) const;

    // --- view (dbgrid.cpp, columns in dbgridcolumns.cpp) ---
    void rebind();
    void reload();
    void refresh();
    void syncCurrent();
    QModelIndex cursorIndex() const;   // the view's index of the cell cursor (invalid: none)
    void applyColumns();
    void applyOptions();
    void rebuildAutoColumns();

    // --- editing (dbgridediting.cpp), moving (dbgridcursor.cpp), keys (dbgridkeys.cpp) ---
    bool startEditing();
    bool openEditor(const QString &typed = QString());
    void writeEditor();           // throws on a refusal
    bool commitEditor();          // writes; a refusal keeps the editor open (false)
    void dropEditor();            // closes without writing
    void editorReleased(QWidget *w);
    bool leaveRow();
    bool nextRow(bool appendAtEnd);
    bool priorRow();
    bool moveBy(int distance);
    bool moveToRow(int row);
    bool moveToColumn(int col);
    bool tab(bool forward);
    void editButtonClick();
    bool hasEditButton() const;
    void insertRow();
    void deleteRow();
    bool handleKey(QKeyEvent *event, bool fromEditor);
    QRect buttonRect(const QRect &cell) const
    {
        return QRect(cell.right() - CellEditor::buttonWidth + 1, cell.top(), CellEditor::buttonWidth, cell.height());
    }
    DrawStates drawStates(int row, int col) const;
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

} // namespace toolkit
