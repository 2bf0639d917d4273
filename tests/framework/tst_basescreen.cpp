// The grid-maintenance base screen in the application's main window: its components, toolbar
// and menu pairing, the toolbar rules on a real dataset, form-level key preview, lifecycle.

#include <framework/application.h>
#include <framework/frmpadrgrid.h>
#include <framework/testing/scriptedpresenter.h>

#include <protocol/packet.h>
#include <toolkit/clientdataset.h>
#include <toolkit/dbgrid.h>
#include <toolkit/dbnavigator.h>
#include <toolkit/dbtext.h>
#include <toolkit/panel.h>

#include <QLineEdit>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTest>

using framework::testing::ScriptedPresenter;
using framework::testing::Shown;

namespace {

protocol::DataPacket pointsPacket(int rows)
{
    protocol::PacketContent c;
    c.fields = {{QStringLiteral("CDCLIENTE"), protocol::FieldKind::String, 21},
                {QStringLiteral("NMRAZSOCCLIE"), protocol::FieldKind::String, 50},
                {QStringLiteral("QTCOMECLIST"), protocol::FieldKind::Float, 0}};
    for (int i = 0; i < rows; ++i)
        c.rows.append({{QStringLiteral("C%1").arg(i), QStringLiteral("Cliente %1").arg(i), double(10 * (i + 1))}});
    return protocol::encodePacket(c);
}

// A screen that records which handlers ran, with which sender, and can consume keys.
class RecordingScreen : public TfrmPadraoGrid {
public:
    explicit RecordingScreen(QWidget *parent = nullptr) : TfrmPadraoGrid(parent)
    {
        setObjectName(QStringLiteral("frmTeste"));
        setWindowTitle(QStringLiteral("Tela de teste"));
        cds = new toolkit::ClientDataSet(this, QStringLiteral("cdsPadrao"));
        cds->addField(QStringLiteral("CDCLIENTE"), protocol::FieldKind::String, 21);
        cds->addField(QStringLiteral("NMRAZSOCCLIE"), protocol::FieldKind::String, 50);
        cds->addField(QStringLiteral("QTCOMECLIST"), protocol::FieldKind::Float);
        dtsPadrao->setDataSet(cds);
        toolkit::GridColumn name;
        name.fieldName = QStringLiteral("NMRAZSOCCLIE");
        dbgPadrao->addColumn(name);
        toolkit::GridColumn diners;
        diners.fieldName = QStringLiteral("QTCOMECLIST");
        dbgPadrao->addColumn(diners);
        dbtNome->setDataField(QStringLiteral("NMRAZSOCCLIE"));
        header = new QLineEdit(this);
        header->setObjectName(QStringLiteral("edtCabecalho"));
        footer = new QLineEdit(this);
        footer->setObjectName(QStringLiteral("edtRodape"));
        addAboveGrid(header);
        addBelowGrid(footer);
    }
    void FormCreate(QObject *sender) override
    {
        TfrmPadraoGrid::FormCreate(sender);
        calls << QStringLiteral("FormCreate");
    }
    void FormActivate(QObject *) override { calls << QStringLiteral("FormActivate"); }
    void FormClose(QObject *sender, CloseAction &action) override
    {
        calls << QStringLiteral("FormClose");
        TfrmPadraoGrid::FormClose(sender, action);
    }
    void FormKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift) override
    {
        TfrmPadraoGrid::FormKeyDown(sender, key, shift);
        keys << key;
        if (key == consumeKey)
            key = 0;
    }
    void dbgPadraoKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift) override
    {
        TfrmPadraoGrid::dbgPadraoKeyDown(sender, key, shift);
        gridKeys << key;
    }
    void dbgPadraoKeyPress(QObject *sender, QChar &key) override
    {
        TfrmPadraoGrid::dbgPadraoKeyPress(sender, key);
        if (key == QLatin1Char('+'))
            key = QChar();
    }
    void sbtVerificarClick(QObject *sender) override
    {
        senders << sender->objectName();
        TfrmPadraoGrid::sbtVerificarClick(sender);
    }
    void sbtImprimirClick(QObject *sender) override { senders << sender->objectName(); }

    toolkit::ClientDataSet *cds;
    QLineEdit *header;
    QLineEdit *footer;
    QStringList calls;
    QStringList senders;
    QList<int> keys;
    QList<int> gridKeys;
    int consumeKey = -1;
};

struct Shell {
    framework::MainWindow main;
    RecordingScreen *screen = nullptr;
    Shell()
    {
        main.resize(1000, 700);
        main.show();
        main.activateWindow();
        screen = framework::createForm<RecordingScreen>();
    }
    bool showScreen()
    {
        if (!QTest::qWaitForWindowActive(&main))
            return false;
        screen->showForm();
        return true;
    }
};

} // namespace

class TstBaseScreen : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void componentsCarryTheirNames_data();
    void componentsCarryTheirNames();
    void menuItemsPairWithButtons_data();
    void menuItemsPairWithButtons();
    void toolbarFollowsTheDataSet();
    void commandsActOnTheDataSet();
    void excluirAsksFirst_data();
    void excluirAsksFirst();
    void shortcutsRunCommands();
    void formSeesKeysFirst();
    void gridKeyHandlersAreBound();
    void derivedPanelsSitAroundTheGrid();
    void lifecycle();
    void standardMessages();
};

void TstBaseScreen::componentsCarryTheirNames_data()
{
    QTest::addColumn<QString>("name");
    for (const char *n : {"panMenu", "sbtIncluir", "sbtAlterar", "sbtExcluir", "sbtProcurar", "sbtVerificar", "sbtCancelar",
                          "sbtConfirmar", "sbtImprimir", "sbtAjuda", "sbtFechar", "mnuMenu", "mnuManutencao", "mnuIncluir",
                          "mnuAlterar", "mnuExcluir", "mnuProcurar", "mnuVerificar", "mnuCancelar", "mnuConfirmar",
                          "dbgPadrao", "dtsPadrao", "msgPadrao", "msgMensagensPadroes", "lblCodTela", "pgcPadrao",
                          "tshPadrao", "panDbgPadrao", "scbFolhaDados", "panNavigator", "dbtNome", "dbnPadrao",
                          "psdConfigurar", "prdImprimir", "pmnNavegar"})
        QTest::newRow(n) << QString::fromLatin1(n);
}

void TstBaseScreen::componentsCarryTheirNames()
{
    QFETCH(QString, name);
    TfrmPadraoGrid screen;
    QObject *found = screen.findChild<QObject *>(name);
    QVERIFY2(found, qPrintable(name));
}

void TstBaseScreen::menuItemsPairWithButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("item");
    QTest::newRow("Incluir") << "sbtIncluir" << "mnuIncluir";
    QTest::newRow("Alterar") << "sbtAlterar" << "mnuAlterar";
    QTest::newRow("Excluir") << "sbtExcluir" << "mnuExcluir";
    QTest::newRow("Procurar") << "sbtProcurar" << "mnuProcurar";
    QTest::newRow("Verificar") << "sbtVerificar" << "mnuVerificar";
    QTest::newRow("Cancelar") << "sbtCancelar" << "mnuCancelar";
    QTest::newRow("Confirmar") << "sbtConfirmar" << "mnuConfirmar";
}

void TstBaseScreen::menuItemsPairWithButtons()
{
    QFETCH(QString, button);
    QFETCH(QString, item);
    RecordingScreen screen;
    auto *b = screen.findChild<TButtonFlat *>(button);
    auto *a = screen.findChild<QAction *>(item);
    QVERIFY(b && a);
    QCOMPARE(screen.menuItemOf(b), a);
    QVERIFY(screen.mnuManutencao->actions().contains(a));
    QCOMPARE(b->focusPolicy(), Qt::NoFocus);   // a command must not take the focus away
    QVERIFY(b->autoRaise());
    QVERIFY(!b->toolTip().isEmpty());
    QVERIFY(!b->icon().isNull());
    // Enabled together, whatever the state.
    screen.FormCreate(&screen);
    QCOMPARE(a->isEnabled(), b->isEnabled());
    screen.cds->setData(pointsPacket(2));
    QCOMPARE(a->isEnabled(), b->isEnabled());
}

void TstBaseScreen::toolbarFollowsTheDataSet()
{
    ScriptedPresenter presenter;
    RecordingScreen screen;
    screen.FormCreate(&screen);
    const auto state = [&]() -> QString {
        QString s;
        for (TButtonFlat *b : {screen.sbtIncluir, screen.sbtAlterar, screen.sbtExcluir, screen.sbtProcurar,
                               screen.sbtVerificar, screen.sbtCancelar, screen.sbtConfirmar}) {
            s += b->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
            if (screen.menuItemOf(b)->isEnabled() != b->isEnabled())
                s += QLatin1Char('!');
        }
        return s + (screen.dbnPadrao->isEnabled() ? QStringLiteral(" nav") : QString());
    };
    //                   I A E P V C C
    QCOMPARE(state(), QStringLiteral("0000000"));   // closed
    screen.cds->setData(pointsPacket(0));
    QCOMPARE(state(), QStringLiteral("1001100 nav"));   // browsing an empty list
    // The handler runs on state changes, as the dataset reopens with its new content.
    screen.cds->close();
    screen.cds->setData(pointsPacket(3));
    QCOMPARE(state(), QStringLiteral("1111100 nav"));   // browsing rows
    screen.sbtIncluir->click();
    QCOMPARE(screen.cds->state(), toolkit::DataSetState::Insert);
    QCOMPARE(state(), QStringLiteral("0000011"));   // inserting
    screen.sbtCancelar->click();
    QCOMPARE(screen.cds->state(), toolkit::DataSetState::Browse);
    QCOMPARE(state(), QStringLiteral("1111100 nav"));
    screen.sbtAlterar->click();
    QCOMPARE(screen.cds->state(), toolkit::DataSetState::Edit);
    QCOMPARE(state(), QStringLiteral("0000011"));
    // A row being edited is never dropped by a close: it is confirmed or cancelled first.
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, screen.cds->close());
    QCOMPARE(state(), QStringLiteral("0000011"));
    screen.sbtCancelar->click();
    screen.cds->close();
    QCOMPARE(state(), QStringLiteral("0000000"));
}

void TstBaseScreen::commandsActOnTheDataSet()
{
    ScriptedPresenter presenter;
    RecordingScreen screen;
    screen.cds->setData(pointsPacket(1));
    screen.sbtIncluir->click();
    screen.cds->fieldByName(QStringLiteral("CDCLIENTE"))->setAsString(QStringLiteral("NOVO"));
    screen.cds->fieldByName(QStringLiteral("NMRAZSOCCLIE"))->setAsString(QStringLiteral("Novo cliente"));
    screen.mnuConfirmar->trigger();
    QCOMPARE(screen.cds->state(), toolkit::DataSetState::Browse);
    QCOMPARE(screen.cds->recordCount(), 2);
    QCOMPARE(screen.cds->changeCount(), 1);

    // Verificar and Imprimir from the toolbar and from the menu reach the same handler.
    screen.sbtVerificar->click();
    screen.mnuVerificar->trigger();
    screen.sbtImprimir->click();
    QCOMPARE(screen.senders, (QStringList{QStringLiteral("sbtVerificar"), QStringLiteral("mnuVerificar"),
                                          QStringLiteral("sbtImprimir")}));

    // Procurar through the search dialog positions the dataset.
    presenter.queueLookup(framework::testing::LookupAnswer::where(QStringLiteral("CDCLIENTE"), QStringLiteral("C0")));
    screen.cds->last();
    screen.sbtProcurar->click();
    QCOMPARE(screen.cds->fieldByName(QStringLiteral("CDCLIENTE"))->asString(), QStringLiteral("C0"));
    QCOMPARE(presenter.entries(Shown::Search).size(), 1);
}

void TstBaseScreen::excluirAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("rowsLeft");
    QTest::newRow("yes") << int(framework::mrYes) << 1;
    QTest::newRow("no") << int(framework::mrNo) << 2;
}

void TstBaseScreen::excluirAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(int, rowsLeft);
    ScriptedPresenter presenter;
    RecordingScreen screen;
    screen.cds->setData(pointsPacket(2));
    presenter.queueConfirm(answer);
    screen.sbtExcluir->click();
    QCOMPARE(presenter.confirmations(), QStringList{QStringLiteral("Confirma Exclusão?")});
    QCOMPARE(presenter.entries(Shown::Confirmation).constFirst().type, framework::DialogType::Confirmation);
    QCOMPARE(screen.cds->recordCount(), rowsLeft);
}

void TstBaseScreen::shortcutsRunCommands()
{
    ScriptedPresenter presenter;
    Shell shell;
    QVERIFY(shell.showScreen());
    RecordingScreen *screen = shell.screen;
    screen->cds->setData(pointsPacket(2));
    screen->dbgPadrao->setFocus();
    QTRY_COMPARE(screen->activeControl(), static_cast<QWidget *>(screen->dbgPadrao));
    QTest::keyClick(screen->dbgPadrao, Qt::Key_F2);
    QCOMPARE(screen->cds->state(), toolkit::DataSetState::Insert);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F9);
    QCOMPARE(screen->cds->state(), toolkit::DataSetState::Browse);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    QCOMPARE(screen->cds->state(), toolkit::DataSetState::Edit);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F10);
    QCOMPARE(screen->cds->state(), toolkit::DataSetState::Browse);
    // A disabled command's key does nothing.
    screen->cds->close();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
    QCOMPARE(screen->cds->state(), toolkit::DataSetState::Inactive);
}

void TstBaseScreen::formSeesKeysFirst()
{
    Shell shell;
    QVERIFY(shell.showScreen());
    RecordingScreen *screen = shell.screen;
    screen->header->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(screen->header));
    screen->consumeKey = Qt::Key_X;
    QTest::keyClicks(screen->header, QStringLiteral("axb"));
    QCOMPARE(screen->header->text(), QStringLiteral("ab"));   // the form consumed the x
    QCOMPARE(screen->keys, (QList<int>{Qt::Key_A, Qt::Key_X, Qt::Key_B}));

    // In the grid: a consumed key never moves the cursor; one let through does.
    screen->cds->setData(pointsPacket(3));
    screen->dbgPadrao->setFocus();
    QTRY_COMPARE(screen->activeControl(), static_cast<QWidget *>(screen->dbgPadrao));
    screen->consumeKey = Qt::Key_PageDown;
    screen->keys.clear();
    QTest::keyClick(screen->dbgPadrao, Qt::Key_PageDown, Qt::AltModifier);
    QCOMPARE(screen->keys.last(), int(Qt::Key_PageDown));   // Alt itself came first
    QCOMPARE(screen->cds->recNo(), 0);
    QVERIFY(!screen->gridKeys.contains(Qt::Key_PageDown));   // consumed before the grid saw it
    QTest::keyClick(screen->dbgPadrao, Qt::Key_Down);
    QCOMPARE(screen->cds->recNo(), 1);
}

void TstBaseScreen::gridKeyHandlersAreBound()
{
    Shell shell;
    QVERIFY(shell.showScreen());
    RecordingScreen *screen = shell.screen;
    screen->cds->setData(pointsPacket(2));
    screen->dbgPadrao->setOption(toolkit::GridOption::Editing, true);
    screen->dbgPadrao->setSelectedIndex(1);
    screen->dbgPadrao->setFocus();
    QTRY_COMPARE(screen->activeControl(), static_cast<QWidget *>(screen->dbgPadrao));
    QTest::keyClick(screen->dbgPadrao, Qt::Key_Down);
    QCOMPARE(screen->gridKeys, QList<int>{Qt::Key_Down});
    // The key-press handler consumed "+": typing it starts no edit.
    QTest::keyClick(screen->dbgPadrao, Qt::Key_Plus, Qt::NoModifier);
    QCOMPARE(screen->cds->state(), toolkit::DataSetState::Browse);
}

void TstBaseScreen::derivedPanelsSitAroundTheGrid()
{
    Shell shell;
    QVERIFY(shell.showScreen());
    RecordingScreen *screen = shell.screen;
    const auto top = [&](QWidget *w) { return w->mapTo(screen, QPoint(0, 0)).y(); };
    QVERIFY(top(screen->header) < top(screen->panDbgPadrao));
    QVERIFY(top(screen->panDbgPadrao) < top(screen->footer));
    QVERIFY(top(screen->panMenu) < top(screen->header));
    QVERIFY(top(screen->footer) < top(screen->panNavigator));
}

void TstBaseScreen::lifecycle()
{
    Shell shell;
    QPointer<RecordingScreen> screen = shell.screen;
    QCOMPARE(screen->calls, QStringList{QStringLiteral("FormCreate")});
    QVERIFY(screen->subWindow());
    QCOMPARE(shell.main.mdiArea()->subWindowList().size(), 1);
    QVERIFY(shell.showScreen());
    QTRY_COMPARE(screen->calls.count(QStringLiteral("FormActivate")), 1);
    QVERIFY(screen->isVisible());
    QCOMPARE(shell.main.mdiArea()->activeSubWindow(), screen->subWindow());

    // A second screen takes the activation; coming back activates the first again.
    auto *other = framework::createForm<RecordingScreen>();
    other->showForm();
    QTRY_COMPARE(shell.main.mdiArea()->activeSubWindow(), other->subWindow());
    screen->showForm();
    QTRY_COMPARE(screen->calls.count(QStringLiteral("FormActivate")), 2);

    screen->sbtFechar->click();
    QVERIFY(screen);   // destroyed after the handler, not inside it
    QCOMPARE(screen->calls.last(), QStringLiteral("FormClose"));
    QTRY_VERIFY(!screen);
    QCOMPARE(shell.main.mdiArea()->subWindowList().size(), 1);
}

void TstBaseScreen::standardMessages()
{
    TfrmPadraoGrid screen;
    QCOMPARE(screen.msgMensagensPadroes->Msg(QStringLiteral("Excl")), QStringLiteral("Confirma Exclusão?"));
    QVERIFY(!screen.msgMensagensPadroes->Msg(QStringLiteral("Canc")).isEmpty());
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, screen.msgPadrao->Msg(QStringLiteral("SERV_INF")));
    screen.msgPadrao->addEntry(QStringLiteral("SERV_INF"), QStringLiteral("Serviço deve ser informado."));
    QCOMPARE(screen.msgPadrao->Msg(QStringLiteral("SERV_INF")), QStringLiteral("Serviço deve ser informado."));
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, screen.msgPadrao->Msg(QStringLiteral("serv_inf")));   // keys are exact
}

QTEST_MAIN(TstBaseScreen)
#include "tst_basescreen.moc"
