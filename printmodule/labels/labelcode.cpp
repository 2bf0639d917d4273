#include "labelcode.h"

#include <toolkit/error.h>

#include <QPainter>
#include <QRectF>

#include <memory>
#include <zint.h>

namespace printlabels {

namespace {
struct SymbolDeleter {
    void operator()(zint_symbol *symbol) const { ZBarcode_Delete(symbol); }
};
} // namespace

void drawQrCode(QPainter &painter, const QRectF &area, const QString &text)
{
    std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
    if (!symbol)
        throw toolkit::Error(QStringLiteral("Sem memória para o código da etiqueta."));
    symbol->symbology = BARCODE_QRCODE;
    symbol->input_mode = UNICODE_MODE;
    symbol->option_1 = 2;                             // error correction level M
    symbol->output_options |= BARCODE_QUIET_ZONES;    // the readers need the white border
    symbol->show_hrt = 0;
    const QByteArray data = text.toUtf8();
    const int status = ZBarcode_Encode_and_Buffer_Vector(symbol.get(), reinterpret_cast<const unsigned char *>(data.constData()),
                                                         int(data.size()), 0);
    if (status >= ZINT_ERROR || !symbol->vector)
        throw toolkit::Error(QStringLiteral("Não foi possível gerar o código da etiqueta: %1").arg(QString::fromLatin1(symbol->errtxt)));

    const zint_vector &vector = *symbol->vector;
    const double side = std::min(area.width(), area.height());
    const double scale = side / std::max(vector.width, vector.height);
    const QPointF origin(area.center().x() - vector.width * scale / 2, area.center().y() - vector.height * scale / 2);
    painter.save();
    // Squares side by side must meet without the seams antialiasing would draw between them.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(origin, QSizeF(vector.width * scale, vector.height * scale)));
    painter.setBrush(Qt::black);
    for (const zint_vector_rect *r = vector.rectangles; r; r = r->next) {
        if (r->colour != -1 && r->colour != 7)    // foreground or black squares only
            continue;
        painter.drawRect(QRectF(origin.x() + r->x * scale, origin.y() + r->y * scale, r->width * scale, r->height * scale));
    }
    painter.restore();
}

} // namespace printlabels
