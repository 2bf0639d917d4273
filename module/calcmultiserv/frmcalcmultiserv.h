#pragma once
// "Calcular Serviços Transportados": asks the application server to calculate the transported
// services of a branch for a date, for every transported service of the branch or for a list the
// user chooses.

#include "host/servtranserver.h"

#include <framework/adoibquery.h>
#include <framework/btnpesquisa.h>
#include <framework/dateeditplus.h>
#include <framework/frmrotgeral.h>
#include <framework/netconnection.h>

#include <toolkit/maskedit.h>

#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>

class TfrmCalcMultiServ : public TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmCalcMultiServ(QWidget *parent = nullptr);
    ~TfrmCalcMultiServ() override;

    void FormActivate(QObject *Sender) override;
    void FormClose(QObject *Sender, CloseAction &Action) override;
    void sbtConfirmaClick(QObject *Sender) override;
    void netServTranBeforeConnect(QObject *Sender);
    void rbtTodosServicoClick(QObject *Sender);
    void rbtListaServicoClick(QObject *Sender);
    void btnPesqServicoClick(QObject *Sender);
    void depDataCardDateChange(QObject *Sender);
    void habilitaPesqServico();
    void vdServico();
    void vdData();
    void preencheDiaSemana();

    const QString &servicesList() const { return listaServicos; }
    void setServicesList(const QString &list) { listaServicos = list; }

    toolkit::MaskEdit *medCdFilial;
    QGroupBox *grbServicos;
    QRadioButton *rbtTodosServico, *rbtListaServico;
    TBtnPesquisa *btnPesqServico;
    TDateEditPlus *depDataCard;
    QLineEdit *edtNmFilial, *edtNomeDia;
    TADOIBQuery *qryServico;
    toolkit::DataSource *dtsServico;
    TNetConnection *netServTran;

private:
    QString listaServicos;
    servtran::ServTranServer m_server;
};

// The dialog last created, as the module exports it.
extern "C" Q_DECL_EXPORT TfrmCalcMultiServ *frmCalcMultiServ;

// Opens the dialog for a branch, a service (may be empty) and a date (a null date, or one not
// after 30/12/1899, keeps the dialog's own); true when it closed with OK.
extern "C" Q_DECL_EXPORT bool criaCalcMultiServ(const QString &branch, const QString &service, const QDateTime &date);
