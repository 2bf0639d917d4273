// The header (branch, service, date), its checks, and the day's loading when the focus leaves
// it; the two filters that make the dish grid follow the current delivery point and the label
// grid the current dish.

#include "frmservtran.h"

#include <framework/busyindicator.h>
#include <framework/zandrix.h>

#include <future>

namespace {

// Filter values go between single quotes; a quote inside a value is written doubled so that the
// expression still says what the value says.
QString quoted(const QString &value)
{
    QString v = value;
    v.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

} // namespace

QDateTime TfrmServTran::headerDate() const
{
    const QDate date = depDataCard->GetDate();
    return date.isValid() ? protocol::wallClock(date) : QDateTime();
}

// --- Branch ---------------------------------------------------------------------------------

void TfrmServTran::medCdFilialChange(QObject *)
{
    edtNmFilial->clear();
    medCdServico->clear();
    edtNmServico->clear();
}

void TfrmServTran::medCdFilialExit(QObject *)
{
    checkBranch(false);
}

void TfrmServTran::checkBranch(bool complete)
{
    try {
        medCdFilial->setText(Ajusta(medCdFilial->text(), 4));
        edtNmFilial->setText(ValidaFilial(medCdFilial->text(), Operador(), complete));
    } catch (...) {
        if (medCdFilial->isEnabled())
            medCdFilial->setFocus();
        throw;
    }
}

void TfrmServTran::sbtFilialBeforePesq(QObject *, bool &)
{
    qryFilial->Close();
}

void TfrmServTran::sbtFilialAfterPesq(QObject *)
{
    medCdFilial->setText(qryFilial->FieldByName(QStringLiteral("CDFILIAL"))->asString());
    edtNmFilial->setText(qryFilial->FieldByName(QStringLiteral("NMFILIAL"))->asString());
    qryFilial->Close();
}

// --- Service --------------------------------------------------------------------------------

void TfrmServTran::medCdServicoChange(QObject *)
{
    edtNmServico->clear();
}

void TfrmServTran::medCdServicoExit(QObject *)
{
    Vd_Servico(false);
}

void TfrmServTran::btpPesqServicoBeforePesq(QObject *, bool &)
{
    qryServico->Close();
    qryServico->ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(medCdFilial->text());
    qryServico->ParamByName(QStringLiteral("P_CDSERVFILI"))->setAsString(QString());
    qryServico->ParamByName(QStringLiteral("P_TCDSERVFILI"))->setAsString(QStringLiteral("T"));
}

void TfrmServTran::btpPesqServicoAfterPesq(QObject *)
{
    medCdServico->setText(qryServico->FieldByName(QStringLiteral("CDSERVFILI"))->asString());
    edtNmServico->setText(qryServico->FieldByName(QStringLiteral("NMSERVICO"))->asString());
    qryServico->Close();
}

void TfrmServTran::Vd_Servico(bool finalCheck)
{
    try {
        if (EmptyString(medCdServico->text())) {
            if (finalCheck)
                MensErro(msgPadrao->Msg(QStringLiteral("SERV_INF")), true);
            return;
        }
        medCdServico->setText(Ajusta(medCdServico->text(), 5));
        if (finalCheck)
            return;
        qryServico->Close();
        qryServico->ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(medCdFilial->text());
        qryServico->ParamByName(QStringLiteral("P_CDSERVFILI"))->setAsString(medCdServico->text());
        qryServico->ParamByName(QStringLiteral("P_TCDSERVFILI"))->setAsString(QString());
        qryServico->Open();
        edtNmServico->setText(qryServico->FieldByName(QStringLiteral("NMSERVICO"))->asString());
        if (qryServico->IsEmpty()) {
            medCdServico->setFocus();
            MensErro(msgPadrao->Msg(QStringLiteral("SERV_N_CAD")), true);
        }
        qryServico->Close();
    } catch (...) {
        if (EmptyString(medCdServico->text()) && finalCheck)
            medCdServico->setFocus();
        qryServico->Close();
        throw;
    }
}

// --- Date -----------------------------------------------------------------------------------

void TfrmServTran::depDataCardDateChange(QObject *)
{
    edtNomeDia->setText(NomeSemana(depDataCard->GetDate()));
}

void TfrmServTran::depDataCardExit(QObject *)
{
    depDataCard->CheckValidDate();
}

void TfrmServTran::Vd_Data()
{
    try {
        if (EmptyString(depDataCard))
            MensErro(msgPadrao->Msg(QStringLiteral("DATA_DEVE")), true);
    } catch (...) {
        depDataCard->setFocus();
        throw;
    }
}

// --- Entering and leaving the header ----------------------------------------------------------

void TfrmServTran::panFiltroEnter(QObject *)
{
    EnableButtons(false);
    nedComenServ->clear();
    cdsEtiqueta->close();
    cdsServTran->close();
    cdsPadrao->close();
}

void TfrmServTran::panFiltroExit(QObject *)
{
    if (!ModuFili())
        checkBranch(true);
    Vd_Servico(true);
    Vd_Data();
    dropPendingPoint();
    boPointInserted = false;   // whatever point was being inserted is gone or saved now
    {
        framework::BusyIndicator busy(framework::mainWindow(), 6);
        const QVariant day =
            CheckResultServ(m_server.GetDados(medCdFilial->text(), medCdServico->text(), headerDate()), true, 0);
        // Every packet is decoded and checked against its dataset before any dataset is
        // touched, so a short or mismatched answer changes nothing. The labels, the largest of a
        // big day, are decoded on a thread of their own meanwhile (only reads of their dataset's
        // fields), so that a second core shortens the wait.
        std::future<protocol::PacketContent> decodingLabels = std::async(std::launch::async, [this, &day] {
            return cdsEtiqueta->checkedData(servtran::packetAt(day, 2));
        });
        protocol::PacketContent points = cdsPadrao->checkedData(servtran::packetAt(day, 0));
        protocol::PacketContent dishes = cdsServTran->checkedData(servtran::packetAt(day, 1));
        protocol::PacketContent labels = decodingLabels.get();
        protocol::PacketContent diners = cdsComenServ->checkedData(servtran::packetAt(day, 3));
        cdsPadrao->setData(std::move(points));
        cdsServTran->setData(std::move(dishes));
        cdsEtiqueta->setData(std::move(labels));
        cdsComenServ->setData(std::move(diners));
    }
    nedComenServ->setText(cdsComenServQTCOMESTICAR->asString());
    Filtra(cdsServTran);
    FocusedGrid(dbgPadrao);
    FocusedGrid(dbgServTran);
    FocusedGrid(dbgEtiqueta);
}

// A new delivery point is pending while its first dish is entered; reading the day again either
// brings it back as the server now holds it or, when its dish was given up, drops it.
void TfrmServTran::dropPendingPoint()
{
    if (cdsPadrao->isEditing())
        cdsPadrao->cancel();
}

// --- Filters and toolbar ----------------------------------------------------------------------

void TfrmServTran::Filtra(ClientDataSet *DataSet)
{
    if (DataSet == cdsServTran) {
        cdsServTran->setFilter(QStringLiteral("CDCLIENTE  = ") + quoted(cdsPadraoCDCLIENTE->asString()) +
                               QStringLiteral(" AND ") + QStringLiteral("CDDESTFILI = ") +
                               quoted(cdsPadraoCDDESTFILI->asString()));
        cdsServTran->setFiltered(true);
    } else if (DataSet == cdsEtiqueta) {
        cdsEtiqueta->setFilter(QStringLiteral("NRSERVTRAN   = ") + quoted(cdsServTranNRSERVTRAN->asString()) +
                               QStringLiteral(" AND ") + QStringLiteral("CDDIETPADST  = ") +
                               quoted(cdsServTranCDDIETPADST->asString()) + QStringLiteral(" AND ") +
                               QStringLiteral("CDCLIENTE    = ") + quoted(cdsServTranCDCLIENTE->asString()) +
                               QStringLiteral(" AND ") + QStringLiteral("CDDESTFILI   = ") +
                               quoted(cdsServTranCDDESTFILI->asString()) + QStringLiteral(" AND ") +
                               QStringLiteral("CDPRATO      = ") + quoted(cdsServTranCDPRATO->asString()) +
                               QStringLiteral(" AND ") + QStringLiteral("CDFILAUXPRAT = ") +
                               quoted(cdsServTranCDFILAUXPRAT->asString()));
        cdsEtiqueta->setFiltered(true);
    }
}

void TfrmServTran::EnableButtons(bool on)
{
    sbtIncluir->setEnabled(on);
    sbtAlterar->setEnabled(on && !cdsPadrao->isEmpty());
    sbtExcluir->setEnabled(sbtAlterar->isEnabled());
    sbtProcurar->setEnabled(sbtAlterar->isEnabled());
    sbtVerificar->setEnabled(sbtAlterar->isEnabled());
    for (QAction *item : {mnuIncluir, mnuAlterar, mnuExcluir, mnuProcurar, mnuVerificar})
        item->setEnabled(on);
}

void TfrmServTran::FocusedGrid(DBGrid *grid)
{
    if (grid->isEnabled() && grid->isVisible() && grid->focusPolicy() != Qt::NoFocus) {
        QPalette p = grid->palette();
        p.setColor(QPalette::Base, p.color(QPalette::ToolTipBase));
        grid->setPalette(p);
    }
}

// --- Events of the lists that loading raises --------------------------------------------------

void TfrmServTran::cdsPadraoAfterOpen(ClientDataSet *)
{
    LoadKeys();
}

void TfrmServTran::cdsPadraoAfterScroll(ClientDataSet *)
{
    Filtra(cdsServTran);
    cdsPadraoNRINSJURCLIE->setEditMask(PictPess(cdsPadraoIDTPIJURCLIE->asString()));
}

void TfrmServTran::LoadKeys()
{
    KeyList = std::make_unique<TKeyList>();
    if (cdsPadrao->state() == toolkit::DataSetState::Browse && !cdsPadrao->isEmpty()) {
        const toolkit::DisabledControls still(cdsPadrao);
        // Walking the list must not re-filter the dishes at every row.
        const toolkit::HandlerSuspension quiet(cdsPadrao->afterScroll);
        for (cdsPadrao->first(); !cdsPadrao->eof(); cdsPadrao->next())
            AddKey(cdsPadraoCDCLIENTE->asString() + cdsPadraoCDDESTFILI->asString());
        cdsPadrao->first();
    }
}

bool TfrmServTran::ExistKey(const QString &key) const
{
    return KeyList && KeyList->IndexOf(key) >= 0;
}

void TfrmServTran::AddKey(const QString &key)
{
    if (!KeyList)
        KeyList = std::make_unique<TKeyList>();
    KeyList->Add(key, 0);
}

void TfrmServTran::cdsServTranAfterScroll(ClientDataSet *)
{
    Filtra(cdsEtiqueta);
}

void TfrmServTran::cdsServTranCDPRATOGetText(Field *Sender, QString &Text, bool)
{
    Text = Sender->value().toString();
}
