#pragma once
// The in-memory client dataset: a table loaded whole from a data packet, with a cursor over a
// filtered view, edit states, before/after events, and a change log that gives a delta packet.

#include "error.h"
#include "event.h"
#include "toolkit_export.h"

#include <protocol/packet.h>

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

namespace toolkit {

using protocol::DataPacket;
using FieldKind = protocol::FieldKind;

class ClientDataSet;
class DataSource;

enum class DataSetState { Inactive, Browse, Edit, Insert };

class TOOLKIT_EXPORT Field : public QObject {
    Q_OBJECT
public:
    const QString &fieldName() const { return m_name; }
    FieldKind kind() const { return m_kind; }
    int size() const { return m_size; }
    int index() const { return m_index; }
    ClientDataSet *dataSet() const { return m_dataSet; }

    // Presentation, as a form sets them.
    QString displayLabel() const { return m_label.isEmpty() ? m_name : m_label; }
    void setDisplayLabel(const QString &label) { m_label = label; }
    bool visible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }
    bool required() const { return m_required; }
    void setRequired(bool required) { m_required = required; }
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // A three-section edit mask ("mask;keepLiterals;blank"), as the edits and grid cells use it.
    const QString &editMask() const { return m_editMask; }
    void setEditMask(const QString &mask);
    // "#,##0.000" style format for floats, under the default locale (pt_BR in this application).
    const QString &displayFormat() const { return m_displayFormat; }
    void setDisplayFormat(const QString &format) { m_displayFormat = format; }
    // Width in characters; 0 means the natural width (a string field's size, 10 for others).
    int displayWidth() const;
    void setDisplayWidth(int width) { m_displayWidth = width; }
    Qt::Alignment alignment() const;

    // Value of the current record (the edit buffer while editing or inserting).
    QVariant value() const;
    bool isNull() const;
    QString asString() const;          // null -> ""; floats in the natural locale form
    double asFloat() const;            // null -> 0; throws for a text that is not a number
    QDateTime asDateTime() const;      // null -> invalid
    // The original value of the current row as loaded (before any change still in the log).
    QVariant oldValue() const;

    // Writes need the dataset in edit or insert state. A text longer than the field's size is
    // refused with a clear error; a float given as text is read under the default locale.
    void setValue(const QVariant &value);
    void setAsString(const QString &text);
    void setAsFloat(double value);
    void setAsDateTime(const QDateTime &value);
    void clear();

    // Text for display (through the get-text hook, then the display format) and for editing.
    QString displayText() const;
    QString editText() const;
    // The display text of this field in another row of the view (the pending row included), as
    // a grid paints it: the get-text hook sees that row as the current one while it runs.
    QString displayTextAt(int viewRow) const;

    // The get-text hook: (field, text to fill, display or edit text).
    Event<Field *, QString &, bool> onGetText;

    // Asks the controls attached to this dataset to focus the one that shows this field
    // (a grid selects the field's column). Does nothing when no control shows it.
    void focusControl();

    static QString formatFloat(double value, const QString &format);

private:
    friend class ClientDataSet;
    Field(ClientDataSet *dataSet, const QString &name, FieldKind kind, int size, int index);
    QVariant convert(const QVariant &value) const;

    ClientDataSet *m_dataSet;
    QString m_name;
    FieldKind m_kind;
    int m_size;
    int m_index;
    QString m_label;
    QString m_editMask;
    QString m_displayFormat;
    int m_displayWidth = 0;
    bool m_visible = true;
    bool m_required = false;
    bool m_readOnly = false;
};

class TOOLKIT_EXPORT ClientDataSet : public QObject {
    Q_OBJECT
public:
    explicit ClientDataSet(QObject *parent = nullptr, const QString &name = QString());
    ~ClientDataSet() override;

    // --- Definition (persistent fields, as a form declares them) ---
    Field *addField(const QString &name, FieldKind kind, int size = 0);
    const QList<Field *> &fields() const { return m_fields; }
    Field *findField(const QString &name) const;
    Field *fieldByName(const QString &name) const;   // throws Error when absent

    // --- Content ---
    // Replaces the content with the packet's rows and opens the dataset: after-open, then
    // after-scroll. Persistent fields missing from the packet are refused; a dataset without
    // persistent fields takes the packet's. The change log starts empty. A row being edited
    // is never dropped: loading, closing or emptying then is refused.
    void setData(const DataPacket &packet);
    DataPacket data() const;           // the current rows (change log applied) as a packet
    void open();                       // opens empty (a dataset made in memory)
    void close();
    void emptyDataSet();               // removes every row; the change log is cleared too
    bool active() const { return m_state != DataSetState::Inactive; }
    DataSetState state() const { return m_state; }
    bool isEditing() const { return m_state == DataSetState::Edit || m_state == DataSetState::Insert; }

    // --- Cursor over the filtered view ---
    void first();
    void last();
    void next();
    void prior();
    void moveBy(int distance);
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    bool isEmpty() const;              // no visible row (and not inserting)
    int recordCount() const;           // visible rows
    int recNo() const;                 // 0-based position in the view, -1 when none
    void setRecNo(int position);       // moves the cursor (after-scroll when it moved)
    QVariant valueAt(int position, int fieldIndex) const;   // a visible row's value

    // For views (grids): the rows as shown, the pending insert included where it will go.
    int viewRowCount() const;
    int viewCurrentRow() const;        // -1 when there is no row
    QVariant viewValue(int row, int fieldIndex) const;
    bool isPendingRow(int row) const;  // the row being inserted

    // --- Editing ---
    void insert();                     // new row before the current one
    void append();                     // new row at the end
    void edit();
    void post();
    void cancel();
    void deleteRecord();
    bool modified() const { return m_modified; }

    // --- Change log ---
    int changeCount() const;
    DataPacket delta() const;
    void mergeChangeLog();
    void cancelUpdates();
    bool logChanges() const { return m_logChanges; }
    void setLogChanges(bool on) { m_logChanges = on; }

    // --- Filter: FIELD = 'value' conditions joined by AND; quotes in a value written doubled ---
    const QString &filter() const { return m_filterText; }
    void setFilter(const QString &expression);      // throws Error when it does not parse
    bool filtered() const { return m_filtered; }
    void setFiltered(bool on);

    // Whole, case-sensitive values of the fields named in "A;B;C". Moves and returns true
    // when a row matches; otherwise stays where it is.
    bool locate(const QString &fieldNames, const QVariantList &values);

    // --- Attached controls ---
    void disableControls();            // nested: controls hear again after the last enable
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }
    void resync();                     // controls re-read everything

    // Controls holding a typed value not yet written to the record (an edit, a grid's cell
    // editor) register a commit here; post() runs them first, so a post never loses what the
    // user typed. A commit may throw (a text that is not a number): the post is refused.
    void registerEditor(QObject *control, std::function<void()> commit);
    void unregisterEditor(QObject *control);
    void updateRecord();               // runs the registered commits

    // --- Events (handlers take the dataset as sender) ---
    Event<ClientDataSet *> beforeInsert, afterInsert, beforeEdit, afterEdit, beforePost, afterPost,
        beforeCancel, afterCancel, beforeDelete, afterDelete, afterOpen, beforeClose, afterClose,
        afterScroll;

signals:
    // For controls only (the screen's handlers use the events above and the data sources).
    void stateChanged();
    void layoutChanged();                       // rows, filter or open/close changed
    void currentChanged();                      // the cursor moved
    void fieldChanged(toolkit::Field *field);   // a value of the current record changed
    void focusControlRequested(toolkit::Field *field);

private:
    friend class Field;
    friend class DataSource;

    struct Row {
        QList<QVariant> values;
        protocol::RowChange change = protocol::RowChange::Unchanged;
        QList<QVariant> original;
    };
    struct Condition {
        int field;
        QString value;
    };

    // The operations that change rows, state or cursor. One under way — while its before-event
    // runs and the rows change — refuses another started from a handler then (the rows and the
    // edit buffer are half-way); its notifications and after-events come once it is complete.
    enum class Operation { Post, Cancel, Insert, Edit, Delete, Load, Open, Close, Empty, Move, Filter, CancelUpdates, Merge };
    class OperationScope {
    public:
        OperationScope(ClientDataSet *dataSet, Operation operation);   // throws when one is under way
        ~OperationScope();
        OperationScope(const OperationScope &) = delete;
        OperationScope &operator=(const OperationScope &) = delete;
        void end() const;              // complete: handlers may call in again
    private:
        mutable ClientDataSet *m_dataSet;
    };
    void checkIdle(Operation operation) const;
    void checkActive() const;
    void checkNotEditing(const QString &what) const;
    // Posts a pending edit, as moving away from a row does.
    void checkBrowseMode(Operation operation = Operation::Move);
    void setState(DataSetState state);
    void announceState(DataSetState previous);   // tells controls and handlers of m_state
    void startInsert(bool atEnd);
    bool enterEditing(DataSetState state);
    void abandonEdit();
    void placeCursor(int position);    // sets the cursor, telling no one
    void rebuildView();
    bool matches(const Row &row) const;
    const QList<QVariant> *currentValues() const;
    int currentRowIndex() const;
    void setFieldValue(Field *field, const QVariant &value);
    void moveCursor(int position, bool notify);
    void notifyLayout();
    void notifyCurrent();
    void notifyField(Field *field);
    void attach(DataSource *source);
    void detach(DataSource *source);
    void loadContent(protocol::PacketContent &&content);

    QList<Field *> m_fields;
    QList<Row> m_rows;                 // deleted rows stay here, hidden, until merged
    QList<int> m_view;                 // indexes into m_rows of the visible rows
    int m_cursor = -1;                 // position in m_view
    bool m_bof = true, m_eof = true;
    DataSetState m_state = DataSetState::Inactive;
    QList<QVariant> m_buffer;          // the record being edited or inserted
    int m_insertAt = -1;               // m_rows index the new row goes before (-1: at the end)
    int m_cursorBeforeInsert = -1;
    int m_insertViewPos = -1;          // where the pending row shows in the view
    int m_peekRow = -1;                // a view row the fields read instead of the current one
    bool m_modified = false;
    bool m_logChanges = true;
    QString m_filterText;
    QList<Condition> m_conditions;
    bool m_filtered = false;
    std::optional<Operation> m_running;
    int m_disableCount = 0;
    bool m_pendingLayout = false;
    QList<QPointer<DataSource>> m_sources;
    QList<QPair<QPointer<QObject>, std::function<void()>>> m_editors;
};

// Keeps a dataset's controls from hearing of changes for the guard's lifetime (a walk over the
// rows); they re-read everything once at the end.
class TOOLKIT_EXPORT DisabledControls {
public:
    explicit DisabledControls(ClientDataSet *dataSet) : m_dataSet(dataSet) { dataSet->disableControls(); }
    ~DisabledControls() { m_dataSet->enableControls(); }
    DisabledControls(const DisabledControls &) = delete;
    DisabledControls &operator=(const DisabledControls &) = delete;

private:
    ClientDataSet *m_dataSet;
};

// Connects a dataset to controls and to the screen's state-change handler.
class TOOLKIT_EXPORT DataSource : public QObject {
    Q_OBJECT
public:
    explicit DataSource(QObject *parent = nullptr, const QString &name = QString());
    ~DataSource() override;

    ClientDataSet *dataSet() const { return m_dataSet; }
    void setDataSet(ClientDataSet *dataSet);
    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    DataSetState state() const;        // Inactive while disabled or unattached

    // The screen's handler; it may throw (a refusal abandons the transition that caused it).
    Event<DataSource *> onStateChange;
    Event<DataSource *, Field *> onDataChange;

    void notifyStateChange();          // runs the handler as a state change would

signals:
    void dataSetChanged();             // another dataset was attached, or enabled switched
    void stateChanged();
    void layoutChanged();
    void currentChanged();
    void fieldChanged(toolkit::Field *field);
    void focusControlRequested(toolkit::Field *field);

private:
    friend class ClientDataSet;
    void updateState();                // tells controls and the handler when the state moved
    QPointer<ClientDataSet> m_dataSet;
    bool m_enabled = true;
    DataSetState m_lastState = DataSetState::Inactive;
};

// The host's key list: string keys with an integer value, found by hashing.
class TOOLKIT_EXPORT KeyList {
public:
    int Add(const QString &key, int value);   // the key's position
    int IndexOf(const QString &key) const;    // position, or -1 when absent
    int Count() const { return int(m_keys.size()); }
    void Clear();
    int value(int position) const { return m_values.at(position); }

private:
    QList<QString> m_keys;
    QList<int> m_values;
    QHash<QString, int> m_positions;
};

TOOLKIT_EXPORT QString stateName(DataSetState state);

} // namespace toolkit
