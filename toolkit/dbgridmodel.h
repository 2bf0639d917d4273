#pragma once
// The grid's table model over its dataset's view: one row per visible row (the pending row of an
// insertion where it shows), one column per grid column, the titles fitted to their sections.

#include "dbgridprivate.h"

#include <QAbstractTableModel>

namespace toolkit {

class DBGrid::Private::Model : public QAbstractTableModel {
public:
    Model(DBGrid::Private *d, QObject *parent) : QAbstractTableModel(parent), d(d) {}
    void detach() { d = nullptr; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override { return parent.isValid() ? 0 : m_cols; }
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    QString titleOf(int section) const;
    int headerMargin() const;
    int titleRoom(int section) const;
    bool fits(int section, const QString &title) const;
    int titleWidth(int section) const;
    QString elided(int section, const QString &title) const;

    void reload();
    bool sameColumns() const { return m_cols == d->colCount(); }
    int dataSetRow(int row) const;
    bool sameShape() const { return m_rows == d->rowCount() && sameColumns(); }
    void resizeRows();
    void refreshAll();
    void refreshRow(int row);

private:
    DBGrid::Private *d;
    int m_rows = 0;
    int m_cols = 0;
    int m_pendingRow = -1;   // where the row being inserted shows, as the view knows it
};

} // namespace toolkit
