// The transported-services screen without the mouse: a day loaded, a delivery point entered
// with its first dish, its diners changed, the dish deleted and the day verified with keys
// alone; the tab order follows the reading order, and the focus always shows.

#include "screenfixture.h"

#include <framework/presenter.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>

using namespace screentest;
using toolkit::ClientDataSet;
using toolkit::DataSetState;
using toolkit::DBGrid;

class TestServTranKeyboard : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    QWidget *screen = nullptr;

    DBGrid *grid(const char *name) { return part<DBGrid>(screen, name); }
    ClientDataSet *points() { return dataSet(screen, "cdsPadrao"); }
    ClientDataSet *dishes() { return dataSet(screen, "cdsServTran"); }

    // The control the keys go to: a grid's open cell editor counts as its grid.
    static QString focused()
    {
        QWidget *w = QApplication::focusWidget();
        while (w && w->objectName().isEmpty())
            w = w->parentWidget();
        for (QWidget *p = w; p; p = p->parentWidget())
            if (qobject_cast<DBGrid *>(p))
                return p->objectName();
        return w ? w->objectName() : QString();
    }
    static void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *target = QApplication::focusWidget();
        QVERIFY2(target, "no control has the focus");
        QTest::keyClick(target, Qt::Key(key), modifiers);
        QApplication::processEvents();
    }
    static void typeHere(const QString &text)
    {
        QWidget *target = QApplication::focusWidget();
        QVERIFY2(target, "no control has the focus");
        QTest::keyClicks(target, text);
        QApplication::processEvents();
    }
    // Where Tab leads from the focused control, one control per press.
    static QStringList tabbing(int presses, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QStringList seen;
        for (int i = 0; i < presses; ++i) {
            press(Qt::Key_Tab, modifiers);
            seen << focused();
        }
        return seen;
    }

private slots:
    void init()
    {
        fx = std::make_unique<ScreenFixture>();
        screen = fx->openScreen();
        QVERIFY(screen);
        screen->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(screen->window()));
    }
    void cleanup()
    {
        fx.reset();
        screen = nullptr;
    }

    // The screen opens in its first field, and Tab goes branch, service, date, then the points.
    void theHeaderInReadingOrder()
    {
        QCOMPARE(focused(), QStringLiteral("medCdFilial"));
        QCOMPARE(tabbing(2), (QStringList{"medCdServico", "depDataCard"}));
        QCOMPARE(tabbing(2, Qt::ShiftModifier), (QStringList{"medCdServico", "medCdFilial"}));
    }

    // The whole road of a day with keys only.
    void aDayWithoutTheMouse()
    {
        // The day: the service typed, the header left with Tab.
        QCOMPARE(focused(), QStringLiteral("medCdFilial"));
        press(Qt::Key_Tab);
        typeHere(QStringLiteral("00001"));
        QCOMPARE(tabbing(2), (QStringList{"depDataCard", "dbgPadrao"}));
        QCOMPARE(fx->presenter().errors().join(QLatin1Char('|')), QString());
        QCOMPARE(points()->recordCount(), 3);

        // A new point: Incluir (F2), client, point, estimated diners, Confirmar (F10).
        press(Qt::Key_F2);
        QCOMPARE(points()->state(), DataSetState::Insert);
        typeHere(QStringLiteral("44555666000107"));
        press(Qt::Key_Tab);
        typeHere(QStringLiteral("2"));
        press(Qt::Key_Tab);
        typeHere(QStringLiteral("50"));
        press(Qt::Key_F10);
        QCOMPARE(fx->presenter().errors().join(QLatin1Char('|')), QString());
        QCOMPARE(dishes()->state(), DataSetState::Insert);
        QCOMPARE(focused(), QStringLiteral("dbgServTran"));
        QCOMPARE(grid("dbgServTran")->selectedField()->fieldName(), QStringLiteral("CDPRATO"));

        // Its first dish: code and diners in the grid, then the quantity edits in reading order
        // (Ctrl+Tab leaves a grid whose Tab moves between cells), Confirmar.
        typeHere(QStringLiteral("1010010003"));
        press(Qt::Key_Tab);
        typeHere(QStringLiteral("40"));
        press(Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(focused(), QStringLiteral("dbeQtPadrao"));
        typeHere(QStringLiteral("0,25"));
        QCOMPARE(tabbing(1), QStringList{"dbeQtContainer"});
        typeHere(QStringLiteral("4"));
        press(Qt::Key_F10);
        QCOMPARE(fx->presenter().errors().join(QLatin1Char('|')), QString());
        QCOMPARE(dishes()->state(), DataSetState::Browse);
        QCOMPARE(points()->state(), DataSetState::Browse);
        QCOMPARE(fx->stored(QStringLiteral("0000000005"), QStringLiteral("CDCLIENTE")).toString(), QStringLiteral("0000789"));
        QCOMPARE(fx->stored(QStringLiteral("0000000005"), QStringLiteral("QTCOMESTIST")).toDouble(), 40.0);

        // Its diners changed in the dish grid: the diners column, the new count, Confirmar.
        // Back from the quantity edits to the dish grid, in reading order.
        QCOMPARE(tabbing(2, Qt::ShiftModifier), (QStringList{"dbeQtPadrao", "dbgServTran"}));
        // The day was read again: the new point is found with the arrows in the point grid.
        press(Qt::Key_PageUp, Qt::AltModifier);
        QCOMPARE(focused(), QStringLiteral("dbgPadrao"));
        for (int i = 0; i < points()->recordCount(); ++i)
            press(Qt::Key_Up);
        for (int i = 0; i < points()->recordCount() && points()->fieldByName(QStringLiteral("CDCLIENTE"))->asString() != QLatin1String("0000789"); ++i)
            press(Qt::Key_Down);
        QCOMPARE(points()->fieldByName(QStringLiteral("CDCLIENTE"))->asString(), QStringLiteral("0000789"));
        press(Qt::Key_PageDown, Qt::AltModifier);
        QCOMPARE(focused(), QStringLiteral("dbgServTran"));
        QCOMPARE(column(dishes(), QStringLiteral("NRSERVTRAN")), QStringList{"0000000005"});
        grid("dbgServTran")->setSelectedIndex(0);
        press(Qt::Key_Tab);
        QCOMPARE(grid("dbgServTran")->selectedField()->fieldName(), QStringLiteral("QTCOMESTIST"));
        typeHere(QStringLiteral("60"));
        press(Qt::Key_F10);
        QCOMPARE(fx->presenter().errors().join(QLatin1Char('|')), QString());
        QCOMPARE(fx->stored(QStringLiteral("0000000005"), QStringLiteral("QTCOMESTIST")).toDouble(), 60.0);

        // The dish deleted (F8, confirmed with Sim), then the day verified (F5).
        QCOMPARE(focused(), QStringLiteral("dbgServTran"));
        QVERIFY(dishes()->locate(QStringLiteral("NRSERVTRAN"), {QStringLiteral("0000000005")}));
        fx->presenter().queueConfirm(framework::mrYes);
        press(Qt::Key_F8);
        QCOMPARE(fx->presenter().errors().join(QLatin1Char('|')), QString());
        QCOMPARE(fx->presenter().unexpected(), QStringList());
        QVERIFY(!fx->stored(QStringLiteral("0000000005"), QStringLiteral("CDCLIENTE")).isValid());
        fx->exec(QStringLiteral("UPDATE SERVTRAN SET QTCOMESTIST = 99 WHERE NRSERVTRAN = '0000000004'"));
        focus(grid("dbgPadrao"));
        press(Qt::Key_F5);
        QCOMPARE(fx->presenter().errors().join(QLatin1Char('|')), QString());
        QVERIFY(points()->locate(QStringLiteral("CDCLIENTE"), {QStringLiteral("0000456")}));
        QCOMPARE(column(dishes(), QStringLiteral("QTCOMESTIST")), QStringList{"99"});
    }

    // The focused control looks different from the same control without the focus.
    void theFocusShows_data()
    {
        QTest::addColumn<QString>("control");
        for (const char *name : {"medCdFilial", "medCdServico", "depDataCard", "dbgPadrao", "dbgServTran", "dbeQtPadrao",
                                 "dbeQtContainer", "dbgEtiqueta"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void theFocusShows()
    {
        QFETCH(QString, control);
        // The header's fields before the day is loaded (entering the header closes the day),
        // the lists' controls with the day loaded, each against another control of its kind.
        const bool header = control.startsWith(QLatin1String("med")) || control.startsWith(QLatin1String("dep"));
        if (!header) {
            focus(part(screen, "medCdServico"));
            type(part(screen, "medCdServico"), QStringLiteral("00001"));
            focus(grid("dbgPadrao"));
            QVERIFY(points()->active());
        }
        const char *other = header ? (control == QLatin1String("medCdServico") ? "depDataCard" : "medCdServico")
                                   : (control == QLatin1String("dbgPadrao") ? "dbgEtiqueta" : "dbgPadrao");
        QWidget *widget = part(screen, qPrintable(control));
        focus(part(screen, other));
        QCOMPARE(focused(), QString::fromLatin1(other));
        const QImage without = widget->grab().toImage();
        focus(widget);
        QCOMPARE(focused(), control);
        const QImage with = widget->grab().toImage();
        QVERIFY2(with != without, qPrintable(control + QStringLiteral(" looks the same with the focus")));
    }
};

QTEST_MAIN(TestServTranKeyboard)
#include "tst_servtran_keyboard.moc"
