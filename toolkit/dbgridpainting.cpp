// How the grid's cells are drawn: the current cell's draw states, the paler selection of a grid
// without the focus, the ellipsis button, and the form's own drawing of a cell.

#include "dbgriddelegate.h"
#include "error.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOption>
#include <QTimer>

namespace toolkit {

namespace {

// Hands an exception to the application's error handling once the current event is over
// (never from inside a paint event, where a message box must not open).
void handleLater(std::exception_ptr error)
{
    QTimer::singleShot(0, qApp, [error] { handleException(error); });
}

} // namespace

void DrawCellArgs::textRect(int x, int y, const QString &text) const
{
    if (drawText)
        drawText(x, y, text);
}

QVariant DrawCellArgs::value(const QString &fieldName) const
{
    return valueOf ? valueOf(fieldName) : QVariant();
}

QString DrawCellArgs::text(const QString &fieldName) const
{
    return textOf ? textOf(fieldName) : QString();
}

DrawStates DBGrid::Private::drawStates(int row, int col) const
{
    DrawStates states;
    if (row != currentRow() || col != selectedCol)
        return states;
    const bool focused = q->hasFocus();
    if (editor || focused || (options & GridOption::AlwaysShowSelection))
        states |= DrawState::Selected;
    if (focused && !editor)
        states |= DrawState::Focused;
    return states;
}

void DBGrid::Private::Delegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (!d) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const int row = index.row();
    const int col = index.column();
    const DrawStates states = d->drawStates(row, col);
    QStyleOptionViewItem opt(option);
    opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    if (states & DrawState::Selected)
        opt.state |= QStyle::State_Selected | QStyle::State_Active;
    if (states & DrawState::Focused)
        opt.state |= QStyle::State_HasFocus;
    opt.palette = cellPalette(states);
    QStyledItemDelegate::paint(painter, opt, index);

    drawCell(painter, option.rect, row, col, states);

    // Where the keys go must show: the current cell of the grid that has the focus is framed.
    if (states & DrawState::Focused) {
        painter->save();
        painter->setPen(QPen(opt.palette.color(QPalette::Active, QPalette::HighlightedText), 1, Qt::DotLine));
        painter->drawRect(option.rect.adjusted(1, 1, -2, -2));
        painter->restore();
    }

    // The current cell's ellipsis button, over whatever the cell shows.
    const bool current = row == d->currentRow() && col == d->selectedCol;
    if (current && col < d->colCount() && d->cols().at(col).buttonStyle == ColumnButton::Ellipsis
        && !(d->editor && d->editorCol == col)) {
        QStyleOptionButton button;
        button.rect = d->buttonRect(option.rect);
        button.text = QStringLiteral("…");
        button.state = QStyle::State_Enabled | QStyle::State_Raised;
        d->q->style()->drawControl(QStyle::CE_PushButton, &button, painter, d->q);
    }
}

// The selection of a grid without the focus is shown in a paler colour than that of the grid
// the keys go to, so that the focused grid stands out among the three of a screen.
QPalette DBGrid::Private::Delegate::cellPalette(DrawStates states) const
{
    QPalette palette = d->q->palette();
    if ((states & DrawState::Selected) && !(states & DrawState::Focused) && !d->editor) {
        const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
        const QColor base = palette.color(QPalette::Active, QPalette::Base);
        const auto mix = [](int a, int b) { return (a + 2 * b) / 3; };
        const QColor pale(mix(highlight.red(), base.red()), mix(highlight.green(), base.green()),
                          mix(highlight.blue(), base.blue()));
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::Highlight, pale);
            palette.setColor(group, QPalette::HighlightedText, palette.color(group, QPalette::Text));
        }
    }
    return palette;
}

// The form's own drawing of the cell, after the default one.
void DBGrid::Private::Delegate::drawCell(QPainter *painter, const QRect &cellRect, int row, int col, DrawStates states) const
{
    if (!d->q->onDrawColumnCell || col >= d->colCount())
        return;
    Field *field = d->fieldOf(col);
    DrawCellArgs args{painter, cellRect, col, &d->cols().at(col), field, states};
    args.row = row;
    const bool selected = bool(states & DrawState::Selected);
    const QPalette palette = cellPalette(states);
    const QRect rect = cellRect;
    args.drawText = [painter, rect, selected, palette](int x, int y, const QString &text) {
        painter->save();
        painter->setClipRect(rect);
        painter->fillRect(rect, selected ? palette.brush(QPalette::Active, QPalette::Highlight) : palette.brush(QPalette::Base));
        painter->setPen(selected ? palette.color(QPalette::Active, QPalette::HighlightedText) : palette.color(QPalette::Text));
        painter->drawText(QRect(rect.left() + x, rect.top() + y, std::max(0, rect.width() - x), std::max(0, rect.height() - y)),
                          Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        painter->restore();
    };
    DBGrid::Private *dd = d;
    args.valueOf = [dd, row](const QString &name) {
        const ClientDataSet *ds = dd->dataSet();
        const Field *f = ds ? ds->findField(name) : nullptr;
        return dd->valueAt(row, f);
    };
    args.textOf = [dd, row](const QString &name) {
        const ClientDataSet *ds = dd->dataSet();
        const Field *f = ds ? ds->findField(name) : nullptr;
        return dd->textAt(row, f);
    };
    painter->save();
    try {
        d->q->onDrawColumnCell(d->q, args);
    } catch (...) {
        handleLater(std::current_exception());
    }
    painter->restore();
}

} // namespace toolkit
