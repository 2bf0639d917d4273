#pragma once
// The transported-services screen (PLA04100, "Serviços Transportados"). For one branch, one
// meal service and one date, it keeps the delivery points, the dishes sent to each and shows the
// container labels the application server calculates. Its handlers are spread over one source
// per concern: data model, header and loading, edit states and toolbar, verify.

#include "host/servtranserver.h"

#include <framework/adoibquery.h>
#include <framework/btnpesquisa.h>
#include <framework/consiste.h>
#include <framework/dateeditplus.h>
#include <framework/frmpadrgrid.h>
#include <framework/keylist.h>
#include <framework/netconnection.h>
#include <framework/numberedit.h>

#include <rules/containercalc.h>
#include <toolkit/clientdataset.h>
#include <toolkit/dbedit.h>
#include <toolkit/dbgrid.h>
#include <toolkit/label.h>
#include <toolkit/maskedit.h>
#include <toolkit/panel.h>

#include <QLineEdit>
#include <memory>

using toolkit::ClientDataSet;
using toolkit::DataSource;
using toolkit::DBEdit;
using toolkit::DBGrid;
using toolkit::Field;
using toolkit::MaskEdit;
using toolkit::Panel;

class TfrmServTran : public TfrmPadraoGrid {
    Q_OBJECT
public:
    explicit TfrmServTran(QWidget *parent = nullptr);
    ~TfrmServTran() override;

    // --- Lifecycle ---
    void FormCreate(QObject *Sender) override;
    void FormActivate(QObject *Sender) override;
    void FormClose(QObject *Sender, CloseAction &Action) override;
    void netServTranBeforeConnect(QObject *Sender);

    // --- Header and day loading ---
    void medCdFilialChange(QObject *Sender);
    void medCdFilialExit(QObject *Sender);
    void sbtFilialBeforePesq(QObject *Sender, bool &Continue);
    void sbtFilialAfterPesq(QObject *Sender);
    void medCdServicoChange(QObject *Sender);
    void medCdServicoExit(QObject *Sender);
    void btpPesqServicoBeforePesq(QObject *Sender, bool &Continue);
    void btpPesqServicoAfterPesq(QObject *Sender);
    void depDataCardDateChange(QObject *Sender);
    void depDataCardExit(QObject *Sender);
    void panFiltroEnter(QObject *Sender);
    void panFiltroExit(QObject *Sender);
    void Vd_Data();
    // The branch brought to 4 characters and checked by the host (`complete`: the header as a
    // whole); on a refusal the focus goes back to the branch edit, if it can take it.
    void checkBranch(bool complete);
    void Vd_Servico(bool finalCheck);
    void Filtra(ClientDataSet *DataSet);
    void EnableButtons(bool on);
    void FocusedGrid(DBGrid *grid);

    // --- Delivery-point list events used by loading ---
    void cdsPadraoAfterOpen(ClientDataSet *DataSet);
    void cdsPadraoAfterScroll(ClientDataSet *DataSet);
    void LoadKeys();
    bool ExistKey(const QString &key) const;
    void AddKey(const QString &key);

    // --- Cells that show names instead of codes ---
    void dbgPadraoDrawColumnCell(QObject *Sender, const toolkit::DrawCellArgs &Cell);
    void dbgServTranDrawColumnCell(QObject *Sender, const toolkit::DrawCellArgs &Cell);

    // --- Dish and label list events used by loading ---
    void cdsServTranAfterScroll(ClientDataSet *DataSet);
    void cdsServTranCDPRATOGetText(Field *Sender, QString &Text, bool DisplayText);

    // --- Delivery-point rows ---
    void Vd_Cliente(bool required);
    void Vd_PtoEntrega(bool required);
    void dbgPadraoEditButtonClick(QObject *Sender);
    void dbgPadraoColExit(QObject *Sender);
    void cdsPadraoBeforeInsert(ClientDataSet *DataSet);
    void cdsPadraoAfterInsert(ClientDataSet *DataSet);
    void cdsPadraoBeforePost(ClientDataSet *DataSet);
    void cdsPadraoAfterPost(ClientDataSet *DataSet);
    void cdsPadraoAfterCancel(ClientDataSet *DataSet);
    void qryClienteNRINSJURCLIEGetText(Field *Sender, QString &Text, bool DisplayText);

    // --- Dish rows ---
    void cdsServTranAfterInsert(ClientDataSet *DataSet);
    void dbgServTranColExit(QObject *Sender);
    void dbgServTranEditButtonClick(QObject *Sender);
    void dbeQtPadraoKeyPress(QObject *Sender, QChar &Key);
    void dbeQtContainerKeyPress(QObject *Sender, QChar &Key);
    void Vd_Prato(bool onPost);

    // --- Posting a dish row ---
    void cdsServTranBeforePost(ClientDataSet *DataSet);

    // --- Saving dish rows and their labels ---
    void cdsServTranAfterPost(ClientDataSet *DataSet);
    void cdsServTranAfterDelete(ClientDataSet *DataSet);
    void cdsServTranAfterCancel(ClientDataSet *DataSet);

    // --- Edit states, toolbar and keyboard ---
    void dtsPadraoStateChange(QObject *Sender) override;
    void dtsServTranStateChange(QObject *Sender);
    void dtsEtiquetaStateChange(QObject *Sender);
    void dbgPadraoEnter(QObject *Sender);
    void dbgServTranEnter(QObject *Sender);
    void dbgEtiquetaEnter(QObject *Sender);
    void dbgPadraoColEnter(QObject *Sender);
    void dbgServTranColEnter(QObject *Sender);
    void sbtIncluirClick(QObject *Sender) override;
    void sbtAlterarClick(QObject *Sender) override;
    void sbtProcurarClick(QObject *Sender) override;
    void sbtCancelarClick(QObject *Sender) override;
    void sbtConfirmarClick(QObject *Sender) override;
    void FormKeyDown(QObject *Sender, int &Key, Qt::KeyboardModifiers Shift) override;
    void dbgPadraoKeyDown(QObject *Sender, int &Key, Qt::KeyboardModifiers Shift) override;
    void dbgPadraoKeyPress(QObject *Sender, QChar &Key) override;

    // --- Verify ---
    void sbtVerificarClick(QObject *Sender) override;

    // --- Delete, Calculate and Print ---
    void sbtExcluirClick(QObject *Sender) override;
    void sbtCalcularClick(QObject *Sender);
    void sbtImprimirClick(QObject *Sender) override;

    // --- Components (Part of the form, by their given names) ---
    // Header panel.
    Panel *panFiltro;
    toolkit::Label *lblFilial, *lblServico, *lblDataCard, *lblComenServ;
    MaskEdit *medCdFilial, *medCdServico;
    TBtnPesquisa *btnPesqFilial, *btpPesqServico;
    QLineEdit *edtNmFilial, *edtNmServico, *edtNomeDia;
    TDateEditPlus *depDataCard;
    TNumberEdit *nedComenServ;

    // Datasets and their sources (dtsPadrao and dbgPadrao are the base screen's).
    ClientDataSet *cdsPadrao, *cdsServTran, *cdsEtiqueta, *cdsComenServ, *cdsPtoEntrega, *cdsSeqServTran,
        *cdsDadosPrato, *cdsPrato, *cdsUnidMediFili, *cdsPercent;
    DataSource *dtsServTran, *dtsEtiqueta, *dtsPtoEntrega, *dtsFilial, *dtsServico, *dtsPrato, *dtsCliente;

    // The fields the handlers name.
    Field *cdsPadraoCDCLIENTE, *cdsPadraoNRINSJURCLIE, *cdsPadraoIDTPIJURCLIE, *cdsPadraoNMRAZSOCCLIE,
        *cdsPadraoCDDESTFILI, *cdsPadraoNMDESTFILI, *cdsPadraoQTCOMECLIST, *cdsPadraoQTEFETCLIST;
    Field *cdsServTranCDPRATO, *cdsServTranQTCOMESTIST, *cdsServTranQTAMOSTRAST, *cdsServTranNRSERVTRAN,
        *cdsServTranCDDIETPADST, *cdsServTranCDCLIENTE, *cdsServTranCDDESTFILI, *cdsServTranCDFILAUXPRAT;
    Field *cdsComenServQTCOMESTICAR;

    // Lookup queries on the shared database.
    TADOIBQuery *qryFilial, *qryServico, *qryPrato, *qryVdPrato, *qryCliente;

    // Dish and label grids, the dish's quantity edits.
    DBGrid *dbgServTran, *dbgEtiqueta;
    DBEdit *dbeQtPadrao, *dbeQtContainer, *dbeQtContComp;
    toolkit::Label *lblQtPadrao, *lblQtContainer, *Label1;

    TNetConnection *netServTran;
    TButtonFlat *sbtCalcular;
    QAction *mnuLinha4, *mnuCalcular;

private:
    // The data model: every component above, as the form declares it.
    void createDataModel();
    void createHeader();
    void createDishArea();
    void createMessages();
    void bindHandlers();

    // The list the toolbar serves: the one whose control has the focus.
    enum class CurrentList { None, Points, Dishes, Labels };
    CurrentList currentList() const;
    bool dishAreaActive() const;
    // A date-time of the header's date (no time of day).
    QDateTime headerDate() const;
    void setGridEditing(DBGrid *grid, bool on);
    void setColumnButton(DBGrid *grid, const QString &fieldName, bool ellipsis);
    // The dish validation query opened on one code and owner; true when it found the dish.
    bool openVdPrato(const QString &code, const QString &owner);
    // The registered data of the current row's dish, from the server, into the four dish-data
    // datasets (all or none), remembered as that dish's.
    void loadDishData();
    // A registered quantity of the dish just validated, into the new row (none leaves it as typed).
    void showRegisteredQuantity(const char *registered, const char *rowField);
    bool dishDataIsOfCurrentRow() const;
    QString dishDataKey() const;
    rules::calc::RowInputs rowInputs() const;
    void quantityKeyFilter(const DBEdit *edit, QChar &Key);
    // The saved row's label inputs (with and without the sample) sent to CalcEtiqueta.
    void calculateLabels();
    // Cancels a delivery point still being entered before the points are read again.
    void dropPendingPoint();

    // Private fields of the screen.
    bool boFirstActivation = false;
    bool boPointInserted = false;
    std::unique_ptr<TKeyList> KeyList;
    // Which dish (code and owner) the dish-data datasets hold; empty before the first load.
    QString m_dishDataOf;
    servtran::ServTranServer m_server;
};

// The screen instance and whether it exists, as the module exports them.
extern "C" {
extern Q_DECL_EXPORT TfrmServTran *frmServTran;
extern Q_DECL_EXPORT bool boIdCriado;
}

// Opens the screen: creates it once, then restores and shows it.
extern "C" Q_DECL_EXPORT void CriaServTran();
