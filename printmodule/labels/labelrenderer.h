#pragma once
// Drawing labels on pages: a function of the labels and the layout only, the same for the
// preview, the printer and the PDF file.

#include "containerlabel.h"
#include "labellayout.h"

#include <QList>
#include <QRectF>

#include <functional>

class QPagedPaintDevice;
class QPainter;

namespace printlabels {

// A label's place: which label of the list, where on its page (mm).
struct LabelPlacement {
    int label = 0;
    QRectF rect;
};
// The pages of that many labels in the layout, each with its labels' places, in list order.
QList<QList<LabelPlacement>> paginate(int labelCount, const LabelLayout &layout);

// Draws one label in the rectangle, given in the painter's units, `unitsPerMm` of them a millimetre.
void paintLabel(QPainter &painter, const QRectF &rect, double unitsPerMm, const ContainerLabel &label);

// Told after each page with the labels drawn so far and their number; false stops the job.
using RenderProgress = std::function<bool(int done, int total)>;

// Gives the device the layout's page (size, no margins) and draws every label on its pages.
// False when the progress stopped it; toolkit::Error when the device cannot be painted.
bool renderLabels(QPagedPaintDevice &device, const QList<ContainerLabel> &labels, const LabelLayout &layout,
                  const RenderProgress &progress = {});

// The page layout a device gets for the layout (tells a printer before its dialog opens).
void applyPageLayout(QPagedPaintDevice &device, const LabelLayout &layout);

} // namespace printlabels
