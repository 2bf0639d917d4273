#pragma once
// Where labels go on paper: A4 sheets of adhesive labels (rows x columns, with margins and gaps)
// or a roll of single labels (one 100 x 50 mm label a page). Sizes in millimetres.

#include <QRectF>
#include <QSizeF>

class QSettings;

namespace printlabels {

enum class LayoutKind { Sheet, Roll };

struct LabelLayout {
    LayoutKind kind = LayoutKind::Sheet;
    // The sheet: A4, rows x columns of labels.
    int rows = 8;
    int columns = 3;
    double marginTop = 10;
    double marginBottom = 10;
    double marginLeft = 7;
    double marginRight = 7;
    double gapHorizontal = 3;   // between columns
    double gapVertical = 2;     // between rows
    // The roll's label.
    double rollWidth = 100;
    double rollHeight = 50;

    QSizeF pageSize() const;      // mm
    int labelsPerPage() const;
    // The label's place on its page (mm from the page's top-left corner), by its number on the page.
    QRectF labelRect(int indexOnPage) const;
    int pageCount(int labels) const;
    // Empty when the layout can be printed; else what is wrong, in the user's words.
    QString problem() const;
};

// The layout kept in the host's settings ("etiquetas/..."): the last one used, or the defaults.
LabelLayout loadLayout(QSettings &settings);
void saveLayout(QSettings &settings, const LabelLayout &layout);

} // namespace printlabels
