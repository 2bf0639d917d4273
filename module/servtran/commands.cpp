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

    std::exception_ptr failure;
    {
        // While the dialog is up, the focus leaving and coming back to the header reloads nothing.
        const toolkit::HandlerSuspension quiet(panFiltro->onExit);
        try {
            criaCalcMultiServ(medCdFilial->text(), medCdServico->text(), headerDate());
        } catch (...) {
            failure = std::current_exception();
        }
    }
    const auto reload = [this] {
        if (!medCdServico->text().isEmpty()) {
            panFiltroExit(panFiltro);
            dbgPadrao->setFocus(Qt::OtherFocusReason);
            dtsPadraoStateChange(dtsPadrao);
        }
    };
    if (!failure) {
        reload();
        return;
    }
    // The dialog's failure is the one the user hears of; the reload still runs.
    try {
        reload();
    } catch (...) {
    }
    std::rethrow_exception(failure);
}
