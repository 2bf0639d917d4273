// The transported-services screen opens and loads a day: single instance and lifecycle, the
// header from the session, the header's checks, and the day's loading when the focus leaves it.

#include "screenfixture.h"

#include <framework/dateeditplus.h>
#include <framework/netconnection.h>
#include <framework/numberedit.h>

#include <toolkit/controls.h>
#include <toolkit/maskedit.h>

#include <QDialog>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTimer>

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
    QWidget *header() { return part(screen, "panFiltro"); }

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

    // The module's globals never point at a screen that is gone, however it went: here with
    // its MDI window, as when the host's main window goes without closing its children first.
    void theGlobalsNeverOutliveTheScreen()
    {
        auto *const *global = static_cast<QWidget *const *>(fx->module().symbol("frmServTran"));
        QCOMPARE(*global, screen);
        delete screen->parentWidget();
        QVERIFY(!fx->screenExists());
        QCOMPARE(*global, nullptr);
        screen = fx->openScreen();
        QVERIFY(screen);
        QCOMPARE(*global, screen);
        QCOMPARE(branch()->text(), QStringLiteral("0001"));
        fx->closeScreen();
        QVERIFY(!fx->screenExists());
        QCOMPARE(*global, nullptr);
        screen = nullptr;
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

    // The look-up buttons list what they look up, whatever the header holds: pressing one is no
    // leaving of the header, so none of its checks speaks.
    void lookupButtonsOpenWithTheFocusInTheHeader_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("typedService");
        QTest::addColumn<QString>("keyField");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("listed");
        QTest::addColumn<QString>("nameEdit");
        QTest::addColumn<QString>("name");
        QTest::newRow("service, empty") << "btpPesqServico" << "" << "CDSERVFILI" << "00002" << 2 << "edtNmServico"
                                        << "Jantar";
        QTest::newRow("branch, empty service") << "btnPesqFilial" << "" << "CDFILIAL" << "0002" << 3 << "edtNmFilial"
                                               << "Filial Norte";
        QTest::newRow("branch, service typed") << "btnPesqFilial" << "1" << "CDFILIAL" << "0001" << 3
                                               << "edtNmFilial" << "Cozinha Central";
    }

    void lookupButtonsOpenWithTheFocusInTheHeader()
    {
        QFETCH(QString, button);
        QFETCH(QString, typedService);
        QFETCH(QString, keyField);
        QFETCH(QString, chosen);
        QFETCH(int, listed);
        QFETCH(QString, nameEdit);
        QFETCH(QString, name);
        focus(service());
        type(service(), typedService);
        fx->presenter().clear();
        fx->presenter().queueLookup(framework::testing::LookupAnswer::where(keyField, chosen));
        auto *pressed = part(screen, button.toLatin1().constData());
        QTest::mouseClick(pressed, Qt::LeftButton, {}, pressed->rect().center());
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(fx->presenter().entries(Shown::Pick).size(), 1);
        QCOMPARE(fx->presenter().lastRowCount(), listed);
        QCOMPARE(edit(nameEdit.toLatin1().constData())->text(), name);
        QVERIFY(!dataSet(screen, "cdsPadrao")->active());   // the header was not left
        QVERIFY(header()->isAncestorOf(QApplication::focusWidget()));
    }

    // Only another control of the screen leaves the header: the window's frame, another window,
    // a dialog or minimizing the screen run none of its checks, and coming back runs nothing.
    void focusElsewhereThanTheScreenRunsNoHeaderCheck_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("title bar") << "title bar";
        QTest::newRow("a label of the header") << "label";
        QTest::newRow("minimized and restored") << "minimized";
        QTest::newRow("another window") << "window";
        QTest::newRow("a modal dialog") << "dialog";
    }

    void focusElsewhereThanTheScreenRunsNoHeaderCheck()
    {
        QFETCH(QString, where);
        focus(service());   // empty: leaving the header now would say "Serviço deve ser informado."
        fx->presenter().clear();
        auto *sub = qobject_cast<QMdiSubWindow *>(screen->parentWidget());
        QVERIFY(sub);
        if (where == QLatin1String("title bar")) {
            QTest::mouseClick(sub, Qt::LeftButton, {}, QPoint(sub->width() / 2, 8));
        } else if (where == QLatin1String("label")) {
            QTest::mouseClick(part(screen, "lblServico"), Qt::LeftButton);
        } else if (where == QLatin1String("minimized")) {
            sub->showMinimized();
            QApplication::processEvents();
            sub->showNormal();
        } else if (where == QLatin1String("window")) {
            QWidget other;
            other.setFocusPolicy(Qt::StrongFocus);
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            other.setFocus();
            QApplication::processEvents();
        } else {
            QDialog dialog(fx->mainWindow());
            auto *line = new QLineEdit(&dialog);
            QTimer::singleShot(0, &dialog, [&] {
                line->setFocus();
                QApplication::processEvents();
                dialog.accept();
            });
            dialog.exec();
        }
        QApplication::processEvents();
        QCOMPARE(fx->presenter().errors(), QStringList());
        focus(service());
        QCOMPARE(fx->presenter().errors(), QStringList());
        QVERIFY(!dataSet(screen, "cdsPadrao")->active());
        // Leaving for a control of the screen still checks the header.
        focus(grid("dbgPadrao"));
        QCOMPARE(fx->presenter().errors(), QStringList{"Serviço deve ser informado."});
        QCOMPARE(QApplication::focusWidget(), service());
    }

    // A typed date that is no date: the date edit says so, once, and keeps the focus; the
    // header's own checks do not run after it.
    void anInvalidDateEndsTheLoading()
    {
        focus(service());
        type(service(), QStringLiteral("1"));
        focus(date());
        date()->selectAll();
        type(date(), QStringLiteral("31022026"));
        fx->presenter().clear();
        QTest::keyClick(date(), Qt::Key_Tab);
        QApplication::processEvents();
        QCOMPARE(fx->presenter().errors(), QStringList{"Data inválida."});
        QCOMPARE(QApplication::focusWidget(), date());
        QVERIFY(!dataSet(screen, "cdsPadrao")->active());
        // Put right, the date lets the user out and the day loads.
        date()->selectAll();
        type(date(), QStringLiteral("08122026"));
        QTest::keyClick(date(), Qt::Key_Tab);
        QApplication::processEvents();
        QCOMPARE(fx->presenter().errors(), QStringList{"Data inválida."});
        QVERIFY(dataSet(screen, "cdsPadrao")->active());
    }

    // Names longer than their edit are read from their start.
    void nameEditsShowTheStartOfTheirText()
    {
        const QString longName = QStringLiteral("Cozinha Central da Zona Norte e Vizinhas");
        fx->exec(QStringLiteral("UPDATE FILIAL SET NMFILIAL = ? WHERE CDFILIAL = '0001'"), {longName});
        fx->exec(QStringLiteral("UPDATE SERVICO SET NMSERVICO = ? WHERE CDSERVFILI = '00001'"), {longName});
        screen->parentWidget()->resize(560, 480);   // a window made small, for the names not to fit
        QApplication::processEvents();
        focus(branch());
        branch()->setText(QStringLiteral("1"));
        focus(service());
        type(service(), QStringLiteral("1"));
        focus(date());
        for (const char *name : {"edtNmFilial", "edtNmServico"}) {
            QCOMPARE(edit(name)->text(), longName);
            QVERIFY2(edit(name)->fontMetrics().horizontalAdvance(longName) > edit(name)->width(), name);
            QCOMPARE(edit(name)->cursorPosition(), 0);
        }
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

    // A server that is down is said in words a kitchen user acts on, with no method name.
    void aServerThatIsDownIsSaidPlainly()
    {
        fx->stopServer();
        loadDay();
        QCOMPARE(fx->presenter().errors(),
                 QStringList{QStringLiteral("O servidor de aplicação (127.0.0.1:%1) não está respondendo.\n\n"
                                            "Verifique se ele está ligado e se a rede está funcionando, e tente de "
                                            "novo. Se continuar, chame o responsável pelo sistema.")
                                 .arg(fx->port())});
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
