// The multi-service calculation dialog, driven while it is open (it is modal): its opening,
// the service choice, its checks, and the calculation on the server.

#include "screenfixture.h"

#include <framework/btnpesquisa.h>
#include <framework/consiste.h>
#include <framework/dateeditplus.h>

#include <toolkit/clientdataset.h>
#include <toolkit/maskedit.h>

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTimer>

using namespace screentest;
using framework::testing::LookupAnswer;

class TestCalcMultiServ : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;

    // Opens the dialog with the entry's arguments, runs `user` while it is open, and closes it
    // with `result` (whatever `user` did). Answers what the entry answered.
    bool withDialog(const QString &service, const QDateTime &date, const std::function<void(QDialog *)> &user,
                    int result = QDialog::Rejected)
    {
        QTimer::singleShot(0, [&] {
            QPointer<QDialog> dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog) {
                QTest::qFail("the dialog is not open", __FILE__, __LINE__);
                return;
            }
            // The window system may say "active" before the application has heard of it.
            dialog->activateWindow();
            if (!QTest::qWaitFor([&] { return QApplication::activeWindow() == dialog; }))
                QTest::qFail("the dialog never became active", __FILE__, __LINE__);
            user(dialog);
            if (dialog)
                dialog->done(result);
        });
        return fx->criaCalcMultiServ(QStringLiteral("0001"), service, date);
    }

    static void confirm(QDialog *d) { part(d, "sbtConfirma")->setFocus(), QTest::mouseClick(part(d, "sbtConfirma"), Qt::LeftButton); }

    double total(const QString &service, QDate day, const QString &number)
    {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("dtmDBGeral")));
        q.prepare(QStringLiteral("SELECT QTTOTAPRATST FROM SERVTRAN WHERE CDSERVFILI = ? AND DTSERVTRAN = ? AND NRSERVTRAN = ?"));
        q.addBindValue(service);
        q.addBindValue(day.toString(Qt::ISODate));
        q.addBindValue(number);
        if (!q.exec() || !q.next())
            return -1;
        return q.value(0).toDouble();
    }
    int labels(const QString &service, QDate day, const QString &number)
    {
        return fx->count(QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE CDSERVFILI = ? AND DTSERVTRAN = ? AND NRSERVTRAN = ?"),
                         {service, day.toString(Qt::ISODate), number});
    }
    // Rows whose stored figures are stale: a calculation must put them right.
    void staleRow(const QString &service, QDate day, const QString &number)
    {
        fx->addDish(QStringLiteral("0000123"), QStringLiteral("001"), number, QStringLiteral("1010010001"), 70, 1, day, service);
        fx->exec(QStringLiteral("UPDATE SERVTRAN SET QTTOTAPRATST = 999 WHERE CDSERVFILI = ? AND DTSERVTRAN = ? AND NRSERVTRAN = ?"),
                 {service, day.toString(Qt::ISODate), number});
    }

private slots:
    void init() { fx = std::make_unique<ScreenFixture>(); }
    void cleanup() { fx.reset(); }

    void opensWithoutAService()
    {
        const bool ok = withDialog(QString(), protocol::wallClock(QDate(2026, 12, 9)), [](QDialog *d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Calcular Serviços Transportados"));
            QCOMPARE(part<toolkit::MaskEdit>(d, "medCdFilial")->text(), QStringLiteral("0001"));
            QVERIFY(!part(d, "medCdFilial")->isEnabled());
            QCOMPARE(part<QLineEdit>(d, "edtNmFilial")->text(), QStringLiteral("Cozinha Central"));
            QVERIFY(part<QRadioButton>(d, "rbtTodosServico")->isChecked());
            QVERIFY(!part(d, "btnPesqServico")->isEnabled());
            QCOMPARE(part<framework::TDateEditPlus>(d, "depDataCard")->GetDate(), QDate(2026, 12, 9));
            QCOMPARE(part<QLineEdit>(d, "edtNomeDia")->text(), QStringLiteral("Quarta"));
        });
        QVERIFY(!ok);
        QTRY_VERIFY(!fx->mainWindow()->findChild<QDialog *>(QStringLiteral("frmCalcMultiServ")));
    }

    void opensWithAServiceChosen()
    {
        withDialog(QStringLiteral("00002"), protocol::wallClock(seededDay()), [this](QDialog *d) {
            QVERIFY(part<QRadioButton>(d, "rbtListaServico")->isChecked());
            QVERIFY(part(d, "btnPesqServico")->isEnabled());
            // The lookup opens with exactly that service ticked.
            fx->presenter().queueLookup(LookupAnswer::cancel());
            QTest::mouseClick(part(d, "btnPesqServico"), Qt::LeftButton);
            QCOMPARE(fx->presenter().lastSelected(), QStringList{"000100002"});
            QCOMPARE(fx->presenter().lastRowCount(), 2);   // the transported services of the branch
        });
    }

    void aDateOfZeroKeepsTheEditsOwn_data()
    {
        QTest::addColumn<QDateTime>("date");
        QTest::newRow("null") << QDateTime();
        QTest::newRow("zero") << protocol::wallClock(QDate(1899, 12, 30));
    }

    void aDateOfZeroKeepsTheEditsOwn()
    {
        QFETCH(QDateTime, date);
        withDialog(QString(), date, [](QDialog *d) {
            auto *edit = part<framework::TDateEditPlus>(d, "depDataCard");
            // The edit's own initial value is no date, and so no weekday.
            QVERIFY(!edit->hasDate());
            QCOMPARE(part<QLineEdit>(d, "edtNomeDia")->text(), QString());
        });
    }

    void switchingTodosAndListaKeepsTheList()
    {
        withDialog(QStringLiteral("00001"), protocol::wallClock(seededDay()), [this](QDialog *d) {
            auto *todos = part<QRadioButton>(d, "rbtTodosServico");
            auto *lista = part<QRadioButton>(d, "rbtListaServico");
            QTest::mouseClick(todos, Qt::LeftButton);
            QVERIFY(todos->isChecked());
            QVERIFY(!part(d, "btnPesqServico")->isEnabled());
            QTest::mouseClick(lista, Qt::LeftButton);
            QVERIFY(part(d, "btnPesqServico")->isEnabled());
            fx->presenter().queueLookup(LookupAnswer::cancel());
            QTest::mouseClick(part(d, "btnPesqServico"), Qt::LeftButton);
            QCOMPARE(fx->presenter().lastSelected(), QStringList{"000100001"});
        });
    }

    // A branch without transported services: the look-up says so in its own words.
    void anEmptyServiceListSaysSo()
    {
        fx->exec(QStringLiteral("UPDATE SERVICO SET IDSERVTRAN = 'N' WHERE CDFILIAL = '0001'"));
        withDialog(QStringLiteral("00001"), protocol::wallClock(seededDay()), [this](QDialog *d) {
            QTest::mouseClick(part(d, "rbtListaServico"), Qt::LeftButton);
            QTest::mouseClick(part(d, "btnPesqServico"), Qt::LeftButton);
            QCOMPARE(fx->presenter().errors(), QStringList{"Não há serviço cadastrado"});
            QVERIFY(fx->presenter().informations().isEmpty());
        });
    }

    void checksComeInOrderWithTheirFocus()
    {
        withDialog(QString(), QDateTime(), [this](QDialog *d) {
            part<framework::TDateEditPlus>(d, "depDataCard")->SetDate(QDate());
            QTest::mouseClick(part(d, "rbtListaServico"), Qt::LeftButton);
            confirm(d);
            QCOMPARE(fx->presenter().errors(), QStringList{"Serviço deve ser informado"});
            QCOMPARE(QApplication::focusWidget(), part(d, "rbtListaServico"));
            // With a service chosen, the date is next.
            fx->presenter().queueLookup(LookupAnswer::withKeys({"000100001"}));
            QTest::mouseClick(part(d, "btnPesqServico"), Qt::LeftButton);
            confirm(d);
            QCOMPARE(fx->presenter().errors().last(), QStringLiteral("Data deve ser informada"));
            QCOMPARE(QApplication::focusWidget(), part(d, "depDataCard"));
            QVERIFY(fx->presenter().informations().isEmpty());
            QCOMPARE(fx->presenter().busyShows(), 0);
        });
    }

    // A typed text that is no date counts as no date: the dialog's own check answers, and
    // nothing reaches the server.
    void anInvalidDateIsNoDate()
    {
        staleRow(QStringLiteral("00001"), seededDay(), QStringLiteral("0000000041"));
        withDialog(QString(), protocol::wallClock(seededDay()), [this](QDialog *d) {
            auto *edit = part<framework::TDateEditPlus>(d, "depDataCard");
            edit->setFocus();
            edit->selectAll();
            QTest::keyClicks(edit, QStringLiteral("31022026"));
            QCOMPARE(edit->text(), QStringLiteral("31/02/2026"));
            fx->presenter().clear();
            confirm(d);
            QCOMPARE(fx->presenter().errors(), QStringList{"Data deve ser informada"});
            QCOMPARE(QApplication::focusWidget(), edit);
            QCOMPARE(fx->presenter().busyShows(), 0);
        });
        QCOMPARE(total(QStringLiteral("00001"), seededDay(), QStringLiteral("0000000041")), 999.0);
    }

    void aLongBranchNameIsReadFromItsStart()
    {
        const QString longName = QStringLiteral("Cozinha Central da Zona Norte e Vizinhas");
        fx->exec(QStringLiteral("UPDATE FILIAL SET NMFILIAL = ? WHERE CDFILIAL = '0001'"), {longName});
        withDialog(QString(), QDateTime(), [&](QDialog *d) {
            auto *name = part<QLineEdit>(d, "edtNmFilial");
            QCOMPARE(name->text(), longName);
            QVERIFY(name->fontMetrics().horizontalAdvance(longName) > name->width());
            QCOMPARE(name->cursorPosition(), 0);
        });
    }

    void calculatesTheChosenServicesOfThatDateOnly()
    {
        const QDate other = seededDay().addDays(1);
        staleRow(QStringLiteral("00002"), seededDay(), QStringLiteral("0000000011"));
        staleRow(QStringLiteral("00001"), seededDay(), QStringLiteral("0000000012"));
        staleRow(QStringLiteral("00002"), other, QStringLiteral("0000000013"));
        withDialog(QString(), protocol::wallClock(seededDay()), [this](QDialog *d) {
            QTest::mouseClick(part(d, "rbtListaServico"), Qt::LeftButton);
            fx->presenter().queueLookup(LookupAnswer::withKeys({"000100002"}));
            QTest::mouseClick(part(d, "btnPesqServico"), Qt::LeftButton);
            confirm(d);
            QCOMPARE(fx->presenter().errors().join(QLatin1Char('|')), QString());
            QCOMPARE(fx->presenter().informations(), QStringList{"Operação realizada com sucesso"});
            QVERIFY(d->isVisible());   // stays open for further runs
        });
        // 70 diners × 0.25 = 17.5, already a multiple of the dish's step; 4 full containers of 4
        // and one of 1.5: five labels.
        QCOMPARE(total(QStringLiteral("00002"), seededDay(), QStringLiteral("0000000011")), 17.5);
        QCOMPARE(labels(QStringLiteral("00002"), seededDay(), QStringLiteral("0000000011")), 5);
        QCOMPARE(total(QStringLiteral("00001"), seededDay(), QStringLiteral("0000000012")), 999.0);
        QCOMPARE(labels(QStringLiteral("00001"), seededDay(), QStringLiteral("0000000012")), 1);
        QCOMPARE(total(QStringLiteral("00002"), other, QStringLiteral("0000000013")), 999.0);
        QVERIFY(fx->presenter().busyBalanced());
        QCOMPARE(fx->presenter().entries(framework::testing::Shown::BusyShow).last().busyKind, 1);
    }

    void todosIsRebuiltFromTheDatabaseAtEachConfirm()
    {
        staleRow(QStringLiteral("00005"), seededDay(), QStringLiteral("0000000021"));
        withDialog(QString(), protocol::wallClock(seededDay()), [this](QDialog *d) {
            confirm(d);
            QCOMPARE(fx->presenter().informations().size(), 1);
            // Service 00005 becomes transported between the two runs.
            QCOMPARE(total(QStringLiteral("00005"), seededDay(), QStringLiteral("0000000021")), 999.0);
            fx->exec(QStringLiteral("UPDATE SERVICO SET IDSERVTRAN = 'S' WHERE CDFILIAL = '0001' AND CDSERVFILI = '00005'"));
            confirm(d);
            QCOMPARE(fx->presenter().informations().size(), 2);
        });
        QCOMPARE(total(QStringLiteral("00005"), seededDay(), QStringLiteral("0000000021")), 17.5);
    }

    void aFailingServerLeavesTheDialogOpen()
    {
        withDialog(QString(), protocol::wallClock(seededDay()), [this](QDialog *d) {
            fx->stopServer();
            confirm(d);
            QCOMPARE(fx->presenter().errors().size(), 1);
            QVERIFY(fx->presenter().informations().isEmpty());
            QVERIFY(d->isVisible());
            QVERIFY(part<QRadioButton>(d, "rbtTodosServico")->isChecked());
            QCOMPARE(part<framework::TDateEditPlus>(d, "depDataCard")->GetDate(), seededDay());
            QVERIFY(fx->presenter().busyBalanced());
            QCOMPARE(fx->presenter().busyDepth(), 0);
        });
    }

    void everyCallGivesAFreshDialogAndNoneIsLeftBehind()
    {
        auto *const *global = static_cast<QWidget *const *>(fx->module().symbol("frmCalcMultiServ"));
        QPointer<QDialog> first;
        withDialog(QString(), QDateTime(), [&](QDialog *d) {
            first = d;
            QCOMPARE(*global, d);
        });
        QTRY_VERIFY(first.isNull());
        QCOMPARE(*global, nullptr);   // never left pointing at a dialog that is gone
        QPointer<QDialog> second;
        const bool ok = withDialog(QString(), QDateTime(), [&](QDialog *d) { second = d; }, QDialog::Accepted);
        QVERIFY(ok);
        QTRY_VERIFY(second.isNull());
        QVERIFY(QApplication::topLevelWidgets().count() < 20);
    }

    void calculateFromTheScreen_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<bool>("reloaded");
        QTest::newRow("with a service") << "1" << true << true;
        QTest::newRow("without") << "" << false << false;
    }

    void calculateFromTheScreen()
    {
        QFETCH(QString, service);
        QFETCH(bool, listed);
        QFETCH(bool, reloaded);
        QWidget *screen = fx->openScreen();
        auto *serviceEdit = part<toolkit::MaskEdit>(screen, "medCdServico");
        focus(serviceEdit);
        serviceEdit->setText(QStringLiteral("00001"));
        focus(part(screen, "dbgPadrao"));   // the day is loaded
        focus(serviceEdit);                 // and closed again: the header is being entered
        serviceEdit->setText(service);
        bool sawList = false;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            sawList = part<QRadioButton>(dialog, "rbtListaServico")->isChecked();
            fx->addDish(QStringLiteral("0000456"), QStringLiteral("003"), QStringLiteral("0000000031"),
                        QStringLiteral("1010010001"), 8, 1);
            dialog->reject();
        });
        QTest::mouseClick(part(screen, "sbtCalcular"), Qt::LeftButton);
        QCOMPARE(sawList, listed);
        QCOMPARE(serviceEdit->text(), listed ? QStringLiteral("00001") : QString());
        auto *points = dataSet(screen, "cdsPadrao");
        QCOMPARE(points->active(), reloaded);
        if (reloaded) {
            QCOMPARE(fx->mainWindow()->focusWidget(), part(screen, "dbgPadrao"));   // once the dialog is gone
            auto *dishes = dataSet(screen, "cdsServTran");
            dishes->setFiltered(false);
            QVERIFY(column(dishes, "NRSERVTRAN").contains("0000000031"));
        }
        QVERIFY(fx->presenter().errors().isEmpty());
    }

    void anUnknownBranchFailsBeforeTheDialogShows()
    {
        bool threw = false;
        try {
            fx->criaCalcMultiServ(QStringLiteral("9999"), QString(), QDateTime());
        } catch (const toolkit::Abort &) {
            threw = true;
        }
        QVERIFY(threw);
        QCOMPARE(fx->presenter().errors(), QStringList{"Filial não cadastrada."});
        QTRY_VERIFY(!fx->mainWindow()->findChild<QDialog *>(QStringLiteral("frmCalcMultiServ")));
    }
};

QTEST_MAIN(TestCalcMultiServ)
#include "tst_calcmultiserv.moc"
