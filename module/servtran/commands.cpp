// Calculate: opens the calculation dialog for the header's branch, service and date, and reads
// the day again afterwards when the header names a service.

#include "frmservtran.h"

#include "calcmultiserv/frmcalcmultiserv.h"

#include <framework/zandrix.h>

void TfrmServTran::sbtCalcularClick(QObject *)
{
    if (!ModuFili())
        checkBranch(true);
    Vd_Servico(false);

    // While the dialog is up, the focus leaving and coming back to the header reloads nothing.
    panFiltro->onExit.clear();
    const auto reattach = [this] {
        panFiltro->onExit.bind(this, &TfrmServTran::panFiltroExit);
        if (!medCdServico->text().isEmpty()) {
            panFiltroExit(panFiltro);
            dbgPadrao->setFocus(Qt::OtherFocusReason);
            dtsPadraoStateChange(dtsPadrao);
        }
    };
    try {
        criaCalcMultiServ(medCdFilial->text(), medCdServico->text(), headerDate());
    } catch (...) {
        // The dialog's failure is the one the user hears of; the reload still runs.
        const std::exception_ptr failure = std::current_exception();
        try {
            reattach();
        } catch (...) {
        }
        std::rethrow_exception(failure);
    }
    reattach();
}
