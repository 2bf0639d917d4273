#include "frmcalcmultiserv.h"

#include <framework/busyindicator.h>
#include <framework/consiste.h>
#include <framework/lookup.h>
#include <framework/presenter.h>
#include <framework/zandrix.h>

#include <toolkit/controls.h>
#include <toolkit/designmetrics.h>
#include <toolkit/label.h>

#include <QGridLayout>
#include <QHBoxLayout>
#include <memory>

TfrmCalcMultiServ *frmCalcMultiServ = nullptr;

TfrmCalcMultiServ::TfrmCalcMultiServ(QWidget *parent) : TfrmRotiGeral(parent), m_server(nullptr)
{
    setObjectName(QStringLiteral("frmCalcMultiServ"));
    setWindowTitle(QStringLiteral("Calcular Serviços Transportados"));

    auto *grid = new QGridLayout(grbDadosRel);
    medCdFilial = new toolkit::MaskEdit(grbDadosRel, QStringLiteral("medCdFilial"));
    medCdFilial->setEditMask(QStringLiteral(">aaaa;0; "));
    medCdFilial->setMaxLength(4);
    medCdFilial->setEnabled(false);
    toolkit::setDesignedWidth(medCdFilial, 60);
    edtNmFilial = toolkit::newDisplayEdit(grbDadosRel, QStringLiteral("edtNmFilial"));
    edtNmFilial->setMinimumWidth(toolkit::scaled(150, edtNmFilial));   // a branch name whole
    auto *lblFilial = new toolkit::Label(QStringLiteral("Filial"), grbDadosRel, QStringLiteral("lblFilial"));
    lblFilial->setFocusControl(medCdFilial);

    grbServicos = new QGroupBox(QStringLiteral("Serviço"), grbDadosRel);
    grbServicos->setObjectName(QStringLiteral("grbServicos"));
    auto *services = new QHBoxLayout(grbServicos);
    rbtTodosServico = new QRadioButton(QStringLiteral("Todos"), grbServicos);
    rbtTodosServico->setObjectName(QStringLiteral("rbtTodosServico"));
    rbtTodosServico->setChecked(true);
    rbtListaServico = new QRadioButton(QStringLiteral("Lista"), grbServicos);
    rbtListaServico->setObjectName(QStringLiteral("rbtListaServico"));
    btnPesqServico = new TBtnPesquisa(grbServicos, QStringLiteral("btnPesqServico"));
    btnPesqServico->setHint(QStringLiteral("Pesquisar"));
    btnPesqServico->setTitle(QStringLiteral("Serviço"));
    btnPesqServico->setEmptyError(QStringLiteral("Não há serviço cadastrado"));
    btnPesqServico->setEnabled(false);
    btnPesqServico->setFocusPolicy(Qt::StrongFocus);   // reachable with Tab, unlike toolbar buttons
    services->addWidget(rbtTodosServico);
    services->addWidget(rbtListaServico);
    services->addWidget(btnPesqServico);
    services->addStretch(1);

    depDataCard = new TDateEditPlus(grbDadosRel, QStringLiteral("depDataCard"));
    depDataCard->setNomeSemana({QStringLiteral("Domingo"), QStringLiteral("Segunda"), QStringLiteral("Terça"),
                                QStringLiteral("Quarta"), QStringLiteral("Quinta"), QStringLiteral("Sexta"),
                                QStringLiteral("Sábado")});
    depDataCard->setValidDateColor(Qt::blue);
    depDataCard->setSaveTime(false);
    toolkit::setDesignedWidth(depDataCard, 100);
    auto *lblData = new toolkit::Label(QStringLiteral("Data"), grbDadosRel, QStringLiteral("lblData"));
    lblData->setFocusControl(depDataCard);
    edtNomeDia = toolkit::newDisplayEdit(grbDadosRel, QStringLiteral("edtNomeDia"));

    grid->addWidget(lblFilial, 0, 0);
    grid->addWidget(medCdFilial, 0, 1);
    grid->addWidget(edtNmFilial, 0, 2);
    grid->addWidget(grbServicos, 1, 0, 1, 3);
    grid->addWidget(lblData, 2, 0);
    grid->addWidget(depDataCard, 2, 1);
    grid->addWidget(edtNomeDia, 2, 2);
    setTabOrder(rbtTodosServico, rbtListaServico);
    setTabOrder(rbtListaServico, btnPesqServico);
    setTabOrder(btnPesqServico, depDataCard);

    qryServico = new TADOIBQuery(this, QStringLiteral("qryServico"));
    qryServico->SQL = QStringList{QStringLiteral("SELECT CDFILIAL || CDSERVFILI AS CHAVE,"), QStringLiteral("   CDSERVFILI,"),
                                  QStringLiteral("   NMSERVICO"), QStringLiteral("FROM"), QStringLiteral("   SERVICO"),
                                  QStringLiteral("WHERE"), QStringLiteral("   (CDFILIAL    = :P_CDFILIAL) AND"),
                                  QStringLiteral("   (IDSERVTRAN  = 'S')         AND"),
                                  QStringLiteral("   (IDTIPOSERV  <> 'A')"), QStringLiteral("ORDER BY"),
                                  QStringLiteral("   CDSERVFILI")};
    qryServico->SQL_ORACLE = qryServico->SQL_IB = qryServico->SQL;
    qryServico->SQL_MSSQL = qryServico->SQL;
    qryServico->SQL_MSSQL[0] = QStringLiteral("SELECT CDFILIAL + CDSERVFILI AS CHAVE,");
    qryServico->addStringField(QStringLiteral("CHAVE"), 9)->setVisible(false);
    toolkit::Field *code = qryServico->addStringField(QStringLiteral("CDSERVFILI"), 5);
    code->setDisplayLabel(QStringLiteral("Código"));
    code->setRequired(true);
    qryServico->addStringField(QStringLiteral("NMSERVICO"), 40)->setDisplayLabel(QStringLiteral("Nome"));
    dtsServico = new toolkit::DataSource(this, QStringLiteral("dtsServico"));
    dtsServico->setDataSet(qryServico);
    btnPesqServico->setDataSource(dtsServico);

    netServTran = new TNetConnection(this, QStringLiteral("netServTran"));
    netServTran->setServerName(QString::fromLatin1(servtran::kServerName));
    netServTran->setThrowException(false);
    m_server = servtran::ServTranServer(netServTran);

    msgPadrao->addEntry(QStringLiteral("servico"), QStringLiteral("Serviço"));
    msgPadrao->addEntry(QStringLiteral("servico_n_inf"), QStringLiteral("Serviço deve ser informado"));
    msgPadrao->addEntry(QStringLiteral("data_n_inf"), QStringLiteral("Data deve ser informada"));
    msgPadrao->addEntry(QStringLiteral("sucesso"), QStringLiteral("Operação realizada com sucesso"));

    netServTran->BeforeConnect.bind(this, &TfrmCalcMultiServ::netServTranBeforeConnect);
    connect(rbtTodosServico, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            toolkit::guarded([this] { rbtTodosServicoClick(rbtTodosServico); });
    });
    connect(rbtListaServico, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            toolkit::guarded([this] { rbtListaServicoClick(rbtListaServico); });
    });
    btnPesqServico->OnClick.bind(this, &TfrmCalcMultiServ::btnPesqServicoClick);
    depDataCard->OnDateChange.bind(this, &TfrmCalcMultiServ::depDataCardDateChange);
}

TfrmCalcMultiServ::~TfrmCalcMultiServ()
{
    if (frmCalcMultiServ == this)
        frmCalcMultiServ = nullptr;
}

void TfrmCalcMultiServ::FormActivate(QObject *)
{
    if (!netServTran->Connected())
        netServTran->Open();
}

void TfrmCalcMultiServ::FormClose(QObject *Sender, CloseAction &Action)
{
    netServTran->Close();
    TfrmRotiGeral::FormClose(Sender, Action);
}

void TfrmCalcMultiServ::netServTranBeforeConnect(QObject *)
{
    netServTran->setHost(WebURL());
    netServTran->setPort(WebPort());
}

void TfrmCalcMultiServ::habilitaPesqServico()
{
    btnPesqServico->setEnabled(rbtListaServico->isChecked());
}

void TfrmCalcMultiServ::rbtTodosServicoClick(QObject *) { habilitaPesqServico(); }
void TfrmCalcMultiServ::rbtListaServicoClick(QObject *) { habilitaPesqServico(); }

void TfrmCalcMultiServ::btnPesqServicoClick(QObject *)
{
    qryServico->Close();
    qryServico->ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(medCdFilial->text());
    qryServico->Open();
    // No service to choose from: the button's own words, as any look-up button says it.
    if (qryServico->IsEmpty()) {
        qryServico->Close();
        framework::presenter().error(btnPesqServico->emptyError());
        return;
    }
    PesquisaLista(dtsServico, QStringLiteral("CHAVE"), msgPadrao->Msg(QStringLiteral("servico")), false, listaServicos);
}

void TfrmCalcMultiServ::depDataCardDateChange(QObject *) { preencheDiaSemana(); }

void TfrmCalcMultiServ::preencheDiaSemana()
{
    edtNomeDia->setText(NomeSemana(depDataCard->GetDate()));
}

void TfrmCalcMultiServ::vdServico()
{
    if (rbtListaServico->isChecked() && listaServicos.isEmpty()) {
        rbtListaServico->setFocus();
        MensErro(msgPadrao->Msg(QStringLiteral("servico_n_inf")), true);
    }
}

void TfrmCalcMultiServ::vdData()
{
    // A text that is no whole valid date (31/02/2026) counts as no date at all.
    if (EmptyString(depDataCard)) {
        depDataCard->setFocus();
        MensErro(msgPadrao->Msg(QStringLiteral("data_n_inf")), true);
    }
}

void TfrmCalcMultiServ::sbtConfirmaClick(QObject *)
{
    vdServico();
    vdData();
    QString services = listaServicos;
    if (rbtTodosServico->isChecked()) {
        services = QStringLiteral("_");
        qryServico->Close();
        qryServico->ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(medCdFilial->text());
        qryServico->Open();
        for (qryServico->First(); !qryServico->Eof(); qryServico->Next())
            services += medCdFilial->text() + qryServico->FieldByName(QStringLiteral("CDSERVFILI"))->asString() +
                        QStringLiteral("_");
        qryServico->Close();
    }
    {
        framework::BusyIndicator busy(framework::mainWindow(), 1);
        const QDateTime date = protocol::wallClock(depDataCard->GetDate());
        CheckResultServ(m_server.CalcServTrans(QStringLiteral("_") + medCdFilial->text() + QStringLiteral("_"), services,
                                               date, date, Operador(), protocol::wallClock(QDateTime::currentDateTime())),
                        true, 0);
        busy.hide();
        framework::presenter().information(msgPadrao->Msg(QStringLiteral("sucesso")));
    }
}

bool criaCalcMultiServ(const QString &branch, const QString &service, const QDateTime &date)
{
    // Until the dialog is shown, a failure (the branch check) must not leave it behind.
    std::unique_ptr<TfrmCalcMultiServ> dialog(framework::createForm<TfrmCalcMultiServ>());
    frmCalcMultiServ = dialog.get();
    dialog->medCdFilial->setText(branch);
    dialog->edtNmFilial->setText(ValidaFilial(branch, Operador(), false));
    if (!EmptyString(service)) {
        dialog->setServicesList(QStringLiteral("_") + branch + service + QStringLiteral("_"));
        dialog->rbtListaServico->setChecked(true);
    }
    // Zero is 30/12/1899, the origin of the application's dates.
    if (date.isValid() && date.date() > QDate(1899, 12, 30))
        dialog->depDataCard->SetDate(date.date());
    dialog->preencheDiaSemana();
    // Closing destroys the dialog (the base's close step frees it): from here on it owns itself.
    TfrmCalcMultiServ *shown = dialog.release();
    return shown->exec() == framework::mrOk;
}
