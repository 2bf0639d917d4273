// The screen's lifecycle: creation, first activation (connection and header from the session),
// closing; the single-instance entry that opens it; the binding of every handler.

#include "frmservtran.h"

#include <framework/busyindicator.h>
#include <framework/zandrix.h>

#include <toolkit/controls.h>
#include <toolkit/error.h>

TfrmServTran *frmServTran = nullptr;
bool boIdCriado = false;

TfrmServTran::TfrmServTran(QWidget *parent) : TfrmPadraoGrid(parent), m_server(nullptr)
{
    setObjectName(QStringLiteral("frmServTran"));
    setWindowTitle(QStringLiteral("Serviços Transportados"));
    setHelpContext(12304100);
    setScreenCode(QStringLiteral("PLA04100"));
    createDataModel();
    createHeader();
    createDishArea();
    createMessages();
    bindHandlers();
    m_server = servtran::ServTranServer(netServTran);
    resize(900, 640);
}

TfrmServTran::~TfrmServTran()
{
    // However the screen goes (closed, or taken down with the host's main window), the module's
    // globals never point at a screen that is gone: the next opening creates a fresh one.
    if (frmServTran == this) {
        frmServTran = nullptr;
        boIdCriado = false;
    }
}

void TfrmServTran::bindHandlers()
{
    netServTran->BeforeConnect.bind(this, &TfrmServTran::netServTranBeforeConnect);

    medCdFilial->onChange.bind(this, &TfrmServTran::medCdFilialChange);
    medCdFilial->onExit.bind(this, &TfrmServTran::medCdFilialExit);
    btnPesqFilial->OnBeforePesq.bind(this, &TfrmServTran::sbtFilialBeforePesq);
    btnPesqFilial->OnAfterPesq.bind(this, &TfrmServTran::sbtFilialAfterPesq);
    medCdServico->onChange.bind(this, &TfrmServTran::medCdServicoChange);
    medCdServico->onExit.bind(this, &TfrmServTran::medCdServicoExit);
    btpPesqServico->OnBeforePesq.bind(this, &TfrmServTran::btpPesqServicoBeforePesq);
    btpPesqServico->OnAfterPesq.bind(this, &TfrmServTran::btpPesqServicoAfterPesq);
    depDataCard->OnDateChange.bind(this, &TfrmServTran::depDataCardDateChange);
    depDataCard->onExit.bind(this, &TfrmServTran::depDataCardExit);
    panFiltro->onEnter.bind(this, &TfrmServTran::panFiltroEnter);
    panFiltro->onExit.bind(this, &TfrmServTran::panFiltroExit);

    cdsPadrao->afterOpen.bind(this, &TfrmServTran::cdsPadraoAfterOpen);
    cdsPadrao->afterScroll.bind(this, &TfrmServTran::cdsPadraoAfterScroll);
    cdsPadrao->beforeInsert.bind(this, &TfrmServTran::cdsPadraoBeforeInsert);
    cdsPadrao->afterInsert.bind(this, &TfrmServTran::cdsPadraoAfterInsert);
    cdsPadrao->beforePost.bind(this, &TfrmServTran::cdsPadraoBeforePost);
    cdsPadrao->afterPost.bind(this, &TfrmServTran::cdsPadraoAfterPost);
    cdsPadrao->afterCancel.bind(this, &TfrmServTran::cdsPadraoAfterCancel);
    qryCliente->FieldByName(QStringLiteral("NRINSJURCLIE"))->onGetText.bind(this, &TfrmServTran::qryClienteNRINSJURCLIEGetText);
    dbgPadrao->onColExit.bind(this, &TfrmServTran::dbgPadraoColExit);
    dbgPadrao->onEditButtonClick.bind(this, &TfrmServTran::dbgPadraoEditButtonClick);
    cdsServTran->afterScroll.bind(this, &TfrmServTran::cdsServTranAfterScroll);
    cdsServTranCDPRATO->onGetText.bind(this, &TfrmServTran::cdsServTranCDPRATOGetText);

    // dtsPadrao's state change is bound by the base screen to the virtual handler.
    dtsServTran->onStateChange.bind(this, &TfrmServTran::dtsServTranStateChange);
    dtsEtiqueta->onStateChange.bind(this, &TfrmServTran::dtsEtiquetaStateChange);
    dbgPadrao->onEnter.bind(this, &TfrmServTran::dbgPadraoEnter);
    dbgServTran->onEnter.bind(this, &TfrmServTran::dbgServTranEnter);
    dbgEtiqueta->onEnter.bind(this, &TfrmServTran::dbgEtiquetaEnter);
    dbgPadrao->onColEnter.bind(this, &TfrmServTran::dbgPadraoColEnter);
    dbgPadrao->onDrawColumnCell.bind(this, &TfrmServTran::dbgPadraoDrawColumnCell);
    dbgServTran->onDrawColumnCell.bind(this, &TfrmServTran::dbgServTranDrawColumnCell);
    dbgServTran->onColEnter.bind(this, &TfrmServTran::dbgServTranColEnter);
    dbgServTran->onColExit.bind(this, &TfrmServTran::dbgServTranColExit);
    dbgServTran->onEditButtonClick.bind(this, &TfrmServTran::dbgServTranEditButtonClick);
    cdsServTran->afterInsert.bind(this, &TfrmServTran::cdsServTranAfterInsert);
    cdsServTran->beforePost.bind(this, &TfrmServTran::cdsServTranBeforePost);
    cdsServTran->afterPost.bind(this, &TfrmServTran::cdsServTranAfterPost);
    cdsServTran->afterDelete.bind(this, &TfrmServTran::cdsServTranAfterDelete);
    cdsServTran->afterCancel.bind(this, &TfrmServTran::cdsServTranAfterCancel);
    dbeQtPadrao->onKeyPress.bind(this, &TfrmServTran::dbeQtPadraoKeyPress);
    dbeQtContainer->onKeyPress.bind(this, &TfrmServTran::dbeQtContainerKeyPress);
    // The base screen's key handlers serve the dish and label grids too.
    for (DBGrid *grid : {dbgServTran, dbgEtiqueta}) {
        grid->onKeyDown.bind(this, &TfrmServTran::dbgPadraoKeyDown);
        grid->onKeyPress.bind(this, &TfrmServTran::dbgPadraoKeyPress);
    }
    connect(sbtCalcular, &QAbstractButton::clicked, this,
            [this] { toolkit::guarded([this] { sbtCalcularClick(sbtCalcular); }); });
    // The menu item runs its button's command.
    connect(mnuCalcular, &QAction::triggered, sbtCalcular, &QAbstractButton::click);
}

void TfrmServTran::FormCreate(QObject *Sender)
{
    TfrmPadraoGrid::FormCreate(Sender);
    boFirstActivation = true;
    const QString dishPicture = DBPict(1);
    cdsServTranCDPRATO->setEditMask(dishPicture);
    qryPrato->fieldByName(QStringLiteral("CDPRATO"))->setEditMask(dishPicture);
    nedComenServ->clear();
}

void TfrmServTran::FormActivate(QObject *)
{
    update();
    if (!boFirstActivation)
        return;
    boFirstActivation = false;
    boPointInserted = false;
    {
        framework::BusyIndicator busy(framework::mainWindow(), 0);
        netServTran->Open();
    }
    // A change of the branch code clears its name, the service and its name: code first.
    medCdFilial->setText(FiliProc());
    edtNmFilial->setText(NomeFiliProc());
    const bool fixed = ModuFili();
    lblFilial->setEnabled(!fixed);
    medCdFilial->setEnabled(lblFilial->isEnabled());
    btnPesqFilial->setEnabled(lblFilial->isEnabled());
    for (QWidget *w : std::initializer_list<QWidget *>{lblFilial, medCdFilial, btnPesqFilial})
        toolkit::setTag(w, fixed ? 99 : 0);
    depDataCard->SetDate(DataProc(medCdFilial->text()));
    dtsPadraoStateChange(dtsPadrao);
}

void TfrmServTran::netServTranBeforeConnect(QObject *)
{
    netServTran->setHost(WebURL());
    netServTran->setPort(WebPort());
}

void TfrmServTran::FormClose(QObject *Sender, CloseAction &Action)
{
    // The base decides whether the screen really goes; only then does it let go of its key list,
    // its connection and its place as the one screen of the module.
    TfrmPadraoGrid::FormClose(Sender, Action);
    if (Action != caFree)
        return;
    KeyList.reset();
    netServTran->Close();
    boIdCriado = false;
}

void CriaServTran()
{
    if (!boIdCriado) {
        frmServTran = framework::createForm<TfrmServTran>();
        boIdCriado = true;
    }
    frmServTran->showForm();
}
