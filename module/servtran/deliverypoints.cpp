// Delivery-point rows: the client and point columns with their checks and look-ups, the refusal
// of a point already in the list, a new point handing over to its first dish, and a change of
// the billing diners pushed into the point's dish rows. A point is never saved on its own: it
// reaches the server inside its dish rows, and the day is read again afterwards.

#include "frmservtran.h"

#include <framework/busyindicator.h>
#include <framework/lookup.h>

#include <toolkit/maskedit.h>

#include <cmath>

using toolkit::DataSetState;

namespace {

double valueOrZero(const QVariant &v) { return v.isNull() ? 0.0 : v.toDouble(); }

} // namespace

// --- Client -----------------------------------------------------------------------------------

void TfrmServTran::Vd_Cliente(bool required)
{
    try {
        QString number = cdsPadraoNRINSJURCLIE->asString();
        if (EmptyString(number)) {
            cdsPadraoNMRAZSOCCLIE->clear();
            if (required)
                MensErro(msgPadrao->Msg(QStringLiteral("CLIE_INF")), true);
            return;
        }
        const QString personKind = Ajusta_Inscricao(number);
        cdsPadraoIDTPIJURCLIE->setAsString(personKind);
        cdsPadraoNRINSJURCLIE->setEditMask(PictPess(personKind));
        cdsPadraoNRINSJURCLIE->setAsString(number);
        qryCliente->Close();
        qryCliente->ParamByName(QStringLiteral("P_NRINSJURCLIE"))->setAsString(number);
        qryCliente->ParamByName(QStringLiteral("P_TNRINSJURCLIE"))->setAsString(QString());
        qryCliente->Open();
        if (qryCliente->IsEmpty())
            MensErro(msgPadrao->Msg(QStringLiteral("CLIE_N_CAD")), true);
        // Several clients may share a number: the first by company name is taken.
        qryCliente->First();
        cdsPadraoNMRAZSOCCLIE->setValue(qryCliente->FieldByName(QStringLiteral("NMRAZSOCCLIE"))->value());
        cdsPadraoCDCLIENTE->setValue(qryCliente->FieldByName(QStringLiteral("CDCLIENTE"))->value());
        qryCliente->Close();
    } catch (...) {
        cdsPadraoNRINSJURCLIE->focusControl();
        qryCliente->Close();
        throw;
    }
}

void TfrmServTran::qryClienteNRINSJURCLIEGetText(Field *Sender, QString &Text, bool)
{
    const QString number = Sender->value().toString();
    if (number.isEmpty()) {
        Text.clear();
        return;
    }
    const QString kind = qryCliente->FieldByName(QStringLiteral("IDTPIJURCLIE"))->asString();
    Text = toolkit::formatMaskText(PictPess(kind), number);
}

// --- Delivery point ---------------------------------------------------------------------------

void TfrmServTran::Vd_PtoEntrega(bool required)
{
    try {
        const QString typed = cdsPadraoCDDESTFILI->asString();
        if (EmptyString(typed)) {
            cdsPadraoNMDESTFILI->clear();
            if (required)
                MensErro(msgPadrao->Msg(QStringLiteral("PTO_INF")), true);
            return;
        }
        cdsPadraoCDDESTFILI->setAsString(Ajusta(typed, 3));
        try {
            const QVariant point = CheckResultServ(
                m_server.GetPtoEntrega(medCdFilial->text(), cdsPadraoCDDESTFILI->asString(), QString()), true, 0);
            cdsPtoEntrega->setData(cdsPtoEntrega->checkedData(servtran::packetOf(point)));
            cdsPadraoNMDESTFILI->setValue(cdsPtoEntrega->isEmpty()
                                              ? QVariant()
                                              : cdsPtoEntrega->fieldByName(QStringLiteral("NMDESTFILI"))->value());
            if (cdsPtoEntrega->isEmpty())
                MensErro(msgPadrao->Msg(QStringLiteral("PTO_N_CAD")), true);
            cdsPtoEntrega->emptyDataSet();
        } catch (...) {
            if (cdsPtoEntrega->active())
                cdsPtoEntrega->emptyDataSet();
            throw;
        }
    } catch (...) {
        cdsPadraoCDDESTFILI->focusControl();
        throw;
    }
}

// --- Grid events ------------------------------------------------------------------------------

void TfrmServTran::dbgPadraoEditButtonClick(QObject *)
{
    if (!cdsPadrao->isEditing())
        return;
    const Field *selected = dbgPadrao->selectedField();
    if (selected == cdsPadraoNRINSJURCLIE) {
        qryCliente->Close();
        qryCliente->ParamByName(QStringLiteral("P_NRINSJURCLIE"))->setAsString(QString());
        qryCliente->ParamByName(QStringLiteral("P_TNRINSJURCLIE"))->setAsString(QStringLiteral("T"));
        qryCliente->Open();
        if (Pesquisar(dtsCliente, msgPadrao->Msg(QStringLiteral("Cliente")) + QLatin1Char('|') + msgPadrao->Msg(QStringLiteral("CLIE_PESQ")),
                      false, true)) {
            for (const char *name : {"NRINSJURCLIE", "CDCLIENTE", "NMRAZSOCCLIE"}) {
                const QString field = QString::fromLatin1(name);
                cdsPadrao->fieldByName(field)->setValue(qryCliente->FieldByName(field)->value());
            }
            qryCliente->Close();
        }
    } else if (selected == cdsPadraoCDDESTFILI) {
        {
            framework::BusyIndicator busy(framework::mainWindow(), 6);
            const QVariant points = CheckResultServ(m_server.GetPtoEntrega(medCdFilial->text(), QString(), QStringLiteral("T")), true, 0);
            cdsPtoEntrega->setData(cdsPtoEntrega->checkedData(servtran::packetOf(points)));
        }
        if (Pesquisar(dtsPtoEntrega, msgPadrao->Msg(QStringLiteral("Ponto")) + QLatin1Char('|') + msgPadrao->Msg(QStringLiteral("PTO_PESQ")),
                      false, true)) {
            cdsPadraoCDDESTFILI->setValue(cdsPtoEntrega->fieldByName(QStringLiteral("CDDESTFILI"))->value());
            cdsPadraoNMDESTFILI->setValue(cdsPtoEntrega->fieldByName(QStringLiteral("NMDESTFILI"))->value());
            cdsPtoEntrega->emptyDataSet();
        }
    }
}

void TfrmServTran::dbgPadraoColExit(QObject *)
{
    if (!cdsPadrao->isEditing())
        return;
    const Field *selected = dbgPadrao->selectedField();
    if (selected == cdsPadraoNRINSJURCLIE)
        Vd_Cliente(false);
    else if (selected == cdsPadraoCDDESTFILI)
        Vd_PtoEntrega(false);
}

// --- Dataset events ---------------------------------------------------------------------------

void TfrmServTran::cdsPadraoBeforeInsert(ClientDataSet *)
{
    cdsPadraoNRINSJURCLIE->focusControl();
}

void TfrmServTran::cdsPadraoAfterInsert(ClientDataSet *)
{
    boPointInserted = true;
}

void TfrmServTran::cdsPadraoBeforePost(ClientDataSet *)
{
    Vd_Cliente(true);
    Vd_PtoEntrega(true);
    if (cdsPadrao->state() == DataSetState::Insert) {
        if (cdsPadraoQTCOMECLIST->isNull()) {
            cdsPadraoQTCOMECLIST->focusControl();
            MensErro(msgPadrao->Msg(QStringLiteral("QtComes_Inf")), true);
        }
        if (!(cdsPadraoQTCOMECLIST->asFloat() > 0)) {
            cdsPadraoQTCOMECLIST->focusControl();
            MensErro(msgPadrao->Msg(QStringLiteral("QtComes_Mzero")), true);
        }
        const QString key = cdsPadraoCDCLIENTE->asString() + cdsPadraoCDDESTFILI->asString();
        if (ExistKey(key)) {
            cdsPadraoNRINSJURCLIE->focusControl();
            MensErro(msgPadrao->Msg(QStringLiteral("SERVTRAN_JA_CAD")), true);
        }
        AddKey(key);
    }
    // A point is stored with its first dish: with none yet, the dish is started instead.
    if (cdsServTran->isEmpty()) {
        if (!dbgServTran->isEnabled())
            dbgServTran->setEnabled(true);
        cdsServTranCDPRATO->focusControl();
        cdsServTran->insert();
        dbeQtPadrao->setEnabled(true);
        dbeQtContainer->setEnabled(true);
        throw toolkit::Abort();
    }
}

void TfrmServTran::cdsPadraoAfterPost(ClientDataSet *)
{
    const QVariant newBilling = cdsPadraoQTEFETCLIST->value();
    const QVariant oldBilling = cdsPadraoQTEFETCLIST->oldValue();
    const double bNew = valueOrZero(newBilling);
    const double bOld = valueOrZero(oldBilling);
    const double estimated = cdsPadraoQTCOMECLIST->asFloat();
    try {
        // The dish rows' controls hear nothing while the loop goes through them.
        const toolkit::DisabledControls still(cdsServTran);
        if (!cdsServTran->isEmpty()) {
            // Which rows, first: every save reads the day's rows again, so the loop finds each
            // row by its number rather than by its place.
            QStringList numbers;
            for (int i = 0; i < cdsServTran->recordCount(); ++i) {
                const QVariant billing = cdsServTran->valueAt(i, cdsServTran->fieldByName(QStringLiteral("QTEFETCLIST"))->index());
                if (valueOrZero(billing) != bNew)
                    numbers << cdsServTran->valueAt(i, cdsServTranNRSERVTRAN->index()).toString();
            }
            // The factor; a zero divisor gives none, and the dish's diners then stay as they are.
            std::optional<double> factor;
            if (bNew > 0 && bOld == 0) {
                if (estimated != 0)
                    factor = bNew / estimated;
            } else if (bNew == 0) {
                if (bOld != 0)
                    factor = estimated / bOld;
            } else if (bOld != 0) {
                factor = bNew / bOld;
            }
            for (const QString &number : std::as_const(numbers)) {
                if (!cdsServTran->locate(QStringLiteral("NRSERVTRAN"), {number}))
                    continue;   // gone from the server meanwhile
                cdsServTran->edit();
                try {
                    cdsServTran->fieldByName(QStringLiteral("QTEFETCLIST"))->setValue(newBilling.isNull() ? QVariant() : QVariant(bNew));
                    if (factor && std::isfinite(*factor))
                        cdsServTranQTCOMESTIST->setAsFloat(cdsServTranQTCOMESTIST->asFloat() * *factor);
                    cdsServTran->post();
                } catch (...) {
                    // No row is left half-edited: the refused one goes back to what it was.
                    if (cdsServTran->isEditing())
                        cdsServTran->cancel();
                    throw;
                }
            }
        }
    } catch (...) {
        // The rows saved so far stay saved: show the day as the server holds it.
        toolkit::guarded([this] { sbtVerificarClick(sbtVerificar); });
        throw;
    }
    sbtVerificarClick(sbtVerificar);
}

void TfrmServTran::cdsPadraoAfterCancel(ClientDataSet *)
{
    // The insertion ended without a dish saved: the next dish saved anywhere is no point's first.
    boPointInserted = false;
    cdsPadrao->cancelUpdates();
    dtsPadraoStateChange(dtsPadrao);
}
