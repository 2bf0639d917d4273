// The cursor over the dataset's view: the visible rows (the filter applied, deleted rows
// hidden), moves, locate, and the values the views read (the pending row included).

#include "clientdataset.h"

#include <algorithm>

namespace toolkit {

using protocol::RowChange;

void ClientDataSet::placeCursor(int position)
{
    if (m_view.isEmpty()) {
        m_cursor = -1;
        m_bof = m_eof = true;
    } else {
        m_cursor = std::clamp(position, 0, int(m_view.size()) - 1);
        m_bof = m_cursor == 0;
        m_eof = false;
    }
}

void ClientDataSet::moveCursor(int position, bool notify)
{
    placeCursor(position);
    notifyCurrent();
    if (notify)
        afterScroll(this);
}

void ClientDataSet::first()
{
    checkBrowseMode();
    moveCursor(0, true);
    m_bof = true;
    m_eof = m_view.isEmpty();
}

void ClientDataSet::last()
{
    checkBrowseMode();
    moveCursor(int(m_view.size()) - 1, true);
    m_eof = true;
    m_bof = m_view.isEmpty();
}

void ClientDataSet::next() { moveBy(1); }
void ClientDataSet::prior() { moveBy(-1); }

void ClientDataSet::moveBy(int distance)
{
    checkBrowseMode();
    if (m_view.isEmpty()) {
        m_bof = m_eof = true;
        return;
    }
    const int target = m_cursor + distance;
    if (target >= int(m_view.size())) {
        if (m_cursor != int(m_view.size()) - 1)
            moveCursor(int(m_view.size()) - 1, true);
        m_eof = true;
        return;
    }
    if (target < 0) {
        if (m_cursor != 0)
            moveCursor(0, true);
        m_bof = true;
        return;
    }
    if (target != m_cursor)
        moveCursor(target, true);
}

bool ClientDataSet::isEmpty() const
{
    return m_view.isEmpty() && m_state != DataSetState::Insert;
}

int ClientDataSet::recordCount() const { return int(m_view.size()); }

int ClientDataSet::recNo() const
{
    return m_state == DataSetState::Insert ? m_insertViewPos : m_cursor;
}

void ClientDataSet::setRecNo(int position)
{
    checkBrowseMode();
    if (m_view.isEmpty() || position == m_cursor)
        return;
    moveCursor(position, true);
}

QVariant ClientDataSet::valueAt(int position, int fieldIndex) const
{
    if (position < 0 || position >= m_view.size() || fieldIndex < 0 || fieldIndex >= m_fields.size())
        return QVariant();
    return decodedRow(m_view.at(position)).values.at(fieldIndex);
}

int ClientDataSet::viewRowCount() const
{
    return int(m_view.size()) + (m_state == DataSetState::Insert ? 1 : 0);
}

int ClientDataSet::viewCurrentRow() const { return recNo(); }

bool ClientDataSet::isPendingRow(int row) const
{
    return m_state == DataSetState::Insert && row == m_insertViewPos;
}

QVariant ClientDataSet::viewValue(int row, int fieldIndex) const
{
    if (m_state == DataSetState::Insert) {
        if (row == m_insertViewPos)
            return fieldIndex >= 0 && fieldIndex < m_buffer.size() ? m_buffer.at(fieldIndex) : QVariant();
        if (row > m_insertViewPos)
            --row;
    } else if (m_state == DataSetState::Edit && row == m_cursor) {
        return fieldIndex >= 0 && fieldIndex < m_buffer.size() ? m_buffer.at(fieldIndex) : QVariant();
    }
    return valueAt(row, fieldIndex);
}

int ClientDataSet::currentRowIndex() const
{
    if (m_state == DataSetState::Insert || m_cursor < 0 || m_cursor >= m_view.size())
        return -1;
    return m_view.at(m_cursor);
}

const QList<QVariant> *ClientDataSet::currentValues() const
{
    if (m_peekRow >= 0) {
        int row = m_peekRow;
        if (m_state == DataSetState::Insert) {
            if (row == m_insertViewPos)
                return m_buffer.size() == m_fields.size() ? &m_buffer : nullptr;
            if (row > m_insertViewPos)
                --row;
        } else if (m_state == DataSetState::Edit && row == m_cursor && m_buffer.size() == m_fields.size()) {
            return &m_buffer;
        }
        return row < m_view.size() ? &decodedRow(m_view.at(row)).values : nullptr;
    }
    if (isEditing() && m_buffer.size() == m_fields.size())
        return &m_buffer;
    const int row = currentRowIndex();
    return row < 0 ? nullptr : &decodedRow(row).values;
}

// A row is decoded whole the first time a record, a grid's cell or an edit reads it; a filter or
// a locate passing over it reads its cells where they are.
const ClientDataSet::Row &ClientDataSet::decodedRow(qsizetype index) const
{
    const Row &row = m_rows.at(index);
    if (row.packed < 0)
        return row;
    Row &decoding = const_cast<ClientDataSet *>(this)->m_rows[index];
    decoding.values = rowValues(row);
    decoding.packed = -1;
    return decoding;
}

QList<QVariant> ClientDataSet::rowValues(const Row &row) const
{
    if (row.packed < 0)
        return row.values;
    QList<QVariant> values;
    values.reserve(m_fields.size());
    for (const int column : std::as_const(m_cellColumns))
        values.append(m_cells->value(row.packed, column));
    return values;
}

QVariant ClientDataSet::cellValue(const Row &row, int fieldIndex) const
{
    return row.packed < 0 ? row.values.at(fieldIndex) : m_cells->value(row.packed, m_cellColumns.at(fieldIndex));
}

void ClientDataSet::setFilter(const QString &expression)
{
    FilterExpression filter = FilterExpression::parse(expression, m_fields, objectName());
    if (active() && m_filtered)
        checkBrowseMode(Operation::Filter);
    m_filter = std::move(filter);
    if (active() && m_filtered) {
        rebuildView();
        notifyLayout();
        first();
    }
}

void ClientDataSet::setFiltered(bool on)
{
    if (m_filtered == on)
        return;
    if (active())
        checkBrowseMode(Operation::Filter);
    m_filtered = on;
    if (active()) {
        rebuildView();
        notifyLayout();
        first();
    }
}

bool ClientDataSet::matches(const Row &row) const
{
    if (row.change == RowChange::Deleted)
        return false;
    if (!m_filtered)
        return true;
    if (row.packed >= 0)
        return m_filter.accepts(*m_cells, row.packed, m_cellColumns, m_fields);
    return m_filter.accepts(row.values, m_fields);
}

void ClientDataSet::rebuildView()
{
    m_view.clear();
    m_view.reserve(m_rows.size());
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        if (matches(m_rows.at(i)))
            m_view.append(int(i));
    if (m_cursor >= m_view.size())
        m_cursor = int(m_view.size()) - 1;
}

bool ClientDataSet::locate(const QString &fieldNames, const QVariantList &values)
{
    checkBrowseMode();
    const QStringList names = fieldNames.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (names.size() != values.size())
        throw Error(QStringLiteral("Locate em %1: %2 campos para %3 valores.").arg(objectName()).arg(names.size()).arg(values.size()));
    QList<Field *> fields;
    for (const QString &name : names)
        fields.append(fieldByName(name.trimmed()));
    for (qsizetype pos = 0; pos < m_view.size(); ++pos) {
        const Row &row = m_rows.at(m_view.at(pos));
        bool all = true;
        for (qsizetype k = 0; k < fields.size() && all; ++k) {
            Field *f = fields.at(k);
            QVariant wanted;
            try {
                wanted = f->convert(values.at(k));
            } catch (const Error &) {
                all = false;
                break;
            }
            all = f->holdsSame(cellValue(row, f->index()), wanted);
        }
        if (all) {
            if (int(pos) != m_cursor)
                moveCursor(int(pos), true);
            return true;
        }
    }
    return false;
}

} // namespace toolkit
