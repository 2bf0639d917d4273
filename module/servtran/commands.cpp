// Delete, Calculate and Print. Delete removes on the server the delivery point or the dish of the
// list that has the focus; Calculate opens the calculation dialog for the header's branch,
// service and date, and reads the day again afterwards when the header names a service; Print
// opens the label print module.

#include "frmservtran.h"

#include "calcmultiserv/frmcalcmultiserv.h"

#include <framework/busyindicator.h>
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

void TfrmServTran::sbtExcluirClick(QObject *)
{
    using toolkit::DataSetState;
    const auto confirmed = [this] {
        return msgMensagensPadroes->ShowMsg(QStringLiteral("Excl"), framework::DialogType::Confirmation,
                                            framework::MsgButton::Yes | framework::MsgButton::No, 0) == framework::mrYes;
    };
    const CurrentList list = currentList();
    if (list == CurrentList::Points && cdsPadrao->state() == DataSetState::Browse && confirmed()) {
        try {
            {
                framework::BusyIndicator busy(framework::mainWindow(), 6);
                const QVariant day = CheckResultServ(m_server.DelServTran(medCdFilial->text(), medCdServico->text(), headerDate(),
                                                                          cdsPadraoCDDESTFILI->asString(),
                                                                          cdsPadraoCDCLIENTE->asString()),
                                                     true, 0);
                // Both packets checked before either list is replaced.
                protocol::PacketContent points = cdsPadrao->checkedData(servtran::packetAt(day, 0));
                protocol::PacketContent dishes = cdsServTran->checkedData(servtran::packetAt(day, 1));
                cdsPadrao->setData(std::move(points));
                cdsServTran->setData(std::move(dishes));
            }
            dtsPadraoStateChange(dtsPadrao);
            if (cdsPadrao->isEmpty()) {
                Filtra(cdsServTran);
                Filtra(cdsEtiqueta);
            }
        } catch (...) {
            if (cdsPadrao->isEmpty()) {
                toolkit::guarded([this] {
                    dtsPadraoStateChange(dtsPadrao);
                    Filtra(cdsServTran);
                    Filtra(cdsEtiqueta);
                });
            }
            throw;
        }
        return;
    }
    if (list == CurrentList::Dishes && cdsServTran->state() == DataSetState::Browse && confirmed()) {
        try {
            {
                framework::BusyIndicator busy(framework::mainWindow(), 6);
                CheckResultServ(m_server.DeletePrato(cdsServTranCDFILAUXPRAT->asString(), cdsServTranCDPRATO->asString(),
                                                     cdsServTran->fieldByName(QStringLiteral("CDFILIAL"))->asString(),
                                                     cdsServTran->fieldByName(QStringLiteral("CDSERVFILI"))->asString(),
                                                     cdsServTranCDDESTFILI->asString(), cdsServTranCDCLIENTE->asString(),
                                                     cdsServTran->fieldByName(QStringLiteral("DTSERVTRAN"))->asDateTime()),
                                true, 0);
            }
            // The after-delete step saves the deletion and reads the day again when the point
            // has no dish left.
            cdsServTran->deleteRecord();
            if (cdsServTran->isEmpty())
                dtsServTranStateChange(dtsServTran);
        } catch (...) {
            toolkit::guarded([this] {
                cdsServTran->resync();
                if (cdsServTran->isEmpty())
                    dtsServTranStateChange(dtsServTran);
            });
            throw;
        }
    }
}

void TfrmServTran::sbtImprimirClick(QObject *)
{
    LoadBPL(QStringLiteral("PLA04101"));
}
