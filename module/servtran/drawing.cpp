// The client, point and dish columns show names; the code shows only in the cell being edited.

#include "frmservtran.h"

using toolkit::DrawState;

namespace {
// The cell under the grid's open editor: drawn as selected, neither focused nor fixed.
bool underEditor(const DBGrid *grid, const toolkit::DrawCellArgs &cell)
{
    return grid->editorMode() && cell.state == toolkit::DrawStates(DrawState::Selected);
}
} // namespace

void TfrmServTran::dbgPadraoDrawColumnCell(QObject *, const toolkit::DrawCellArgs &Cell)
{
    const bool code = underEditor(dbgPadrao, Cell);
    if (Cell.dataCol == IndiceCol(dbgPadrao, QStringLiteral("NRINSJURCLIE")))
        Cell.textRect(3, 3, Cell.text(code ? QStringLiteral("CDCLIENTE") : QStringLiteral("NMRAZSOCCLIE")));
    else if (Cell.dataCol == IndiceCol(dbgPadrao, QStringLiteral("CDDESTFILI")))
        Cell.textRect(3, 3, Cell.text(code ? QStringLiteral("CDDESTFILI") : QStringLiteral("NMDESTFILI")));
}

void TfrmServTran::dbgServTranDrawColumnCell(QObject *, const toolkit::DrawCellArgs &Cell)
{
    if (Cell.dataCol != IndiceCol(dbgServTran, QStringLiteral("CDPRATO")))
        return;
    Cell.textRect(3, 3, Cell.text(underEditor(dbgServTran, Cell) ? QStringLiteral("CDPRATO") : QStringLiteral("NMPRATO")));
}
