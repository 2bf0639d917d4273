// Saving dish rows one at a time, as soon as they are posted or deleted: the change log goes to
// the server at once, the server calculates the saved row's container labels, and the day's dish
// rows and labels are read again. When a delivery point loses its last dish, or the first dish
// of a new point is cancelled, the whole day is read again.

#include "frmservtran.h"

#include <framework/busyindicator.h>
#include <rules/containercalc.h>

using toolkit::DataSetState;
namespace calc = rules::calc;

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
    // The saved row's own figures, by the calculation that gave its containers.
    const calc::RowFigures figures = calc::rowFigures(rowInputs());
    const double container = cdsServTran->fieldByName(QStringLiteral("QTCONTAIST"))->asFloat();
    LabelArguments a;
    a.fullWithSample = double(figures.withSample.full);
    a.partialQuantityWithSample = double(figures.withSample.partialQuantity);
    a.partialCountWithSample = double(figures.withSample.partialCount);
    a.fullWithoutSample = double(figures.withoutSample.full);
    a.partialCountWithoutSample = double(figures.withoutSample.partialCount);

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
