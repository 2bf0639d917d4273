#include "frmpadrgrid.h"

#include "adoibquery.h"
#include "lookup.h"
#include "presenter.h"

#include <toolkit/clientdataset.h>
#include <toolkit/dbgrid.h>
#include <toolkit/dbnavigator.h>
#include <toolkit/dbtext.h>
#include <toolkit/error.h>
#include <toolkit/panel.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

namespace framework {

TfrmPadraoGrid::TfrmPadraoGrid(QWidget *parent) : Form(parent)
{
    setFormStyle(FormStyle::MdiChild);
    setObjectName(QStringLiteral("frmPadraoGrid"));
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // Toolbar.
    panMenu = new toolkit::Panel(this, QStringLiteral("panMenu"));
    panMenu->setFrameShape(QFrame::StyledPanel);
    m_toolbarLayout = new QHBoxLayout(panMenu);
    m_toolbarLayout->setContentsMargins(4, 2, 4, 2);
    m_toolbarLayout->setSpacing(1);
    sbtIncluir = makeButton(QStringLiteral("sbtIncluir"), QStringLiteral("Incluir"), QStyle::SP_FileIcon,
                            &TfrmPadraoGrid::sbtIncluirClick);
    sbtAlterar = makeButton(QStringLiteral("sbtAlterar"), QStringLiteral("Alterar"), QStyle::SP_FileDialogDetailedView,
                            &TfrmPadraoGrid::sbtAlterarClick);
    sbtExcluir = makeButton(QStringLiteral("sbtExcluir"), QStringLiteral("Excluir"), QStyle::SP_TrashIcon,
                            &TfrmPadraoGrid::sbtExcluirClick);
    m_toolbarLayout->addSpacing(8);
    sbtProcurar = makeButton(QStringLiteral("sbtProcurar"), QStringLiteral("Procurar"),
                             QStyle::SP_FileDialogContentsView, &TfrmPadraoGrid::sbtProcurarClick);
    sbtVerificar = makeButton(QStringLiteral("sbtVerificar"), QStringLiteral("Verificar"), QStyle::SP_BrowserReload,
                              &TfrmPadraoGrid::sbtVerificarClick);
    m_toolbarLayout->addSpacing(8);
    sbtCancelar = makeButton(QStringLiteral("sbtCancelar"), QStringLiteral("Cancelar"), QStyle::SP_DialogCancelButton,
                             &TfrmPadraoGrid::sbtCancelarClick);
    sbtConfirmar = makeButton(QStringLiteral("sbtConfirmar"), QStringLiteral("Confirmar"), QStyle::SP_DialogApplyButton,
                              &TfrmPadraoGrid::sbtConfirmarClick);
    m_toolbarLayout->addSpacing(8);
    sbtImprimir = makeButton(QStringLiteral("sbtImprimir"), QStringLiteral("Imprimir"), QStyle::SP_FileDialogListView,
                             &TfrmPadraoGrid::sbtImprimirClick);
    sbtAjuda = makeButton(QStringLiteral("sbtAjuda"), QStringLiteral("Ajuda"), QStyle::SP_DialogHelpButton,
                          &TfrmPadraoGrid::sbtAjudaClick);
    sbtFechar = makeButton(QStringLiteral("sbtFechar"), QStringLiteral("Fechar"), QStyle::SP_DialogCloseButton,
                           &TfrmPadraoGrid::sbtFecharClick);
    m_toolbarLayout->addStretch(1);
    lblCodTela = new QLabel(panMenu);
    lblCodTela->setObjectName(QStringLiteral("lblCodTela"));
    QFont bold = lblCodTela->font();
    bold.setBold(true);
    lblCodTela->setFont(bold);
    m_toolbarLayout->addWidget(lblCodTela);

    // Maintenance menu, each item paired with its button.
    mnuMenu = new QMenuBar(this);
    mnuMenu->setObjectName(QStringLiteral("mnuMenu"));
    mnuMenu->setNativeMenuBar(false);
    mnuManutencao = mnuMenu->addMenu(QStringLiteral("&Manutenção"));
    mnuManutencao->setObjectName(QStringLiteral("mnuManutencao"));
    mnuIncluir = makeItem(QStringLiteral("mnuIncluir"), QStringLiteral("&Incluir"), QKeySequence(Qt::Key_F2), sbtIncluir,
                          &TfrmPadraoGrid::sbtIncluirClick);
    mnuAlterar = makeItem(QStringLiteral("mnuAlterar"), QStringLiteral("&Alterar"), QKeySequence(Qt::Key_F6), sbtAlterar,
                          &TfrmPadraoGrid::sbtAlterarClick);
    mnuExcluir = makeItem(QStringLiteral("mnuExcluir"), QStringLiteral("&Excluir"), QKeySequence(Qt::Key_F8), sbtExcluir,
                          &TfrmPadraoGrid::sbtExcluirClick);
    mnuLinha1 = mnuManutencao->addSeparator();
    mnuLinha1->setObjectName(QStringLiteral("mnuLinha1"));
    mnuProcurar = makeItem(QStringLiteral("mnuProcurar"), QStringLiteral("&Procurar"), QKeySequence(Qt::Key_F3),
                           sbtProcurar, &TfrmPadraoGrid::sbtProcurarClick);
    mnuVerificar = makeItem(QStringLiteral("mnuVerificar"), QStringLiteral("&Verificar"), QKeySequence(Qt::Key_F5),
                            sbtVerificar, &TfrmPadraoGrid::sbtVerificarClick);
    mnuLinha2 = mnuManutencao->addSeparator();
    mnuLinha2->setObjectName(QStringLiteral("mnuLinha2"));
    mnuCancelar = makeItem(QStringLiteral("mnuCancelar"), QStringLiteral("Ca&ncelar"), QKeySequence(Qt::Key_F9),
                           sbtCancelar, &TfrmPadraoGrid::sbtCancelarClick);
    mnuConfirmar = makeItem(QStringLiteral("mnuConfirmar"), QStringLiteral("C&onfirmar"), QKeySequence(Qt::Key_F10),
                            sbtConfirmar, &TfrmPadraoGrid::sbtConfirmarClick);
    mnuLinha3 = mnuManutencao->addSeparator();
    mnuLinha3->setObjectName(QStringLiteral("mnuLinha3"));

    root->addWidget(mnuMenu);
    root->addWidget(panMenu);

    // Data sheet: the derived screen's panels around the grid panel.
    pgcPadrao = new QTabWidget(this);
    pgcPadrao->setObjectName(QStringLiteral("pgcPadrao"));
    pgcPadrao->setTabBarAutoHide(true);
    pgcPadrao->setFocusPolicy(Qt::NoFocus);
    tshPadrao = new QWidget;
    tshPadrao->setObjectName(QStringLiteral("tshPadrao"));
    pgcPadrao->addTab(tshPadrao, QStringLiteral("Dados"));
    auto *sheetLayout = new QVBoxLayout(tshPadrao);
    sheetLayout->setContentsMargins(0, 0, 0, 0);
    scbFolhaDados = new QScrollArea(tshPadrao);
    scbFolhaDados->setObjectName(QStringLiteral("scbFolhaDados"));
    scbFolhaDados->setWidgetResizable(true);
    scbFolhaDados->setFrameShape(QFrame::NoFrame);
    scbFolhaDados->setFocusPolicy(Qt::NoFocus);
    auto *sheet = new QWidget;
    sheet->setObjectName(QStringLiteral("scbFolhaDadosConteudo"));
    m_dataLayout = new QVBoxLayout(sheet);
    m_dataLayout->setContentsMargins(4, 4, 4, 4);
    scbFolhaDados->setWidget(sheet);
    sheetLayout->addWidget(scbFolhaDados);

    panDbgPadrao = new toolkit::Panel(sheet, QStringLiteral("panDbgPadrao"));
    auto *gridLayout = new QVBoxLayout(panDbgPadrao);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    dtsPadrao = new toolkit::DataSource(this, QStringLiteral("dtsPadrao"));
    dbgPadrao = new toolkit::DBGrid(panDbgPadrao, QStringLiteral("dbgPadrao"));
    dbgPadrao->setDataSource(dtsPadrao);
    gridLayout->addWidget(dbgPadrao);
    m_dataLayout->addWidget(panDbgPadrao, 1);
    root->addWidget(pgcPadrao, 1);

    // Navigator.
    panNavigator = new toolkit::Panel(this, QStringLiteral("panNavigator"));
    panNavigator->setFrameShape(QFrame::StyledPanel);
    auto *navLayout = new QHBoxLayout(panNavigator);
    navLayout->setContentsMargins(4, 2, 4, 2);
    dbtNome = new toolkit::DBText(panNavigator, QStringLiteral("dbtNome"));
    dbtNome->setDataSource(dtsPadrao);
    dbnPadrao = new toolkit::DBNavigator(panNavigator, QStringLiteral("dbnPadrao"));
    dbnPadrao->setDataSource(dtsPadrao);
    navLayout->addWidget(dbtNome, 1);
    navLayout->addWidget(dbnPadrao);
    root->addWidget(panNavigator);

    // Popup menu of the grid: moving through the rows.
    pmnNavegar = new QMenu(this);
    pmnNavegar->setObjectName(QStringLiteral("pmnNavegar"));
    const auto addMove = [this](const QString &name, const QString &text, toolkit::DBNavigator::Button which) {
        QAction *a = pmnNavegar->addAction(text);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, [this, which] { dbnPadrao->click(which); });
    };
    addMove(QStringLiteral("mnuPrimeiro"), QStringLiteral("&Primeiro"), toolkit::DBNavigator::First);
    addMove(QStringLiteral("mnuAnterior"), QStringLiteral("&Anterior"), toolkit::DBNavigator::Prior);
    addMove(QStringLiteral("mnuProximo"), QStringLiteral("Pró&ximo"), toolkit::DBNavigator::Next);
    addMove(QStringLiteral("mnuUltimo"), QStringLiteral("Ú&ltimo"), toolkit::DBNavigator::Last);
    dbgPadrao->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(dbgPadrao, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { pmnNavegar->popup(dbgPadrao->viewport()->mapToGlobal(pos)); });

    // Message tables and printer components.
    msgPadrao = new TMessages(this, QStringLiteral("msgPadrao"));
    msgMensagensPadroes = new TMessages(this, QStringLiteral("msgMensagensPadroes"));
    msgMensagensPadroes->addEntry(QStringLiteral("Excl"), QStringLiteral("Confirma Exclusão?"));
    msgMensagensPadroes->addEntry(QStringLiteral("Canc"), QStringLiteral("Confirma Cancelamento?"));
    psdConfigurar = new TPrinterSetupDialog(this, QStringLiteral("psdConfigurar"));
    prdImprimir = new TPrintDialog(this, QStringLiteral("prdImprimir"));

    // Bindings of the base screen; the handlers are virtual, so a derived screen's run.
    dtsPadrao->onStateChange = [this](toolkit::DataSource *source) { dtsPadraoStateChange(source); };
    dbgPadrao->onKeyDown = [this](QObject *sender, int &key, Qt::KeyboardModifiers shift) {
        dbgPadraoKeyDown(sender, key, shift);
    };
    dbgPadrao->onKeyPress = [this](QObject *sender, QChar &key) { dbgPadraoKeyPress(sender, key); };
    dbgPadrao->confirmDelete = [this](const QString &) {
        return msgMensagensPadroes->ShowMsg(QStringLiteral("Excl"), DialogType::Confirmation,
                                            MsgButton::Yes | MsgButton::No, 0) == mrYes;
    };

    setWindowTitle(QStringLiteral("Cadastro"));
    // Printing from the keyboard too: Ctrl+P presses the print button while it is enabled.
    auto *printKey = new QAction(this);
    printKey->setObjectName(QStringLiteral("actImprimir"));
    printKey->setShortcut(QKeySequence::Print);
    printKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(printKey);
    connect(printKey, &QAction::triggered, this, [this] {
        if (sbtImprimir->isEnabled() && sbtImprimir->isVisible())
            sbtImprimir->click();
    });

    resize(800, 560);
}

TfrmPadraoGrid::~TfrmPadraoGrid() = default;

TButtonFlat *TfrmPadraoGrid::makeButton(const QString &name, const QString &hint, QStyle::StandardPixmap glyph,
                                        void (TfrmPadraoGrid::*handler)(QObject *))
{
    auto *button = new TButtonFlat(panMenu, name);
    button->setHint(hint);
    button->setGlyph(glyph);
    connect(button, &QToolButton::clicked, this, [this, button, handler] {
        toolkit::guarded([&] { (this->*handler)(button); });
    });
    m_toolbarLayout->addWidget(button);
    return button;
}

QAction *TfrmPadraoGrid::makeItem(const QString &name, const QString &text, const QKeySequence &keys,
                                  TButtonFlat *button, void (TfrmPadraoGrid::*handler)(QObject *))
{
    QAction *item = mnuManutencao->addAction(text);
    item->setObjectName(name);
    item->setShortcut(keys);
    item->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    // The shortcut belongs to the screen, whichever of its controls has the focus.
    addAction(item);
    connect(item, &QAction::triggered, this, [this, item, handler] {
        toolkit::guarded([&] { (this->*handler)(item); });
    });
    m_pairs.insert(button, item);
    return item;
}

QAction *TfrmPadraoGrid::menuItemOf(const TButtonFlat *button) const
{
    return m_pairs.value(button);
}

void TfrmPadraoGrid::addCommand(TButtonFlat *button, QAction *menuItem, const QString &separatorName)
{
    button->setParent(panMenu);
    m_toolbarLayout->insertWidget(m_toolbarLayout->indexOf(sbtImprimir), button);
    button->show();
    if (!menuItem)
        return;
    if (!separatorName.isEmpty()) {
        QAction *separator = mnuManutencao->addSeparator();
        separator->setObjectName(separatorName);
    }
    mnuManutencao->addAction(menuItem);
    menuItem->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(menuItem);
    m_pairs.insert(button, menuItem);
}

void TfrmPadraoGrid::addAboveGrid(QWidget *widget, int stretch)
{
    m_dataLayout->insertWidget(m_dataLayout->indexOf(panDbgPadrao), widget, stretch);
}

void TfrmPadraoGrid::addBelowGrid(QWidget *widget, int stretch)
{
    m_dataLayout->addWidget(widget, stretch);
}

void TfrmPadraoGrid::setGridStretch(int stretch)
{
    m_dataLayout->setStretchFactor(panDbgPadrao, stretch);
}

void TfrmPadraoGrid::setScreenCode(const QString &code)
{
    lblCodTela->setText(code);
}

QString TfrmPadraoGrid::screenCode() const
{
    return lblCodTela->text();
}

void TfrmPadraoGrid::FormCreate(QObject *)
{
    TfrmPadraoGrid::dtsPadraoStateChange(dtsPadrao);
}

void TfrmPadraoGrid::FormClose(QObject *, CloseAction &Action)
{
    Action = caFree;
}

void TfrmPadraoGrid::FormKeyDown(QObject *, int &, Qt::KeyboardModifiers) {}
void TfrmPadraoGrid::dbgPadraoKeyDown(QObject *, int &, Qt::KeyboardModifiers) {}
void TfrmPadraoGrid::dbgPadraoKeyPress(QObject *, QChar &) {}

void TfrmPadraoGrid::dtsPadraoStateChange(QObject *)
{
    const toolkit::DataSetState state = dtsPadrao->state();
    const toolkit::ClientDataSet *dataSet = dtsPadrao->dataSet();
    const bool browsing = state == toolkit::DataSetState::Browse;
    const bool editing = state == toolkit::DataSetState::Edit || state == toolkit::DataSetState::Insert;
    const bool rows = browsing && dataSet && !dataSet->isEmpty();
    const auto set = [this](TButtonFlat *button, bool on) {
        button->setEnabled(on);
        if (QAction *item = menuItemOf(button))
            item->setEnabled(on);
    };
    set(sbtIncluir, browsing);
    set(sbtProcurar, browsing);
    set(sbtVerificar, browsing);
    set(sbtAlterar, rows);
    set(sbtExcluir, rows);
    set(sbtConfirmar, editing);
    set(sbtCancelar, editing);
    dbnPadrao->setEnabled(browsing);
}

void TfrmPadraoGrid::sbtIncluirClick(QObject *)
{
    toolkit::ClientDataSet *dataSet = dtsPadrao->dataSet();
    if (!dataSet)
        return;
    dataSet->insert();
    dbgPadrao->setFocus(Qt::OtherFocusReason);
}

void TfrmPadraoGrid::sbtAlterarClick(QObject *)
{
    toolkit::ClientDataSet *dataSet = dtsPadrao->dataSet();
    if (!dataSet || dataSet->isEmpty())
        return;
    dataSet->edit();
    dbgPadrao->setFocus(Qt::OtherFocusReason);
}

void TfrmPadraoGrid::sbtExcluirClick(QObject *)
{
    toolkit::ClientDataSet *dataSet = dtsPadrao->dataSet();
    if (!dataSet || !dataSet->active() || dataSet->isEmpty())
        return;
    if (msgMensagensPadroes->ShowMsg(QStringLiteral("Excl"), DialogType::Confirmation, MsgButton::Yes | MsgButton::No, 0)
        != mrYes)
        return;
    dataSet->deleteRecord();
}

void TfrmPadraoGrid::sbtProcurarClick(QObject *)
{
    Procura(dtsPadrao->dataSet());
}

void TfrmPadraoGrid::sbtVerificarClick(QObject *)
{
    auto *query = qobject_cast<TADOIBQuery *>(dtsPadrao->dataSet());
    if (!query || !query->active())
        return;
    const int position = query->recNo();
    query->Close();
    query->Open();
    if (position > 0 && position < query->recordCount())
        query->setRecNo(position);
}

void TfrmPadraoGrid::sbtCancelarClick(QObject *)
{
    toolkit::ClientDataSet *dataSet = dtsPadrao->dataSet();
    if (dataSet && dataSet->isEditing())
        dataSet->cancel();
}

void TfrmPadraoGrid::sbtConfirmarClick(QObject *)
{
    toolkit::ClientDataSet *dataSet = dtsPadrao->dataSet();
    if (dataSet && dataSet->isEditing())
        dataSet->post();
}

void TfrmPadraoGrid::sbtImprimirClick(QObject *) {}

void TfrmPadraoGrid::sbtAjudaClick(QObject *)
{
    presenter().information(QStringLiteral("%1 — %2\nContexto de ajuda: %3")
                                .arg(screenCode(), windowTitle())
                                .arg(helpContext()));
}

void TfrmPadraoGrid::sbtFecharClick(QObject *)
{
    closeForm();
}

} // namespace framework
