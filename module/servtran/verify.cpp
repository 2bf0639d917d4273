// Verify: reads the day again from the application server — the labels alone from the label
// grid, otherwise the delivery points and the dishes.

#include "frmservtran.h"

#include <framework/busyindicator.h>

void TfrmServTran::sbtVerificarClick(QObject *)
{
    if (activeControl() == dbgEtiqueta) {
        if (dtsEtiqueta->dataSet() && cdsEtiqueta->state() == toolkit::DataSetState::Browse) {
            framework::BusyIndicator busy(framework::mainWindow(), 6);
            const QVariant labels =
                CheckResultServ(m_server.GetEtiqueta(medCdFilial->text(), medCdServico->text(), headerDate()), true, 0);
            cdsEtiqueta->setData(servtran::packetOf(labels));
            Filtra(cdsEtiqueta);
        }
        return;
    }

    const QString branch = medCdFilial->text();
    const QString service = medCdServico->text();
    const QDateTime date = headerDate();
    const QString client = cdsPadraoNRINSJURCLIE->asString();
    const bool fromDishes = activeControl() == dbgServTran;
    try {
        {
            framework::BusyIndicator busy(framework::mainWindow(), 6);
            const QVariant points = CheckResultServ(m_server.GetPadrao(branch, service, date), true, 0);
            protocol::PacketContent loaded = cdsPadrao->checkedData(servtran::packetOf(points));
            dropPendingPoint();
            cdsPadrao->setData(std::move(loaded));
            if (fromDishes)
                cdsPadrao->locate(QStringLiteral("CDFILIAL;CDSERVFILI;DTSERVTRAN;NRINSJURCLIE"),
                                  {branch, service, date, client});
            const QVariant dishes = CheckResultServ(m_server.GetServTran(branch, service, date), true, 0);
            cdsServTran->setData(servtran::packetOf(dishes));
            Filtra(cdsServTran);
        }
        dtsPadraoStateChange(dtsPadrao);
    } catch (...) {
        dtsPadraoStateChange(dtsPadrao);
        throw;
    }
}
