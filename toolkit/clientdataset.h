#pragma once
// The in-memory client dataset: a table loaded whole from a data packet, with a cursor over a
// filtered view, edit states, before/after events, and a change log that gives a delta packet.

#include "datasetfilter.h"
#include "error.h"
#include "event.h"
#include "field.h"
#include "keylist.h"
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

class DataSource;

enum class DataSetState { Inactive, Browse, Edit, Insert };

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
    // The same in two steps, so that several datasets load all or none: `checkedData` decodes
    // the packet and checks it against the fields (names, kinds, text sizes), changing nothing
    // and throwing Error on a mismatch; `setData` of what it answered then refuses it only when
    // the dataset cannot load at all (a row being edited).
    protocol::PacketContent checkedData(const DataPacket &packet) const;
    void setData(protocol::PacketContent &&checked);
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
    const QString &filter() const { return m_filter.text(); }
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

    // A row loaded from a packet keeps its values in the packet's bytes (`packed`, its row
    // there) until something needs them all: then they are decoded into `values` once.
    struct Row {
        QList<QVariant> values;
        protocol::RowChange change = protocol::RowChange::Unchanged;
        QList<QVariant> original;
        int packed = -1;
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
    const Row &decodedRow(qsizetype index) const;   // the row with its values decoded
    QList<QVariant> rowValues(const Row &row) const;   // its values, decoding without keeping them
    QVariant cellValue(const Row &row, int fieldIndex) const;
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
    // Where each field's values stand in the packet; throws Error when the packet does not fit.
    QList<int> packetColumns(const protocol::PacketContent &content) const;

    QList<Field *> m_fields;
    QList<Row> m_rows;                 // deleted rows stay here, hidden, until merged
    // The last packet loaded, whose rows are read from its bytes, and the packet's column of
    // each field.
    std::shared_ptr<const protocol::PacketCells> m_cells;
    QList<int> m_cellColumns;
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
    FilterExpression m_filter;
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

TOOLKIT_EXPORT QString stateName(DataSetState state);

} // namespace toolkit
