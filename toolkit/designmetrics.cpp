#include "designmetrics.h"

#include <QFontMetricsF>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace toolkit {

double designScale(const QFont &font)
{
    const double average = QFontMetricsF(font).averageCharWidth();
    return std::max(1.0, average / kDesignAverageCharWidth);
}

int scaled(int designPixels, const QWidget *widget)
{
    const double scale = designScale(widget ? widget->font() : QFont());
    return int(std::ceil(designPixels * scale));
}

QSize scaled(const QSize &designSize, const QWidget *widget)
{
    return QSize(scaled(designSize.width(), widget), scaled(designSize.height(), widget));
}

void setDesignedWidth(QWidget *widget, int designPixels)
{
    widget->setFixedWidth(scaled(designPixels, widget));
}

} // namespace toolkit
