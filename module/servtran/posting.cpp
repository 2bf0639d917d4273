// Posting a dish row: its checks, the total rounded to the dish's step, the containers with the
// minimum-fill rule and the label-number limit, the row number from the server, and the keys and
// figures copied from the header and the delivery point. The arithmetic is the shared one of
// rules/containercalc, in extended precision; each result is rounded to a double when stored.

#include "frmservtran.h"

#include <rules/containercalc.h>

using toolkit::DataSetState;
namespace calc = rules::calc;
using calc::Real;

namespace {

// A float of a dish-data dataset: null when the dataset is closed or empty or the value is null.
std::optional<Real> optionalValue(ClientDataSet *ds, const char *field)
{
    if (!ds->active() || ds->isEmpty())
        return std::nullopt;
    const Field *f = ds->fieldByName(QString::fromLatin1(field));
    if (f->isNull())
        return std::nullopt;
    return Real(f->asFloat());
}

Real valueOrZero(ClientDataSet *ds, const char *field)
{
    return optionalValue(ds, field).value_or(0);
}

} // namespace

// The current dish row's inputs and its dish's data, as the calculation of its figures takes them.
calc::RowInputs TfrmServTran::rowInputs() const
{
    calc::RowInputs in;
    in.diners = cdsServTranQTCOMESTIST->asFloat();
    in.perPerson = cdsServTran->fieldByName(QStringLiteral("QTPADRAOST"))->asFloat();
    in.container = cdsServTran->fieldByName(QStringLiteral("QTCONTAIST"))->asFloat();
    in.sample = cdsServTranQTAMOSTRAST->asFloat();
    const auto asDouble = [](std::optional<Real> v) { return v ? std::optional<double>(double(*v)) : std::nullopt; };
    in.step = asDouble(optionalValue(cdsPrato, "VRARREDTRANS"));
    in.registeredContainer = double(valueOrZero(cdsDadosPrato, "QTCONTAI"));
    in.dishPercent = asDouble(optionalValue(cdsDadosPrato, "PERCENTUAL"));
    in.branchPercent = asDouble(optionalValue(cdsPercent, "VRPEMINCONT"));
    return in;
}

void TfrmServTran::cdsServTranBeforePost(ClientDataSet *)
{
    const bool inserting = cdsServTran->state() == DataSetState::Insert;
    Field *padrao = cdsServTran->fieldByName(QStringLiteral("QTPADRAOST"));
    Field *container = cdsServTran->fieldByName(QStringLiteral("QTCONTAIST"));
    Field *total = cdsServTran->fieldByName(QStringLiteral("QTTOTAPRATST"));

    // 1. The dish (on a new row this also asks the server again and reloads the dish's data).
    Vd_Prato(true);
    // The figures of a changed row are those of its own dish, whatever dish was validated last.
    if (!inserting && !dishDataIsOfCurrentRow())
        loadDishData();

    // 2, 3. Diners required; a blank sample is none.
    if (cdsServTranQTCOMESTIST->isNull()) {
        cdsServTranQTCOMESTIST->focusControl();
        MensErro(msgPadrao->Msg(QStringLiteral("QTCome_INF")), true);
    }
    if (cdsServTranQTAMOSTRAST->isNull())
        cdsServTranQTAMOSTRAST->setAsFloat(0);

    // 4 to 6. The registered quantities; both edits must hold a quantity other than zero, even
    // when the registered ones are about to replace them.
    const Real P = valueOrZero(cdsDadosPrato, "QTPADRAO");
    const Real C = valueOrZero(cdsDadosPrato, "QTCONTAI");
    const auto requireQuantity = [this](DBEdit *edit, Field *field, const char *blank, const char *zero) {
        if (EmptyString(edit->text())) {
            edit->setFocus();
            MensErro(msgPadrao->Msg(QString::fromLatin1(blank)), true);
        }
        if (field->asFloat() == 0) {
            edit->setFocus();
            MensErro(msgPadrao->Msg(QString::fromLatin1(zero)), true);
        }
    };
    requireQuantity(dbeQtPadrao, padrao, "QTPADRAO_INF", "QTPADRAO_ZERO");
    requireQuantity(dbeQtContainer, container, "QTCONTAI_INF", "QTCONTAI_ZERO");

    // 7. The registered quantity per person replaces the typed one on a new row.
    if (P != 0 && inserting)
        padrao->setAsFloat(double(P));

    // 10, 11. The container size.
    if (C != 0 && inserting)
        container->setAsFloat(double(C));

    // Nothing a kitchen cannot mean (1e308 kg per person, a non-finite total) ever reaches a row.
    const calc::RowInputs inputs = rowInputs();
    const QString implausible = calc::implausibleInput(inputs);
    if (!implausible.isEmpty()) {
        dbeQtPadrao->setFocus();
        MensErro(implausible, true);
    }

    // The quantities as they are stored, in thousandths: what is shown is what is figured.
    for (Field *quantity : {padrao, container, cdsServTranQTAMOSTRAST})
        quantity->setAsFloat(calc::storedQuantity(quantity->asFloat()));

    // 8, 9. The total rounded up to the dish's step (kept in the row even when step 12 refuses it).
    const calc::RowFigures figures = calc::rowFigures(inputs);
    total->setAsFloat(figures.total);

    // 12. No more containers than the 4-digit label numbers can count.
    const Real limit = calc::dinersLimit(container->asFloat(), padrao->asFloat());
    if (Real(cdsServTranQTCOMESTIST->asFloat()) > limit) {
        cdsServTranQTCOMESTIST->focusControl();
        MensErro(msgPadrao->Msg(QStringLiteral("QTDE_N_ETQTA"))
                     .replace(QStringLiteral("%n"), QLocale().toString(double(limit), 'f', 2)),
                 true);
    }

    // 13. The containers: the same calculation as the server's, from the same stored inputs.
    cdsServTran->fieldByName(QStringLiteral("QTPARCPRATST"))->setAsFloat(figures.partial);
    cdsServTran->fieldByName(QStringLiteral("QTTOTACONTST"))->setAsFloat(figures.containers);
    cdsServTran->fieldByName(QStringLiteral("QTCONTCOMPST"))->setAsFloat(figures.complete);

    // 14. The row number: the server's highest plus one for a new row (a short call: no busy
    // indicator).
    const QVariant sequence = CheckResultServ(
        m_server.GetSeqServTran(medCdFilial->text(), medCdServico->text(), headerDate(), QStringLiteral("XXXX")), true, 0);
    cdsSeqServTran->setData(cdsSeqServTran->checkedData(servtran::packetOf(sequence)));
    const QString highest = cdsSeqServTran->isEmpty() ? QString()
                                                      : cdsSeqServTran->fieldByName(QStringLiteral("SEQUSERV"))->asString();
    if (EmptyString(highest)) {
        cdsServTranNRSERVTRAN->setAsString(QStringLiteral("0000000001"));
    } else if (inserting) {
        bool isNumber = false;
        const qlonglong number = highest.trimmed().toLongLong(&isNumber, 10);
        if (!isNumber || number < 0)
            throw toolkit::Error(
                QStringLiteral("O servidor de aplicação devolveu um número de serviço transportado inválido: \"%1\".").arg(highest));
        cdsServTranNRSERVTRAN->setAsString(Ajusta(QString::number(number + 1), 10));
    }

    // 15. Keys of the day and of the delivery point.
    cdsServTran->fieldByName(QStringLiteral("CDFILIAL"))->setAsString(medCdFilial->text());
    cdsServTran->fieldByName(QStringLiteral("CDSERVFILI"))->setAsString(medCdServico->text());
    cdsServTran->fieldByName(QStringLiteral("DTSERVTRAN"))->setAsDateTime(headerDate());
    cdsServTranCDDESTFILI->setAsString(cdsPadraoCDDESTFILI->asString());
    cdsServTranCDDIETPADST->setAsString(QStringLiteral("XXXX"));
    cdsServTranCDCLIENTE->setAsString(cdsPadraoCDCLIENTE->asString());
    cdsServTran->fieldByName(QStringLiteral("QTCOMECLIST"))->setValue(cdsPadraoQTCOMECLIST->value());
    cdsServTran->fieldByName(QStringLiteral("QTEFETCLIST"))->setValue(cdsPadraoQTEFETCLIST->value());

    // 16. The row's share of the service's diners.
    const Real serviceDiners = nedComenServ->GetNumber();
    cdsServTran->fieldByName(QStringLiteral("VRPECONSST"))
        ->setAsFloat(serviceDiners != 0 ? double(Real(cdsServTranQTCOMESTIST->asFloat()) * 100 / serviceDiners) : 0.0);
}
