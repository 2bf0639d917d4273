#include "listrenderer.h"

#include <toolkit/error.h>

#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

namespace printlists {

namespace {

// The page, in millimetres.
constexpr double kPageWidth = 297;
constexpr double kPageHeight = 210;
constexpr double kMargin = 10;
constexpr double kTitleHeight = 8;
constexpr double kDayHeight = 6;
constexpr double kTopGap = 3;
constexpr double kFooterHeight = 6;
constexpr double kBodyTop = kMargin + kTitleHeight + kDayHeight + kTopGap;
constexpr double kBodyHeight = kPageHeight - kMargin - kFooterHeight - kBodyTop;
// The items.
constexpr double kGroupTitleHeight = 7;
constexpr double kColumnHeadsHeight = 9;
constexpr double kLineHeight = 5;
constexpr double kCellPadding = 0.8;
constexpr double kSmallestPoints = 5.5;

QFont font(double points, bool bold)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// A column's place across the page, in millimetres.
struct Cell {
    double x, width;
};

QList<Cell> pageCells(const QList<TableColumn> &columns)
{
    double weights = 0;
    for (const TableColumn &column : columns)
        weights += column.weight;
    QList<Cell> cells;
    double x = kMargin;
    for (const TableColumn &column : columns) {
        const double width = (kPageWidth - 2 * kMargin) * column.weight / weights;
        cells.append({ x, width });
        x += width;
    }
    return cells;
}

// The print of a line's cells, measured as on a 1200 dpi page, so that a page is laid out
// before any device is at hand.
constexpr double kRowPoints = 7;
constexpr double kMeasureDpi = 1200;

QString shownText(const QVariant &value)
{
    if (value.isNull())
        return QString();
    return value.metaType().id() == QMetaType::Double ? pageNumber(value.toDouble()) : value.toString();
}

// A row is as tall as its longest text needs: texts wrap onto more lines, never shrink or cut.
double lineHeight(const TableGroup &group, const TableLine &line)
{
    if (line.kind != LineKind::Row)
        return kLineHeight;
    QImage probe(1, 1, QImage::Format_ARGB32);
    probe.setDotsPerMeterX(qRound(kMeasureDpi / 0.0254));
    probe.setDotsPerMeterY(qRound(kMeasureDpi / 0.0254));
    const QFontMetricsF metrics(font(kRowPoints, false), &probe);
    const double unitsPerMm = kMeasureDpi / 25.4;
    const QList<Cell> cells = pageCells(group.columns);
    double textHeight = 0;
    for (int c = 0; c < group.columns.size() && c < line.cells.size(); ++c) {
        if (group.columns[c].numeric)
            continue;
        const double width = (cells[c].width - 2 * kCellPadding) * unitsPerMm;
        const QString shown = shownText(line.cells[c]);
        textHeight
            = std::max(textHeight, metrics.boundingRect(QRectF(0, 0, width, 1e9), Qt::TextWordWrap, shown).height());
    }
    return std::max(kLineHeight, textHeight / unitsPerMm + 1.6);
}

const TableGroup &groupOf(const TableDocument &document, int group)
{
    return group < 0 ? document.closing : document.groups.at(group);
}

double heightOf(const TableDocument &document, const PageItem &item)
{
    switch (item.kind) {
    case PageItem::GroupTitle:
        return kGroupTitleHeight;
    case PageItem::ColumnHeads:
        return kColumnHeadsHeight;
    case PageItem::Line:
        return item.line ? lineHeight(groupOf(document, item.group), *item.line) : kLineHeight;
    }
    return kLineHeight;
}

QString dayText(const ListDay &day)
{
    return QStringLiteral("Filial %1 - %2   ·   Serviço %3 - %4   ·   Data %5")
        .arg(day.branch, day.branchName, day.service, day.serviceName, day.date.toString(QStringLiteral("dd/MM/yyyy")));
}

QString groupTitle(const TableDocument &document, const PageItem &item)
{
    const QString title = groupOf(document, item.group).title;
    return item.continued ? title + QStringLiteral(" (continuação)") : title;
}

// Draws the page's parts, placed in millimetres and drawn in device units (fonts keep their
// point sizes by the device's resolution).
class PagePainter {
public:
    PagePainter(QPainter &painter, const TableDocument &document)
        : m_painter(painter)
        , m_document(document)
        , m_unitsX(painter.device()->logicalDpiX() / 25.4)
        , m_unitsY(painter.device()->logicalDpiY() / 25.4)
    {
    }

    void paintPage(const ListPage &page, int number, int count)
    {
        text(QRectF(kMargin, kMargin, kPageWidth - 2 * kMargin, kTitleHeight), font(14, true),
            Qt::AlignLeft | Qt::AlignVCenter, m_document.title);
        text(QRectF(kMargin, kMargin + kTitleHeight, kPageWidth - 2 * kMargin, kDayHeight), font(9, false),
            Qt::AlignLeft | Qt::AlignVCenter, dayText(m_document.day));
        double y = kBodyTop;
        for (const PageItem &item : page) {
            const double height = heightOf(m_document, item);
            const TableGroup &group = groupOf(m_document, item.group);
            switch (item.kind) {
            case PageItem::GroupTitle:
                text(QRectF(kMargin, y + 1.5, kPageWidth - 2 * kMargin, height - 1.5), font(9, true),
                    Qt::AlignLeft | Qt::AlignVCenter, groupTitle(m_document, item));
                break;
            case PageItem::ColumnHeads:
                columnHeads(group, y, height);
                break;
            case PageItem::Line:
                line(group, *item.line, y, height);
                break;
            }
            y += height;
        }
        const QRectF footer(kMargin, kPageHeight - kMargin - kFooterHeight, kPageWidth - 2 * kMargin, kFooterHeight);
        text(footer, font(7, false), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Serviços Transportados"));
        text(footer, font(7, false), Qt::AlignRight | Qt::AlignBottom,
            QStringLiteral("Página %1 de %2").arg(number).arg(count));
    }

private:
    QRectF device(const QRectF &mm) const
    {
        return QRectF(mm.x() * m_unitsX, mm.y() * m_unitsY, mm.width() * m_unitsX, mm.height() * m_unitsY);
    }

    void rule(double y, double thicknessMm)
    {
        m_painter.setPen(QPen(Qt::black, thicknessMm * m_unitsY));
        m_painter.drawLine(
            QPointF(kMargin * m_unitsX, y * m_unitsY), QPointF((kPageWidth - kMargin) * m_unitsX, y * m_unitsY));
        m_painter.setPen(Qt::black);
    }

    void text(const QRectF &mm, const QFont &f, Qt::Alignment alignment, const QString &shown, bool wrap = false)
    {
        m_painter.setFont(f);
        const QRectF rect = device(mm);
        if (wrap) {
            m_painter.drawText(rect, int(alignment) | Qt::TextWordWrap, shown);
            return;
        }
        // A text too long is printed smaller, down to the smallest print, and only then cut.
        QFont fitted = f;
        while (QFontMetricsF(fitted, m_painter.device()).horizontalAdvance(shown) > rect.width()
            && fitted.pointSizeF() > kSmallestPoints)
            fitted.setPointSizeF(std::max(fitted.pointSizeF() * 0.92, kSmallestPoints));
        m_painter.setFont(fitted);
        const QFontMetricsF metrics(fitted, m_painter.device());
        m_painter.drawText(rect, int(alignment), metrics.elidedText(shown, Qt::ElideRight, rect.width()));
    }

    static QRectF cellRect(const QList<Cell> &cells, int column, double y, double height)
    {
        const Cell &cell = cells.at(column);
        return QRectF(cell.x + kCellPadding, y, cell.width - 2 * kCellPadding, height);
    }

    void columnHeads(const TableGroup &group, double y, double height)
    {
        const QList<Cell> cells = pageCells(group.columns);
        for (int c = 0; c < group.columns.size(); ++c) {
            const TableColumn &column = group.columns[c];
            const Qt::Alignment alignment = (column.numeric ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignBottom;
            text(cellRect(cells, c, y, height - 0.8), font(6, true), alignment, column.title, true);
        }
        rule(y + height - 0.3, 0.25);
    }

    void line(const TableGroup &group, const TableLine &tableLine, double y, double height)
    {
        const QList<Cell> cells = pageCells(group.columns);
        const bool total = tableLine.kind != LineKind::Row;
        if (total)
            rule(y + 0.2, 0.15);
        int first = 0;
        if (total) {
            // A total says what it is across the columns where a row shows what it is about.
            double width = 0;
            for (; first < group.labelColumns && first < cells.size(); ++first)
                width += cells.at(first).width;
            text(QRectF(kMargin + kCellPadding, y, width - 2 * kCellPadding, height), font(7, true),
                Qt::AlignLeft | Qt::AlignVCenter, tableLine.label);
        }
        for (int c = first; c < group.columns.size() && c < tableLine.cells.size(); ++c) {
            const bool numeric = group.columns[c].numeric;
            const Qt::Alignment alignment = (numeric ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
            // A row's texts wrap within its height (see lineHeight); figures never do.
            text(cellRect(cells, c, y, height), font(kRowPoints, total), alignment, shownText(tableLine.cells[c]),
                !total && !numeric);
        }
    }

    QPainter &m_painter;
    const TableDocument &m_document;
    const double m_unitsX; // device units a millimetre
    const double m_unitsY;
};

} // namespace

QString pageNumber(double value)
{
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    QString number = brazil.toString(value, 'f', 3);
    const QChar decimal = brazil.decimalPoint().at(0);
    while (number.endsWith(QLatin1Char('0')))
        number.chop(1);
    if (number.endsWith(decimal))
        number.chop(1);
    return number == QStringLiteral("-0") ? QStringLiteral("0") : number;
}

TableDocument listDocument(const KitchenList &list)
{
    const QList<Column> columns = pageColumns(list.kind);
    QList<TableColumn> heads;
    for (Column column : columns)
        heads.append({ columnTitle(column), columnWeight(column), isNumeric(column) });
    const int labelColumns = int(columns.indexOf(Column::Unit));
    const auto group = [&](const QString &title, const QList<ListLine> &lines) {
        TableGroup table { title, heads, labelColumns, {} };
        for (const ListLine &line : lines) {
            TableLine tableLine { line.kind, lineText(list.kind, line.kind), {} };
            for (Column column : columns)
                tableLine.cells.append(cellValue(list, line, column));
            table.lines.append(tableLine);
        }
        return table;
    };
    TableDocument document;
    document.title = listTitle(list.kind);
    document.day = list.day;
    for (const ListGroup &listGroup : list.groups)
        document.groups.append(group(listGroup.title, listGroup.lines));
    document.closing = group(QStringLiteral("Totais da lista"), list.totals);
    return document;
}

QList<ListPage> paginate(const TableDocument &document)
{
    QList<ListPage> pages(1);
    double used = 0;
    const auto fits = [&](double height) { return used + height <= kBodyHeight + 1e-9; };
    const auto place = [&](const PageItem &item) {
        pages.last().append(item);
        used += heightOf(document, item);
    };
    const auto newPage = [&] {
        pages.append(ListPage());
        used = 0;
    };
    // What a line needs where it is placed: a row takes the totals that follow it along, so
    // that no total starts a page alone.
    const auto needed = [&](const TableGroup &table, qsizetype i) {
        const QList<TableLine> &lines = table.lines;
        double height = lineHeight(table, lines[i]);
        if (lines[i].kind == LineKind::Row)
            for (qsizetype j = i + 1; j < lines.size() && lines[j].kind != LineKind::Row; ++j)
                height += lineHeight(table, lines[j]);
        return height;
    };
    // A group starts where its title, its column heads and its first line fit; a page it goes
    // on to repeats its title and heads.
    const auto placeGroup = [&](int group) {
        const TableGroup &table = groupOf(document, group);
        const QList<TableLine> &lines = table.lines;
        const double start = kGroupTitleHeight + kColumnHeadsHeight + (lines.isEmpty() ? 0 : needed(table, 0));
        if (!fits(start) && !pages.last().isEmpty())
            newPage();
        place({ PageItem::GroupTitle, group, std::nullopt, false });
        place({ PageItem::ColumnHeads, group, std::nullopt, false });
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const bool pageHasLines = pages.last().constLast().kind == PageItem::Line;
            if (!fits(i == 0 ? lineHeight(table, lines[i]) : needed(table, i)) && pageHasLines) {
                newPage();
                place({ PageItem::GroupTitle, group, std::nullopt, true });
                place({ PageItem::ColumnHeads, group, std::nullopt, false });
            }
            place({ PageItem::Line, group, lines[i], false });
        }
    };
    for (int g = 0; g < document.groups.size(); ++g)
        placeGroup(g);
    if (!document.closing.lines.isEmpty())
        placeGroup(-1);
    return pages;
}

QList<ListPage> paginateList(const KitchenList &list)
{
    return paginate(listDocument(list));
}

void applyListPageLayout(QPagedPaintDevice &device)
{
    device.setPageLayout(
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
}

bool renderDocument(
    QPagedPaintDevice &device, const TableDocument &document, const printlabels::RenderProgress &progress)
{
    applyListPageLayout(device);
    const QList<ListPage> pages = paginate(document);
    QPainter painter;
    if (!painter.begin(&device))
        throw toolkit::Error(QStringLiteral("Não foi possível iniciar a impressão do documento."));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // The page's corner is the origin (no margins); the painter's units are device pixels.
    PagePainter pagePainter(painter, document);
    for (qsizetype p = 0; p < pages.size(); ++p) {
        if (p > 0 && !device.newPage())
            throw toolkit::Error(QStringLiteral("Não foi possível passar à página seguinte do documento."));
        painter.setPen(Qt::black);
        pagePainter.paintPage(pages[p], int(p + 1), int(pages.size()));
        if (progress && !progress(int(p + 1), int(pages.size()))) {
            painter.end();
            return false;
        }
    }
    painter.end();
    return true;
}

bool renderList(QPagedPaintDevice &device, const KitchenList &list, const printlabels::RenderProgress &progress)
{
    return renderDocument(device, listDocument(list), progress);
}

} // namespace printlists
