// Dish rows as a user enters them: the dish checked when its column is left and again when the
// row is posted, the dish's registered data, the dish look-up, the quantity edits' key filter,
// and the posting calculation (total, rounding step, containers, label limit, row number, keys).

#include "screenfixture.h"

#include <framework/numberedit.h>

#include <toolkit/dbedit.h>
#include <toolkit/maskedit.h>

#include <QLineEdit>

using namespace screentest;
using framework::testing::LookupAnswer;
using framework::testing::Shown;
using toolkit::ClientDataSet;
using toolkit::DataSetState;
using toolkit::DBGrid;

namespace {
// Columns of the dish grid.
enum { ColDish = 0, ColDiners = 1, ColSample = 4 };
} // namespace

class TestServTranDishes : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    QWidget *screen = nullptr;

    DBGrid *dishGrid() { return part<DBGrid>(screen, "dbgServTran"); }
    ClientDataSet *points() { return dataSet(screen, "cdsPadrao"); }
    ClientDataSet *dishes() { return dataSet(screen, "cdsServTran"); }
    toolkit::DBEdit *perPerson() { return part<toolkit::DBEdit>(screen, "dbeQtPadrao"); }
    toolkit::DBEdit *perContainer() { return part<toolkit::DBEdit>(screen, "dbeQtContainer"); }
    QString text(const char *field) { return dishes()->fieldByName(QString::fromLatin1(field))->asString(); }
    double number(const char *field) { return dishes()->fieldByName(QString::fromLatin1(field))->asFloat(); }
    void click(const char *button) { QTest::mouseClick(part(screen, button), Qt::LeftButton); }
    // After a save the day's rows are read again: back to a row of the current point.
    bool atDish(const QString &code) { return dishes()->locate(QStringLiteral("CDPRATO"), {code}); }
    bool atRow(const QString &number) { return dishes()->locate(QStringLiteral("NRSERVTRAN"), {number}); }

    void loadDay(const QString &service = QStringLiteral("00001"))
    {
        focus(part(screen, "medCdServico"));
        part<toolkit::MaskEdit>(screen, "medCdServico")->setText(service);
        focus(part(screen, "dbgPadrao"));
        QVERIFY(points()->active());
    }
    void typeInEdit(QWidget *edit, const QString &typed)
    {
        focus(edit);
        static_cast<QLineEdit *>(edit)->selectAll();
        type(edit, typed);
    }
    // A new dish row of the current point: Include, the dish, the diners, both quantities.
    void enterNewDish(const QString &code, const QString &diners, const QString &qtPerson, const QString &qtContainer)
    {
        focus(dishGrid());
        click("sbtIncluir");
        QCOMPARE(dishes()->state(), DataSetState::Insert);
        if (!code.isNull())
            typeInCell(dishGrid(), ColDish, code);
        if (!diners.isNull()) {
            focus(dishGrid());
            typeInCell(dishGrid(), ColDiners, diners);
        }
        if (!qtPerson.isNull())
            typeInEdit(perPerson(), qtPerson);
        if (!qtContainer.isNull())
            typeInEdit(perContainer(), qtContainer);
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

    // The worked example of the kitchen: 70 diners of a dish registered with 0.25 per person and
    // 4 per container, a minimum fill of 50 %: five containers, three of 4 and two of 2.75.
    void aNewDishRowIsPostedWithItsRegisteredData()
    {
        fx->registerDish(QStringLiteral("1010010003"), QStringLiteral("0001"), 0.25, 4.0, 0.5, 50.0);
        enterNewDish(QStringLiteral("1010010003"), QStringLiteral("70"), QStringLiteral("0,3"), QStringLiteral("5"));
        QCOMPARE(fx->presenter().errors(), QStringList());
        // Leaving the dish column found it under the branch and took its registered sample.
        QCOMPARE(text("NMPRATO"), QStringLiteral("Frango assado"));
        QCOMPARE(text("CDFILAUXPRAT"), QStringLiteral("0001"));
        QCOMPARE(text("SGUNIDADE"), QStringLiteral("KG"));
        QCOMPARE(number("QTAMOSTRAST"), 0.5);

        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(dishes()->state(), DataSetState::Browse);
        QVERIFY(atDish(QStringLiteral("1010010003")));   // as the server stored it
        QCOMPARE(number("QTPADRAOST"), 0.25);   // the registered quantities, not the typed ones
        QCOMPARE(number("QTCONTAIST"), 4.0);
        QCOMPARE(number("QTTOTAPRATST"), 17.5);
        QCOMPARE(number("QTTOTACONTST"), 5.0);
        QCOMPARE(number("QTCONTCOMPST"), 3.0);
        QCOMPARE(number("QTPARCPRATST"), 2.75);
        QCOMPARE(text("NRSERVTRAN"), QStringLiteral("0000000005"));   // the day's highest was 4
        QCOMPARE(text("CDFILIAL"), QStringLiteral("0001"));
        QCOMPARE(text("CDSERVFILI"), QStringLiteral("00001"));
        QCOMPARE(dishes()->fieldByName(QStringLiteral("DTSERVTRAN"))->asDateTime().date(), seededDay());
        QCOMPARE(text("CDCLIENTE"), QStringLiteral("0000123"));
        QCOMPARE(text("CDDESTFILI"), QStringLiteral("001"));
        QCOMPARE(text("CDDIETPADST"), QStringLiteral("XXXX"));
        QCOMPARE(number("QTCOMECLIST"), points()->fieldByName(QStringLiteral("QTCOMECLIST"))->asFloat());
        QCOMPARE(number("VRPECONSST"), 17.5);   // 70 of the service's 400 diners
        // Connecting, reading the day, the dish's data when its column was left and again when
        // the row was posted, then saving.
        QList<int> kinds;
        for (const Shown &shown : fx->presenter().entries(Shown::BusyShow))
            kinds << shown.busyKind;
        QCOMPARE(kinds, (QList<int>{0, 6, 6, 6, 1}));
        QVERIFY(fx->presenter().busyBalanced());
    }

    // A dish registered for the service brings its quantities into the edits as soon as its
    // column is left, so the row is saved as the user sees it; an unregistered one leaves them
    // to be typed.
    void theRegisteredQuantitiesShowWhenTheDishIsAccepted_data()
    {
        QTest::addColumn<QVariant>("perPersonRegistered");
        QTest::addColumn<QVariant>("perContainerRegistered");
        QTest::addColumn<QString>("perPersonShown");
        QTest::addColumn<QString>("perContainerShown");
        QTest::addColumn<QStringList>("errorsAtPosting");
        QTest::newRow("both registered") << QVariant(0.1) << QVariant(5.0) << QStringLiteral("0,100")
                                         << QStringLiteral("5,000") << QStringList();
        QTest::newRow("per person only") << QVariant(0.1) << QVariant(0.0) << QStringLiteral("0,100") << QString()
                                         << QStringList{QStringLiteral("Quantidade por container deve ser informada.")};
        QTest::newRow("none registered") << QVariant() << QVariant() << QString() << QString()
                                         << QStringList{QStringLiteral("Quantidade por pessoa deve ser informada.")};
    }

    void theRegisteredQuantitiesShowWhenTheDishIsAccepted()
    {
        QFETCH(QVariant, perPersonRegistered);
        QFETCH(QVariant, perContainerRegistered);
        QFETCH(QString, perPersonShown);
        QFETCH(QString, perContainerShown);
        QFETCH(QStringList, errorsAtPosting);
        fx->registerDish(QStringLiteral("1010010003"), QStringLiteral("0001"), perPersonRegistered,
                         perContainerRegistered, 0.0, 50.0);
        enterNewDish(QStringLiteral("1010010003"), QStringLiteral("30"), QString(), QString());
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(perPerson()->text(), perPersonShown);
        QCOMPARE(perContainer()->text(), perContainerShown);

        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), errorsAtPosting);
        if (!errorsAtPosting.isEmpty())
            return;
        QVERIFY(atDish(QStringLiteral("1010010003")));
        QCOMPARE(number("QTPADRAOST"), 0.1);
        QCOMPARE(number("QTCONTAIST"), 5.0);
        QCOMPARE(perPerson()->text(), perPersonShown);
    }

    // The dish column is checked when it is left: the dish must exist under the row's owner or
    // the other one, and a new row's dish must not be registered at the point already.
    void theDishIsCheckedWhenItsColumnIsLeft_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("name");
        QTest::newRow("owned by all branches") << "1010010002" << "Prato já cadastrado para o serviço informado." << "Feijão carioca";
        QTest::newRow("unknown") << "1010010009" << "Prato não cadastrado." << "";
        QTest::newRow("left blank") << "" << "" << "";
        QTest::newRow("found under the branch") << "1010010003" << "" << "Frango assado";
    }

    void theDishIsCheckedWhenItsColumnIsLeft()
    {
        QFETCH(QString, code);
        QFETCH(QString, message);
        QFETCH(QString, name);
        enterNewDish(code.isEmpty() ? QString() : code, QString(), QString(), QString());
        if (code.isEmpty()) {
            typeInCell(dishGrid(), ColDish, QString());
        }
        QCOMPARE(fx->presenter().errors(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(dishes()->state(), DataSetState::Insert);
        if (!message.isEmpty()) {
            QCOMPARE(dishGrid()->selectedField()->fieldName(), QStringLiteral("CDPRATO"));
        } else {
            QCOMPARE(text("NMPRATO"), name);
        }
        QVERIFY(fx->presenter().busyBalanced());
    }

    // Posting checks, in order, each with its message and its focus; the row stays inserted.
    void postingChecks_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("diners");
        QTest::addColumn<QString>("qtPerson");
        QTest::addColumn<QString>("qtContainer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focusName");
        QTest::newRow("no dish") << "" << "10" << "1" << "1" << "Prato deve ser informado." << "dbgServTran";
        QTest::newRow("no diners") << "1010010003" << "" << "1" << "1" << "Comensais deve ser informado." << "dbgServTran";
        QTest::newRow("no quantity per person") << "1010010003" << "10" << "" << "1"
                                                << "Quantidade por pessoa deve ser informada." << "dbeQtPadrao";
        QTest::newRow("zero per person") << "1010010003" << "10" << "0" << "1"
                                         << "Quantidade por pessoa deve ser maior que zero." << "dbeQtPadrao";
        QTest::newRow("no quantity per container") << "1010010003" << "10" << "1" << ""
                                                   << "Quantidade por container deve ser informada." << "dbeQtContainer";
        QTest::newRow("zero per container") << "1010010003" << "10" << "1" << "0,000"
                                            << "Quatidade por container deve ser maior que zero." << "dbeQtContainer";
        // 1 per person and 1 per container: 9999 containers at most, shown the locale's way.
        QTest::newRow("more diners than labels") << "1010010003" << "10000" << "1" << "1"
                                                 << "Quantidade de comensais deve ser menor ou igual à 9.999,00." << "dbgServTran";
    }

    void postingChecks()
    {
        QFETCH(QString, code);
        QFETCH(QString, diners);
        QFETCH(QString, qtPerson);
        QFETCH(QString, qtContainer);
        QFETCH(QString, message);
        QFETCH(QString, focusName);
        enterNewDish(code.isEmpty() ? QString() : code, diners.isEmpty() ? QString() : diners,
                     qtPerson.isEmpty() ? QString() : qtPerson, qtContainer.isEmpty() ? QString() : qtContainer);
        QCOMPARE(fx->presenter().errors(), QStringList());
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList{message});
        QCOMPARE(dishes()->state(), DataSetState::Insert);
        QWidget *focused = QApplication::focusWidget();
        QVERIFY(focused);
        QVERIFY2(focused->objectName() == focusName || (focused->parentWidget() && dishGrid()->isAncestorOf(focused) &&
                                                         focusName == QLatin1String("dbgServTran")),
                 qPrintable(focused->objectName()));
        QVERIFY(fx->presenter().busyBalanced());
    }

    // A dish already at the point is refused at posting too, when the user never left its column.
    void aDishAlreadyAtThePointIsRefusedAtPosting()
    {
        focus(dishGrid());
        click("sbtIncluir");
        typeInCell(dishGrid(), ColDiners, QStringLiteral("10"));
        typeInEdit(perPerson(), QStringLiteral("1"));
        typeInEdit(perContainer(), QStringLiteral("1"));
        focus(dishGrid());
        dishGrid()->setSelectedIndex(ColDish);
        type(dishGrid(), QStringLiteral("1010010002"));
        QCOMPARE(fx->presenter().errors(), QStringList());
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList{"Prato já cadastrado para o serviço informado."});
        QCOMPARE(dishes()->state(), DataSetState::Insert);
        QCOMPARE(dishGrid()->selectedIndex(), int(ColDish));
        QVERIFY(fx->presenter().busyBalanced());
    }

    void theLabelLimitItselfIsAllowed()
    {
        enterNewDish(QStringLiteral("1010010003"), QStringLiteral("9999"), QStringLiteral("1"), QStringLiteral("1"));
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QVERIFY(atDish(QStringLiteral("1010010003")));
        QCOMPARE(number("QTTOTACONTST"), 9999.0);
    }

    void aCodeWithABlankBeforeItsEndIsRefused_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("inner blank") << "1 10010003" << "Nível deve ser totalmente preenchido.";
        QTest::newRow("leading blank") << " 010010003" << "Nível deve ser totalmente preenchido.";
        QTest::newRow("trailing blanks only") << "10100100  " << "Prato não cadastrado.";
    }

    void aCodeWithABlankBeforeItsEndIsRefused()
    {
        QFETCH(QString, code);
        QFETCH(QString, message);
        enterNewDish(QString(), QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("1"));
        dishes()->fieldByName(QStringLiteral("CDPRATO"))->setAsString(code);
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList{message});
    }

    // A saved row is calculated with its own dish's data, whatever dish was validated last (or
    // none, right after the screen opened): feijão's step is 0.1, so 7 × 0.25 = 1.75 goes up to
    // 1.8.
    void aChangedRowIsCalculatedWithItsOwnDish()
    {
        fx->registerDish(QStringLiteral("1010010002"), QStringLiteral("P"), 0.25, 4.0, 0.0, 50.0);
        focus(dishGrid());
        QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {QStringLiteral("0000000002")}));
        click("sbtAlterar");
        QCOMPARE(dishes()->state(), DataSetState::Edit);
        focus(dishGrid());
        typeInCell(dishGrid(), ColDiners, QStringLiteral("7"));
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(dishes()->state(), DataSetState::Browse);
        QVERIFY(atRow(QStringLiteral("0000000002")));
        QCOMPARE(number("QTTOTAPRATST"), 1.8);
        QCOMPARE(text("NRSERVTRAN"), QStringLiteral("0000000002"));   // a changed row keeps its number
        // One container of 4 holds it all.
        QCOMPARE(number("QTTOTACONTST"), 1.0);
        QCOMPARE(number("QTCONTCOMPST"), 0.0);
        QCOMPARE(number("QTPARCPRATST"), 1.8);
    }

    // The row number is the day's highest plus one; the row's share of the service's diners.
    void rowNumberAndShareOfTheService_data()
    {
        QTest::addColumn<QString>("highest");
        QTest::addColumn<int>("serviceDiners");
        QTest::addColumn<QString>("diners");
        QTest::addColumn<QString>("rowNumber");
        QTest::addColumn<double>("share");
        QTest::newRow("after 41, 50 of 200") << "0000000041" << 200 << "50" << "0000000042" << 25.0;
        QTest::newRow("after 4, none in the service") << "" << 0 << "50" << "0000000005" << 0.0;
    }

    void rowNumberAndShareOfTheService()
    {
        QFETCH(QString, highest);
        QFETCH(int, serviceDiners);
        QFETCH(QString, diners);
        QFETCH(QString, rowNumber);
        QFETCH(double, share);
        if (!highest.isEmpty())
            fx->addDish(QStringLiteral("0000456"), QStringLiteral("003"), highest, QStringLiteral("1010010001"), 5, 0);
        fx->exec(QStringLiteral("UPDATE COMESERV SET QTCOMESTICAR = ?"), {serviceDiners});
        loadDay();   // the service's diners as the header shows them
        enterNewDish(QStringLiteral("1010010003"), diners, QStringLiteral("1"), QStringLiteral("1"));
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QVERIFY(atDish(QStringLiteral("1010010003")));
        QCOMPARE(text("NRSERVTRAN"), rowNumber);
        QCOMPARE(number("VRPECONSST"), share);
    }

    // A dish no longer under the row's owner is looked for under the other one.
    void aDishIsLookedForUnderTheOtherOwner()
    {
        fx->exec(QStringLiteral("UPDATE SERVTRAN SET CDFILAUXPRAT = '0001' WHERE NRSERVTRAN = '0000000001'"));
        loadDay();
        focus(dishGrid());
        QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {QStringLiteral("0000000001")}));
        QCOMPARE(text("CDFILAUXPRAT"), QStringLiteral("0001"));
        click("sbtAlterar");
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QVERIFY(atRow(QStringLiteral("0000000001")));
        QCOMPARE(text("CDFILAUXPRAT"), QStringLiteral("P"));
        QCOMPARE(text("NMPRATO"), QStringLiteral("Arroz branco"));
    }

    // Decimal quantities that binary floating point cannot hold stay on their step.
    void aTotalOnItsStepStaysThere()
    {
        fx->registerDish(QStringLiteral("1010010002"), QStringLiteral("P"), 0.25, 4.0, 0.0, QVariant());
        focus(dishGrid());
        QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {QStringLiteral("0000000002")}));
        click("sbtAlterar");
        focus(dishGrid());
        typeInCell(dishGrid(), ColDiners, QStringLiteral("2"));
        typeInEdit(perPerson(), QStringLiteral("0,55"));
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QVERIFY(atRow(QStringLiteral("0000000002")));
        QCOMPARE(number("QTTOTAPRATST"), 1.1);   // not 1.2
    }

    // The minimum fill: the dish's own percentage, the branch's only when the dish has none.
    void theMinimumFillComesFromTheDishOrTheBranch_data()
    {
        QTest::addColumn<QVariant>("dishPercent");
        QTest::addColumn<QVariant>("branchPercent");
        QTest::addColumn<double>("complete");
        QTest::addColumn<double>("partial");
        QTest::newRow("dish 25: remainder 1.5 of 4 kept") << QVariant(25.0) << QVariant(50.0) << 4.0 << 1.5;
        QTest::newRow("dish null, branch 50: shared") << QVariant() << QVariant(50.0) << 3.0 << 2.75;
        QTest::newRow("dish 0, branch 50: none") << QVariant(0.0) << QVariant(50.0) << 4.0 << 1.5;
    }

    void theMinimumFillComesFromTheDishOrTheBranch()
    {
        QFETCH(QVariant, dishPercent);
        QFETCH(QVariant, branchPercent);
        QFETCH(double, complete);
        QFETCH(double, partial);
        fx->registerDish(QStringLiteral("1010010003"), QStringLiteral("0001"), 0.25, 4.0, 0.0, dishPercent);
        fx->exec(QStringLiteral("INSERT INTO PARAMFILI (CDFILIAL, VRPEMINCONT) VALUES ('0001', ?)"), {branchPercent});
        enterNewDish(QStringLiteral("1010010003"), QStringLiteral("70"), QStringLiteral("1"), QStringLiteral("1"));
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QVERIFY(atDish(QStringLiteral("1010010003")));
        QCOMPARE(number("QTTOTACONTST"), 5.0);
        QCOMPARE(number("QTCONTCOMPST"), complete);
        QCOMPARE(number("QTPARCPRATST"), partial);
    }

    // Leaving the dish column of a new row gives it the dish's registered sample, over what was
    // typed before; a sample typed afterwards is kept.
    void theSampleStartsFromTheRegisteredOne()
    {
        fx->registerDish(QStringLiteral("1010010003"), QStringLiteral("0001"), 0.25, 4.0, 0.3, 50.0);
        focus(dishGrid());
        click("sbtIncluir");
        dishGrid()->setSelectedIndex(ColSample);
        type(dishGrid(), QStringLiteral("9"));
        dishGrid()->setSelectedIndex(ColDish);   // back to the dish column, as with a click
        QCOMPARE(number("QTAMOSTRAST"), 9.0);
        typeInCell(dishGrid(), ColDish, QStringLiteral("1010010003"));
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(number("QTAMOSTRAST"), 0.3);
        typeInCell(dishGrid(), ColDiners, QStringLiteral("10"));
        typeInEdit(perPerson(), QStringLiteral("1"));
        typeInEdit(perContainer(), QStringLiteral("1"));
        focus(dishGrid());
        dishGrid()->setSelectedIndex(ColSample);
        type(dishGrid(), QStringLiteral("1,5"));
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QVERIFY(atDish(QStringLiteral("1010010003")));
        QCOMPARE(number("QTAMOSTRAST"), 1.5);
    }

    // The look-up lists the branch's and the common dishes of the code's last level, and the
    // picked one fills the row.
    void theDishLookup()
    {
        fx->exec(QStringLiteral("INSERT INTO PRATO (CDPRATO, CDFILAUXPRAT, NMPRATO, SGUNIDADE, CDNVPRATO) VALUES "
                                "('1010010', 'P', 'Grupo de arrozes', 'KG', '3'), "
                                "('1010010004', '0002', 'Peixe do Norte', 'KG', '4')"));
        focus(dishGrid());
        click("sbtIncluir");
        dishGrid()->setSelectedIndex(ColDish);
        fx->presenter().queueLookup(LookupAnswer::where(QStringLiteral("CDPRATO"), QStringLiteral("1010010003")));
        emit dishGrid()->onEditButtonClick(dishGrid());
        QCOMPARE(fx->presenter().texts(Shown::Pick), QStringList{"Prato"});
        QCOMPARE(fx->presenter().lastRowCount(), 3);
        QCOMPARE(text("CDPRATO"), QStringLiteral("1010010003"));
        QCOMPARE(text("NMPRATO"), QStringLiteral("Frango assado"));
        QCOMPARE(text("CDFILAUXPRAT"), QStringLiteral("0001"));
        QCOMPARE(text("SGUNIDADE"), QStringLiteral("KG"));
    }

    // The quantity edits take no sign, one decimal separator after a digit, and nothing at all
    // while the day has no delivery point.
    void theQuantityEditsKeyFilter_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("signs") << "-1+2" << "12";
        QTest::newRow("a second separator") << "1,2,5" << "1,25";
    }

    void theQuantityEditsKeyFilter()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        for (QWidget *edit : {static_cast<QWidget *>(perPerson()), static_cast<QWidget *>(perContainer())}) {
            typeInEdit(edit, typed);
            QCOMPARE(static_cast<QLineEdit *>(edit)->text(), shown);
            QTest::keyClick(edit, Qt::Key_Escape);
        }
        QCOMPARE(fx->presenter().errors(), QStringList());
    }

    void typingAQuantityWithoutADeliveryPoint()
    {
        loadDay(QStringLiteral("00002"));
        QVERIFY(points()->isEmpty());
        perPerson()->setEnabled(true);   // as it would be for a point being entered
        focus(perPerson());
        type(perPerson(), QStringLiteral("1"));
        QCOMPARE(fx->presenter().errors(), QStringList{"Cliente deve ser informado."});
    }
};

QTEST_MAIN(TestServTranDishes)
#include "tst_servtran_dishes.moc"
