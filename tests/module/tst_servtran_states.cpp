// Edit states, toolbar and keyboard of the transported-services screen, and Verify: what is
// enabled in each situation, the keys the screen handles, and reading the day again.

#include "screenfixture.h"

#include <framework/dateeditplus.h>
#include <framework/netconnection.h>

#include <toolkit/maskedit.h>

#include <QAction>
#include <QLineEdit>

using namespace screentest;
using toolkit::ClientDataSet;
using toolkit::DataSetState;
using toolkit::DBGrid;

namespace {

// The enabled state of the toolbar commands, as "Incluir Alterar ..." of the ones that are on.
const char *const kCommands[] = {"Incluir", "Alterar", "Excluir", "Procurar", "Verificar", "Cancelar", "Confirmar", "Calcular"};

} // namespace

class TestServTranStates : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    QWidget *screen = nullptr;

    DBGrid *grid(const char *name) { return part<DBGrid>(screen, name); }
    ClientDataSet *points() { return dataSet(screen, "cdsPadrao"); }
    ClientDataSet *dishes() { return dataSet(screen, "cdsServTran"); }
    ClientDataSet *labels() { return dataSet(screen, "cdsEtiqueta"); }
    bool on(const char *name) { return part(screen, name)->isEnabled(); }

    QStringList buttonsOn()
    {
        QStringList out;
        for (const char *c : kCommands)
            if (part(screen, qPrintable(QStringLiteral("sbt") + QLatin1String(c)))->isEnabled())
                out << QLatin1String(c);
        return out;
    }
    QStringList menusOn()
    {
        QStringList out;
        for (const char *c : kCommands)
            if (part<QAction>(screen, qPrintable(QStringLiteral("mnu") + QLatin1String(c)))->isEnabled())
                out << QLatin1String(c);
        return out;
    }
    bool headerLocked() { return !on("medCdServico") && !on("depDataCard") && !on("btpPesqServico"); }
    bool editing(const char *gridName) { return grid(gridName)->options().testFlag(toolkit::GridOption::Editing); }

    void loadDay(const QString &service = QStringLiteral("00001"))
    {
        focus(part(screen, "medCdServico"));
        part<toolkit::MaskEdit>(screen, "medCdServico")->setText(service);
        focus(grid("dbgPadrao"));
        QVERIFY(points()->active());
    }
    void click(const char *button) { QTest::mouseClick(part(screen, button), Qt::LeftButton); }
    void key(QWidget *w, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(w, k, m); }

private slots:
    void init()
    {
        fx = std::make_unique<ScreenFixture>();
        screen = fx->openScreen();
        QVERIFY(screen);
    }
    void cleanup() { fx.reset(); }

    void headerBeingEntered()
    {
        loadDay();
        focus(part(screen, "medCdServico"));
        QVERIFY(!points()->active() && !dishes()->active() && !labels()->active());
        for (const char *c : {"Incluir", "Alterar", "Excluir", "Procurar", "Verificar"}) {
            QVERIFY2(!part(screen, qPrintable(QStringLiteral("sbt") + QLatin1String(c)))->isEnabled(), c);
            QVERIFY2(!part<QAction>(screen, qPrintable(QStringLiteral("mnu") + QLatin1String(c)))->isEnabled(), c);
        }
        QVERIFY(on("medCdFilial") && on("medCdServico") && on("depDataCard"));
        QVERIFY(!on("nedComenServ") && !on("lblComenServ"));
    }

    // A disabled command looks disabled: its glyph is drawn visibly fainter than when enabled.
    void disabledCommandsLookDisabled()
    {
        for (const char *c : kCommands) {
            auto *button = part(screen, qPrintable(QStringLiteral("sbt") + QLatin1String(c)));
            const bool wasOn = button->isEnabled();
            button->setEnabled(false);
            const QImage off = button->grab().toImage();
            button->setEnabled(true);
            const QImage onLook = button->grab().toImage();
            button->setEnabled(wasOn);
            QCOMPARE(off.size(), onLook.size());
            // The glyph's ink: how far each pixel stands from the button's background.
            const auto ink = [](const QImage &image) {
                const QRgb background = image.pixel(1, 1);
                qint64 sum = 0;
                for (int y = 0; y < image.height(); ++y)
                    for (int x = 0; x < image.width(); ++x) {
                        const QRgb p = image.pixel(x, y);
                        sum += qAbs(qRed(p) - qRed(background)) + qAbs(qGreen(p) - qGreen(background)) +
                               qAbs(qBlue(p) - qBlue(background));
                    }
                return sum;
            };
            QVERIFY2(ink(onLook) > 0, c);
            QVERIFY2(ink(off) * 2 < ink(onLook), c);
        }
    }

    void dayLoadedWithEachGridFocused()
    {
        loadDay();
        // The delivery-point grid: the base screen's toolbar, Alter off; only billing diners edit.
        QCOMPARE(buttonsOn(), (QStringList{"Incluir", "Excluir", "Procurar", "Verificar", "Calcular"}));
        QVERIFY(on("dbgPadrao") && on("dbgServTran") && on("dbgEtiqueta") && on("dbeQtPadrao") && on("dbeQtContainer"));
        QVERIFY(!editing("dbgPadrao"));
        grid("dbgPadrao")->setSelectedIndex(3);
        QVERIFY(editing("dbgPadrao"));
        grid("dbgPadrao")->setSelectedIndex(0);
        QVERIFY(!editing("dbgPadrao"));
        QVERIFY(on("medCdFilial") && on("medCdServico") && on("depDataCard"));
        QVERIFY(!on("nedComenServ"));

        // The dish grid: its own list's commands.
        focus(grid("dbgServTran"));
        QCOMPARE(menusOn(), (QStringList{"Incluir", "Alterar", "Excluir", "Procurar", "Verificar", "Calcular"}));
        QCOMPARE(buttonsOn(), menusOn());
        QVERIFY(on("dbnPadrao"));
        QVERIFY(!editing("dbgServTran"));   // the dish column of a saved row
        grid("dbgServTran")->setSelectedIndex(1);
        QVERIFY(editing("dbgServTran"));
        grid("dbgServTran")->setSelectedIndex(4);
        QVERIFY(editing("dbgServTran"));
        grid("dbgServTran")->setSelectedIndex(2);
        QVERIFY(!editing("dbgServTran"));

        // The label grid: only Search and Verify, and only while there are labels.
        focus(grid("dbgEtiqueta"));
        QCOMPARE(menusOn(), (QStringList{"Procurar", "Verificar", "Calcular"}));
        QCOMPARE(buttonsOn(), (QStringList{"Procurar", "Verificar", "Calcular"}));
        QVERIFY(on("dbnPadrao"));
    }

    void labelGridWithoutLabels()
    {
        fx->exec(QStringLiteral("DELETE FROM ETIQSERVTRAN"));
        loadDay();
        focus(grid("dbgEtiqueta"));
        QCOMPARE(menusOn(), QStringList{"Calcular"});
        QVERIFY(!on("sbtProcurar") && !on("sbtVerificar"));
    }

    void newDeliveryPointBeingEntered()
    {
        loadDay();
        click("sbtIncluir");
        QCOMPARE(points()->state(), DataSetState::Insert);
        QVERIFY(on("dbgPadrao") && editing("dbgPadrao"));
        QCOMPARE(grid("dbgPadrao")->column(0).buttonStyle, toolkit::ColumnButton::Ellipsis);
        QCOMPARE(grid("dbgPadrao")->column(1).buttonStyle, toolkit::ColumnButton::Ellipsis);
        QVERIFY(!on("dbgServTran") && !on("dbeQtPadrao") && !on("dbeQtContainer") && !on("dbgEtiqueta"));
        QVERIFY(headerLocked());
        QVERIFY(!on("medCdFilial"));
        QVERIFY(menusOn().contains("Confirmar") && menusOn().contains("Cancelar"));
        QVERIFY(!on("sbtCalcular") && !menusOn().contains("Calcular"));

        // Cancel ends it: everything comes back.
        click("sbtCancelar");
        QCOMPARE(points()->state(), DataSetState::Browse);
        QCOMPARE(grid("dbgPadrao")->column(0).buttonStyle, toolkit::ColumnButton::None);
        QVERIFY(on("dbgServTran") && on("dbgEtiqueta") && !headerLocked() && on("sbtCalcular"));
        QCOMPARE(points()->recordCount(), 3);
    }

    void billingDinersBeingChanged()
    {
        loadDay();
        grid("dbgPadrao")->setSelectedIndex(3);
        type(grid("dbgPadrao"), QStringLiteral("8"));
        QCOMPARE(points()->state(), DataSetState::Edit);
        QVERIFY(editing("dbgPadrao"));
        grid("dbgPadrao")->setSelectedIndex(2);
        QVERIFY(!editing("dbgPadrao"));
        QVERIFY(!on("dbgServTran") && !on("dbgEtiqueta"));
        QVERIFY(headerLocked());
        QVERIFY(menusOn().contains("Confirmar") && menusOn().contains("Cancelar"));
        QVERIFY(!on("sbtCalcular"));
    }

    void dishRowBeingEnteredOrChanged_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("state");
        QTest::newRow("include") << "sbtIncluir" << int(DataSetState::Insert);
        QTest::newRow("alter") << "sbtAlterar" << int(DataSetState::Edit);
    }

    void dishRowBeingEnteredOrChanged()
    {
        QFETCH(QString, command);
        QFETCH(int, state);
        loadDay();
        focus(grid("dbgServTran"));
        click(qPrintable(command));
        QCOMPARE(int(dishes()->state()), state);
        QVERIFY(!on("dbgPadrao") && on("dbgServTran") && !on("dbgEtiqueta"));
        QVERIFY(headerLocked());
        QCOMPARE(buttonsOn(), (QStringList{"Cancelar", "Confirmar"}));
        QCOMPARE(menusOn(), (QStringList{"Cancelar", "Confirmar"}));
        QCOMPARE(grid("dbgServTran")->column(0).buttonStyle,
                 state == int(DataSetState::Insert) ? toolkit::ColumnButton::Ellipsis : toolkit::ColumnButton::None);
        QCOMPARE(grid("dbgServTran")->selectedField()->fieldName(), QStringLiteral("CDPRATO"));
        QCOMPARE(QApplication::focusWidget() == grid("dbgServTran") || grid("dbgServTran")->isAncestorOf(QApplication::focusWidget()), true);

        // Cancel asks first; No leaves the row as it is, Yes cancels it.
        fx->presenter().queueConfirm(framework::mrNo);
        click("sbtCancelar");
        QCOMPARE(int(dishes()->state()), state);
        fx->presenter().queueConfirm(framework::mrYes);
        click("sbtCancelar");
        QCOMPARE(dishes()->state(), DataSetState::Browse);
        QCOMPARE(fx->presenter().confirmations().size(), 2);
        QVERIFY(on("dbgPadrao") && on("dbgEtiqueta") && !headerLocked());
    }

    void firstDishOfAPendingDeliveryPoint()
    {
        loadDay();
        click("sbtIncluir");
        // What posting a new point without dishes does: the dish grid takes its first dish.
        grid("dbgServTran")->setEnabled(true);
        dishes()->fieldByName(QStringLiteral("CDPRATO"))->focusControl();
        dishes()->insert();
        QCOMPARE(points()->state(), DataSetState::Insert);
        QCOMPARE(dishes()->state(), DataSetState::Insert);
        QVERIFY(!on("dbgPadrao") && on("dbgServTran") && !on("dbgEtiqueta"));
        QVERIFY(headerLocked());
        QCOMPARE(buttonsOn(), (QStringList{"Cancelar", "Confirmar"}));
        // Up and Page Up do nothing; Down confirms the dish, whose post checks it first.
        key(grid("dbgServTran"), Qt::Key_Up);
        key(grid("dbgServTran"), Qt::Key_PageUp);
        QCOMPARE(dishes()->state(), DataSetState::Insert);
        QVERIFY(fx->presenter().errors().isEmpty());
        key(grid("dbgServTran"), Qt::Key_Down);
        QCOMPARE(fx->presenter().errors(), QStringList{"Prato deve ser informado."});
        QCOMPARE(dishes()->state(), DataSetState::Insert);
    }

    void alterFromAQuantityEditKeepsTheFocusThere()
    {
        loadDay();
        QWidget *edit = part(screen, "dbeQtContainer");
        focus(grid("dbgServTran"));   // on the way to the edit, as Tab goes
        focus(edit);
        click("sbtAlterar");
        QCOMPARE(dishes()->state(), DataSetState::Edit);
        QCOMPARE(QApplication::focusWidget(), edit);
    }

    void dishInsertWithoutDeliveryPointsIsRefused()
    {
        loadDay(QStringLiteral("00002"));   // an empty day
        ClientDataSet *ds = dishes();
        QVERIFY_THROWS_EXCEPTION(toolkit::Abort, ds->insert());
        QCOMPARE(fx->presenter().errors(), QStringList{"Cliente deve ser informado."});
        QCOMPARE(ds->state(), DataSetState::Browse);
    }

    void branchStaysFixedInEveryStateOfABoundSession()
    {
        fx->closeScreen();
        fx->session().boundBranch = true;
        fx->applySession();
        screen = fx->openScreen();
        loadDay();
        QVERIFY(!on("medCdFilial"));
        click("sbtIncluir");
        QVERIFY(!on("medCdFilial"));
        click("sbtCancelar");
        QVERIFY(!on("medCdFilial") && on("medCdServico"));
        focus(grid("dbgServTran"));
        click("sbtIncluir");
        fx->presenter().queueConfirm(framework::mrYes);
        click("sbtCancelar");
        QVERIFY(!on("medCdFilial") && !on("lblFilial") && !on("btnPesqFilial") && on("medCdServico"));
    }

    void altPageKeysMoveBetweenTheGrids()
    {
        loadDay();
        key(grid("dbgPadrao"), Qt::Key_PageDown, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), grid("dbgServTran"));
        key(grid("dbgServTran"), Qt::Key_PageDown, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), grid("dbgEtiqueta"));
        key(grid("dbgEtiqueta"), Qt::Key_PageUp, Qt::AltModifier | Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), grid("dbgServTran"));
        key(grid("dbgServTran"), Qt::Key_PageUp, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), grid("dbgPadrao"));
        QCOMPARE(points()->recNo(), 0);   // consumed: the grid did not page
    }

    void altPageDownIsConsumedWhenTheDishGridIsDisabled()
    {
        loadDay(QStringLiteral("00002"));
        QVERIFY(!on("dbgServTran"));
        key(grid("dbgPadrao"), Qt::Key_PageDown, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), grid("dbgPadrao"));
    }

    void keysOfAPendingDeliveryPoint()
    {
        loadDay();
        points()->setRecNo(1);
        click("sbtIncluir");
        const int at = points()->recNo();
        key(grid("dbgPadrao"), Qt::Key_Up);
        key(grid("dbgPadrao"), Qt::Key_PageUp);
        QCOMPARE(points()->state(), DataSetState::Insert);
        QCOMPARE(points()->recNo(), at);
        // Enter confirms only in the estimated-diners column.
        grid("dbgPadrao")->setSelectedIndex(1);
        key(grid("dbgPadrao"), Qt::Key_Return);
        QCOMPARE(points()->state(), DataSetState::Insert);
        QCOMPARE(dishes()->state(), DataSetState::Browse);
        QCOMPARE(fx->presenter().errors(), QStringList());
        // Down runs Confirm: the point is posted, and its checks speak.
        key(grid("dbgPadrao"), Qt::Key_Down);
        QCOMPARE(fx->presenter().errors(), QStringList{"Cliente deve ser informado."});
        QCOMPARE(points()->state(), DataSetState::Insert);
    }

    void enterInTheEstimatedDinersColumnConfirms()
    {
        loadDay();
        click("sbtIncluir");
        grid("dbgPadrao")->setSelectedIndex(2);
        key(grid("dbgPadrao"), Qt::Key_Return);
        QCOMPARE(fx->presenter().errors(), QStringList{"Cliente deve ser informado."});
    }

    void signsAreRefusedInEveryGrid()
    {
        loadDay();
        grid("dbgPadrao")->setSelectedIndex(3);
        type(grid("dbgPadrao"), QStringLiteral("-+1-2+"));
        key(grid("dbgPadrao"), Qt::Key_Return);
        QTRY_COMPARE(points()->fieldByName(QStringLiteral("QTEFETCLIST"))->asString(), QStringLiteral("12"));
        QCOMPARE(points()->state(), DataSetState::Edit);   // Enter writes the cell; the row is posted later
        points()->cancel();

        focus(grid("dbgServTran"));
        grid("dbgServTran")->setSelectedIndex(1);
        type(grid("dbgServTran"), QStringLiteral("+5-"));
        QCOMPARE(grid("dbgServTran")->editorText(QStringLiteral("QTCOMESTIST")), QStringLiteral("5"));
    }

    void commaRuleOfTheEstimatedDiners_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::newRow("first character") << ",5" << "5";
        QTest::newRow("after digits") << "12,5" << "12,5";
        QTest::newRow("a second one") << "1,2,3" << "1,23";
    }

    void commaRuleOfTheEstimatedDiners()
    {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        loadDay();
        click("sbtIncluir");
        grid("dbgPadrao")->setSelectedIndex(2);
        type(grid("dbgPadrao"), typed);
        QCOMPARE(grid("dbgPadrao")->editorText(QStringLiteral("QTCOMECLIST")), text);
    }

    // --- Verify ---

    void verifyFromThePointGridReloadsPointsAndDishesNotLabels()
    {
        loadDay();
        points()->setRecNo(2);
        fx->addDish(QStringLiteral("0000789"), QStringLiteral("002"), QStringLiteral("0000000007"),
                    QStringLiteral("1010010003"), 12, 2);
        fx->exec(QStringLiteral("INSERT INTO ETIQSERVTRAN SELECT CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, "
                                "CDCLIENTE, CDDESTFILI, CDPRATO, CDFILAUXPRAT, '0009', 1 FROM ETIQSERVTRAN "
                                "WHERE NRSERVTRAN = '0000000001' AND NRSEQUETIQTR = '0001'"));
        focus(grid("dbgPadrao"));
        click("sbtVerificar");
        QCOMPARE(points()->recordCount(), 4);
        QCOMPARE(points()->recNo(), 0);
        QCOMPARE(column(dishes(), "NRSERVTRAN"), (QStringList{"0000000001", "0000000002"}));
        labels()->setFiltered(false);
        QCOMPARE(labels()->recordCount(), 7);   // as loaded: the new labels are not read
        QVERIFY(fx->presenter().busyBalanced());
    }

    // From the dish grid the reload comes back to the same client: to its first delivery point
    // when it has several (the client is what is kept, not the point).
    void verifyFromTheDishGridKeepsTheClient_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("point");
        QTest::addColumn<QStringList>("dishRows");
        QTest::newRow("a client with one point") << 2 << "Beto Souza" << "003" << QStringList{"0000000004"};
        QTest::newRow("the second point of a client with two")
            << 1 << "Alfa Indústria Ltda" << "001" << QStringList{"0000000001", "0000000002"};
    }

    void verifyFromTheDishGridKeepsTheClient()
    {
        QFETCH(int, from);
        QFETCH(QString, client);
        QFETCH(QString, point);
        QFETCH(QStringList, dishRows);
        loadDay();
        points()->setRecNo(from);
        focus(grid("dbgServTran"));
        // Meanwhile another client gets a point on the server.
        fx->addDish(QStringLiteral("0000789"), QStringLiteral("002"), QStringLiteral("0000000008"),
                    QStringLiteral("1010010001"), 5, 1);
        click("sbtVerificar");
        QCOMPARE(points()->recordCount(), 4);
        QCOMPARE(points()->fieldByName(QStringLiteral("NMRAZSOCCLIE"))->asString(), client);
        QCOMPARE(points()->fieldByName(QStringLiteral("CDDESTFILI"))->asString(), point);
        QCOMPARE(column(dishes(), "NRSERVTRAN"), dishRows);
    }

    void verifyFromTheLabelGridReadsOnlyLabels()
    {
        loadDay();
        fx->exec(QStringLiteral("INSERT INTO ETIQSERVTRAN SELECT CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, "
                                "CDCLIENTE, CDDESTFILI, CDPRATO, CDFILAUXPRAT, '0009', 1 FROM ETIQSERVTRAN "
                                "WHERE NRSERVTRAN = '0000000001' AND NRSEQUETIQTR = '0001'"));
        fx->addDish(QStringLiteral("0000789"), QStringLiteral("002"), QStringLiteral("0000000007"),
                    QStringLiteral("1010010003"), 12, 2);
        focus(grid("dbgEtiqueta"));
        click("sbtVerificar");
        QCOMPARE(column(labels(), "NRSEQUETIQTR"), (QStringList{"0001", "0002", "0003", "0009"}));
        QCOMPARE(points()->recordCount(), 3);
    }

    void verifyWhenGetPadraoFails()
    {
        loadDay();
        points()->setRecNo(1);
        fx->stopServer();
        focus(grid("dbgPadrao"));
        click("sbtVerificar");
        QCOMPARE(fx->presenter().errors().size(), 1);
        QCOMPARE(points()->recordCount(), 3);
        QCOMPARE(points()->recNo(), 1);
        QCOMPARE(column(dishes(), "NRSERVTRAN"), QStringList{"0000000003"});
        QVERIFY(fx->presenter().busyBalanced());
        QCOMPARE(fx->presenter().busyDepth(), 0);
    }

    void verifyWhenGetServTranFails()
    {
        loadDay();
        // A new point whose dish row the server cannot send (a unit longer than its field).
        fx->addDish(QStringLiteral("0000789"), QStringLiteral("002"), QStringLiteral("0000000007"),
                    QStringLiteral("1010010003"), 12, 0);
        fx->exec(QStringLiteral("UPDATE SERVTRAN SET SGUNIDADE = ? WHERE NRSERVTRAN = '0000000007'"),
                 {QString(60, QLatin1Char('x'))});
        focus(grid("dbgPadrao"));
        click("sbtVerificar");
        QCOMPARE(fx->presenter().errors().size(), 1);
        QCOMPARE(points()->recordCount(), 4);   // the reloaded points
        dishes()->setFiltered(false);
        QCOMPARE(dishes()->recordCount(), 4);   // the previous dishes
        QVERIFY(fx->presenter().busyBalanced());
        QVERIFY(on("sbtIncluir"));
    }
};

QTEST_MAIN(TestServTranStates)
#include "tst_servtran_states.moc"
