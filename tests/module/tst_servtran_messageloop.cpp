// A refused value met with the real message box, as a user meets it: whatever closes the
// message (Enter, Esc, the window's close) and wherever the focus was heading (Tab, Shift+Tab,
// a click on another control), the message comes once and the focus comes back, once, to the
// control being corrected. Run offscreen, and under Xvfb with a window manager by
// run-under-window-manager.sh, where closing the message activates the window again by itself.

#include "screenfixture.h"

#include <framework/presenter.h>
#include <toolkit/dbedit.h>
#include <toolkit/maskedit.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

using namespace screentest;
using toolkit::DBGrid;

namespace {

enum class Closing { Enter, Escape, Close };
enum class Heading { Tab, Backtab, Click };

// The user at the message boxes: each new box is read and closed one way. Should the same
// refusal come back again and again, the user gives in after a few boxes and types a valid
// value, so that a failing run ends.
class MessageCloser : public QObject {
public:
    MessageCloser(Closing closing, std::function<void()> giveIn) : m_closing(closing), m_giveIn(std::move(giveIn))
    {
        connect(&m_timer, &QTimer::timeout, this, &MessageCloser::look);
        m_timer.start(25);
    }
    QStringList texts;

private:
    void look()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || m_closed.contains(box))
            return;
        m_closed << box;
        texts << box->text();
        if (texts.size() >= 4)
            m_giveIn();
        switch (m_closing) {
        case Closing::Enter:
            QTest::keyClick(box, Qt::Key_Return);
            break;
        case Closing::Escape:
            QTest::keyClick(box, Qt::Key_Escape);
            break;
        case Closing::Close:
            box->close();
            break;
        }
    }
    Closing m_closing;
    std::function<void()> m_giveIn;
    QTimer m_timer;
    QList<QPointer<QMessageBox>> m_closed;
};

} // namespace

class TestServTranMessageLoop : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> fx;
    QWidget *screen = nullptr;
    framework::QtPresenter realDialogs;
    framework::Presenter *scripted = nullptr;

    void loadDay()
    {
        focus(part(screen, "medCdServico"));
        part<toolkit::MaskEdit>(screen, "medCdServico")->setText(QStringLiteral("00001"));
        focus(part(screen, "dbgPadrao"));
        QVERIFY(dataSet(screen, "cdsPadrao")->active());
    }
    static QWidget *focusedControl()
    {
        QWidget *w = QApplication::focusWidget();
        for (QWidget *p = w; p; p = p->parentWidget())
            if (qobject_cast<DBGrid *>(p))
                return p;
        return w;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }
    void init()
    {
        fx = std::make_unique<ScreenFixture>();
        screen = fx->openScreen();
        QVERIFY(screen);
    }
    void cleanup()
    {
        if (scripted)
            framework::setPresenter(scripted);
        scripted = nullptr;
        fx.reset();
    }

    void aRefusedExitShowsItsMessageOnce_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("correction");
        QTest::addColumn<int>("closing");
        QTest::addColumn<int>("heading");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("handedOn");
        const QString notANumber = QStringLiteral("'1.500' não é um valor numérico válido.");
        const struct {
            const char *name, *control, *typed, *correction;
            QString message;
        } controls[] = {
            {"quantity", "dbeQtPadrao", "1.500", "1,5", notANumber},
            {"header", "medCdServico", "99999", "00001", QStringLiteral("Serviço não cadastrado.")},
            {"grid cell", "dbgServTran", "1.500", "15", notANumber},
        };
        // Each way of leaving with one way of closing the message.
        const struct {
            const char *name;
            Heading heading;
            Closing closing;
        } ways[] = {{"Tab, Enter", Heading::Tab, Closing::Enter},
                    {"Shift+Tab, Esc", Heading::Backtab, Closing::Escape},
                    {"click, closed", Heading::Click, Closing::Close}};
        // Whether the window, activated again, hands the focus on to the control the user was
        // heading for, as Qt does under a window manager when the message closes.
        for (const bool handedOn : {false, true})
            for (const auto &c : controls)
                for (const auto &w : ways)
                    QTest::addRow("%s, %s%s", c.name, w.name, handedOn ? ", handed on" : "")
                        << QString::fromLatin1(c.control) << QString::fromLatin1(c.typed)
                        << QString::fromLatin1(c.correction) << int(w.closing) << int(w.heading) << c.message << handedOn;
    }

    void aRefusedExitShowsItsMessageOnce()
    {
        QFETCH(QString, control);
        QFETCH(QString, typed);
        QFETCH(QString, correction);
        QFETCH(int, closing);
        QFETCH(int, heading);
        QFETCH(QString, message);
        QFETCH(bool, handedOn);
        loadDay();
        auto *target = part(screen, qPrintable(control));
        auto *grid = qobject_cast<DBGrid *>(target);
        if (grid) {
            focus(grid);
            grid->setSelectedIndex(1);   // the diners
            type(grid, typed);
        } else {
            focus(target);
            auto *edit = static_cast<QLineEdit *>(target);
            edit->selectAll();
            type(edit, typed);
        }
        QWidget *typing = QApplication::focusWidget();
        // The control the focus was heading for when the exit was refused.
        QPointer<QWidget> headedFor;
        const QMetaObject::Connection watch =
            connect(qApp, &QApplication::focusChanged, this, [&headedFor, typing](QWidget *, QWidget *now) {
                if (!headedFor && now && now != typing && now->window() == typing->window())
                    headedFor = now;
            });
        const auto unwatch = qScopeGuard([watch] { disconnect(watch); });
        scripted = framework::setPresenter(&realDialogs);
        MessageCloser user(Closing(closing), [typing, correction] {
            // Given in: a value that passes, typed over the refused one.
            if (auto *edit = qobject_cast<QLineEdit *>(typing)) {
                edit->selectAll();
                edit->insert(correction);
            }
        });

        // Leaving the control: a Tab or Shift+Tab (Ctrl+ in a grid, whose own Tab goes from cell
        // to cell), or a click on the label grid.
        const Qt::KeyboardModifiers ctrl = grid ? Qt::ControlModifier : Qt::NoModifier;
        switch (Heading(heading)) {
        case Heading::Tab:
            QTest::keyClick(typing, Qt::Key_Tab, ctrl);
            break;
        case Heading::Backtab:
            QTest::keyClick(typing, Qt::Key_Backtab, ctrl | Qt::ShiftModifier);
            break;
        case Heading::Click: {
            // Another control of the screen: the quantity per container, the one per person
            // below the dish grid, the label grid beside the header's.
            QWidget *other = part(screen, control == QLatin1String("dbeQtPadrao") ? "dbeQtContainer"
                                          : grid                                  ? "dbeQtPadrao"
                                                                                  : "dbgEtiqueta");
            if (auto *view = qobject_cast<DBGrid *>(other))
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(0, 0)).center());
            else
                QTest::mouseClick(other, Qt::LeftButton);
            break;
        }
        }
        QTRY_VERIFY(user.texts.size() >= 1);
        // A window manager activates the main window again once the message is gone; offscreen
        // nobody does, so the test does it as one would.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 400) {
            if (QApplication::activeModalWidget() == nullptr && !fx->mainWindow()->isActiveWindow())
                fx->mainWindow()->activateWindow();
            QTest::qWait(20);
        }
        QVERIFY(QTest::qWaitForWindowActive(fx->mainWindow()));
        // A grid refuses to be left before the focus moves: the control its Tab leads to.
        for (QWidget *w = typing; !headedFor;) {
            w = Heading(heading) == Heading::Backtab ? w->previousInFocusChain() : w->nextInFocusChain();
            if (w == typing)
                break;
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() && w != target
                && !target->isAncestorOf(w) && w->window() == typing->window())
                headedFor = w;
        }
        QVERIFY(headedFor);
        if (handedOn)
            headedFor->setFocus(Qt::ActiveWindowFocusReason);
        QTest::qWait(200);
        QCOMPARE(user.texts, QStringList{message});
        QCOMPARE(focusedControl(), target);
    }
};

QTEST_MAIN(TestServTranMessageLoop)
#include "tst_servtran_messageloop.moc"
