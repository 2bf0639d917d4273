// Keys nobody handles, pressed while a cell of each grid of the transported-services screen is
// being edited: the editing goes on, the typed text is kept, and the screen lives on.

#include "screenfixture.h"

#include <toolkit/maskedit.h>

#include <QApplication>
#include <QLineEdit>

using namespace screentest;
using toolkit::ClientDataSet;
using toolkit::DataSetState;
using toolkit::DBGrid;

class TestServTranGridKeys : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    QWidget *screen = nullptr;

    DBGrid *grid(const char *name) { return part<DBGrid>(screen, name); }

    void loadDay()
    {
        focus(part(screen, "medCdServico"));
        part<toolkit::MaskEdit>(screen, "medCdServico")->setText(QStringLiteral("00001"));
        focus(grid("dbgPadrao"));
        QVERIFY(dataSet(screen, "cdsPadrao")->active());
    }

private slots:
    void init()
    {
        fx = std::make_unique<ScreenFixture>();
        screen = fx->openScreen();
        QVERIFY(screen);
    }
    void cleanup() { fx.reset(); }

    void unhandledKeysKeepTheCellBeingEdited_data()
    {
        QTest::addColumn<QString>("gridName");
        QTest::addColumn<QString>("dataSetName");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        // F2 opens the editor, F9 and F10 are the screen's Cancel and Confirm: every other
        // function key, and a few keys nothing on the screen uses.
        const QList<int> keys{Qt::Key_F1, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5, Qt::Key_F6, Qt::Key_F7,
                              Qt::Key_F8, Qt::Key_F11, Qt::Key_F12, Qt::Key_Pause, Qt::Key_ScrollLock};
        const struct {
            const char *grid, *dataSet;
            int column;
        } grids[] = {{"dbgPadrao", "cdsPadrao", 3}, {"dbgServTran", "cdsServTran", 1}};
        for (const auto &g : grids) {
            for (int k : keys)
                QTest::addRow("%s %s", g.grid, qPrintable(QKeySequence(k).toString()))
                    << QString::fromLatin1(g.grid) << QString::fromLatin1(g.dataSet) << g.column << k << int(Qt::NoModifier);
            QTest::addRow("%s Shift+F8", g.grid) << QString::fromLatin1(g.grid) << QString::fromLatin1(g.dataSet)
                                                   << g.column << int(Qt::Key_F8) << int(Qt::ShiftModifier);
        }
    }

    void unhandledKeysKeepTheCellBeingEdited()
    {
        QFETCH(QString, gridName);
        QFETCH(QString, dataSetName);
        QFETCH(int, column);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        loadDay();
        DBGrid *g = grid(qPrintable(gridName));
        ClientDataSet *ds = dataSet(screen, qPrintable(dataSetName));
        focus(g);
        g->setSelectedIndex(column);
        type(g, QStringLiteral("7"));
        QVERIFY(g->editorMode());
        QCOMPARE(ds->state(), DataSetState::Edit);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY(fx->screenExists());
        QVERIFY(g->editorMode());
        QCOMPARE(ds->state(), DataSetState::Edit);
        type(g, QStringLiteral("5"));
        QCOMPARE(g->cellEditor()->text(), QStringLiteral("75"));
        QCOMPARE(fx->presenter().messages(), QStringList());
    }

    // F4 opens a cell's look-up as it opens an edit's: in the client, point and dish columns of
    // a new row, with the cell being typed in or not.
    void f4OpensTheLookUpOfTheCell_data()
    {
        QTest::addColumn<QString>("gridName");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("title");
        QTest::newRow("client") << QStringLiteral("dbgPadrao") << 0 << QString() << QStringLiteral("Cliente");
        QTest::newRow("point") << QStringLiteral("dbgPadrao") << 1 << QString() << QStringLiteral("Ponto de Entrega");
        QTest::newRow("dish") << QStringLiteral("dbgServTran") << 0 << QString() << QStringLiteral("Prato");
        QTest::newRow("dish being typed") << QStringLiteral("dbgServTran") << 0 << QStringLiteral("10")
                                          << QStringLiteral("Prato");
    }

    void f4OpensTheLookUpOfTheCell()
    {
        QFETCH(QString, gridName);
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, title);
        loadDay();
        DBGrid *g = grid(qPrintable(gridName));
        focus(g);
        QTest::mouseClick(part(screen, "sbtIncluir"), Qt::LeftButton);
        g->setSelectedIndex(column);
        if (!typed.isEmpty())
            type(g, typed);
        fx->presenter().queueLookup(framework::testing::LookupAnswer::cancel());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F4);
        QCOMPARE(fx->presenter().texts(framework::testing::Shown::Pick), QStringList{title});
        QCOMPARE(fx->presenter().unexpected(), QStringList());
    }

    // The label grid has no cell a user can edit: the same keys on it change nothing.
    void unhandledKeysOnTheLabelGrid_data()
    {
        QTest::addColumn<int>("key");
        for (int k : {Qt::Key_F1, Qt::Key_F4, Qt::Key_F7, Qt::Key_F8, Qt::Key_F11, Qt::Key_F12, Qt::Key_Pause})
            QTest::addRow("%s", qPrintable(QKeySequence(k).toString())) << k;
    }

    void unhandledKeysOnTheLabelGrid()
    {
        QFETCH(int, key);
        loadDay();
        DBGrid *g = grid("dbgEtiqueta");
        focus(g);
        QVERIFY(!g->showEditor());
        QTest::keyClick(g, Qt::Key(key));
        QVERIFY(fx->screenExists());
        QCOMPARE(QApplication::focusWidget(), g);
        QCOMPARE(dataSet(screen, "cdsEtiqueta")->state(), DataSetState::Browse);
    }
};

QTEST_MAIN(TestServTranGridKeys)
#include "tst_servtran_gridkeys.moc"
