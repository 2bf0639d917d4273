#include "buttonflat.h"

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
    setIcon(style()->standardIcon(pixmap, nullptr, this));
}

} // namespace framework
