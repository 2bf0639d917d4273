#pragma once
// The flat toolbar button: a glyph, a hint, no focus of its own (a command acts on the control
// that has the focus, so pressing the button must not take it away).

#include "framework_export.h"

#include <QStyle>
#include <QToolButton>

namespace framework {

class FRAMEWORK_EXPORT TButtonFlat : public QToolButton {
    Q_OBJECT
public:
    explicit TButtonFlat(QWidget *parent = nullptr, const QString &name = QString());

    QString hint() const { return toolTip(); }
    void setHint(const QString &hint);
    // A glyph from the style's standard icons, or any icon. Disabled, the glyph is drawn faded:
    // the style's own disabled look barely differs from the grey standard glyphs.
    void setGlyph(QStyle::StandardPixmap pixmap);
    void setGlyph(const QIcon &icon);
};

} // namespace framework

using framework::TButtonFlat;
