#include "buttonflat.h"

#include <QPainter>

namespace framework {

TButtonFlat::TButtonFlat(QWidget *parent, const QString &name) : QToolButton(parent)
{
    setObjectName(name);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIconSize(QSize(20, 20));
}

void TButtonFlat::setHint(const QString &hint)
{
    setToolTip(hint);
    setStatusTip(hint);
    setAccessibleName(hint);
}

void TButtonFlat::setGlyph(QStyle::StandardPixmap pixmap)
{
    setGlyph(style()->standardIcon(pixmap, nullptr, this));
}

void TButtonFlat::setGlyph(const QIcon &icon)
{
    QIcon glyph;
    const qreal ratio = devicePixelRatioF();
    for (const QSize size : {iconSize(), iconSize() * 2}) {
        const QPixmap normal = icon.pixmap(size, ratio);
        QPixmap faded(normal.size());
        faded.setDevicePixelRatio(normal.devicePixelRatio());
        faded.fill(Qt::transparent);
        QPainter painter(&faded);
        painter.setOpacity(0.3);
        painter.drawPixmap(0, 0, normal);
        painter.end();
        glyph.addPixmap(normal, QIcon::Normal);
        glyph.addPixmap(faded, QIcon::Disabled);
    }
    setIcon(glyph);
}

} // namespace framework
