// Delivery points as a user enters them: the client and point columns with their checks and
// look-ups, duplicates, a new point handing over to its first dish and reaching the server with
// it, and a change of billing diners pushed into the point's dish rows on the server.

#include "screenfixture.h"

#include <toolkit/maskedit.h>

#include <QLineEdit>
#include <QSqlQuery>

using namespace screentest;
using framework::testing::LookupAnswer;
using framework::testing::Shown;
using toolkit::ClientDataSet;
using toolkit::DataSetState;
using toolkit::DBGrid;

namespace {
enum { ColClient = 0, ColPoint = 1, ColEstimated = 2, ColBilling = 3 };
} // namespace

class TestServTranPoints : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    QWidget *screen = nullptr;

    DBGrid *grid(const char *name) { return part<DBGrid>(screen, name); }
    ClientDataSet *points() { return dataSet(screen, "cdsPadrao"); }
    ClientDataSet *dishes() { return dataSet(screen, "cdsServTran"); }
    QString point(const char *field) { return points()->fieldByName(QString::fromLatin1(field))->asString(); }
    void click(const char *button) { QTest::mouseClick(part(screen, button), Qt::LeftButton); }

    void loadDay()
    {
        focus(part(screen, "medCdServico"));
        part<toolkit::MaskEdit>(screen, "medCdServico")->setText(QStringLiteral("00001"));
        focus(grid("dbgPadrao"));
        QVERIFY(points()->active());
    }
    // Include on the point grid, then the client, the point and the estimated diners.
    void newPoint(const QString &client, const QString &pointCode, const QString &estimated)
    {
        focus(grid("dbgPadrao"));
        click("sbtIncluir");
        QCOMPARE(points()->state(), DataSetState::Insert);
        typeInCell(grid("dbgPadrao"), ColClient, client);
        typeInCell(grid("dbgPadrao"), ColPoint, pointCode);
        typeInCell(grid("dbgPadrao"), ColEstimated, estimated, false);
    }
    // Billing diners typed into the current point and confirmed.
    void changeBilling(const QString &typed)
    {
        focus(grid("dbgPadrao"));
        grid("dbgPadrao")->setSelectedIndex(ColBilling);
        type(grid("dbgPadrao"), typed);
        click("sbtConfirmar");
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }
    void init()
    {
        fx = std::make_unique<ScreenFixture>();
        screen = fx->openScreen();
        QVERIFY(screen);
        loadDay();
    }
    void cleanup()
    {
        fx.reset();
        screen = nullptr;
    }

    // A new point is posted without a dish: no message, its first dish begins, and it reaches
    // the server with that dish; the day is then read again with the point in it.
    void aNewPointReachesTheServerWithItsFirstDish()
    {
        newPoint(QStringLiteral("44555666000107"), QStringLiteral("2"), QStringLiteral("50"));
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(point("NMRAZSOCCLIE"), QStringLiteral("O'Hara Metalúrgica S.A."));
        QCOMPARE(point("CDCLIENTE"), QStringLiteral("0000789"));
        QCOMPARE(point("IDTPIJURCLIE"), QStringLiteral("J"));
        QCOMPARE(point("CDDESTFILI"), QStringLiteral("002"));
        QCOMPARE(point("NMDESTFILI"), QStringLiteral("Refeitório A"));

        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(points()->state(), DataSetState::Insert);   // pending until its dish is saved
        QCOMPARE(dishes()->state(), DataSetState::Insert);
        QVERIFY(grid("dbgServTran")->isEnabled());
        QVERIFY(part(screen, "dbeQtPadrao")->isEnabled() && part(screen, "dbeQtContainer")->isEnabled());
        QCOMPARE(grid("dbgServTran")->selectedField()->fieldName(), QStringLiteral("CDPRATO"));
        QVERIFY(grid("dbgServTran")->hasFocus() || grid("dbgServTran")->isAncestorOf(QApplication::focusWidget()));

        typeInCell(grid("dbgServTran"), 0, QStringLiteral("1010010003"));
        typeInCell(grid("dbgServTran"), 1, QStringLiteral("40"));
        for (const char *name : {"dbeQtPadrao", "dbeQtContainer"}) {
            focus(part(screen, name));
            type(part(screen, name), QStringLiteral("1"));
        }
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(points()->state(), DataSetState::Browse);
        QCOMPARE(points()->recordCount(), 4);
        QVERIFY(points()->locate(QStringLiteral("CDCLIENTE;CDDESTFILI"), {QStringLiteral("0000789"), QStringLiteral("002")}));
        QCOMPARE(points()->fieldByName(QStringLiteral("QTCOMECLIST"))->asFloat(), 50.0);
        QCOMPARE(fx->stored(QStringLiteral("0000000005"), QStringLiteral("CDCLIENTE")).toString(), QStringLiteral("0000789"));
        QCOMPARE(fx->stored(QStringLiteral("0000000005"), QStringLiteral("QTCOMECLIST")).toDouble(), 50.0);
        QCOMPARE(column(dishes(), "NRSERVTRAN"), QStringList{"0000000005"});
    }

    // Giving up a new point's first dish drops the point and reads the day again; the keys
    // then go on working from the delivery-point grid, whether the dish was given up with Esc
    // or with Cancel.
    void givingUpTheFirstDishLeavesTheFocusOnThePoints_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Esc") << int(Qt::Key_Escape);
        QTest::newRow("F9") << int(Qt::Key_F9);
    }

    void givingUpTheFirstDishLeavesTheFocusOnThePoints()
    {
        QFETCH(int, key);
        newPoint(QStringLiteral("44555666000107"), QStringLiteral("2"), QStringLiteral("50"));
        click("sbtConfirmar");
        QCOMPARE(dishes()->state(), DataSetState::Insert);
        fx->presenter().queueConfirm(framework::mrYes);   // Cancel asks first
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QApplication::processEvents();
        QCOMPARE(points()->state(), DataSetState::Browse);
        QCOMPARE(points()->recordCount(), 3);
        QWidget *focused = QApplication::focusWidget();
        QVERIFY2(focused == grid("dbgPadrao"), qPrintable(focused ? focused->objectName() : QStringLiteral("nothing")));
        // F2 includes the next point at once, without a click first.
        QTest::keyClick(focused, Qt::Key_F2);
        QCOMPARE(points()->state(), DataSetState::Insert);
    }

    // The checks of a new row, on leaving its columns and on posting it, with their focus.
    void aNewPointsChecks_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("pointCode");
        QTest::addColumn<QString>("estimated");
        QTest::addColumn<QStringList>("onLeaving");
        QTest::addColumn<QString>("onPosting");
        QTest::addColumn<int>("focusColumn");
        QTest::newRow("no client") << "" << "2" << "10" << QStringList() << "Cliente deve ser informado." << int(ColClient);
        QTest::newRow("unknown client") << "99999999999" << "" << "" << QStringList{"Cliente não cadastrado."}
                                        << "Cliente não cadastrado." << int(ColClient);
        QTest::newRow("no point") << "12345678909" << "" << "10" << QStringList() << "Ponto de entrega deve ser informado."
                                  << int(ColPoint);
        QTest::newRow("unknown point") << "12345678909" << "9" << "" << QStringList{"Ponto de entrega não cadastrado."}
                                       << "Ponto de entrega não cadastrado." << int(ColPoint);
        QTest::newRow("no estimated diners") << "12345678909" << "2" << "" << QStringList()
                                             << "Comensais estimados deve ser informado." << int(ColEstimated);
        QTest::newRow("estimated diners 0") << "12345678909" << "2" << "0" << QStringList()
                                            << "Comensais estimados deve ser maior que zero." << int(ColEstimated);
        QTest::newRow("client and point already listed") << "11222333000181" << "1" << "10" << QStringList()
                                                         << "Serviço transportado já cadastrado. " << int(ColClient);
    }

    void aNewPointsChecks()
    {
        QFETCH(QString, client);
        QFETCH(QString, pointCode);
        QFETCH(QString, estimated);
        QFETCH(QStringList, onLeaving);
        QFETCH(QString, onPosting);
        QFETCH(int, focusColumn);
        focus(grid("dbgPadrao"));
        click("sbtIncluir");
        // A refusal on leaving a column keeps the user there: nothing further is typed then.
        typeInCell(grid("dbgPadrao"), ColClient, client);
        if (fx->presenter().errors().isEmpty())
            typeInCell(grid("dbgPadrao"), ColPoint, pointCode);
        if (fx->presenter().errors().isEmpty())
            typeInCell(grid("dbgPadrao"), ColEstimated, estimated, false);
        QCOMPARE(fx->presenter().errors(), onLeaving);
        fx->presenter().clear();
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList{onPosting});
        QCOMPARE(points()->state(), DataSetState::Insert);
        QCOMPARE(dishes()->state(), DataSetState::Browse);
        QCOMPARE(grid("dbgPadrao")->selectedIndex(), focusColumn);
        QVERIFY(fx->presenter().busyBalanced());
    }

    // The same point for another client is no duplicate: it goes on to its first dish.
    void theSamePointForAnotherClientIsAccepted()
    {
        newPoint(QStringLiteral("123.456.789-09"), QStringLiteral("001"), QStringLiteral("10"));
        QCOMPARE(point("NRINSJURCLIE"), QStringLiteral("12345678909"));   // kept as digits
        QCOMPARE(point("IDTPIJURCLIE"), QStringLiteral("F"));
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(dishes()->state(), DataSetState::Insert);
    }

    // The look-ups: given up they change nothing; a choice fills the row.
    void theLookups()
    {
        focus(grid("dbgPadrao"));
        click("sbtIncluir");
        grid("dbgPadrao")->setSelectedIndex(ColClient);
        fx->presenter().queueLookup(LookupAnswer::cancel());
        grid("dbgPadrao")->onEditButtonClick(grid("dbgPadrao"));
        QCOMPARE(point("CDCLIENTE"), QString());
        QCOMPARE(fx->presenter().texts(Shown::Pick), QStringList{"Cliente"});
        QCOMPARE(fx->presenter().lastRowCount(), 3);
        // Registration numbers listed formatted by person type.
        auto *clients = part<ClientDataSet>(screen, "qryCliente");
        fx->presenter().queueLookup(LookupAnswer::where(QStringLiteral("CDCLIENTE"), QStringLiteral("0000456")));
        fx->presenter().onShown = [&](const Shown &) {
            QVERIFY(clients->locate(QStringLiteral("CDCLIENTE"), {QStringLiteral("0000456")}));
            QCOMPARE(clients->fieldByName(QStringLiteral("NRINSJURCLIE"))->displayText(), QStringLiteral("123.456.789-09"));
            QVERIFY(clients->locate(QStringLiteral("CDCLIENTE"), {QStringLiteral("0000123")}));
            QCOMPARE(clients->fieldByName(QStringLiteral("NRINSJURCLIE"))->displayText(), QStringLiteral("11.222.333/0001-81"));
        };
        grid("dbgPadrao")->onEditButtonClick(grid("dbgPadrao"));
        fx->presenter().onShown = nullptr;
        QCOMPARE(point("CDCLIENTE"), QStringLiteral("0000456"));
        QCOMPARE(point("NMRAZSOCCLIE"), QStringLiteral("Beto Souza"));

        grid("dbgPadrao")->setSelectedIndex(ColPoint);
        fx->presenter().queueLookup(LookupAnswer::cancel());
        grid("dbgPadrao")->onEditButtonClick(grid("dbgPadrao"));
        QCOMPARE(point("CDDESTFILI"), QString());
        fx->presenter().queueLookup(LookupAnswer::where(QStringLiteral("CDDESTFILI"), QStringLiteral("002")));
        grid("dbgPadrao")->onEditButtonClick(grid("dbgPadrao"));
        QCOMPARE(point("CDDESTFILI"), QStringLiteral("002"));
        QCOMPARE(point("NMDESTFILI"), QStringLiteral("Refeitório A"));
        QCOMPARE(fx->presenter().texts(Shown::Pick).last(), QStringLiteral("Ponto de Entrega"));
        QVERIFY(fx->presenter().busyBalanced());
    }

    // Billing diners pushed into the point's dish: 100 estimated, a dish of 50; billing empty
    // to 80, to 120, to 0 gives 40, 60 and 50 diners, as the server stores them.
    void billingDinersRescaleThePointsDishes()
    {
        fx->exec(QStringLiteral("UPDATE SERVTRAN SET QTCOMECLIST = 100, QTCOMESTIST = 50 WHERE NRSERVTRAN = '0000000004'"));
        loadDay();
        const auto beto = [this] {
            QVERIFY(points()->locate(QStringLiteral("CDCLIENTE"), {QStringLiteral("0000456")}));
        };
        const QList<std::pair<QString, double>> steps = {{QStringLiteral("80"), 40.0}, {QStringLiteral("120"), 60.0},
                                                         {QStringLiteral("0"), 50.0}};
        for (const auto &[billing, diners] : steps) {
            beto();
            changeBilling(billing);
            QCOMPARE(fx->presenter().errors(), QStringList());
            QCOMPARE(points()->state(), DataSetState::Browse);
            QCOMPARE(fx->stored(QStringLiteral("0000000004"), QStringLiteral("QTCOMESTIST")).toDouble(), diners);
            QCOMPARE(fx->stored(QStringLiteral("0000000004"), QStringLiteral("QTEFETCLIST")).toDouble(), billing.toDouble());
            QCOMPARE(points()->recNo(), 0);   // the day read again, from the point grid
        }
        // The other points' rows are untouched.
        QCOMPARE(fx->stored(QStringLiteral("0000000001"), QStringLiteral("QTCOMESTIST")).toDouble(), 70.0);
    }

    // No estimated diners to divide by: the billing count still reaches the dish, whose diners
    // stay as they are, never infinite.
    void aZeroDivisorNeverDivides()
    {
        fx->exec(QStringLiteral("UPDATE SERVTRAN SET QTCOMECLIST = 0 WHERE NRSERVTRAN = '0000000004'"));
        loadDay();
        QVERIFY(points()->locate(QStringLiteral("CDCLIENTE"), {QStringLiteral("0000456")}));
        changeBilling(QStringLiteral("30"));
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(fx->stored(QStringLiteral("0000000004"), QStringLiteral("QTEFETCLIST")).toDouble(), 30.0);
        QCOMPARE(fx->stored(QStringLiteral("0000000004"), QStringLiteral("QTCOMESTIST")).toDouble(), 20.0);
    }

    // One dish row refused in the middle: its message, the loop stops, no row is left edited, and
    // the day is read again so the screen shows what the server holds.
    void aRefusalInTheMiddleStopsAndReloads()
    {
        fx->exec(QStringLiteral("CREATE TRIGGER refuse_second BEFORE UPDATE ON SERVTRAN WHEN OLD.NRSERVTRAN = '0000000002' "
                                "BEGIN SELECT RAISE(ABORT, 'linha recusada'); END"));
        QCOMPARE(point("CDDESTFILI"), QStringLiteral("001"));   // Alfa's first point: rows 1 and 2, 70 estimated
        changeBilling(QStringLiteral("35"));
        QCOMPARE(fx->presenter().errors().size(), 1);
        QCOMPARE(fx->stored(QStringLiteral("0000000001"), QStringLiteral("QTCOMESTIST")).toDouble(), 35.0);
        QCOMPARE(fx->stored(QStringLiteral("0000000002"), QStringLiteral("QTCOMESTIST")).toDouble(), 70.0);
        QCOMPARE(points()->state(), DataSetState::Browse);
        QCOMPARE(dishes()->state(), DataSetState::Browse);
        QCOMPARE(dishes()->changeCount(), 0);
        // Read again: the point shows the billing its first row now carries on the server.
        QCOMPARE(points()->fieldByName(QStringLiteral("QTEFETCLIST"))->asFloat(), 35.0);
        QVERIFY(fx->presenter().busyBalanced());
    }
};

QTEST_MAIN(TestServTranPoints)
#include "tst_servtran_points.moc"
