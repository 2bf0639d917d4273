// The host controls as a user meets them: the lookup button with its events, the date edit and
// the number edit typed into.

#include <framework/adoibquery.h>
#include <framework/btnpesquisa.h>
#include <framework/consiste.h>
#include <framework/dateeditplus.h>
#include <framework/dtmdbgeral.h>
#include <framework/numberedit.h>
#include <framework/testing/scriptedpresenter.h>

#include <toolkit/error.h>

#include <QLineEdit>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

using framework::testing::LookupAnswer;
using framework::testing::Shown;
using framework::testing::ScriptedPresenter;

namespace {

// A window with the control under test and an edit to leave it for.
struct Window {
    QWidget widget;
    QVBoxLayout *layout = new QVBoxLayout(&widget);
    QLineEdit *other = new QLineEdit(&widget);
    Window() { layout->addWidget(other); }
    bool show()
    {
        widget.show();
        widget.activateWindow();
        return QTest::qWaitForWindowActive(&widget);
    }
};

} // namespace

class TstHostControls : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { framework::closeSharedDatabase(); }

    void lookupButtonRunsItsEventsAroundTheChoice();
    void lookupButtonShowsEmptyErrorWhenNothingToChoose();
    void lookupButtonGivingUpRunsNoAfterEvent();
    void lookupButtonStoppedByBeforeEvent();
    void lookupButtonPressedWithF4FromItsEdit();

    void dateEditTyping_data();
    void dateEditTyping();
    void dateEditChecksTypedDate();
    void dateEditDateChangeEvent();

    void numberEditTyping_data();
    void numberEditTyping();
    void numberEditClearingEmptiesIt();

private:
    QTemporaryDir m_dir;
};

void TstHostControls::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    const QString path = m_dir.filePath(QStringLiteral("lookup.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("CREATE TABLE SERVICO (CDFILIAL VARCHAR(4), CDSERVFILI VARCHAR(5), NMSERVICO VARCHAR(40))")));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO SERVICO VALUES ('0001','00001','Almoço'), ('0001','00002','Jantar'), "
                                      "('0002','00001','Ceia')")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    framework::openSharedDatabase(path);
}

namespace {

struct LookupFixture {
    Window window;
    QLineEdit *edit = new QLineEdit(&window.widget);
    TBtnPesquisa *button = new TBtnPesquisa(&window.widget, QStringLiteral("btpPesqServico"));
    TADOIBQuery *query = new TADOIBQuery(&window.widget, QStringLiteral("qryServico"));
    toolkit::DataSource *source = new toolkit::DataSource(&window.widget, QStringLiteral("dtsServico"));
    QString branch = QStringLiteral("0001");
    QStringList events;

    LookupFixture()
    {
        edit->setObjectName(QStringLiteral("medCdServico"));
        window.layout->addWidget(edit);
        window.layout->addWidget(button);
        query->SQL = QStringList{QStringLiteral("SELECT CDSERVFILI, NMSERVICO FROM SERVICO"),
                                 QStringLiteral("WHERE CDFILIAL = :P_CDFILIAL ORDER BY CDSERVFILI")};
        query->addStringField(QStringLiteral("CDSERVFILI"), 5);
        query->addStringField(QStringLiteral("NMSERVICO"), 40);
        source->setDataSet(query);
        button->setAssociate(edit);
        button->setTitle(QStringLiteral("Serviço"));
        button->setDataSource(source);
        button->setEmptyError(QStringLiteral("Não há serviço cadastrado."));
        button->OnBeforePesq = [this](QObject *sender, bool &) {
            QCOMPARE(sender, button);
            events << QStringLiteral("before");
            query->Close();
            query->ParamByName(QStringLiteral("P_CDFILIAL"))->setAsString(branch);
        };
        button->OnAfterPesq = [this](QObject *) {
            events << QStringLiteral("after:") + query->FieldByName(QStringLiteral("NMSERVICO"))->asString();
            edit->setText(query->FieldByName(QStringLiteral("CDSERVFILI"))->asString());
            query->Close();
        };
    }
};

} // namespace

void TstHostControls::lookupButtonRunsItsEventsAroundTheChoice()
{
    ScriptedPresenter presenter;
    LookupFixture f;
    QVERIFY(f.window.show());
    f.window.other->setFocus();
    presenter.queueLookup(LookupAnswer::where(QStringLiteral("CDSERVFILI"), QStringLiteral("00002")));
    QTest::mouseClick(f.button, Qt::LeftButton);
    QCOMPARE(f.events, (QStringList{QStringLiteral("before"), QStringLiteral("after:Jantar")}));
    QCOMPARE(presenter.texts(Shown::Pick), QStringList{QStringLiteral("Serviço")});
    QCOMPARE(presenter.lastRowCount(), 2);   // the branch the before event asked for
    QCOMPARE(f.edit->text(), QStringLiteral("00002"));
    QTRY_COMPARE(QApplication::focusWidget(), f.edit);
}

void TstHostControls::lookupButtonShowsEmptyErrorWhenNothingToChoose()
{
    ScriptedPresenter presenter;
    LookupFixture f;
    f.branch = QStringLiteral("0009");
    f.button->click();
    QCOMPARE(f.events, QStringList{QStringLiteral("before")});
    QCOMPARE(presenter.errors(), QStringList{QStringLiteral("Não há serviço cadastrado.")});
    QVERIFY(presenter.entries(Shown::Pick).isEmpty());
}

void TstHostControls::lookupButtonGivingUpRunsNoAfterEvent()
{
    ScriptedPresenter presenter;
    LookupFixture f;
    presenter.queueLookup(LookupAnswer::cancel());
    f.button->click();
    QCOMPARE(f.events, QStringList{QStringLiteral("before")});
    QVERIFY(f.edit->text().isEmpty());
    QVERIFY(presenter.unexpected().isEmpty());
}

void TstHostControls::lookupButtonStoppedByBeforeEvent()
{
    ScriptedPresenter presenter;
    LookupFixture f;
    f.button->OnBeforePesq = [&](QObject *, bool &go) { go = false; };
    f.button->click();
    QVERIFY(presenter.log().isEmpty());
    QVERIFY(!f.query->Active());
}

void TstHostControls::lookupButtonPressedWithF4FromItsEdit()
{
    ScriptedPresenter presenter;
    LookupFixture f;
    QVERIFY(f.window.show());
    f.edit->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), f.edit);
    presenter.queueLookup(LookupAnswer::atRow(0));
    QTest::keyClick(f.edit, Qt::Key_F4);
    QCOMPARE(f.events, (QStringList{QStringLiteral("before"), QStringLiteral("after:Almoço")}));
    QCOMPARE(f.edit->text(), QStringLiteral("00001"));
}

void TstHostControls::dateEditTyping_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("weekday");
    QTest::newRow("whole date") << "08122026" << QDate(2026, 12, 8) << "Terça";
    QTest::newRow("leap day") << "29022024" << QDate(2024, 2, 29) << "Quinta";
    QTest::newRow("not a day") << "31022026" << QDate() << "";
    QTest::newRow("half typed") << "0812" << QDate() << "";
    QTest::newRow("nothing") << "" << QDate() << "";
}

void TstHostControls::dateEditTyping()
{
    QFETCH(QString, typed);
    QFETCH(QDate, date);
    QFETCH(QString, weekday);
    Window w;
    auto *edit = new TDateEditPlus(&w.widget, QStringLiteral("depDataCard"));
    w.layout->addWidget(edit);
    QVERIFY(w.show());
    edit->setFocus();
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->GetDate(), date);
    QCOMPARE(edit->weekdayName(), weekday);
    QCOMPARE(EmptyString(edit), !date.isValid());
    if (date.isValid()) {
        QCOMPARE(edit->palette().color(QPalette::Text), QColor(Qt::blue));
        QCOMPARE(edit->GetDateTime(), QDateTime(date, QTime(0, 0)));
    }
}

void TstHostControls::dateEditChecksTypedDate()
{
    ScriptedPresenter presenter;
    Window w;
    auto *edit = new TDateEditPlus(&w.widget);
    w.layout->addWidget(edit);
    QVERIFY(w.show());
    edit->setFocus();
    edit->CheckValidDate();   // empty is not invalid
    QTest::keyClicks(edit, QStringLiteral("3102"));
    QVERIFY_THROWS_EXCEPTION(toolkit::Abort, edit->CheckValidDate());
    QCOMPARE(presenter.errors(), QStringList{QStringLiteral("Data inválida.")});
    edit->SetDate(QDate(2026, 1, 31));
    edit->CheckValidDate();
    QCOMPARE(presenter.errors().size(), 1);
}

void TstHostControls::dateEditDateChangeEvent()
{
    Window w;
    auto *edit = new TDateEditPlus(&w.widget);
    w.layout->addWidget(edit);
    QList<QDate> seen;
    edit->OnDateChange = [&](QObject *) { seen << edit->GetDate(); };
    QVERIFY(w.show());
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("0112202"));
    QVERIFY(seen.isEmpty());   // not a date yet
    QTest::keyClicks(edit, QStringLiteral("6"));
    QCOMPARE(seen, QList<QDate>{QDate(2026, 12, 1)});
    edit->SetDate(QDate(2026, 12, 1));   // the same date: no change
    QCOMPARE(seen.size(), 1);
    edit->SetDate(QDate(2027, 1, 2));
    edit->clearDate();
    QCOMPARE(seen, (QList<QDate>{QDate(2026, 12, 1), QDate(2027, 1, 2), QDate()}));
}

void TstHostControls::numberEditTyping_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("thousands");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("number");
    QTest::addColumn<QString>("shown");
    QTest::newRow("decimal comma") << "1234,5" << true << 2 << 1234.5 << "1.234,50";
    QTest::newRow("no grouping") << "1234,5" << false << 2 << 1234.5 << "1234,50";
    QTest::newRow("whole number") << "250" << false << 0 << 250.0 << "250";
    QTest::newRow("comma refused without decimals") << "12,5" << false << 0 << 125.0 << "125";
    QTest::newRow("letters ignored") << "1a2b" << true << 2 << 12.0 << "12,00";
    QTest::newRow("second comma ignored") << "1,2,3" << true << 3 << 1.23 << "1,230";
    QTest::newRow("negative") << "-7,25" << true << 2 << -7.25 << "-7,25";
    QTest::newRow("minus only in front") << "7-1" << true << 0 << 71.0 << "71";
    // The thousands separator typed by hand makes no number (never 1500), and stays as typed.
    QTest::newRow("thousands separator typed") << "1.500" << true << 2 << 0.0 << "1.500";
}

void TstHostControls::numberEditTyping()
{
    QFETCH(QString, typed);
    QFETCH(bool, thousands);
    QFETCH(int, decimals);
    QFETCH(double, number);
    QFETCH(QString, shown);
    Window w;
    auto *edit = new TNumberEdit(&w.widget, QStringLiteral("nedComenServ"));
    edit->setThousands(thousands);
    edit->setDecimals(decimals);
    w.layout->addWidget(edit);
    QVERIFY(w.show());
    edit->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), edit);
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->GetNumber(), number);
    w.other->setFocus();
    QTRY_COMPARE(edit->QLineEdit::text(), shown);
    QCOMPARE(edit->GetNumber(), number);
}

void TstHostControls::numberEditClearingEmptiesIt()
{
    TNumberEdit edit;
    edit.setCurrency(true);
    edit.SetNumber(1500);
    QCOMPARE(edit.QLineEdit::text(), QStringLiteral("R$ 1.500,00"));
    QCOMPARE(edit.GetNumber(), 1500.0);
    QVERIFY(edit.hasNumber());
    edit.clear();
    QVERIFY(!edit.hasNumber());
    QCOMPARE(edit.GetNumber(), 0.0);
    QVERIFY(edit.QLineEdit::text().isEmpty());
}

QTEST_MAIN(TstHostControls)
#include "tst_hostcontrols.moc"
