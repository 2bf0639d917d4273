// The transported-services screen opens and loads a day: single instance and lifecycle, the
// header from the session, the header's checks, and the day's loading when the focus leaves it.

#include "screenfixture.h"

#include <framework/dateeditplus.h>
#include <framework/netconnection.h>
#include <framework/numberedit.h>

#include <toolkit/controls.h>
#include <toolkit/maskedit.h>

#include <QLineEdit>
#include <QSignalSpy>

using namespace screentest;
using framework::testing::Shown;
using toolkit::ClientDataSet;
using toolkit::DataSetState;
using toolkit::MaskEdit;

class TestServTranLoad : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    QWidget *screen = nullptr;

    MaskEdit *branch() { return part<MaskEdit>(screen, "medCdFilial"); }
    MaskEdit *service() { return part<MaskEdit>(screen, "medCdServico"); }
    framework::TDateEditPlus *date() { return part<framework::TDateEditPlus>(screen, "depDataCard"); }
    QLineEdit *edit(const char *name) { return part<QLineEdit>(screen, name); }
    toolkit::DBGrid *grid(const char *name) { return part<toolkit::DBGrid>(screen, name); }

    // Fills the header and moves the focus out of it, as a user tabbing into the grid.
    void loadDay(const QString &serviceCode = QStringLiteral("00001"), QDate day = seededDay())
    {
        focus(service());
        service()->setText(serviceCode);
        focus(date());
        date()->SetDate(day);
        focus(grid("dbgPadrao"));
    }

private slots:
    void init()
    {
        fx = std::make_unique<ScreenFixture>();
        screen = fx->openScreen();
        QVERIFY(screen);
    }
    void cleanup()
    {
        fx.reset();
        screen = nullptr;
    }

    void oneScreenForTwoCallsAndAFreshOneAfterClose()
    {
        QVERIFY(fx->screenExists());
        focus(branch());
        branch()->setText(QStringLiteral("0002"));   // the user's own typing
        QCOMPARE(fx->openScreen(), screen);
        QCOMPARE(fx->mainWindow()->findChildren<QWidget *>(QStringLiteral("frmServTran")).size(), 1);
        QCOMPARE(branch()->text(), QStringLiteral("0002"));   // neither creation nor first activation again

        fx->closeScreen();
        QVERIFY(!fx->screenExists());
        QWidget *fresh = fx->openScreen();
        QVERIFY(fresh);
        screen = fresh;
        QCOMPARE(branch()->text(), QStringLiteral("0001"));
        QCOMPARE(edit("edtNmFilial")->text(), QStringLiteral("Cozinha Central"));
        QCOMPARE(date()->GetDate(), seededDay());
        QVERIFY(!dataSet(screen, "cdsPadrao")->active());
        QVERIFY(part<framework::TNetConnection>(screen, "netServTran")->Connected());
    }

    void headerComesFromTheSession()
    {
        QCOMPARE(branch()->text(), QStringLiteral("0001"));
        QCOMPARE(edit("edtNmFilial")->text(), QStringLiteral("Cozinha Central"));
        QCOMPARE(date()->GetDate(), seededDay());
        QCOMPARE(edit("edtNomeDia")->text(), QStringLiteral("Terça"));
        QVERIFY(part<framework::TNetConnection>(screen, "netServTran")->Connected());
        QCOMPARE(part<framework::TNetConnection>(screen, "netServTran")->port(), int(fx->port()));
        for (const char *name : {"lblFilial", "medCdFilial", "btnPesqFilial"}) {
            QVERIFY2(part(screen, name)->isEnabled(), name);
            QCOMPARE(toolkit::tag(part(screen, name)), 0);
        }
        QVERIFY(!dataSet(screen, "cdsPadrao")->active());
        QVERIFY(fx->presenter().busyBalanced());
    }

    void boundSessionFixesTheBranch()
    {
        fx->closeScreen();
        fx->session().branch = QStringLiteral("0002");
        fx->session().branchName = QStringLiteral("Filial Norte");
        fx->session().boundBranch = true;
        fx->session().branchDates.insert(QStringLiteral("0002"), QDate(2026, 12, 10));
        fx->applySession();
        screen = fx->openScreen();
        QCOMPARE(branch()->text(), QStringLiteral("0002"));
        QCOMPARE(date()->GetDate(), QDate(2026, 12, 10));
        for (const char *name : {"lblFilial", "medCdFilial", "btnPesqFilial"}) {
            QVERIFY2(!part(screen, name)->isEnabled(), name);
            QCOMPARE(toolkit::tag(part(screen, name)), 99);
        }
        // Entering and leaving the header keeps them fixed, and the branch is not checked again.
        loadDay(QStringLiteral("00009"));
        QVERIFY(dataSet(screen, "cdsPadrao")->active());
        QVERIFY(!branch()->isEnabled());
        focus(service());
        QVERIFY(!branch()->isEnabled());
        QVERIFY(fx->presenter().errors().isEmpty());
    }

    void changedBranchClearsServiceAndNames()
    {
        focus(service());
        service()->setText(QStringLiteral("00001"));
        focus(date());   // leaving the service looks its name up
        QCOMPARE(edit("edtNmServico")->text(), QStringLiteral("Almoço"));
        focus(branch());
        QTest::keyClick(branch(), Qt::Key_Backspace);
        QCOMPARE(service()->text(), QString());
        QCOMPARE(edit("edtNmServico")->text(), QString());
        QCOMPARE(edit("edtNmFilial")->text(), QString());
    }

    void codesAreNormalizedWhenLeft()
    {
        focus(branch());
        branch()->setText(QStringLiteral("2"));
        focus(service());
        QCOMPARE(branch()->text(), QStringLiteral("0002"));
        QCOMPARE(edit("edtNmFilial")->text(), QStringLiteral("Filial Norte"));
        service()->setText(QStringLiteral("9"));
        focus(date());
        QCOMPARE(service()->text(), QStringLiteral("00009"));
        QCOMPARE(edit("edtNmServico")->text(), QStringLiteral("Ceia Norte"));
        QVERIFY(fx->presenter().errors().isEmpty());
    }

    void serviceCheckOnLeavingTheEdit_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("transported") << "1" << "";
        QTest::newRow("type A") << "00003" << "Serviço não cadastrado.";
        QTest::newRow("not transported") << "4" << "Serviço não cadastrado.";
        QTest::newRow("another branch's") << "00009" << "Serviço não cadastrado.";
        QTest::newRow("quote in the code") << "0'1" << "Serviço não cadastrado.";
        QTest::newRow("empty is accepted") << "" << "";
    }

    void serviceCheckOnLeavingTheEdit()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        focus(service());
        service()->setText(typed);
        focus(date());
        QCOMPARE(fx->presenter().errors(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty()) {
            QCOMPARE(QApplication::focusWidget(), service());
            QCOMPARE(edit("edtNmServico")->text(), QString());
        }
    }

    void headerChecksWhenLeavingIt_data()
    {
        QTest::addColumn<QString>("branchCode");
        QTest::addColumn<QString>("serviceCode");
        QTest::addColumn<bool>("withDate");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focusName");
        QTest::newRow("unknown branch first") << "9999" << "" << false << "Filial não cadastrada." << "medCdFilial";
        QTest::newRow("rescinded branch") << "0003" << "00001" << true << "Filial com contrato rescindido." << "medCdFilial";
        QTest::newRow("no service") << "0001" << "" << false << "Serviço deve ser informado." << "medCdServico";
        QTest::newRow("no date") << "0001" << "00001" << false << "Data deve ser informada." << "depDataCard";
    }

    void headerChecksWhenLeavingIt()
    {
        QFETCH(QString, branchCode);
        QFETCH(QString, serviceCode);
        QFETCH(bool, withDate);
        QFETCH(QString, message);
        QFETCH(QString, focusName);
        // Typed straight into the edits, so that only the check on leaving the header speaks.
        branch()->setText(branchCode);
        service()->setText(serviceCode);
        if (!withDate)
            date()->SetDate(QDate());
        focus(date());
        fx->presenter().clear();
        focus(grid("dbgPadrao"));
        QVERIFY(fx->presenter().errors().contains(message));
        QCOMPARE(fx->presenter().errors().last(), message);
        QCOMPARE(QApplication::focusWidget()->objectName(), focusName);
        QVERIFY(!dataSet(screen, "cdsPadrao")->active());
        QVERIFY(fx->presenter().busyBalanced());
    }

    void leavingTheHeaderLoadsTheDay()
    {
        loadDay();
        QVERIFY(fx->presenter().errors().isEmpty());
        ClientDataSet *points = dataSet(screen, "cdsPadrao");
        ClientDataSet *dishes = dataSet(screen, "cdsServTran");
        ClientDataSet *labels = dataSet(screen, "cdsEtiqueta");
        QCOMPARE(points->state(), DataSetState::Browse);
        QCOMPARE(column(points, "NMRAZSOCCLIE"),
                 (QStringList{"Alfa Indústria Ltda", "Alfa Indústria Ltda", "Beto Souza"}));
        QCOMPARE(points->recNo(), 0);
        // The dish grid shows the first point's dishes, the label grid the current dish's labels.
        QCOMPARE(column(dishes, "NRSERVTRAN"), (QStringList{"0000000001", "0000000002"}));
        QCOMPARE(dishes->fieldByName("NRSERVTRAN")->asString(), QStringLiteral("0000000001"));
        QCOMPARE(column(labels, "NRSEQUETIQTR"), (QStringList{"0001", "0002", "0003"}));
        QCOMPARE(part<framework::TNumberEdit>(screen, "nedComenServ")->text(), QStringLiteral("400"));
        QCOMPARE(grid("dbgServTran")->model()->rowCount(), 2);
        QCOMPARE(grid("dbgEtiqueta")->model()->rowCount(), 3);

        // Both grids follow as the user moves.
        dishes->next();
        QCOMPARE(column(labels, "NRSEQUETIQTR"), (QStringList{"0001", "0002"}));
        points->setRecNo(2);
        QCOMPARE(column(dishes, "NRSERVTRAN"), QStringList{"0000000004"});
        QCOMPARE(column(labels, "NRSERVTRAN"), QStringList{"0000000004"});
        QVERIFY(fx->presenter().busyBalanced());
        QCOMPARE(fx->presenter().entries(Shown::BusyShow).first().busyKind, 0);   // connecting
        QCOMPARE(fx->presenter().entries(Shown::BusyShow).last().busyKind, 6);    // reading the day
    }

    void enteringTheHeaderClosesAndLeavingReloads()
    {
        loadDay();
        focus(service());
        QVERIFY(!dataSet(screen, "cdsPadrao")->active());
        QVERIFY(!dataSet(screen, "cdsServTran")->active());
        QVERIFY(!dataSet(screen, "cdsEtiqueta")->active());
        QCOMPARE(part<framework::TNumberEdit>(screen, "nedComenServ")->text(), QString());
        QVERIFY(!part(screen, "sbtIncluir")->isEnabled());

        // Nothing changed in the header, but the server holds a new dish: leaving reloads it.
        fx->addDish(QStringLiteral("0000123"), QStringLiteral("001"), QStringLiteral("0000000005"),
                    QStringLiteral("1010010003"), 10, 1);
        focus(grid("dbgPadrao"));
        QCOMPARE(column(dataSet(screen, "cdsServTran"), "NRSERVTRAN"),
                 (QStringList{"0000000001", "0000000002", "0000000005"}));
    }

    void anEmptyDay()
    {
        loadDay(QStringLiteral("00002"));
        QVERIFY(fx->presenter().errors().isEmpty());
        QVERIFY(dataSet(screen, "cdsPadrao")->active());
        QVERIFY(dataSet(screen, "cdsPadrao")->isEmpty());
        QVERIFY(dataSet(screen, "cdsServTran")->isEmpty());
        QCOMPARE(dataSet(screen, "cdsServTran")->filter(), QStringLiteral("CDCLIENTE  = '' AND CDDESTFILI = ''"));
        QCOMPARE(grid("dbgServTran")->model()->rowCount(), 0);
        QCOMPARE(part<framework::TNumberEdit>(screen, "nedComenServ")->text(), QStringLiteral("0"));
        QVERIFY(!part(screen, "dbgServTran")->isEnabled());
    }

    void filtersQuoteValuesThatHoldQuotes()
    {
        fx->addDish(QStringLiteral("0000789"), QStringLiteral("001"), QStringLiteral("0000000006"),
                    QStringLiteral("1010010001"), 15, 1);
        fx->exec(QStringLiteral("UPDATE CLIENTE SET CDCLIENTE = 'O''7' WHERE CDCLIENTE = '0000789'"));
        fx->exec(QStringLiteral("UPDATE SERVTRAN SET CDCLIENTE = 'O''7' WHERE CDCLIENTE = '0000789'"));
        loadDay();
        ClientDataSet *points = dataSet(screen, "cdsPadrao");
        QVERIFY(points->locate(QStringLiteral("CDCLIENTE"), {QStringLiteral("O'7")}));
        QCOMPARE(column(dataSet(screen, "cdsServTran"), "NRSERVTRAN"), QStringList{"0000000006"});
        QVERIFY(fx->presenter().errors().isEmpty());
    }

    void aRestartedServerIsReachedAgain()
    {
        fx->restartServer();   // the screen's connection is broken now
        loadDay();
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(dataSet(screen, "cdsPadrao")->recordCount(), 3);
    }

    void aFailingServerLeavesTheDatasetsAsTheyWere()
    {
        fx->stopServer();
        loadDay();
        QCOMPARE(fx->presenter().errors().size(), 1);
        QVERIFY(!dataSet(screen, "cdsPadrao")->active());
        QVERIFY(!dataSet(screen, "cdsServTran")->active());
        QVERIFY(fx->presenter().busyBalanced());
        QCOMPARE(fx->presenter().busyDepth(), 0);
    }
};

QTEST_MAIN(TestServTranLoad)
#include "tst_servtran_load.moc"
