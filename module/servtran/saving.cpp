// Saving dish rows one at a time, as soon as they are posted or deleted: the change log goes to
// the server at once, the server calculates the saved row's container labels, and the day's dish
// rows and labels are read again. When a delivery point loses its last dish, or the first dish
// of a new point is cancelled, the whole day is read again.

#include "frmservtran.h"

#include <framework/busyindicator.h>
#include <rules/containercalc.h>

using toolkit::DataSetState;
namespace calc = rules::calc;
using calc::Real;

namespace {

// The figures a row's labels are made from, as the server expects them.
struct LabelArguments {
    double fullWithSample = 0;
    double partialQuantityWithSample = 0;
    double partialCountWithSample = 0;
    double fullWithoutSample = 0;
    double partialCountWithoutSample = 0;
};

} // namespace

void TfrmServTran::cdsServTranAfterPost(ClientDataSet *)
{
    if (cdsServTran->changeCount() != 0) {
        framework::BusyIndicator busy(framework::mainWindow(), 1);
        try {
            // SetServTran and CalcEtiqueta answer a text: empty when done, else what went wrong,
            // which is shown and ends the save like any other refusal.
            CheckResultServ(m_server.SetServTran(cdsServTran->delta()), true, 0);
            if (cdsServTran->logChanges())
                cdsServTran->mergeChangeLog();
            // From here on the row is saved: a later failure leaves it so, with its old labels.
            if (boPointInserted) {
                Filtra(cdsServTran);
                boPointInserted = false;
            }
            calculateLabels();
            const QVariant rows =
                CheckResultServ(m_server.GetServTran(medCdFilial->text(), medCdServico->text(), headerDate()), true, 0);
            cdsServTran->setData(cdsServTran->checkedData(servtran::packetOf(rows)));
            const QVariant labels =
                CheckResultServ(m_server.GetEtiqueta(medCdFilial->text(), medCdServico->text(), headerDate()), true, 0);
            cdsEtiqueta->setData(cdsEtiqueta->checkedData(servtran::packetOf(labels)));
            Filtra(cdsServTran);
            Filtra(cdsEtiqueta);
        } catch (...) {
            cdsServTran->cancelUpdates();   // a refused save: the posted change is dropped here too
            throw;
        }
    }
    // A delivery point being inserted has reached the server with its first dish: read the points.
    if (cdsPadrao->state() == DataSetState::Insert)
        sbtVerificarClick(sbtVerificar);
}

void TfrmServTran::calculateLabels()
{
    const Real diners = cdsServTranQTCOMESTIST->asFloat();
    const Real perPerson = cdsServTran->fieldByName(QStringLiteral("QTPADRAOST"))->asFloat();
    const Real sample = cdsServTranQTAMOSTRAST->asFloat();
    const double container = cdsServTran->fieldByName(QStringLiteral("QTCONTAIST"))->asFloat();
    // The dish's registered container and its own minimum fill (never the branch's default).
    const Field *registered = cdsDadosPrato->active() && !cdsDadosPrato->isEmpty()
                                  ? cdsDadosPrato->fieldByName(QStringLiteral("QTCONTAI"))
                                  : nullptr;
    const Field *percent = cdsDadosPrato->active() && !cdsDadosPrato->isEmpty()
                               ? cdsDadosPrato->fieldByName(QStringLiteral("PERCENTUAL"))
                               : nullptr;
    const Real K = registered ? Real(registered->asFloat()) : 0;
    const std::optional<Real> dishPercent =
        percent && !percent->isNull() ? std::optional<Real>(percent->asFloat()) : std::nullopt;

    const calc::LabelInputs withSample = calc::labelInputs(diners * perPerson + sample, container, K, dishPercent);
    const calc::LabelInputs withoutSample = calc::labelInputs(diners * perPerson, container, K, dishPercent);
    LabelArguments a;
    a.fullWithSample = double(withSample.full);
    a.partialQuantityWithSample = double(withSample.partialQuantity);
    a.partialCountWithSample = double(withSample.partialCount);
    a.fullWithoutSample = double(withoutSample.full);
    a.partialCountWithoutSample = double(withoutSample.partialCount);

    const QString rowNumber = cdsServTranNRSERVTRAN->asString();
    QString number = EmptyString(rowNumber) ? QStringLiteral("0000000001") : rowNumber;
    CheckResultServ(m_server.CalcEtiqueta(medCdFilial->text(), cdsServTran->fieldByName(QStringLiteral("CDSERVFILI"))->asString(),
                                          cdsServTranCDDESTFILI->asString(), number, cdsServTranCDCLIENTE->asString(),
                                          cdsServTranCDDIETPADST->asString(),
                                          cdsServTran->fieldByName(QStringLiteral("DTSERVTRAN"))->asDateTime(),
                                          cdsServTranCDFILAUXPRAT->asString(), cdsServTranCDPRATO->asString(),
                                          a.fullWithoutSample, container, a.partialQuantityWithSample,
                                          a.partialCountWithoutSample, a.fullWithSample, a.partialCountWithSample),
                    true, 0);
}

void TfrmServTran::cdsServTranAfterDelete(ClientDataSet *)
{
    if (cdsServTran->changeCount() > 0) {
        try {
            framework::BusyIndicator busy(framework::mainWindow(), 1);
            CheckResultServ(m_server.SetServTran(cdsServTran->delta()), true, 0);
            if (cdsServTran->logChanges())
                cdsServTran->mergeChangeLog();
        } catch (...) {
            cdsServTran->cancelUpdates();   // the deleted row comes back
            throw;
        }
    }
    if (cdsServTran->isEmpty()) {
        dbgPadrao->setFocus();
        panFiltroExit(panFiltro);
    }
}

void TfrmServTran::cdsServTranAfterCancel(ClientDataSet *)
{
    if (!cdsServTran->isEmpty())
        return;
    cdsPadraoNRINSJURCLIE->focusControl();
    cdsServTranCDPRATO->focusControl();
    panFiltroExit(panFiltro);
    // The dish given up was a new point's first: the point is gone with it, and the keys go on
    // from the points (the dish grid's editor went away under the focus while the day was read).
    dbgPadrao->setFocus();
}
