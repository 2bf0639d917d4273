// Which list the toolbar serves, what is enabled in each state of the three lists, when each
// grid allows editing, the commands Include, Alter, Search, Cancel and Confirm, and the keys.

#include "frmservtran.h"

#include <framework/lookup.h>
#include <framework/zandrix.h>

#include <toolkit/dbnavigator.h>

using toolkit::DataSetState;
using toolkit::GridOption;

namespace {
bool isEditing(DataSetState s) { return s == DataSetState::Edit || s == DataSetState::Insert; }
bool isIdle(DataSetState s) { return s == DataSetState::Inactive || s == DataSetState::Browse; }
} // namespace

TfrmServTran::CurrentList TfrmServTran::currentList() const
{
    const QWidget *active = activeControl();
    if (active == dbgPadrao)
        return CurrentList::Points;
    if (active == dbgServTran || active == dbeQtPadrao || active == dbeQtContainer)
        return CurrentList::Dishes;
    if (active == dbgEtiqueta)
        return CurrentList::Labels;
    return CurrentList::None;
}

bool TfrmServTran::dishAreaActive() const
{
    return currentList() == CurrentList::Dishes;
}

void TfrmServTran::setGridEditing(DBGrid *grid, bool on)
{
    grid->setOption(GridOption::Editing, on);
}

void TfrmServTran::setColumnButton(DBGrid *grid, const QString &fieldName, bool ellipsis)
{
    const int index = IndiceCol(grid, fieldName);
    if (index >= 0)
        grid->setColumnButton(index, ellipsis ? toolkit::ColumnButton::Ellipsis : toolkit::ColumnButton::None);
}

// --- State changes ----------------------------------------------------------------------------

void TfrmServTran::dtsPadraoStateChange(QObject *Sender)
{
    const DataSetState P = dtsPadrao->state();
    const DataSetState S = dtsServTran->state();
    if (activeControl() == dbgPadrao)
        TfrmPadraoGrid::dtsPadraoStateChange(Sender);
    SetChildEnabled(panFiltro, !isEditing(P));
    lblComenServ->setEnabled(false);
    nedComenServ->setEnabled(false);
    setColumnButton(dbgPadrao, QStringLiteral("NRINSJURCLIE"), P == DataSetState::Insert);
    setColumnButton(dbgPadrao, QStringLiteral("CDDESTFILI"), P == DataSetState::Insert);
    const Field *selected = dbgPadrao->selectedField();
    setGridEditing(dbgPadrao, P == DataSetState::Insert ||
                                  (selected && selected->fieldName() == QLatin1String("QTEFETCLIST")));
    dbgServTran->setEnabled(!isEditing(P));
    dbgEtiqueta->setEnabled(!isEditing(P));
    const bool pointsBrowsable = isIdle(P) && cdsPadrao->active() && !cdsPadrao->isEmpty();
    dbeQtPadrao->setEnabled(pointsBrowsable);
    dbeQtContainer->setEnabled(pointsBrowsable);
    dbgServTran->setEnabled(pointsBrowsable);
    const bool alter = activeControl() != dbgPadrao && cdsServTran->active() && !cdsServTran->isEmpty() && !isEditing(S);
    sbtAlterar->setEnabled(alter);
    mnuAlterar->setEnabled(alter);
    mnuConfirmar->setEnabled(isEditing(P) || isEditing(S));
    mnuCancelar->setEnabled(isEditing(P) || isEditing(S));
    const bool branch = !ModuFili() && isIdle(S) && isIdle(P);
    for (QWidget *w : std::initializer_list<QWidget *>{lblFilial, medCdFilial, btnPesqFilial})
        w->setEnabled(branch);
    for (QWidget *w : std::initializer_list<QWidget *>{lblServico, medCdServico, btpPesqServico, lblDataCard, depDataCard})
        w->setEnabled(isIdle(S) && isIdle(P));
    sbtCalcular->setEnabled(isIdle(P));
    mnuCalcular->setEnabled(isIdle(P));
}

void TfrmServTran::dtsServTranStateChange(QObject *)
{
    const DataSetState S = dtsServTran->state();
    const DataSetState P = dtsPadrao->state();
    if (S == DataSetState::Insert && (!cdsPadrao->active() || cdsPadrao->isEmpty())) {
        cdsPadraoCDCLIENTE->focusControl();
        MensErro(msgPadrao->Msg(QStringLiteral("CLIE_INF")), true);
    }
    if (dishAreaActive()) {
        const bool rows = cdsServTran->active() && !cdsServTran->isEmpty();
        mnuConfirmar->setEnabled(isEditing(S));
        mnuCancelar->setEnabled(isEditing(S));
        mnuIncluir->setEnabled(S == DataSetState::Browse);
        for (QAction *item : {mnuAlterar, mnuExcluir, mnuProcurar, mnuVerificar})
            item->setEnabled(S == DataSetState::Browse && rows);
        for (TButtonFlat *button : {sbtIncluir, sbtAlterar, sbtExcluir, sbtProcurar, sbtVerificar, sbtCancelar, sbtConfirmar})
            button->setEnabled(menuItemOf(button)->isEnabled());
        dbnPadrao->setEnabled(S == DataSetState::Browse);
        sbtCalcular->setEnabled(isIdle(S));
        mnuCalcular->setEnabled(isIdle(S));
    }
    setColumnButton(dbgServTran, QStringLiteral("CDPRATO"), S == DataSetState::Insert);
    dbgPadrao->setEnabled(!isEditing(S));
    dbgEtiqueta->setEnabled(!isEditing(S));
    if (!isEditing(P)) {
        SetChildEnabled(panFiltro, !isEditing(S));
        lblComenServ->setEnabled(false);
        nedComenServ->setEnabled(false);
    }
    const Field *selected = dbgServTran->selectedField();
    const bool quantityColumn = selected && (selected->fieldName() == QLatin1String("QTCOMESTIST") ||
                                             selected->fieldName() == QLatin1String("QTAMOSTRAST"));
    setGridEditing(dbgServTran, S == DataSetState::Insert || quantityColumn);
}

void TfrmServTran::dtsEtiquetaStateChange(QObject *)
{
    if (activeControl() != dbgEtiqueta)
        return;
    const DataSetState L = dtsEtiqueta->state();
    for (QAction *item : {mnuConfirmar, mnuCancelar, mnuIncluir, mnuAlterar, mnuExcluir})
        item->setEnabled(false);
    const bool labels = L == DataSetState::Browse && !cdsEtiqueta->isEmpty();
    mnuProcurar->setEnabled(labels);
    mnuVerificar->setEnabled(labels);
    for (TButtonFlat *button : {sbtIncluir, sbtAlterar, sbtExcluir, sbtProcurar, sbtVerificar, sbtCancelar, sbtConfirmar})
        button->setEnabled(menuItemOf(button)->isEnabled());
    dbnPadrao->setEnabled(L == DataSetState::Browse);
}

void TfrmServTran::dbgPadraoEnter(QObject *) { dtsPadraoStateChange(dtsPadrao); }
void TfrmServTran::dbgServTranEnter(QObject *) { dtsServTranStateChange(dtsServTran); }
void TfrmServTran::dbgEtiquetaEnter(QObject *) { dtsEtiquetaStateChange(dtsEtiqueta); }

void TfrmServTran::dbgPadraoColEnter(QObject *)
{
    const Field *selected = dbgPadrao->selectedField();
    setGridEditing(dbgPadrao, cdsPadrao->state() == DataSetState::Insert ||
                                  (selected && selected->fieldName() == QLatin1String("QTEFETCLIST")));
}

void TfrmServTran::dbgServTranColEnter(QObject *)
{
    if (cdsServTran->state() == DataSetState::Insert) {
        setGridEditing(dbgServTran, true);
        return;
    }
    const Field *selected = dbgServTran->selectedField();
    setGridEditing(dbgServTran, selected && (selected->fieldName() == QLatin1String("QTCOMESTIST") ||
                                             selected->fieldName() == QLatin1String("QTAMOSTRAST")));
}

// --- Commands ---------------------------------------------------------------------------------

void TfrmServTran::sbtIncluirClick(QObject *Sender)
{
    switch (currentList()) {
    case CurrentList::Points:
        TfrmPadraoGrid::sbtIncluirClick(Sender);
        break;
    case CurrentList::Dishes:
        cdsServTran->insert();
        cdsServTranCDPRATO->focusControl();
        break;
    default:
        break;
    }
}

void TfrmServTran::sbtAlterarClick(QObject *)
{
    if (currentList() != CurrentList::Dishes)
        return;
    QWidget *from = activeControl();
    cdsServTran->edit();
    if (from == dbgServTran)
        cdsServTranCDPRATO->focusControl();
    else
        from->setFocus();
}

void TfrmServTran::sbtProcurarClick(QObject *Sender)
{
    switch (currentList()) {
    case CurrentList::Points:
        TfrmPadraoGrid::sbtProcurarClick(Sender);
        break;
    case CurrentList::Dishes:
        if (cdsServTran->active())
            Procura(cdsServTran);
        break;
    case CurrentList::Labels:
        if (cdsEtiqueta->active())
            Procura(cdsEtiqueta);
        break;
    default:
        break;
    }
}

void TfrmServTran::sbtCancelarClick(QObject *Sender)
{
    switch (currentList()) {
    case CurrentList::Points:
        TfrmPadraoGrid::sbtCancelarClick(Sender);
        cdsPadraoCDDESTFILI->focusControl();
        cdsPadraoNRINSJURCLIE->focusControl();
        break;
    case CurrentList::Dishes:
        if (!cdsServTran->isEditing())
            break;
        if (msgMensagensPadroes->ShowMsg(QStringLiteral("Canc"), framework::DialogType::Confirmation,
                                         framework::MsgButton::Yes | framework::MsgButton::No, 0) != framework::mrYes)
            break;
        {
            // Giving up a new point's first dish gives up the point and reads the day again; the
            // focus is then left on the points (cdsServTranAfterCancel).
            const bool newPoint = cdsPadrao->state() == DataSetState::Insert;
            cdsServTran->cancel();
            if (newPoint)
                break;
        }
        cdsServTranQTCOMESTIST->focusControl();
        cdsServTranCDPRATO->focusControl();
        break;
    default:
        break;
    }
}

void TfrmServTran::sbtConfirmarClick(QObject *Sender)
{
    switch (currentList()) {
    case CurrentList::Points:
        if (cdsPadrao->state() == DataSetState::Insert) {
            TfrmPadraoGrid::sbtConfirmarClick(Sender);
            cdsServTranCDPRATO->focusControl();
            cdsServTran->insert();
        } else if (cdsPadrao->state() == DataSetState::Edit) {
            TfrmPadraoGrid::sbtConfirmarClick(Sender);
        }
        break;
    case CurrentList::Dishes:
        if (cdsServTran->isEditing())
            cdsServTran->post();
        break;
    default:
        break;
    }
}

// --- Keys -------------------------------------------------------------------------------------

void TfrmServTran::FormKeyDown(QObject *Sender, int &Key, Qt::KeyboardModifiers Shift)
{
    TfrmPadraoGrid::FormKeyDown(Sender, Key, Shift);
    if (!(Shift & Qt::AltModifier) || (Key != Qt::Key_PageDown && Key != Qt::Key_PageUp))
        return;
    const QWidget *active = activeControl();
    const auto move = [&Key](DBGrid *to) {
        Key = 0;
        if (to->isEnabled())
            to->setFocus(Qt::OtherFocusReason);
    };
    if (Key == Qt::Key_PageDown && active == dbgPadrao)
        move(dbgServTran);
    else if (Key == Qt::Key_PageUp && active == dbgServTran)
        move(dbgPadrao);
    else if (Key == Qt::Key_PageDown && active == dbgServTran)
        move(dbgEtiqueta);
    else if (Key == Qt::Key_PageUp && active == dbgEtiqueta)
        move(dbgServTran);
}

void TfrmServTran::dbgPadraoKeyDown(QObject *Sender, int &Key, Qt::KeyboardModifiers Shift)
{
    TfrmPadraoGrid::dbgPadraoKeyDown(Sender, Key, Shift);
    // Ctrl+Delete in the delivery-point grid would drop the point from its dataset alone, never
    // telling the server: it runs the screen's Delete command instead, with its confirmation and
    // its server call. The label grid's rows are the server's to make: the key does nothing there.
    // (In the dish grid the deletion is saved like any other change of a dish row.)
    if (Key == Qt::Key_Delete && (Shift & Qt::ControlModifier) && (Sender == dbgPadrao || Sender == dbgEtiqueta)) {
        Key = 0;
        if (Sender == dbgPadrao && sbtExcluir->isEnabled())
            sbtExcluirClick(sbtExcluir);
        return;
    }
    // Whichever grid got the key, the rules look at the delivery-point list.
    if (cdsPadrao->state() != DataSetState::Insert)
        return;
    const Field *selected = dbgPadrao->selectedField();
    const bool noModifier = (Shift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
    if (Key == Qt::Key_PageDown || Key == Qt::Key_Down ||
        ((Key == Qt::Key_Return || Key == Qt::Key_Enter) && noModifier && selected &&
         selected->fieldName() == QLatin1String("QTCOMECLIST"))) {
        Key = 0;
        sbtConfirmarClick(sbtConfirmar);
    } else if (Key == Qt::Key_PageUp || Key == Qt::Key_Up) {
        Key = 0;
    }
}

void TfrmServTran::dbgPadraoKeyPress(QObject *Sender, QChar &Key)
{
    TfrmPadraoGrid::dbgPadraoKeyPress(Sender, Key);
    if (Key == QLatin1Char('+') || Key == QLatin1Char('-')) {
        Key = QChar();
        return;
    }
    const Field *selected = dbgPadrao->selectedField();
    if (Key == QLatin1Char(',') && selected && selected->fieldName() == QLatin1String("QTCOMECLIST")) {
        const QString typed = GridText(dbgPadrao, QStringLiteral("QTCOMECLIST"), false);
        if (typed.isEmpty() || typed.contains(QLatin1Char(',')))
            Key = QChar();
    }
}
