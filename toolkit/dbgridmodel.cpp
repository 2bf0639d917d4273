// The grid's model: the dataset's rows and the grid's columns as the view reads them, and the
// view told of rows that come and go.

#include "dbgridmodel.h"

#include <QHeaderView>
#include <QLocale>

namespace toolkit {

namespace {

// The text of a stored value, for rows other than the current one (whose text comes from the
// field itself, get-text hook included).
QString plainText(const Field *field, const QVariant &value)
{
    if (value.isNull())
        return QString();
    switch (field->kind()) {
    case FieldKind::String:
        return value.toString();
    case FieldKind::Float: {
        if (!field->displayFormat().isEmpty())
            return Field::formatFloat(value.toDouble(), field->displayFormat());
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale.toString(value.toDouble(), 'f', QLocale::FloatingPointShortest);
    }
    case FieldKind::DateTime: {
        const QDateTime dt = value.toDateTime();
        return dt.time() == QTime(0, 0) ? dt.toString(QStringLiteral("dd/MM/yyyy"))
                                        : dt.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"));
    }
    }
    return value.toString();
}

} // namespace

QVariant DBGrid::Private::valueAt(int row, const Field *field) const
{
    if (!field || !active())
        return QVariant();
    return dataSet()->viewValue(row, field->index());
}

QString DBGrid::Private::textAt(int row, const Field *field, bool forEdit) const
{
    if (!field || !active())
        return QString();
    // Every row's text comes through the field (its get-text hook and format), the row being
    // painted standing in for the current one; the edit text is the current row's.
    try {
        if (forEdit && row == currentRow())
            return field->editText();
        return field->displayTextAt(row);
    } catch (...) {
        // a failing get-text hook: show the stored value
    }
    return plainText(field, valueAt(row, field));
}

QVariant DBGrid::Private::Model::data(const QModelIndex &index, int role) const
{
    if (!d || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    const int row = dataSetRow(index.row());
    if (row < 0 || row >= d->rowCount())
        return QVariant();
    const Field *field = d->fieldOf(index.column());
    if (!field)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return d->textAt(row, field);
    case Qt::EditRole:
        return d->textAt(row, field, true);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(int(field->alignment()));
    default:
        return QVariant();
    }
}

QVariant DBGrid::Private::Model::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (!d || orientation != Qt::Horizontal || section < 0 || section >= m_cols || section >= d->colCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    const GridColumn &c = d->cols().at(section);
    if (role == Qt::DisplayRole) {
        const QString title = titleOf(section);
        return fits(section, title) ? title : elided(section, title);
    }
    if (role == Qt::TextAlignmentRole) {
        // A title wider than its column is read from its start, whatever its alignment:
        // right-aligned, the style would cut its beginning off.
        const Qt::Alignment horizontal =
            fits(section, titleOf(section)) ? (c.titleAlignment & Qt::AlignHorizontal_Mask) : Qt::AlignLeft;
        return QVariant::fromValue(int(horizontal | Qt::AlignVCenter));
    }
    return QVariant();
}

QString DBGrid::Private::Model::titleOf(int section) const
{
    const GridColumn &c = d->cols().at(section);
    if (!c.title.isEmpty())
        return c.title;
    const Field *f = d->fieldOf(section);
    return f ? f->displayLabel() : c.fieldName;
}

// The header's margin on either side of a title.
int DBGrid::Private::Model::headerMargin() const
{
    const QHeaderView *header = d->q->horizontalHeader();
    return header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
}

// The room a title has in its section, inside the header's margins.
int DBGrid::Private::Model::titleRoom(int section) const
{
    return d->q->horizontalHeader()->sectionSize(section) - 2 * headerMargin();
}

bool DBGrid::Private::Model::fits(int section, const QString &title) const
{
    return d->q->horizontalHeader()->fontMetrics().horizontalAdvance(title) <= titleRoom(section);
}

// The width a section needs to show its whole title.
int DBGrid::Private::Model::titleWidth(int section) const
{
    if (!(d->options & GridOption::Titles))
        return 0;
    return d->q->horizontalHeader()->fontMetrics().horizontalAdvance(titleOf(section)) + 2 * headerMargin();
}

QString DBGrid::Private::Model::elided(int section, const QString &title) const
{
    return d->q->horizontalHeader()->fontMetrics().elidedText(title, Qt::ElideRight, qMax(0, titleRoom(section)));
}

Qt::ItemFlags DBGrid::Private::Model::flags(const QModelIndex &index) const
{
    if (!d || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (d->canEdit(index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

// Other columns, or another dataset: start again.
void DBGrid::Private::Model::reload()
{
    beginResetModel();
    m_rows = d->rowCount();
    m_cols = d->colCount();
    m_pendingRow = d->pendingRow();
    endResetModel();
}

// The dataset's row a row of the view stands for, while the view has not yet heard that a
// pending row appeared or left (-1: the row the dataset no longer has).
int DBGrid::Private::Model::dataSetRow(int row) const
{
    const int pending = d->pendingRow();
    if (pending >= 0 && m_pendingRow < 0 && m_rows < d->rowCount())
        return row >= pending ? row + 1 : row;
    if (pending < 0 && m_pendingRow >= 0 && m_rows > d->rowCount())
        return row == m_pendingRow ? -1 : (row > m_pendingRow ? row - 1 : row);
    return row;
}

// The dataset's row count changed: the rows come or go where they do — the pending row of
// an insertion where it shows, any other change at the end (the rows' values are then
// refreshed whole) — so the view keeps its place and the open editor.
void DBGrid::Private::Model::resizeRows()
{
    const int rows = d->rowCount();
    const int pending = d->pendingRow();
    if (rows > m_rows) {
        const int first = (rows == m_rows + 1 && pending >= 0 && m_pendingRow < 0) ? pending : m_rows;
        beginInsertRows(QModelIndex(), first, first + rows - m_rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        const int first = (rows == m_rows - 1 && pending < 0 && m_pendingRow >= 0) ? m_pendingRow : rows;
        beginRemoveRows(QModelIndex(), first, first + m_rows - rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
    m_pendingRow = pending;
}

void DBGrid::Private::Model::refreshAll()
{
    if (m_rows > 0 && m_cols > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_cols - 1));
    if (m_cols > 0)
        emit headerDataChanged(Qt::Horizontal, 0, m_cols - 1);
}

void DBGrid::Private::Model::refreshRow(int row)
{
    if (row >= 0 && row < m_rows && m_cols > 0)
        emit dataChanged(index(row, 0), index(row, m_cols - 1));
}

} // namespace toolkit
