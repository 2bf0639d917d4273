// The dataset's change log: the rows inserted, modified (with their originals) and deleted since
// the content was loaded or last merged; it gives the delta packet, merges or is cancelled.

#include "clientdataset.h"

#include <algorithm>

namespace toolkit {

using protocol::PacketContent;
using protocol::PacketField;
using protocol::PacketRow;
using protocol::RowChange;

DataPacket ClientDataSet::data() const
{
    PacketContent c;
    for (Field *f : m_fields)
        c.fields.append({f->fieldName(), f->kind(), f->kind() == FieldKind::String ? f->size() : 0, f->required(), f->readOnly()});
    for (const Row &row : m_rows)
        if (row.change != RowChange::Deleted)
            c.rows.append(PacketRow{rowValues(row), RowChange::Unchanged, {}});
    return protocol::encodePacket(c);
}

int ClientDataSet::changeCount() const
{
    return int(std::count_if(m_rows.cbegin(), m_rows.cend(), [](const Row &r) { return r.change != RowChange::Unchanged; }));
}

DataPacket ClientDataSet::delta() const
{
    PacketContent c;
    c.delta = true;
    for (Field *f : m_fields)
        c.fields.append({f->fieldName(), f->kind(), f->kind() == FieldKind::String ? f->size() : 0, f->required(), f->readOnly()});
    for (const Row &row : m_rows) {
        if (row.change == RowChange::Unchanged)
            continue;
        c.rows.append(PacketRow{row.values, row.change, row.change == RowChange::Inserted ? QList<QVariant>() : row.original});
    }
    return protocol::encodePacket(c);
}

void ClientDataSet::mergeChangeLog()
{
    const OperationScope operation(this, Operation::Merge);
    const int current = currentRowIndex();
    int kept = -1, newIndex = 0;
    QList<Row> rows;
    rows.reserve(m_rows.size());
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        Row &row = m_rows[i];
        if (row.change == RowChange::Deleted)
            continue;
        if (i == current)
            kept = newIndex;
        row.change = RowChange::Unchanged;
        row.original.clear();
        rows.append(std::move(row));
        ++newIndex;
    }
    m_rows = std::move(rows);
    if (m_insertAt >= 0)
        m_insertAt = std::min<int>(m_insertAt, int(m_rows.size()));
    rebuildView();
    const bool inserting = m_state == DataSetState::Insert;
    if (!inserting) {
        const qsizetype at = kept >= 0 ? m_view.indexOf(kept) : -1;
        placeCursor(at >= 0 ? int(at) : m_cursor);
    }
    operation.end();
    if (!inserting)
        notifyCurrent();
    notifyLayout();
}

void ClientDataSet::cancelUpdates()
{
    if (!active())
        return;
    checkIdle(Operation::CancelUpdates);
    cancel();   // the row being edited goes first, with its events
    const OperationScope operation(this, Operation::CancelUpdates);
    const int current = currentRowIndex();
    int kept = -1, newIndex = 0;
    QList<Row> rows;
    rows.reserve(m_rows.size());
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        Row &row = m_rows[i];
        if (row.change == RowChange::Inserted)
            continue;
        if (row.change != RowChange::Unchanged) {
            row.values = std::move(row.original);
            row.original.clear();
            row.change = RowChange::Unchanged;
        }
        if (i == current)
            kept = newIndex;
        rows.append(std::move(row));
        ++newIndex;
    }
    m_rows = std::move(rows);
    rebuildView();
    const qsizetype at = kept >= 0 ? m_view.indexOf(kept) : -1;
    placeCursor(at >= 0 ? int(at) : m_cursor);
    operation.end();
    notifyCurrent();
    notifyLayout();
}

} // namespace toolkit
