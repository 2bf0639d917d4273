// The data model of the screen: datasets and their fields, data sources, lookup queries, the
// three grids, the quantity edits, the header panel and the message table.

#include "frmservtran.h"

#include <rules/packetfields.h>
#include <toolkit/controls.h>
#include <toolkit/designmetrics.h>
#include <toolkit/dbtext.h>

#include <QBoxLayout>
#include <QGridLayout>
#include <QSplitter>

using toolkit::ColumnButton;
using toolkit::GridColumn;
using toolkit::GridOption;
using toolkit::GridOptions;
using FK = protocol::FieldKind;

namespace {

// How the screen shows a field of a packet: its title, whether a grid shows it, its display
// format (numbers) or edit mask (texts), its width in characters. Fields not named are hidden.
struct FieldLook {
    const char *name;
    const char *label;   // nullptr: no label
    bool visible;
    const char *format;
    int displayWidth;
};

QString text(const char *s) { return s ? QString::fromUtf8(s) : QString(); }

// The dataset's fields are those of the packets the server sends it, in the same order.
void defineFields(ClientDataSet *ds, const QList<protocol::PacketField> &fields, std::initializer_list<FieldLook> looks = {})
{
    for (const protocol::PacketField &pf : fields) {
        Field *f = ds->addField(pf.name, pf.kind, pf.size);
        f->setRequired(pf.required);
        f->setReadOnly(pf.readOnly);
        f->setVisible(false);
    }
    for (const FieldLook &look : looks) {
        Field *f = ds->fieldByName(text(look.name));
        if (look.label)
            f->setDisplayLabel(text(look.label));
        f->setVisible(look.visible);
        if (look.format) {
            const QString format = text(look.format);
            if (f->kind() == FK::Float)
                f->setDisplayFormat(format);
            else
                f->setEditMask(format);
        }
        if (look.displayWidth)
            f->setDisplayWidth(look.displayWidth);
    }
}

QStringList lines(std::initializer_list<const char *> l)
{
    QStringList out;
    for (const char *s : l)
        out << QString::fromUtf8(s);
    return out;
}

QLineEdit *displayEdit(QWidget *parent, const QString &name, bool readOnly)
{
    QLineEdit *edit = toolkit::newDisplayEdit(parent, name, readOnly);
    edit->setBackgroundRole(QPalette::Button);
    return edit;
}

void tooltipColour(QWidget *w)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Base, p.color(QPalette::ToolTipBase));
    p.setColor(QPalette::Text, p.color(QPalette::ToolTipText));
    w->setPalette(p);
}

toolkit::Label *boldLabel(const QString &caption, QWidget *parent, const QString &name)
{
    auto *label = new toolkit::Label(caption, parent, name);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

GridColumn column(const char *field, int width, Qt::Alignment title, bool readOnly = false,
                  ColumnButton button = ColumnButton::None)
{
    GridColumn c;
    c.fieldName = QString::fromLatin1(field);
    c.width = width;
    c.titleAlignment = title;
    c.readOnly = readOnly;
    c.buttonStyle = button;
    return c;
}

} // namespace

void TfrmServTran::createDataModel()
{
    // --- Delivery points of the day ---
    cdsPadrao = new ClientDataSet(this, QStringLiteral("cdsPadrao"));
    defineFields(cdsPadrao, rules::fields::padrao(), {
        {"CDCLIENTE", "Cliente", false, nullptr, 0},
        {"NMRAZSOCCLIE", "Cliente", true, nullptr, 0},
        {"CDDESTFILI", "Ponto de Entrega", false, nullptr, 0},
        {"NMDESTFILI", "Ponto de Entrega", true, nullptr, 0},
        {"NRINSJURCLIE", "Cliente", false, "99999999999999999999;0; ", 0},
        {"QTCOMECLIST", "Comensais Estimados", true, nullptr, 0},
        {"QTEFETCLIST", "Efetivos p/ Fatur.", true, nullptr, 0},
    });
    dtsPadrao->setDataSet(cdsPadrao);
    cdsPadraoCDCLIENTE = cdsPadrao->fieldByName(QStringLiteral("CDCLIENTE"));
    cdsPadraoNRINSJURCLIE = cdsPadrao->fieldByName(QStringLiteral("NRINSJURCLIE"));
    cdsPadraoIDTPIJURCLIE = cdsPadrao->fieldByName(QStringLiteral("IDTPIJURCLIE"));
    cdsPadraoNMRAZSOCCLIE = cdsPadrao->fieldByName(QStringLiteral("NMRAZSOCCLIE"));
    cdsPadraoCDDESTFILI = cdsPadrao->fieldByName(QStringLiteral("CDDESTFILI"));
    cdsPadraoNMDESTFILI = cdsPadrao->fieldByName(QStringLiteral("NMDESTFILI"));
    cdsPadraoQTCOMECLIST = cdsPadrao->fieldByName(QStringLiteral("QTCOMECLIST"));
    cdsPadraoQTEFETCLIST = cdsPadrao->fieldByName(QStringLiteral("QTEFETCLIST"));

    // --- Dishes of all delivery points of the day ---
    cdsServTran = new ClientDataSet(this, QStringLiteral("cdsServTran"));
    defineFields(cdsServTran, rules::fields::servTran(), {
        {"CDPRATO", "Prato", true, nullptr, 0},
        {"NMPRATO", "Nome do Prato", false, nullptr, 0},
        {"QTEFETCLIST", "Efetivos p/ Fatur.", false, nullptr, 0},
        {"QTCOMESTIST", "Comensais", true, nullptr, 0},
        {"QTTOTAPRATST", "Quantidade", true, "#,##0.000", 20},
        {"SGUNIDADE", "UN", true, nullptr, 0},
        {"QTCOMECLIST", nullptr, false, "#,##0.000", 0},
        {"QTPADRAOST", nullptr, false, "#,##0.000", 0},
        {"QTCONTAIST", nullptr, false, "#,##0.000", 0},
        {"QTCONTCOMPST", nullptr, false, nullptr, 10},
        {"QTAMOSTRAST", "Amostra", true, "#,##0.000", 0},
    });
    cdsServTranCDPRATO = cdsServTran->fieldByName(QStringLiteral("CDPRATO"));
    cdsServTranQTCOMESTIST = cdsServTran->fieldByName(QStringLiteral("QTCOMESTIST"));
    cdsServTranQTAMOSTRAST = cdsServTran->fieldByName(QStringLiteral("QTAMOSTRAST"));
    cdsServTranNRSERVTRAN = cdsServTran->fieldByName(QStringLiteral("NRSERVTRAN"));
    cdsServTranCDDIETPADST = cdsServTran->fieldByName(QStringLiteral("CDDIETPADST"));
    cdsServTranCDCLIENTE = cdsServTran->fieldByName(QStringLiteral("CDCLIENTE"));
    cdsServTranCDDESTFILI = cdsServTran->fieldByName(QStringLiteral("CDDESTFILI"));
    cdsServTranCDFILAUXPRAT = cdsServTran->fieldByName(QStringLiteral("CDFILAUXPRAT"));
    dtsServTran = new DataSource(this, QStringLiteral("dtsServTran"));
    dtsServTran->setDataSet(cdsServTran);

    // --- Container labels of the day ---
    cdsEtiqueta = new ClientDataSet(this, QStringLiteral("cdsEtiqueta"));
    defineFields(cdsEtiqueta, rules::fields::etiqueta(), {
        // Wide enough for their titles and for a label number and quantity whole.
        {"NRSEQUETIQTR", "Etiqueta", true, nullptr, 8},
        {"QTPRATETIQTR", "Quantidade", false, "#,##0.000", 12},
    });
    dtsEtiqueta = new DataSource(this, QStringLiteral("dtsEtiqueta"));
    dtsEtiqueta->setDataSet(cdsEtiqueta);

    // --- Auxiliary datasets ---
    cdsComenServ = new ClientDataSet(this, QStringLiteral("cdsComenServ"));
    defineFields(cdsComenServ, rules::fields::comenServ());
    cdsComenServQTCOMESTICAR = cdsComenServ->fieldByName(QStringLiteral("QTCOMESTICAR"));
    cdsPtoEntrega = new ClientDataSet(this, QStringLiteral("cdsPtoEntrega"));
    defineFields(cdsPtoEntrega, rules::fields::ptoEntrega(), {
        {"CDDESTFILI", "Código", true, nullptr, 0},
        {"NMDESTFILI", "Nome", true, nullptr, 0},
    });
    dtsPtoEntrega = new DataSource(this, QStringLiteral("dtsPtoEntrega"));
    dtsPtoEntrega->setDataSet(cdsPtoEntrega);
    cdsSeqServTran = new ClientDataSet(this, QStringLiteral("cdsSeqServTran"));
    defineFields(cdsSeqServTran, rules::fields::seqServTran());
    cdsDadosPrato = new ClientDataSet(this, QStringLiteral("cdsDadosPrato"));
    defineFields(cdsDadosPrato, rules::fields::dadosPrato());
    cdsPrato = new ClientDataSet(this, QStringLiteral("cdsPrato"));
    defineFields(cdsPrato, rules::fields::prato());
    cdsUnidMediFili = new ClientDataSet(this, QStringLiteral("cdsUnidMediFili"));
    defineFields(cdsUnidMediFili, rules::fields::unidMediFili());
    cdsPercent = new ClientDataSet(this, QStringLiteral("cdsPercent"));
    defineFields(cdsPercent, rules::fields::percent());

    // --- Lookup queries on the shared database ---
    qryFilial = new TADOIBQuery(this, QStringLiteral("qryFilial"));
    qryFilial->SQL = lines({"SELECT", "   CDFILIAL,", "   NMFILIAL", "FROM", "   FILIAL", "ORDER BY", "   CDFILIAL"});
    qryFilial->SQL_ORACLE = qryFilial->SQL_MSSQL = qryFilial->SQL_IB = qryFilial->SQL;
    {
        Field *f = qryFilial->addStringField(QStringLiteral("CDFILIAL"), 4);
        f->setDisplayLabel(QStringLiteral("Código"));
        f->setDisplayWidth(6);
        f->setEditMask(QStringLiteral(">aaaa;0; "));
        qryFilial->addStringField(QStringLiteral("NMFILIAL"), 30)->setDisplayLabel(QStringLiteral("Nome"));
    }
    dtsFilial = new DataSource(this, QStringLiteral("dtsFilial"));
    dtsFilial->setDataSet(qryFilial);

    qryServico = new TADOIBQuery(this, QStringLiteral("qryServico"));
    qryServico->SQL = lines({"SELECT", "   CDSERVFILI,", "   NMSERVICO", "FROM", "   SERVICO", "WHERE",
                             "   (CDFILIAL    = :P_CDFILIAL) AND", "   ((CDSERVFILI = :P_CDSERVFILI) OR",
                             "    (:P_TCDSERVFILI = 'T'))    AND", "   (IDSERVTRAN  = 'S')         AND",
                             "   (IDTIPOSERV  <> 'A')", "ORDER BY", "   CDSERVFILI"});
    qryServico->SQL_ORACLE = qryServico->SQL_IB = qryServico->SQL;
    qryServico->SQL_MSSQL = qryServico->SQL;
    qryServico->SQL_MSSQL[6] = QStringLiteral("   (CDFILIAL    = CONVERT(VARCHAR, :P_CDFILIAL)) AND");
    qryServico->SQL_MSSQL[7] = QStringLiteral("   ((CDSERVFILI = CONVERT(VARCHAR, :P_CDSERVFILI)) OR");
    qryServico->SQL_MSSQL[8] = QStringLiteral("    (CONVERT(VARCHAR(1), :P_TCDSERVFILI) = 'T'))    AND");
    {
        Field *f = qryServico->addStringField(QStringLiteral("CDSERVFILI"), 5);
        f->setDisplayLabel(QStringLiteral("Código"));
        f->setDisplayWidth(7);
        f->setRequired(true);
        qryServico->addStringField(QStringLiteral("NMSERVICO"), 40)->setDisplayLabel(QStringLiteral("Nome"));
    }
    dtsServico = new DataSource(this, QStringLiteral("dtsServico"));
    dtsServico->setDataSet(qryServico);

    qryPrato = new TADOIBQuery(this, QStringLiteral("qryPrato"));
    qryPrato->SQL = lines({"SELECT", "   (CDPRATO || CDFILAUXPRAT) AS CDCHAVEPRATO,", "   CDPRATO,", "   CDFILAUXPRAT,",
                           "   NMPRATO,", "   SGUNIDADE,", "   CDNVPRATO", "FROM", "   PRATO", "WHERE",
                           "   ((CDPRATO = :P_CDPRATO) OR (:P_TCDPRATO = 'T')) AND",
                           "   (CDFILAUXPRAT = 'P' OR CDFILAUXPRAT = :P_CDFILAUXPRAT) AND ", "   (CDNVPRATO = :P_CDNVPRATO)",
                           "ORDER BY", "   CDPRATO"});
    qryPrato->SQL_ORACLE = qryPrato->SQL_IB = qryPrato->SQL;
    qryPrato->SQL_MSSQL = qryPrato->SQL;
    qryPrato->SQL_MSSQL[1] = QStringLiteral("   (CDPRATO + CDFILAUXPRAT) AS CDCHAVEPRATO,");
    {
        qryPrato->addStringField(QStringLiteral("CDCHAVEPRATO"), 14)->setVisible(false);
        Field *code = qryPrato->addStringField(QStringLiteral("CDPRATO"), 10);
        code->setDisplayLabel(QStringLiteral("Código"));
        code->setDisplayWidth(15);
        qryPrato->addStringField(QStringLiteral("CDFILAUXPRAT"), 4)->setVisible(false);
        qryPrato->addStringField(QStringLiteral("NMPRATO"), 40)->setDisplayLabel(QStringLiteral("Nome"));
        qryPrato->addStringField(QStringLiteral("SGUNIDADE"), 10)->setVisible(false);
        qryPrato->addStringField(QStringLiteral("CDNVPRATO"), 1)->setVisible(false);
    }
    dtsPrato = new DataSource(this, QStringLiteral("dtsPrato"));
    dtsPrato->setDataSet(qryPrato);

    qryVdPrato = new TADOIBQuery(this, QStringLiteral("qryVdPrato"));
    qryVdPrato->SQL = lines({"SELECT", "   CDPRATO,", "   NMPRATO,", "   SGUNIDADE,", "   CDFILAUXPRAT", "FROM", "   PRATO",
                             "WHERE", "   (CDFILAUXPRAT = :P_CDFILAUXPRAT) AND", "   (CDPRATO = :P_CDPRATO)"});
    qryVdPrato->SQL_ORACLE = qryVdPrato->SQL_MSSQL = qryVdPrato->SQL_IB = qryVdPrato->SQL;
    qryVdPrato->addStringField(QStringLiteral("CDPRATO"), 10)->setDisplayLabel(QStringLiteral("Código"));
    qryVdPrato->addStringField(QStringLiteral("NMPRATO"), 40)->setDisplayLabel(QStringLiteral("Nome"));
    qryVdPrato->addStringField(QStringLiteral("SGUNIDADE"), 10);
    qryVdPrato->addStringField(QStringLiteral("CDFILAUXPRAT"), 4)->setVisible(false);

    qryCliente = new TADOIBQuery(this, QStringLiteral("qryCliente"));
    qryCliente->SQL = lines({"SELECT", "   CDCLIENTE,", "   NRINSJURCLIE,", "   IDTPIJURCLIE,", "   NMRAZSOCCLIE,",
                             "   NMFANTCLIE", "FROM", "   CLIENTE", "WHERE",
                             "   ((NRINSJURCLIE = :P_NRINSJURCLIE) OR (:P_TNRINSJURCLIE = 'T'))", "ORDER BY",
                             "   NMRAZSOCCLIE"});
    qryCliente->SQL_ORACLE = qryCliente->SQL_MSSQL = qryCliente->SQL_IB = qryCliente->SQL;
    {
        Field *code = qryCliente->addStringField(QStringLiteral("CDCLIENTE"), 21);
        code->setDisplayLabel(QStringLiteral("Código"));
        code->setVisible(false);
        qryCliente->addStringField(QStringLiteral("NRINSJURCLIE"), 20)->setDisplayLabel(QStringLiteral("Inscrição"));
        qryCliente->addStringField(QStringLiteral("IDTPIJURCLIE"), 1)->setVisible(false);
        qryCliente->addStringField(QStringLiteral("NMRAZSOCCLIE"), 50)->setDisplayLabel(QStringLiteral("Razão Social"));
        Field *fant = qryCliente->addStringField(QStringLiteral("NMFANTCLIE"), 50);
        fant->setDisplayLabel(QStringLiteral("Nome Fantasia"));
        fant->setDisplayWidth(30);
    }
    dtsCliente = new DataSource(this, QStringLiteral("dtsCliente"));
    dtsCliente->setDataSet(qryCliente);

    // --- The server connection ---
    netServTran = new TNetConnection(this, QStringLiteral("netServTran"));
    netServTran->setServerName(QString::fromLatin1(servtran::kServerName));
    netServTran->setThrowException(false);
}

void TfrmServTran::createHeader()
{
    panFiltro = new Panel(this, QStringLiteral("panFiltro"));
    panFiltro->setFrameShape(QFrame::StyledPanel);
    auto *grid = new QGridLayout(panFiltro);
    grid->setContentsMargins(6, 4, 6, 4);

    lblFilial = boldLabel(QStringLiteral("Filial"), panFiltro, QStringLiteral("lblFilial"));
    medCdFilial = new MaskEdit(panFiltro, QStringLiteral("medCdFilial"));
    medCdFilial->setEditMask(QStringLiteral(">aaaa;0; "));
    medCdFilial->setMaxLength(4);
    toolkit::setDesignedWidth(medCdFilial, 60);
    tooltipColour(medCdFilial);
    lblFilial->setFocusControl(medCdFilial);
    btnPesqFilial = new TBtnPesquisa(panFiltro, QStringLiteral("btnPesqFilial"));
    btnPesqFilial->setHint(QStringLiteral("Pesquisar"));
    btnPesqFilial->setAssociate(medCdFilial);
    btnPesqFilial->setTitle(QStringLiteral("Filial"));
    btnPesqFilial->setDataSource(dtsFilial);
    btnPesqFilial->setEmptyError(QStringLiteral("Não há filial cadastrada."));
    edtNmFilial = displayEdit(panFiltro, QStringLiteral("edtNmFilial"), true);

    lblServico = boldLabel(QStringLiteral("Serviço"), panFiltro, QStringLiteral("lblServico"));
    medCdServico = new MaskEdit(panFiltro, QStringLiteral("medCdServico"));
    medCdServico->setEditMask(QStringLiteral("ccccc;0; "));
    medCdServico->setMaxLength(5);
    toolkit::setDesignedWidth(medCdServico, 70);
    tooltipColour(medCdServico);
    lblServico->setFocusControl(medCdServico);
    btpPesqServico = new TBtnPesquisa(panFiltro, QStringLiteral("btpPesqServico"));
    btpPesqServico->setHint(QStringLiteral("Pesquisar"));
    btpPesqServico->setAssociate(medCdServico);
    btpPesqServico->setTitle(QStringLiteral("Serviço"));
    btpPesqServico->setDataSource(dtsServico);
    btpPesqServico->setEmptyError(QStringLiteral("Não há serviço cadastrado."));
    edtNmServico = displayEdit(panFiltro, QStringLiteral("edtNmServico"), false);

    lblDataCard = boldLabel(QStringLiteral("Data"), panFiltro, QStringLiteral("lblDataCard"));
    depDataCard = new TDateEditPlus(panFiltro, QStringLiteral("depDataCard"));
    depDataCard->setSaveTime(false);
    depDataCard->setNomeSemana({QStringLiteral("Domingo"), QStringLiteral("Segunda"), QStringLiteral("Terça"),
                                QStringLiteral("Quarta"), QStringLiteral("Quinta"), QStringLiteral("Sexta"),
                                QStringLiteral("Sábado")});
    depDataCard->setValidDateColor(Qt::blue);
    toolkit::setDesignedWidth(depDataCard, 100);
    tooltipColour(depDataCard);
    lblDataCard->setFocusControl(depDataCard);
    edtNomeDia = displayEdit(panFiltro, QStringLiteral("edtNomeDia"), false);

    lblComenServ = boldLabel(QStringLiteral("Comensais do Serviço"), panFiltro, QStringLiteral("lblComenServ"));
    lblComenServ->setEnabled(false);
    nedComenServ = new TNumberEdit(panFiltro, QStringLiteral("nedComenServ"));
    nedComenServ->setCurrency(false);
    nedComenServ->setThousands(false);
    nedComenServ->setDecimals(0);
    nedComenServ->setEnabled(false);
    nedComenServ->setReadOnly(true);
    nedComenServ->setFocusPolicy(Qt::NoFocus);
    toolkit::setDesignedWidth(nedComenServ, 80);
    toolkit::setDisplayOnly(nedComenServ, true);

    grid->addWidget(lblFilial, 0, 0);
    grid->addWidget(medCdFilial, 0, 1);
    grid->addWidget(btnPesqFilial, 0, 2);
    grid->addWidget(edtNmFilial, 0, 3);
    grid->addWidget(lblServico, 1, 0);
    grid->addWidget(medCdServico, 1, 1);
    grid->addWidget(btpPesqServico, 1, 2);
    grid->addWidget(edtNmServico, 1, 3);
    grid->addWidget(lblDataCard, 0, 4);
    grid->addWidget(depDataCard, 0, 5);
    grid->addWidget(edtNomeDia, 0, 6);
    grid->addWidget(lblComenServ, 1, 4);
    grid->addWidget(nedComenServ, 1, 5);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(6, 1);
    addAboveGrid(panFiltro);

    // The keyboard goes branch, service, date, then on to the grids.
    setTabOrder(medCdFilial, medCdServico);
    setTabOrder(medCdServico, depDataCard);
    setTabOrder(depDataCard, dbgPadrao);
}

void TfrmServTran::createDishArea()
{
    // The delivery-point grid of the base screen.
    dbgPadrao->setOptions(GridOption::Titles | GridOption::ColumnResize | GridOption::ColLines | GridOption::RowLines |
                          GridOption::Tabs | GridOption::AlwaysShowSelection | GridOption::ConfirmDelete);
    dbgPadrao->addColumn(column("NRINSJURCLIE", 247, Qt::AlignLeft));
    dbgPadrao->addColumn(column("CDDESTFILI", 172, Qt::AlignLeft));
    dbgPadrao->addColumn(column("QTCOMECLIST", 0, Qt::AlignRight));
    dbgPadrao->addColumn(column("QTEFETCLIST", 88, Qt::AlignRight));
    dbtNome->setDataSource(dtsPadrao);
    dbtNome->setDataField(QStringLiteral("NMRAZSOCCLIE"));

    auto *area = new QSplitter(Qt::Horizontal, this);
    area->setObjectName(QStringLiteral("splServTran"));
    area->setChildrenCollapsible(false);

    auto *dishes = new QWidget(area);
    dishes->setObjectName(QStringLiteral("panServTran"));
    auto *dishLayout = new QVBoxLayout(dishes);
    dishLayout->setContentsMargins(0, 0, 0, 0);
    dbgServTran = new DBGrid(dishes, QStringLiteral("dbgServTran"));
    dbgServTran->setDataSource(dtsServTran);
    dbgServTran->setOptions(GridOption::Editing | GridOption::Titles | GridOption::ColumnResize | GridOption::ColLines |
                            GridOption::RowLines | GridOption::Tabs | GridOption::AlwaysShowSelection |
                            GridOption::ConfirmDelete | GridOption::CancelOnExit);
    dbgServTran->addColumn(column("CDPRATO", 185, Qt::AlignLeft, false, ColumnButton::Ellipsis));
    dbgServTran->addColumn(column("QTCOMESTIST", 0, Qt::AlignRight));
    dbgServTran->addColumn(column("QTTOTAPRATST", 87, Qt::AlignRight, true));
    dbgServTran->addColumn(column("SGUNIDADE", 30, Qt::AlignLeft, true));
    dbgServTran->addColumn(column("QTAMOSTRAST", 46, Qt::AlignRight));
    tooltipColour(dbgServTran);
    dishLayout->addWidget(dbgServTran, 1);

    auto *edits = new QHBoxLayout;
    const auto quantityEdit = [&](const char *name, const char *field, const char *caption, const char *labelName,
                                  toolkit::Label *&label, bool editable) {
        auto *edit = new DBEdit(dishes, QString::fromLatin1(name));
        edit->setDataSource(dtsServTran);
        edit->setDataField(QString::fromLatin1(field));
        edit->setMaxLength(7);
        toolkit::setDesignedWidth(edit, 80);
        if (editable) {
            tooltipColour(edit);
        } else {
            edit->setEnabled(false);
            edit->setFocusPolicy(Qt::NoFocus);
            edit->setBackgroundRole(QPalette::Button);
        }
        label = new toolkit::Label(QString::fromUtf8(caption), dishes, QString::fromLatin1(labelName));
        label->setFocusControl(edit);
        edits->addWidget(label);
        edits->addWidget(edit);
        edits->addSpacing(12);
        return edit;
    };
    dbeQtPadrao = quantityEdit("dbeQtPadrao", "QTPADRAOST", "Qtde. por Pessoa", "lblQtPadrao", lblQtPadrao, true);
    dbeQtContainer =
        quantityEdit("dbeQtContainer", "QTCONTAIST", "Qtde. por Container", "lblQtContainer", lblQtContainer, true);
    dbeQtContComp = quantityEdit("dbeQtContComp", "QTTOTACONTSTCAMOS", "Qtde. de Containers", "Label1", Label1, false);
    edits->addStretch(1);
    dishLayout->addLayout(edits);

    dbgEtiqueta = new DBGrid(area, QStringLiteral("dbgEtiqueta"));
    dbgEtiqueta->setDataSource(dtsEtiqueta);
    dbgEtiqueta->setOptions(GridOption::Titles | GridOption::ColumnResize | GridOption::ColLines | GridOption::RowLines |
                            GridOption::Tabs | GridOption::AlwaysShowSelection | GridOption::ConfirmDelete |
                            GridOption::CancelOnExit);
    dbgEtiqueta->addColumn(column("NRSEQUETIQTR", 0, Qt::AlignLeft, true));
    dbgEtiqueta->addColumn(column("QTPRATETIQTR", 0, Qt::AlignRight, true));
    tooltipColour(dbgEtiqueta);

    area->addWidget(dishes);
    area->addWidget(dbgEtiqueta);
    area->setStretchFactor(0, 3);
    area->setStretchFactor(1, 1);
    area->setSizes({toolkit::scaled(640, area), toolkit::scaled(240, area)});
    addBelowGrid(area, 1);

    setTabOrder(dbgPadrao, dbgServTran);
    setTabOrder(dbgServTran, dbeQtPadrao);
    setTabOrder(dbeQtPadrao, dbeQtContainer);
    setTabOrder(dbeQtContainer, dbgEtiqueta);

    // The screen's own command: Calcular, after a separator of the maintenance menu.
    sbtCalcular = new TButtonFlat(panMenu, QStringLiteral("sbtCalcular"));
    sbtCalcular->setHint(QStringLiteral("Calcular"));
    sbtCalcular->setGlyph(QStyle::SP_MediaPlay);
    mnuCalcular = new QAction(QStringLiteral("Ca&lcular"), this);
    mnuCalcular->setObjectName(QStringLiteral("mnuCalcular"));
    addCommand(sbtCalcular, mnuCalcular, QStringLiteral("mnuLinha4"));
    mnuLinha4 = findChild<QAction *>(QStringLiteral("mnuLinha4"));
}

void TfrmServTran::createMessages()
{
    static const char *const entries[][2] = {
        {"Excl", "Confirma Exclusão?"},
        {"FILI_DEVE", "Filial deve ser informada."},
        {"FILI_NAO_CAD", "Filial não cadastrada."},
        {"DATA_DEVE", "Data deve ser informada."},
        {"FILI_RESC", "Filial com contrato rescindido."},
        {"SERV_N_CAD", "Serviço não cadastrado."},
        {"PRODUTO", "Produto"},
        {"QUANTIDADE", "Quantidade deve ser maior que zero."},
        {"HORA", "Hora limite não foi informada corretamente."},
        {"HRLIMITE", "Hora limite deve ser menor ou igual a hora de início de atendimento ("},
        {"DTLIMITE", "Data limite deve ser menor ou igual a data da requisição."},
        {"PROD_VAZIO", "Produto deve ser informado."},
        {"PROD_INC", "Código do produto deve ser totalmente preenchido."},
        {"PROD_NAO_CADASTRADO", "Produto não cadastrado."},
        {"PROD_ESTOQUE", "Produto informado não é de atualização de estoque."},
        {"SERV_EMPTY", "Serviço deve ser informado."},
        {"QTDE_EMPTY", "Quantidade deve ser informada."},
        {"DTLIMITE_EMTPY", "Data limite deve ser informada."},
        {"HRLIMITE_EMPTY", "Hora limite deve ser informada."},
        {"PROD_JA_CAD", "Produto já cadastrado."},
        {"Servico", "Serviço"},
        {"SERV_INF", "Serviço deve ser informado."},
        {"Serv_Cad", "Serviço não cadastrado."},
        {"DIETA_INF", "Dieta deve ser informada."},
        {"DIETA_N_CAD", "Dieta não cadastrada."},
        {"Dieta", "Dieta"},
        {"SERV_PESQ", "Não há serviço cadastrado."},
        {"DIET_PESQ", "Não há dieta cadastrada."},
        {"PRATO_PESQ", "Não há prato cadastrado."},
        {"Prato", "Prato"},
        {"PRATO_N_CAD", "Prato não cadastrado."},
        {"PRATO_INF", "Prato deve ser informado."},
        {"QTETIQUE_INF", "Quantidade de etiquetas deve ser informada."},
        {"QTCome_INF", "Comensais deve ser informado."},
        {"SERVTRAN_JA_CAD", "Serviço transportado já cadastrado. "},
        {"PRATO_J_CAD", "Prato já cadastrado para o serviço informado."},
        {"QTPADRAO_N_CAD", "Quantidade por pessoa e quantidade por container devem ser informadas no cadastro de prato."},
        {"PRATO_INC", "Código deve ser informado com nível completo."},
        {"PRATO_ESP", "Nível deve ser totalmente preenchido."},
        {"Cliente", "Cliente"},
        {"CLIE_PESQ", "Não há cliente cadastrado."},
        {"CLIE_N_CAD", "Cliente não cadastrado."},
        {"Ponto", "Ponto de Entrega"},
        {"PTO_PESQ", "Não há ponto de entrega cadastrado."},
        {"PTO_N_CAD", "Ponto de entrega não cadastrado."},
        {"CLIE_INF", "Cliente deve ser informado."},
        {"PTO_INF", "Ponto de entrega deve ser informado."},
        {"QTPADRAO_ZERO", "Quantidade por pessoa deve ser maior que zero."},
        {"QTPADRAO_INF", "Quantidade por pessoa deve ser informada."},
        {"QTCONTAI_INF", "Quantidade por container deve ser informada."},
        {"QTCONTAI_ZERO", "Quatidade por container deve ser maior que zero."},
        {"QtComes_Inf", "Comensais estimados deve ser informado."},
        {"QtComes_Mzero", "Comensais estimados deve ser maior que zero."},
        {"QTDE_N_ETQTA", "Quantidade de comensais deve ser menor ou igual à %n."},
    };
    for (const auto &entry : entries)
        msgPadrao->addEntry(QString::fromLatin1(entry[0]), QString::fromUtf8(entry[1]));
}
