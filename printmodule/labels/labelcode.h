#pragma once
// The label's machine-readable code: a QR Code of its key text, encoded by libzint and drawn
// as vector squares so that it stays sharp at any printer resolution.

#include <QString>

class QPainter;
class QRectF;

namespace printlabels {

// Draws the QR Code of the text, square, as large as fits and centred in the rectangle (in the
// painter's units). toolkit::Error when libzint refuses the text.
void drawQrCode(QPainter &painter, const QRectF &area, const QString &text);

} // namespace printlabels
