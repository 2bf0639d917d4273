#pragma once
// The grid's item delegate: it paints the cells (dbgridpainting.cpp) and makes the in-place
// editor, whose keys it hands to the grid first (dbgridediting.cpp).

#include "dbgridprivate.h"

#include <QStyledItemDelegate>

namespace toolkit {

class DBGrid::Private::Delegate : public QStyledItemDelegate {
public:
    Delegate(DBGrid::Private *d, QObject *parent) : QStyledItemDelegate(parent), d(d) {}
    void detach() { d = nullptr; }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override;
    void setEditorData(QWidget *w, const QModelIndex &index) const override;
    // What was typed is written by the grid itself, to the field (never through the model).
    void setModelData(QWidget *, QAbstractItemModel *, const QModelIndex &) const override {}
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    bool eventFilter(QObject *object, QEvent *event) override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QPalette cellPalette(DrawStates states) const;
    void drawCell(QPainter *painter, const QRect &cellRect, int row, int col, DrawStates states) const;

    DBGrid::Private *d;
};

} // namespace toolkit
