#include "labelrenderer.h"

#include "labelcode.h"

#include <toolkit/error.h>

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

namespace printlabels {

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;

// The smallest print a label keeps before cutting a text.
constexpr double kSmallestPoints = 5;

// One line of text in the width: the nominal size, smaller when it does not fit (down to the
// smallest print), then cut with an ellipsis. Returns the line's height.
double drawLine(QPainter &painter, const QPointF &topLeft, double width, double heightMm, double unitsPerMm,
                const QString &text, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(bold);
    double points = heightMm * kPointsPerMm * 0.72;
    font.setPointSizeF(points);
    // Point sizes go by the device's resolution; the painter's units are device units.
    const auto measure = [&](const QFont &f) { return QFontMetricsF(f, painter.device()).horizontalAdvance(text); };
    while (measure(font) > width && points > kSmallestPoints) {
        points = std::max(points * 0.92, kSmallestPoints);
        font.setPointSizeF(points);
    }
    const QFontMetricsF metrics(font, painter.device());
    painter.setFont(font);
    const QString shown = metrics.elidedText(text, Qt::ElideRight, width);
    const double lineHeight = heightMm * unitsPerMm;
    painter.drawText(QRectF(topLeft, QSizeF(width, lineHeight)), Qt::AlignLeft | Qt::AlignVCenter, shown);
    return lineHeight;
}

} // namespace

QList<QList<LabelPlacement>> paginate(int labelCount, const LabelLayout &layout)
{
    QList<QList<LabelPlacement>> pages;
    const int perPage = layout.labelsPerPage();
    for (int i = 0; i < labelCount; ++i) {
        if (i % perPage == 0)
            pages.append(QList<LabelPlacement>());
        pages.last().append({i, layout.labelRect(i % perPage)});
    }
    return pages;
}

void paintLabel(QPainter &painter, const QRectF &rect, double unitsPerMm, const ContainerLabel &label)
{
    painter.save();
    const double padding = 1.5 * unitsPerMm;
    const QRectF inner = rect.adjusted(padding, padding, -padding, -padding);
    // Ten line heights: header, client, point, dish (twice as high), quantity, position, and the
    // cold chain's preparation, use-by and instruction, which a receiver must read first.
    const double line = inner.height() / unitsPerMm / 10.0;
    const double headerHeight = line * unitsPerMm;
    // The code on the right under the header, with a clear gap (a reader needs it quiet around
    // the code), as high as the label allows but never more than 38% of its width (wider, beside
    // the label's ten lines, a page scanner at 300 dpi missed one code of a full A4 sheet).
    const QRectF below = inner.adjusted(0, headerHeight + 2 * unitsPerMm, 0, 0);
    const double codeSide = std::min(below.height(), below.width() * 0.38);
    const QRectF codeArea(below.right() - codeSide, below.top() + (below.height() - codeSide) / 2, codeSide, codeSide);
    drawQrCode(painter, codeArea, codeText(label));

    const double textWidth = inner.width() - codeSide - padding;
    painter.setPen(Qt::black);
    QPointF at = inner.topLeft();
    // The day, the service and the branch across the whole label, above the code, so that they
    // stay readable on the small label too; there the branch's name is what gets cut first.
    const QString header = QStringLiteral("%1 · %2 · %3").arg(label.date.toString(QStringLiteral("dd/MM/yyyy")), label.serviceName, label.branchName);
    at.ry() += drawLine(painter, at, inner.width(), line, unitsPerMm, header, false);
    at.ry() += drawLine(painter, at, textWidth, line, unitsPerMm, QStringLiteral("Cliente: ") + label.clientName, false);
    at.ry() += drawLine(painter, at, textWidth, line, unitsPerMm, QStringLiteral("Ponto: ") + label.pointName, false);
    at.ry() += drawLine(painter, at, textWidth, line * 2, unitsPerMm, label.dishName, true);
    at.ry() += drawLine(painter, at, textWidth, line, unitsPerMm, QStringLiteral("Quantidade: ") + quantityText(label), false);
    at.ry() += drawLine(painter, at, textWidth, line, unitsPerMm, QStringLiteral("Etiqueta ") + positionText(label), true);
    at.ry() += drawLine(painter, at, textWidth, line, unitsPerMm, preparedText(label), false);
    at.ry() += drawLine(painter, at, textWidth, line, unitsPerMm, useByText(label), true);
    drawLine(painter, at, textWidth, line, unitsPerMm, instructionText(label), true);
    painter.restore();
}

void applyPageLayout(QPagedPaintDevice &device, const LabelLayout &layout)
{
    const QSizeF size = layout.pageSize();
    const QPageSize pageSize = layout.kind == LayoutKind::Sheet ? QPageSize(QPageSize::A4)
                                                                 : QPageSize(size, QPageSize::Millimeter, QStringLiteral("Etiqueta"),
                                                                             QPageSize::ExactMatch);
    const QPageLayout::Orientation orientation = size.width() > size.height() ? QPageLayout::Landscape : QPageLayout::Portrait;
    QPageSize portrait = pageSize;
    if (orientation == QPageLayout::Landscape)
        portrait = QPageSize(size.transposed(), QPageSize::Millimeter, QStringLiteral("Etiqueta"), QPageSize::ExactMatch);
    device.setPageLayout(QPageLayout(portrait, orientation, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
}

bool renderLabels(QPagedPaintDevice &device, const QList<ContainerLabel> &labels, const LabelLayout &layout,
                  const RenderProgress &progress)
{
    if (const QString problem = layout.problem(); !problem.isEmpty())
        throw toolkit::Error(problem);
    applyPageLayout(device, layout);
    const QList<QList<LabelPlacement>> pages = paginate(int(labels.size()), layout);
    QPainter painter;
    if (!painter.begin(&device))
        throw toolkit::Error(QStringLiteral("Não foi possível iniciar a impressão das etiquetas."));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // The painter's origin is the page's corner (no margins); its units are device pixels.
    const double unitsPerMm = device.logicalDpiX() / 25.4;
    const double unitsPerMmY = device.logicalDpiY() / 25.4;
    int done = 0;
    for (qsizetype p = 0; p < pages.size(); ++p) {
        if (p > 0 && !device.newPage())
            throw toolkit::Error(QStringLiteral("Não foi possível passar à página seguinte das etiquetas."));
        for (const LabelPlacement &placement : pages[p]) {
            const QRectF rect(placement.rect.x() * unitsPerMm, placement.rect.y() * unitsPerMmY,
                              placement.rect.width() * unitsPerMm, placement.rect.height() * unitsPerMmY);
            paintLabel(painter, rect, unitsPerMm, labels[placement.label]);
            ++done;
        }
        if (progress && !progress(done, int(labels.size()))) {
            painter.end();
            return false;
        }
    }
    painter.end();
    return true;
}

} // namespace printlabels
