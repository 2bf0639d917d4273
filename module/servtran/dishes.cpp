// Dish rows between their creation and their posting: the dish code checked against the
// database and, on a new row, against the server's registered dishes; the dish's registered
// data for the posting calculation; the dish look-up; the key filter of the quantity edits.

#include "frmservtran.h"

#include <framework/busyindicator.h>
#include <framework/lookup.h>
#include <framework/zandrix.h>

using toolkit::DataSetState;

namespace {
const QString kOwnerOfAll = QStringLiteral("P");   // dishes that belong to every branch
} // namespace

void TfrmServTran::cdsServTranAfterInsert(ClientDataSet *)
{
    cdsServTran->fieldByName(QStringLiteral("CDPRATO"))->setAsString(QStringLiteral(" "));
}

void TfrmServTran::dbgServTranColExit(QObject *)
{
    const Field *selected = dbgServTran->selectedField();
    if (cdsServTran->isEditing() && selected == cdsServTranCDPRATO)
        Vd_Prato(false);
}

bool TfrmServTran::openVdPrato(const QString &code, const QString &owner)
{
    qryVdPrato->Close();
    qryVdPrato->ParamByName(QStringLiteral("P_CDPRATO"))->setAsString(code);
    qryVdPrato->ParamByName(QStringLiteral("P_CDFILAUXPRAT"))->setAsString(owner);
    qryVdPrato->Open();
    return !qryVdPrato->IsEmpty();
}

void TfrmServTran::Vd_Prato(bool onPost)
{
    try {
        const QString code = cdsServTranCDPRATO->asString();
        if (EmptyString(code)) {
            cdsServTran->fieldByName(QStringLiteral("NMPRATO"))->clear();
            if (onPost)
                MensErro(msgPadrao->Msg(QStringLiteral("PRATO_INF")), true);
            return;
        }
        const QString rowOwner = cdsServTranCDFILAUXPRAT->asString();
        const QString owner = rowOwner.isEmpty() ? kOwnerOfAll : rowOwner;
        bool found = openVdPrato(code, owner);
        if (RTrim(code).contains(QLatin1Char(' ')))
            MensErro(msgPadrao->Msg(QStringLiteral("PRATO_ESP")), true);
        if (!found) {
            found = openVdPrato(code, owner == kOwnerOfAll ? medCdFilial->text() : kOwnerOfAll);
            if (!found)
                MensErro(msgPadrao->Msg(QStringLiteral("PRATO_N_CAD")), true);
        }
        for (const char *name : {"NMPRATO", "SGUNIDADE", "CDFILAUXPRAT"}) {
            const QString field = QString::fromLatin1(name);
            cdsServTran->fieldByName(field)->setValue(qryVdPrato->FieldByName(field)->value());
        }
        qryVdPrato->Close();

        if (cdsServTran->state() != DataSetState::Insert)
            return;
        const bool registered =
            CheckResultServ(m_server.PratoAux(cdsServTranCDPRATO->asString(), cdsServTranCDFILAUXPRAT->asString(),
                                              medCdFilial->text(), medCdServico->text(), headerDate(),
                                              cdsPadraoCDCLIENTE->asString(), cdsPadraoCDDESTFILI->asString()),
                            true, 0)
                .toBool();
        if (registered)
            MensErro(msgPadrao->Msg(QStringLiteral("PRATO_J_CAD")), true);
        loadDishData();
        if (!onPost) {
            cdsServTranQTAMOSTRAST->setValue(cdsDadosPrato->fieldByName(QStringLiteral("QTAMOSTRAUN"))->value());
            // The posting replaces the quantities of a new row by the registered ones: show them
            // now, so that what is saved is what the user sees.
            showRegisteredQuantity("QTPADRAO", "QTPADRAOST");
            showRegisteredQuantity("QTCONTAI", "QTCONTAIST");
        }
    } catch (...) {
        qryVdPrato->Close();
        cdsServTranCDPRATO->focusControl();
        throw;
    }
}

void TfrmServTran::showRegisteredQuantity(const char *registered, const char *rowField)
{
    if (!cdsDadosPrato->active() || cdsDadosPrato->isEmpty())
        return;
    const Field *value = cdsDadosPrato->fieldByName(QString::fromLatin1(registered));
    if (!value->isNull() && value->asFloat() != 0)
        cdsServTran->fieldByName(QString::fromLatin1(rowField))->setAsFloat(value->asFloat());
}

void TfrmServTran::loadDishData()
{
    const QString code = cdsServTranCDPRATO->asString();
    const QString owner = cdsServTranCDFILAUXPRAT->asString();
    framework::BusyIndicator busy(framework::mainWindow(), 6);
    const QVariant data =
        CheckResultServ(m_server.getDadosPrato(medCdFilial->text(), medCdServico->text(), code, owner), true, 0);
    // The four are replaced together or not at all: the calculation must never mix two dishes.
    protocol::PacketContent dish = cdsDadosPrato->checkedData(servtran::packetAt(data, 0));
    protocol::PacketContent rounding = cdsPrato->checkedData(servtran::packetAt(data, 1));
    protocol::PacketContent unitSample = cdsUnidMediFili->checkedData(servtran::packetAt(data, 2));
    protocol::PacketContent fill = cdsPercent->checkedData(servtran::packetAt(data, 3));
    m_dishDataOf.clear();
    cdsDadosPrato->setData(std::move(dish));
    cdsPrato->setData(std::move(rounding));
    cdsUnidMediFili->setData(std::move(unitSample));
    cdsPercent->setData(std::move(fill));
    m_dishDataOf = dishDataKey();
}

// The dish data belong to a branch and service as much as to a dish: the same dish has its own
// quantities and minimum fill in each service.
QString TfrmServTran::dishDataKey() const
{
    return QStringList{medCdFilial->text(), medCdServico->text(), cdsServTranCDPRATO->asString(),
                       cdsServTranCDFILAUXPRAT->asString()}
        .join(QLatin1Char('\n'));
}

bool TfrmServTran::dishDataIsOfCurrentRow() const { return m_dishDataOf == dishDataKey(); }

void TfrmServTran::dbgServTranEditButtonClick(QObject *)
{
    if (dbgServTran->selectedField() != cdsServTranCDPRATO)
        return;
    qryPrato->Close();
    qryPrato->ParamByName(QStringLiteral("P_CDPRATO"))->setAsString(QString());
    qryPrato->ParamByName(QStringLiteral("P_TCDPRATO"))->setAsString(QStringLiteral("T"));
    qryPrato->ParamByName(QStringLiteral("P_CDFILAUXPRAT"))->setAsString(medCdFilial->text());
    qryPrato->ParamByName(QStringLiteral("P_CDNVPRATO"))->setAsInteger(DBPictObj(1).GetTtNiveis());
    qryPrato->Open();
    if (Pesquisar(dtsPrato, msgPadrao->Msg(QStringLiteral("Prato")), false, true) && cdsServTran->isEditing()) {
        for (const char *name : {"CDPRATO", "NMPRATO", "CDFILAUXPRAT", "SGUNIDADE"}) {
            const QString field = QString::fromLatin1(name);
            cdsServTran->fieldByName(field)->setValue(qryPrato->FieldByName(field)->value());
        }
        qryPrato->Close();
    }
}

void TfrmServTran::dbeQtPadraoKeyPress(QObject *, QChar &Key)
{
    quantityKeyFilter(dbeQtPadrao, Key);
}

void TfrmServTran::dbeQtContainerKeyPress(QObject *, QChar &Key)
{
    quantityKeyFilter(dbeQtContainer, Key);
}

void TfrmServTran::quantityKeyFilter(const DBEdit *edit, QChar &Key)
{
    if (Key == QLatin1Char('+') || Key == QLatin1Char('-'))
        Key = QChar();
    if (cdsPadrao->isEmpty()) {
        cdsPadraoCDCLIENTE->focusControl();
        MensErro(msgPadrao->Msg(QStringLiteral("CLIE_INF")), true);
    }
    if (cdsServTran->isEmpty()) {
        cdsServTranCDPRATO->focusControl();
        MensErro(msgPadrao->Msg(QStringLiteral("PRATO_INF")), true);
    }
    // One decimal separator, after at least one digit; a text that starts with one may still
    // take another (the user is about to type the digits before it).
    const QChar separator = QLocale().decimalPoint().at(0);
    if (Key == separator && edit->text().indexOf(separator) >= 1)
        Key = QChar();
}
