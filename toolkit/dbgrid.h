#pragma once
// The data-aware grid: persistent columns over a data source, on Qt's item views.
// The grid's row cursor and the dataset's current row are one; typing into an editable cell
// puts the row in edit state, moving to another row posts it, Esc cancels.

#include "clientdataset.h"
#include "event.h"
#include "toolkit_export.h"

#include <QFlags>
#include <QTableView>

#include <functional>

class QLineEdit;
class QPainter;

namespace toolkit {

class DBGrid;

enum class GridOption : unsigned {
    Editing = 0x001,
    Titles = 0x002,
    ColumnResize = 0x004,
    ColLines = 0x008,
    RowLines = 0x010,
    Tabs = 0x020,                 // Tab moves between cells
    AlwaysShowSelection = 0x040,
    ConfirmDelete = 0x080,
    CancelOnExit = 0x100,         // an unchanged insert is cancelled when the grid is left
};
Q_DECLARE_FLAGS(GridOptions, GridOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(GridOptions)

enum class ColumnButton { None, Ellipsis };

class TOOLKIT_EXPORT GridColumn {
public:
    QString fieldName;
    int width = 0;                            // pixels; 0: the field's display width
    Qt::Alignment titleAlignment = Qt::AlignLeft;
    bool readOnly = false;
    ColumnButton buttonStyle = ColumnButton::None;
    QString title;                            // empty: the field's display label
};

// Draw states of a cell, as the draw event reports them.
enum class DrawState : unsigned { Selected = 1, Focused = 2, Fixed = 4 };
Q_DECLARE_FLAGS(DrawStates, DrawState)
Q_DECLARE_OPERATORS_FOR_FLAGS(DrawStates)

// What a draw-column-cell handler gets: the painter ("canvas"), the cell rectangle, the
// column's index and definition, the field, and the draw state. The cell under the open
// in-place editor is drawn Selected without Focused while editorMode() is true.
// `field` reads the dataset's current row; the drawn row's values are read with value()/text().
struct TOOLKIT_EXPORT DrawCellArgs {
    QPainter *canvas;
    QRect rect;
    int dataCol;
    const GridColumn *column;
    Field *field;
    DrawStates state;
    int row = -1;                 // the drawn row as the grid shows it (a pending new row included)
    // Fills the rectangle and draws `text` at (rect.left() + x, rect.top() + y), as TextRect does.
    void textRect(int x, int y, const QString &text) const;
    // The drawn row's value of a field, and its text as the grid would show it.
    QVariant value(const QString &fieldName) const;
    QString text(const QString &fieldName) const;
    std::function<void(int, int, const QString &)> drawText;   // set by the grid
    std::function<QVariant(const QString &)> valueOf;          // set by the grid
    std::function<QString(const QString &)> textOf;            // set by the grid
};

class TOOLKIT_EXPORT DBGrid : public QTableView {
    Q_OBJECT
public:
    explicit DBGrid(QWidget *parent = nullptr, const QString &name = QString());
    ~DBGrid() override;

    DataSource *dataSource() const;
    void setDataSource(DataSource *source);

    // Persistent columns.
    void addColumn(const GridColumn &column);
    int columnCount() const;
    GridColumn &column(int index);
    const GridColumn &column(int index) const;
    int columnIndexOfField(const QString &fieldName) const;    // -1 when no column shows it
    void setColumnButton(int index, ColumnButton button);

    GridOptions options() const;
    void setOptions(GridOptions options);
    void setOption(GridOption option, bool on);

    // The selected column (the cell cursor's column) and its field.
    int selectedIndex() const;
    void setSelectedIndex(int index);
    Field *selectedField() const;

    // Whether the in-place editor is open, and the text typed in it so far for a field's
    // column ("" when the editor is not open on that column).
    bool editorMode() const;
    QString editorText(const QString &fieldName) const;
    QLineEdit *cellEditor() const;             // the open in-place editor, or null
    // Opens the in-place editor on the current cell when the cell can be edited (the row goes
    // to edit state); closes it, writing what was typed (false when the field refused it).
    bool showEditor();
    bool hideEditor();

    // Moves the focus to the next (or previous) control of the window, as Ctrl+Tab does: the
    // open editor's text is written first (false, and the focus stays, when it is refused).
    bool leaveToNextControl(bool forward);

    // Re-reads the columns' widths, titles and buttons after column(i) was changed in place.
    void refreshColumns();

    // Asked before a row is deleted with Ctrl+Delete when ConfirmDelete is on; the framework
    // sets it to its confirmation dialog. Unset: the deletion goes ahead.
    std::function<bool(const QString &)> confirmDelete;

    // Events, as the forms bind them; handlers may throw (the grid hands it to the
    // application's error handling, and a refusal keeps the cursor where it was).
    // onKeyDown and onKeyPress run before the grid (or its open editor) processes the key.
    Event<QObject *> onColEnter, onColExit, onEditButtonClick, onEnter, onExit;
    Event<QObject *, const DrawCellArgs &> onDrawColumnCell;
    Event<QObject *, int &, Qt::KeyboardModifiers> onKeyDown;   // Qt::Key codes; set 0 to consume
    Event<QObject *, QChar &> onKeyPress;                        // set QChar() to consume

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    class Private;
    Private *d;
    friend class Private;
};

} // namespace toolkit
