// Saving dish rows as they are posted or deleted, and their container labels: what the server
// stored (rows, container counts with the sample, labels) and what the screen shows afterwards,
// on success and when a step of the save fails.

#include "screenfixture.h"

#include <toolkit/dbedit.h>
#include <toolkit/maskedit.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableWidget>

using namespace screentest;
using framework::testing::Shown;
using toolkit::ClientDataSet;
using toolkit::DataSetState;
using toolkit::DBGrid;

namespace {
enum { ColDish = 0, ColDiners = 1, ColSample = 4 };
} // namespace

class TestServTranSaving : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    QWidget *screen = nullptr;

    DBGrid *grid(const char *name) { return part<DBGrid>(screen, name); }
    ClientDataSet *points() { return dataSet(screen, "cdsPadrao"); }
    ClientDataSet *dishes() { return dataSet(screen, "cdsServTran"); }
    ClientDataSet *labels() { return dataSet(screen, "cdsEtiqueta"); }
    void click(const char *button) { QTest::mouseClick(part(screen, button), Qt::LeftButton); }

    void loadDay()
    {
        focus(part(screen, "medCdServico"));
        part<toolkit::MaskEdit>(screen, "medCdServico")->setText(QStringLiteral("00001"));
        focus(grid("dbgPadrao"));
        QVERIFY(points()->active());
    }
    void typeInEdit(const char *name, const QString &typed)
    {
        auto *edit = part<QLineEdit>(screen, name);
        focus(edit);
        edit->selectAll();
        type(edit, typed);
    }
    // A new dish row of the current point, posted with Confirm.
    void postNewDish(const QString &code, const QString &diners, const QString &perPerson, const QString &perContainer,
                     const QString &sample = QString())
    {
        focus(grid("dbgServTran"));
        click("sbtIncluir");
        typeInCell(grid("dbgServTran"), ColDish, code);
        typeInCell(grid("dbgServTran"), ColDiners, diners);
        typeInEdit("dbeQtPadrao", perPerson);
        typeInEdit("dbeQtContainer", perContainer);
        if (!sample.isNull()) {
            focus(grid("dbgServTran"));
            grid("dbgServTran")->setSelectedIndex(ColSample);
            type(grid("dbgServTran"), sample);
        }
        click("sbtConfirmar");
    }
    // The labels the server stored for a row, in label-number order.
    QStringList storedLabels(const QString &number)
    {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("dtmDBGeral")));
        q.prepare(QStringLiteral("SELECT NRSEQUETIQTR, QTPRATETIQTR FROM ETIQSERVTRAN WHERE NRSERVTRAN = ? ORDER BY NRSEQUETIQTR"));
        q.addBindValue(number);
        QStringList out;
        if (q.exec())
            while (q.next())
                out << q.value(0).toString() + QLatin1Char('=') + QString::number(q.value(1).toDouble());
        return out;
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

    // The label inputs of the kitchen's examples, seen as the labels the server made of them.
    void aSavedRowGetsItsLabels_data()
    {
        QTest::addColumn<QVariant>("registeredPerPerson");
        QTest::addColumn<QVariant>("registeredContainer");
        QTest::addColumn<QVariant>("percent");
        QTest::addColumn<QString>("diners");
        QTest::addColumn<QString>("perPerson");
        QTest::addColumn<QString>("perContainer");
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QStringList>("labelsStored");
        QTest::addColumn<double>("containersWithSample");
        QTest::addColumn<double>("fullWithSample");
        QTest::newRow("70 x 0.25, container 4, 50 %") << QVariant(0.25) << QVariant(4.0) << QVariant(50.0) << "70" << "1" << "1"
                                                       << "0" << QStringList{"0001=4", "0002=4", "0003=4", "0004=2.75", "0005=2.75"}
                                                       << 5.0 << 3.0;
        QTest::newRow("the same with a sample of 0.5") << QVariant(0.25) << QVariant(4.0) << QVariant(50.0) << "70" << "1"
                                                        << "1" << "0,5"
                                                        << QStringList{"0001=4", "0002=4", "0003=4", "0004=4", "0005=2"} << 5.0
                                                        << 4.0;
        QTest::newRow("a remainder of 0.0004 is none") << QVariant() << QVariant() << QVariant() << "1" << "16,0004" << "4"
                                                        << "0" << QStringList{"0001=4", "0002=4", "0003=4", "0004=4"} << 4.0
                                                        << 4.0;
        QTest::newRow("no dish data, total 3") << QVariant() << QVariant() << QVariant() << "3" << "1" << "4" << "0"
                                                << QStringList{"0001=3"} << 1.0 << 0.0;
    }

    void aSavedRowGetsItsLabels()
    {
        QFETCH(QVariant, registeredPerPerson);
        QFETCH(QVariant, registeredContainer);
        QFETCH(QVariant, percent);
        QFETCH(QString, diners);
        QFETCH(QString, perPerson);
        QFETCH(QString, perContainer);
        QFETCH(QString, sample);
        QFETCH(QStringList, labelsStored);
        QFETCH(double, containersWithSample);
        QFETCH(double, fullWithSample);
        if (registeredPerPerson.isValid())
            fx->registerDish(QStringLiteral("1010010003"), QStringLiteral("0001"), registeredPerPerson, registeredContainer, 0.0,
                         percent);
        postNewDish(QStringLiteral("1010010003"), diners, perPerson, perContainer, sample);
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(dishes()->state(), DataSetState::Browse);
        QCOMPARE(dishes()->changeCount(), 0);
        const QString number = QStringLiteral("0000000005");
        QCOMPARE(storedLabels(number), labelsStored);
        QCOMPARE(fx->stored(number, QStringLiteral("QTTOTACONTSTCAMOS")).toDouble(), containersWithSample);
        QCOMPARE(fx->stored(number, QStringLiteral("QTCONTCOMPSTCAMOS")).toDouble(), fullWithSample);
        // The screen shows the row as the server now holds it, with its labels.
        QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {number}));
        QCOMPARE(dishes()->fieldByName(QStringLiteral("QTTOTACONTSTCAMOS"))->asFloat(), containersWithSample);
        QCOMPARE(column(labels(), "NRSEQUETIQTR").size(), labelsStored.size());
        QVERIFY(fx->presenter().busyBalanced());
    }

    // The dish's registered container decides the single-container case: 10 holds a total of 8
    // whole, though the row's containers are of 4.
    void theRegisteredContainerHoldsItAll()
    {
        fx->registerDish(QStringLiteral("1010010002"), QStringLiteral("P"), 0.25, 10.0, 0.0, 50.0);
        focus(grid("dbgServTran"));
        QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {QStringLiteral("0000000002")}));
        click("sbtAlterar");
        typeInCell(grid("dbgServTran"), ColDiners, QStringLiteral("32"));
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(fx->stored(QStringLiteral("0000000002"), QStringLiteral("QTCOMESTIST")).toDouble(), 32.0);
        QCOMPARE(storedLabels(QStringLiteral("0000000002")), QStringList{"0001=8"});
    }

    // A save the server refuses: the message is shown, the change is dropped here too, and
    // nothing is read again.
    void aRefusedSaveDropsTheChange()
    {
        // Meanwhile someone else removes the row: the server refuses to change what is gone.
        focus(grid("dbgServTran"));
        QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {QStringLiteral("0000000002")}));
        click("sbtAlterar");
        typeInCell(grid("dbgServTran"), ColDiners, QStringLiteral("30"));
        fx->exec(QStringLiteral("DELETE FROM SERVTRAN WHERE NRSERVTRAN = '0000000002'"));
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList{"O serviço transportado foi alterado ou excluído por outro usuário."});
        QCOMPARE(dishes()->state(), DataSetState::Browse);
        QCOMPARE(dishes()->changeCount(), 0);
        QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {QStringLiteral("0000000002")}));
        QCOMPARE(dishes()->fieldByName(QStringLiteral("QTCOMESTIST"))->asFloat(), 70.0);   // as before the edit
        QVERIFY(!fx->stored(QStringLiteral("0000000002"), QStringLiteral("QTCOMESTIST")).isValid());

        // A new row the database refuses vanishes from the grid.
        fx->exec(QStringLiteral("CREATE TRIGGER refuse_rows BEFORE INSERT ON SERVTRAN BEGIN "
                                "SELECT RAISE(ABORT, 'linha recusada'); END"));
        fx->presenter().clear();
        const int before = dishes()->recordCount();
        postNewDish(QStringLiteral("1010010003"), QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("1"));
        QCOMPARE(fx->presenter().errors().size(), 1);
        QCOMPARE(dishes()->recordCount(), before);
        QCOMPARE(dishes()->changeCount(), 0);
        QVERIFY(!dishes()->locate(QStringLiteral("CDPRATO"), {QStringLiteral("1010010003")}));
        QVERIFY(fx->presenter().busyBalanced());
        QCOMPARE(fx->presenter().busyDepth(), 0);
    }

    // The labels fail after the row was saved: the row stays saved, the screen shows it as
    // posted, nothing is read again.
    void failingLabelsLeaveTheRowSaved()
    {
        fx->exec(QStringLiteral("CREATE TRIGGER refuse_labels BEFORE INSERT ON ETIQSERVTRAN BEGIN "
                                "SELECT RAISE(ABORT, 'etiqueta recusada'); END"));
        postNewDish(QStringLiteral("1010010003"), QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("4"));
        QCOMPARE(fx->presenter().errors().size(), 1);
        QCOMPARE(fx->stored(QStringLiteral("0000000005"), QStringLiteral("QTCOMESTIST")).toDouble(), 10.0);
        QCOMPARE(dishes()->changeCount(), 0);
        QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {QStringLiteral("0000000005")}));
        QCOMPARE(dishes()->fieldByName(QStringLiteral("QTTOTACONTSTCAMOS"))->isNull(), true);   // not read again
        QVERIFY(fx->presenter().busyBalanced());
    }

    // Deleting the only dish of a delivery point: the deletion is saved and the day read again,
    // without that point.
    void deletingTheLastDishOfAPointReloadsTheDay()
    {
        points()->setRecNo(2);   // Beto, one dish
        QCOMPARE(column(dishes(), "NRSERVTRAN"), QStringList{"0000000004"});
        focus(grid("dbgServTran"));
        grid("dbgServTran")->setSelectedIndex(ColDiners);   // a column the grid edits: it deletes too
        QTest::keyClick(grid("dbgServTran"), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(fx->count(QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE NRSERVTRAN = '0000000004'")), 0);
        QCOMPARE(fx->count(QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE NRSERVTRAN = '0000000004'")), 0);
        QCOMPARE(points()->recordCount(), 2);
        QCOMPARE(QApplication::focusWidget(), grid("dbgPadrao"));
        QVERIFY(fx->presenter().busyBalanced());
    }

    // Cancelling the first dish of a delivery point being entered: the day is read again and
    // the point, never saved, is gone.
    void cancellingTheFirstDishOfANewPointReloadsTheDay()
    {
        click("sbtIncluir");
        QCOMPARE(points()->state(), DataSetState::Insert);
        // What posting a new point without dishes does: the dish grid takes its first dish.
        grid("dbgServTran")->setEnabled(true);
        dishes()->fieldByName(QStringLiteral("CDPRATO"))->focusControl();
        dishes()->insert();
        fx->presenter().queueConfirm(framework::mrYes);
        click("sbtCancelar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(points()->state(), DataSetState::Browse);
        QCOMPARE(dishes()->state(), DataSetState::Browse);
        QCOMPARE(points()->recordCount(), 3);
        QCOMPARE(column(dishes(), "NRSERVTRAN"), (QStringList{"0000000001", "0000000002"}));
    }

    // A deletion the server refuses brings the row back.
    void aRefusedDeletionBringsTheRowBack()
    {
        fx->exec(QStringLiteral("CREATE TRIGGER keep_rows BEFORE DELETE ON SERVTRAN BEGIN "
                                "SELECT RAISE(ABORT, 'exclusão recusada'); END"));
        points()->setRecNo(2);
        focus(grid("dbgServTran"));
        grid("dbgServTran")->setSelectedIndex(ColDiners);   // a column the grid edits: it deletes too
        QTest::keyClick(grid("dbgServTran"), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(fx->presenter().errors().size(), 1);
        QCOMPARE(column(dishes(), "NRSERVTRAN"), QStringList{"0000000004"});
        QCOMPARE(dishes()->changeCount(), 0);
        QCOMPARE(points()->recordCount(), 3);
        QVERIFY(fx->presenter().busyBalanced());
    }

    // --- Delete ---

    // On the label grid, or while the focused list is being edited, Delete asks nothing and does
    // nothing; No to the question changes nothing.
    void deleteThatDoesNothing_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("label grid") << "labels";
        QTest::newRow("dish being edited") << "editing";
        QTest::newRow("answered No") << "no";
    }

    void deleteThatDoesNothing()
    {
        QFETCH(QString, where);
        const int pointRows = points()->recordCount();
        const QStringList dishRows = column(dishes(), "NRSERVTRAN");
        if (where == QLatin1String("labels")) {
            focus(grid("dbgEtiqueta"));
        } else if (where == QLatin1String("editing")) {
            focus(grid("dbgServTran"));
            click("sbtAlterar");
        } else {
            focus(grid("dbgPadrao"));
            fx->presenter().queueConfirm(framework::mrNo);
        }
        part(screen, "sbtExcluir")->setEnabled(true);   // whatever the toolbar's rules say
        click("sbtExcluir");
        QCOMPARE(fx->presenter().confirmations().size(), where == QLatin1String("no") ? 1 : 0);
        QCOMPARE(points()->recordCount(), pointRows);
        QCOMPARE(column(dishes(), "NRSERVTRAN"), dishRows);
        QCOMPARE(fx->count(QStringLiteral("SELECT COUNT(*) FROM SERVTRAN")), 4);
    }

    // A delivery point goes with its dishes and labels; the labels are not read again.
    void deletingAPoint()
    {
        labels()->setFiltered(false);
        const int labelRows = labels()->recordCount();
        focus(grid("dbgPadrao"));
        fx->presenter().queueConfirm(framework::mrYes);
        click("sbtExcluir");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(fx->presenter().confirmations(), QStringList{"Confirma Exclusão?"});
        QCOMPARE(fx->count(QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE CDCLIENTE = '0000123' AND CDDESTFILI = '001'")), 0);
        QCOMPARE(fx->count(QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE CDCLIENTE = '0000123' AND CDDESTFILI = '001'")), 0);
        QCOMPARE(points()->recordCount(), 2);
        labels()->setFiltered(false);
        QCOMPARE(labels()->recordCount(), labelRows);
        QVERIFY(fx->presenter().busyBalanced());
    }

    // The last point: both lists end up without rows, the filters put back.
    void deletingTheLastPoint()
    {
        for (int i = 0; i < 3; ++i) {
            focus(grid("dbgPadrao"));
            fx->presenter().queueConfirm(framework::mrYes);
            click("sbtExcluir");
        }
        QCOMPARE(fx->presenter().errors(), QStringList());
        QVERIFY(points()->isEmpty());
        QCOMPARE(grid("dbgServTran")->model()->rowCount(), 0);
        QCOMPARE(grid("dbgEtiqueta")->model()->rowCount(), 0);
        QCOMPARE(dishes()->filter(), QStringLiteral("CDCLIENTE  = '' AND CDDESTFILI = ''"));
        QCOMPARE(fx->count(QStringLiteral("SELECT COUNT(*) FROM SERVTRAN")), 0);
    }

    // The last dish of a point: removed on the server, and the day read again without the point.
    void deletingTheLastDishOfAPoint()
    {
        points()->setRecNo(2);
        focus(grid("dbgServTran"));
        fx->presenter().queueConfirm(framework::mrYes);
        click("sbtExcluir");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(fx->count(QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE NRSERVTRAN = '0000000004'")), 0);
        QCOMPARE(points()->recordCount(), 2);
        QVERIFY(fx->presenter().busyBalanced());
    }

    // A server that cannot be reached: nothing changes on the screen, the indicator goes.
    void failingDeletionsChangeNothing_data()
    {
        QTest::addColumn<QString>("gridName");
        QTest::newRow("a point") << "dbgPadrao";
        QTest::newRow("a dish") << "dbgServTran";
    }

    void failingDeletionsChangeNothing()
    {
        QFETCH(QString, gridName);
        const QStringList dishRows = column(dishes(), "NRSERVTRAN");
        fx->stopServer();
        focus(grid(gridName.toLatin1().constData()));
        fx->presenter().queueConfirm(framework::mrYes);
        click("sbtExcluir");
        QCOMPARE(fx->presenter().errors().size(), 1);
        QCOMPARE(points()->recordCount(), 3);
        QCOMPARE(column(dishes(), "NRSERVTRAN"), dishRows);
        QCOMPARE(dishes()->changeCount(), 0);
        QVERIFY(fx->presenter().busyBalanced());
        QCOMPARE(fx->presenter().busyDepth(), 0);
    }

    // --- Print ---

    // Print opens the label print module, once however often it is pressed.
    void printOpensTheLabelPrintModule()
    {
        click("sbtImprimir");
        click("sbtImprimir");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QTRY_COMPARE(fx->mainWindow()->findChildren<QWidget *>(QStringLiteral("labelPrintWindow")).size(), 1);
    }

    // --- History of changes ---

    // What a user does to the day is in its history under the session's operator, and the print
    // module shows it: a dish included, the diners of another changed, a dish deleted.
    void theDaysChangesAreInTheHistory()
    {
        const int before = fx->count(QStringLiteral("SELECT COUNT(*) FROM HISTSERVTRAN"));
        postNewDish(QStringLiteral("1010010003"), QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("4"));
        QCOMPARE(fx->presenter().errors(), QStringList());
        const QString added = fx->stored(QStringLiteral("0000000005"), QStringLiteral("NRSERVTRAN")).toString();
        QCOMPARE(added, QStringLiteral("0000000005"));

        focus(grid("dbgServTran"));
        QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {QStringLiteral("0000000001")}));
        click("sbtAlterar");
        typeInCell(grid("dbgServTran"), ColDiners, QStringLiteral("25"));
        click("sbtConfirmar");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(fx->stored(QStringLiteral("0000000001"), QStringLiteral("QTCOMESTIST")).toDouble(), 25.0);

        focus(grid("dbgServTran"));
        QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {QStringLiteral("0000000005")}));
        fx->presenter().queueConfirm(framework::mrYes);
        click("sbtExcluir");
        QCOMPARE(fx->presenter().errors(), QStringList());
        QVERIFY(!fx->stored(QStringLiteral("0000000005"), QStringLiteral("NRSERVTRAN")).isValid());

        const auto recorded = [this](const char *method, const char *kind, const char *number) {
            return fx->count(QStringLiteral("SELECT COUNT(*) FROM HISTSERVTRAN WHERE NMMETODO = ? AND IDALTERACAO = ? "
                                            "AND NRSERVTRAN = ? AND CDOPERADOR = 'ADMIN' AND DSENDERECO = '127.0.0.1'"),
                             {QString::fromLatin1(method), QString::fromLatin1(kind), QString::fromLatin1(number)});
        };
        QCOMPARE(recorded("SetServTran", "I", "0000000005"), 1);
        QCOMPARE(recorded("SetServTran", "A", "0000000001"), 1);
        QCOMPARE(recorded("DeletePrato", "E", "0000000005"), 1);
        const int written = fx->count(QStringLiteral("SELECT COUNT(*) FROM HISTSERVTRAN")) - before;

        // the print module's history of the day lists the same rows
        click("sbtImprimir");
        QWidget *printWindow = nullptr;
        QTRY_VERIFY((printWindow = fx->mainWindow()->findChild<QWidget *>(QStringLiteral("labelPrintWindow"))));
        auto *service = part<QComboBox>(printWindow, "cmbService");
        service->setCurrentIndex(service->findData(QStringLiteral("00001")));
        QTest::mouseClick(part(printWindow, "btnHistory"), Qt::LeftButton);
        QCOMPARE(fx->presenter().errors(), QStringList());
        auto *history = part<QTableWidget>(printWindow, "tblHistory");
        // A line per changed field of a change, one per inclusion or deletion: at least a line
        // per change written.
        QVERIFY(history->rowCount() >= before + written);
        const auto columnOf = [history](const QString &heading) {
            for (int c = 0; c < history->columnCount(); ++c)
                if (history->horizontalHeaderItem(c)->text() == heading)
                    return c;
            return -1;
        };
        QStringList kinds;
        for (int r = 0; r < history->rowCount(); ++r) {
            QCOMPARE(history->item(r, columnOf(QStringLiteral("Operador")))->text(), QStringLiteral("Administrador"));
            kinds << history->item(r, columnOf(QStringLiteral("Operação")))->text();
        }
        QVERIFY(kinds.contains(QStringLiteral("Inclusão")));
        QVERIFY(kinds.contains(QStringLiteral("Alteração")));
        QVERIFY(kinds.contains(QStringLiteral("Exclusão")));
    }

    // --- What a row is stored with, whatever happened before ---

    // A point insertion given up (Cancel on the point grid, or its first dish cancelled) leaves
    // nothing behind: the next dish saved elsewhere gets its own labels, and no other row's
    // labels are made again.
    void aPointInsertionGivenUpLeavesNothingBehind_data()
    {
        QTest::addColumn<bool>("withFirstDish");
        QTest::newRow("point cancelled") << false;
        QTest::newRow("its first dish cancelled") << true;
    }

    void aPointInsertionGivenUpLeavesNothingBehind()
    {
        QFETCH(bool, withFirstDish);
        focus(grid("dbgPadrao"));
        click("sbtIncluir");
        QCOMPARE(points()->state(), DataSetState::Insert);
        if (withFirstDish) {
            grid("dbgServTran")->setEnabled(true);
            dishes()->fieldByName(QStringLiteral("CDPRATO"))->focusControl();
            dishes()->insert();
        }
        fx->presenter().queueConfirm(framework::mrYes);
        click("sbtCancelar");
        QCOMPARE(points()->state(), DataSetState::Browse);

        points()->setRecNo(0);   // Alfa at the gate: rows 1 and 2, the new one goes in before row 2
        QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {QStringLiteral("0000000002")}));
        const QStringList firstRowLabels = storedLabels(QStringLiteral("0000000001"));
        postNewDish(QStringLiteral("1010010003"), QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("4"));
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(storedLabels(QStringLiteral("0000000005")), (QStringList{"0001=4", "0002=4", "0003=2"}));
        QCOMPARE(storedLabels(QStringLiteral("0000000001")), firstRowLabels);
    }

    // The dish data of an edited row are its own service's: after the header moves to another
    // service, the same dish's minimum fill there decides the split.
    void anEditedRowUsesItsOwnServicesDishData()
    {
        fx->registerDish(QStringLiteral("1010010002"), QStringLiteral("P"), 0.25, 4.0, 0.0, 0.0);   // no minimum
        fx->registerDish(QStringLiteral("1010010002"), QStringLiteral("P"), 0.25, 4.0, 0.0, 50.0, QStringLiteral("00002"));
        fx->addDish(QStringLiteral("0000456"), QStringLiteral("003"), QStringLiteral("0000000011"), QStringLiteral("1010010002"),
                    20, 1, seededDay(), QStringLiteral("00002"));
        const auto editDiners = [this](const QString &number, const QString &diners) {
            focus(grid("dbgServTran"));
            QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {number}));
            click("sbtAlterar");
            typeInCell(grid("dbgServTran"), ColDiners, diners);
            click("sbtConfirmar");
            QCOMPARE(fx->presenter().errors(), QStringList());
        };
        points()->setRecNo(0);   // Alfa at the gate
        editDiners(QStringLiteral("0000000002"), QStringLiteral("70"));   // 17.5 in 4: no minimum, 4 full and 1.5
        QCOMPARE(fx->stored(QStringLiteral("0000000002"), QStringLiteral("QTCONTCOMPST")).toDouble(), 4.0);

        focus(part(screen, "medCdServico"));
        part<toolkit::MaskEdit>(screen, "medCdServico")->setText(QStringLiteral("00002"));
        focus(grid("dbgPadrao"));
        QCOMPARE(column(dishes(), "NRSERVTRAN"), QStringList{"0000000011"});
        editDiners(QStringLiteral("0000000011"), QStringLiteral("70"));   // at 50 %: 3 full and 2 × 2.75
        QCOMPARE(fx->stored(QStringLiteral("0000000011"), QStringLiteral("QTCONTCOMPST")).toDouble(), 3.0);
        QCOMPARE(fx->stored(QStringLiteral("0000000011"), QStringLiteral("QTPARCPRATST")).toDouble(), 2.75);
    }

    // Ctrl+Delete in the point grid is the screen's Delete: asked, done on the server, gone for
    // good; in the label grid it does nothing.
    void ctrlDeleteInThePointGridDeletesOnTheServer_data()
    {
        QTest::addColumn<QString>("gridName");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("rowsLeft");
        QTest::newRow("point grid, billing column") << "dbgPadrao" << 3 << 3;
        QTest::newRow("point grid, client column") << "dbgPadrao" << 0 << 3;
        QTest::newRow("label grid") << "dbgEtiqueta" << 0 << 4;
    }

    void ctrlDeleteInThePointGridDeletesOnTheServer()
    {
        QFETCH(QString, gridName);
        QFETCH(int, column);
        QFETCH(int, rowsLeft);
        points()->setRecNo(2);   // Beto, one dish
        DBGrid *target = grid(gridName.toLatin1().constData());
        focus(target);
        target->setSelectedIndex(column);
        fx->presenter().queueConfirm(framework::mrYes);
        QTest::keyClick(target, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(fx->presenter().errors(), QStringList());
        QCOMPARE(fx->count(QStringLiteral("SELECT COUNT(*) FROM SERVTRAN")), rowsLeft);
        click("sbtVerificar");   // what the server holds, read again
        QCOMPARE(points()->recordCount(), rowsLeft == 4 ? 3 : 2);
    }

    // A quantity no kitchen means is refused on posting with its reason, and nothing is saved.
    void anImplausibleQuantityIsRefusedWithItsReason_data()
    {
        QTest::addColumn<QString>("perPerson");
        QTest::addColumn<QString>("perContainer");
        QTest::addColumn<QString>("message");
        // the edits take seven digits at most
        QTest::newRow("the edits' largest each") << "9999999" << "9999999"
                                                 << "Quantidade por pessoa fora dos limites: informe um valor de até 1.000.000.";
        QTest::newRow("two million per container") << "1" << "2000000"
                                                   << "Quantidade por container fora dos limites: informe um valor de até 1.000.000.";
    }

    void anImplausibleQuantityIsRefusedWithItsReason()
    {
        QFETCH(QString, perPerson);
        QFETCH(QString, perContainer);
        QFETCH(QString, message);
        postNewDish(QStringLiteral("1010010003"), QStringLiteral("10"), perPerson, perContainer);
        QCOMPARE(fx->presenter().errors(), QStringList{message});
        QCOMPARE(fx->count(QStringLiteral("SELECT COUNT(*) FROM SERVTRAN")), 4);
        QCOMPARE(dishes()->state(), DataSetState::Insert);
    }
};

QTEST_MAIN(TestServTranSaving)
#include "tst_servtran_saving.moc"
