#pragma once
// The forms give their sizes in pixels — column widths, edit widths, window sizes — as they were
// laid out with a small design font. The font the user runs with (the platform's default, a
// larger one chosen for reading, or a scaled desktop) is usually wider: every designed size goes
// through here, so that text keeps the room it was given, measured in characters.

#include "toolkit_export.h"

#include <QFont>
#include <QSize>

class QWidget;

namespace toolkit {

// The average character width, in pixels, of the font the forms were laid out with.
inline constexpr double kDesignAverageCharWidth = 5.0;

// How much wider the font is than the design font (1 for the design font itself). A font that
// is narrower keeps the designed sizes: they never shrink below what was drawn.
TOOLKIT_EXPORT double designScale(const QFont &font);

// A designed size in pixels, grown by the scale of the widget's font.
TOOLKIT_EXPORT int scaled(int designPixels, const QWidget *widget);
TOOLKIT_EXPORT QSize scaled(const QSize &designSize, const QWidget *widget);

// Fixes a widget's width to a designed width, scaled to its font.
TOOLKIT_EXPORT void setDesignedWidth(QWidget *widget, int designPixels);

} // namespace toolkit
