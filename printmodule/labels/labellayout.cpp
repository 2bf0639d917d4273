#include "labellayout.h"

#include <QSettings>
#include <QString>

#include <cmath>

namespace printlabels {

namespace {
constexpr double kA4Width = 210;
constexpr double kA4Height = 297;
// Labels narrower or lower than this cannot hold the texts and the code.
constexpr double kSmallestLabel = 20;
} // namespace

QSizeF LabelLayout::pageSize() const
{
    return kind == LayoutKind::Roll ? QSizeF(rollWidth, rollHeight) : QSizeF(kA4Width, kA4Height);
}

int LabelLayout::labelsPerPage() const
{
    return kind == LayoutKind::Roll ? 1 : std::max(rows, 1) * std::max(columns, 1);
}

QRectF LabelLayout::labelRect(int indexOnPage) const
{
    if (kind == LayoutKind::Roll)
        return QRectF(0, 0, rollWidth, rollHeight);
    const int cols = std::max(columns, 1), lines = std::max(rows, 1);
    const double width = (kA4Width - marginLeft - marginRight - gapHorizontal * (cols - 1)) / cols;
    const double height = (kA4Height - marginTop - marginBottom - gapVertical * (lines - 1)) / lines;
    const int row = indexOnPage / cols, column = indexOnPage % cols;
    return QRectF(marginLeft + column * (width + gapHorizontal), marginTop + row * (height + gapVertical), width, height);
}

int LabelLayout::pageCount(int labels) const
{
    const int perPage = labelsPerPage();
    return labels <= 0 ? 0 : (labels + perPage - 1) / perPage;
}

QString LabelLayout::problem() const
{
    if (kind == LayoutKind::Roll) {
        if (rollWidth < kSmallestLabel || rollHeight < kSmallestLabel)
            return QStringLiteral("A etiqueta do rolo é pequena demais.");
        return {};
    }
    if (rows < 1 || columns < 1)
        return QStringLiteral("Informe ao menos uma linha e uma coluna de etiquetas.");
    if (marginTop < 0 || marginBottom < 0 || marginLeft < 0 || marginRight < 0 || gapHorizontal < 0 || gapVertical < 0)
        return QStringLiteral("Margens e espaços não podem ser negativos.");
    const QRectF label = labelRect(0);
    if (label.width() < kSmallestLabel || label.height() < kSmallestLabel)
        return QStringLiteral("As etiquetas ficam pequenas demais nesta folha: reduza linhas, colunas, margens ou espaços.");
    return {};
}

LabelLayout loadLayout(QSettings &settings)
{
    LabelLayout layout;
    settings.beginGroup(QStringLiteral("etiquetas"));
    layout.kind = settings.value(QStringLiteral("modelo")).toString() == QLatin1String("rolo") ? LayoutKind::Roll : LayoutKind::Sheet;
    layout.rows = settings.value(QStringLiteral("linhas"), layout.rows).toInt();
    layout.columns = settings.value(QStringLiteral("colunas"), layout.columns).toInt();
    layout.marginTop = settings.value(QStringLiteral("margemSuperior"), layout.marginTop).toDouble();
    layout.marginBottom = settings.value(QStringLiteral("margemInferior"), layout.marginBottom).toDouble();
    layout.marginLeft = settings.value(QStringLiteral("margemEsquerda"), layout.marginLeft).toDouble();
    layout.marginRight = settings.value(QStringLiteral("margemDireita"), layout.marginRight).toDouble();
    layout.gapHorizontal = settings.value(QStringLiteral("espacoColunas"), layout.gapHorizontal).toDouble();
    layout.gapVertical = settings.value(QStringLiteral("espacoLinhas"), layout.gapVertical).toDouble();
    settings.endGroup();
    return layout;
}

void saveLayout(QSettings &settings, const LabelLayout &layout)
{
    settings.beginGroup(QStringLiteral("etiquetas"));
    settings.setValue(QStringLiteral("modelo"), layout.kind == LayoutKind::Roll ? QStringLiteral("rolo") : QStringLiteral("folha"));
    settings.setValue(QStringLiteral("linhas"), layout.rows);
    settings.setValue(QStringLiteral("colunas"), layout.columns);
    settings.setValue(QStringLiteral("margemSuperior"), layout.marginTop);
    settings.setValue(QStringLiteral("margemInferior"), layout.marginBottom);
    settings.setValue(QStringLiteral("margemEsquerda"), layout.marginLeft);
    settings.setValue(QStringLiteral("margemDireita"), layout.marginRight);
    settings.setValue(QStringLiteral("espacoColunas"), layout.gapHorizontal);
    settings.setValue(QStringLiteral("espacoLinhas"), layout.gapVertical);
    settings.endGroup();
}

} // namespace printlabels
