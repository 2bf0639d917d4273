// The header-panel behaviour the screen relies on: enter and exit of a panel as the focus moves
// in and out of it, with modal dialogs opened by handlers; and the small controls around it
// (labels with a focus control, data texts, the navigator, group enabling and control marks).

#include <toolkit/clientdataset.h>
#include <toolkit/controls.h>
#include <toolkit/dbnavigator.h>
#include <toolkit/dbtext.h>
#include <toolkit/error.h>
#include <toolkit/label.h>
#include <toolkit/maskedit.h>
#include <toolkit/panel.h>

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace toolkit;

namespace {

// A screen in miniature: a header panel with three edits and a display-only one, then two
// controls below it.
struct Screen {
    QWidget window;
    Panel *panel = new Panel(&window, QStringLiteral("panFiltro"));
    MaskEdit *branch = new MaskEdit(panel, QStringLiteral("medCdFilial"));
    MaskEdit *service = new MaskEdit(panel, QStringLiteral("medCdServico"));
    MaskEdit *date = new MaskEdit(panel, QStringLiteral("depDataCard"));
    MaskEdit *name = new MaskEdit(panel, QStringLiteral("edtNmFilial"));
    MaskEdit *below = new MaskEdit(&window, QStringLiteral("dbgPadrao"));
    MaskEdit *further = new MaskEdit(&window, QStringLiteral("dbgServTran"));
    QStringList log;

    Screen()
    {
        auto *header = new QHBoxLayout(panel);
        for (QWidget *w : {static_cast<QWidget *>(branch), static_cast<QWidget *>(service), static_cast<QWidget *>(date),
                           static_cast<QWidget *>(name)})
            header->addWidget(w);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(panel);
        layout->addWidget(below);
        layout->addWidget(further);
        panel->onEnter = [this](QObject *sender) {
            QCOMPARE(sender, panel);
            log << QStringLiteral("panel enter");
        };
        panel->onExit = [this](QObject *) { log << QStringLiteral("panel exit"); };
        below->onEnter = [this](QObject *) { log << QStringLiteral("below enter"); };
    }
    bool show()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
    bool reactivate()
    {
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
    QStringList take() { return std::exchange(log, {}); }
};

bool focusOn(QWidget *w, Qt::FocusReason reason = Qt::TabFocusReason)
{
    w->setFocus(reason);
    return QTest::qWaitFor([w] { return w->hasFocus(); });
}

// Opens a modal dialog the way a validation message does, and closes it from inside once it
// has taken the focus. Counts the dialogs that really had it.
int dialogsFocused = 0;
void showModalMessage(QWidget *parent)
{
    QDialog dialog(parent);
    auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QTimer::singleShot(0, &dialog, [&] {
        if (QTest::qWaitForWindowActive(&dialog)) {
            ok->setFocus();
            if (QTest::qWaitFor([ok] { return ok->hasFocus(); }))
                ++dialogsFocused;
        }
        ok->click();
    });
    dialog.exec();
}

struct Messages {
    QStringList shown;
    Messages() { setExceptionHandler([this](const QString &m) { shown << m; }); }
    ~Messages() { setExceptionHandler({}); }
};

} // namespace

class TestPanel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void enterAndExitOnlyAcrossTheBorder()
    {
        Screen s;
        QVERIFY(s.show());
        QVERIFY(focusOn(s.branch));
        QCOMPARE(s.take(), QStringList{QStringLiteral("panel enter")});
        QVERIFY(focusOn(s.service));
        QVERIFY(focusOn(s.date));
        QCOMPARE(s.take(), QStringList());   // moving among its own children
        QVERIFY(focusOn(s.below));
        QCOMPARE(s.take(), (QStringList{QStringLiteral("panel exit"), QStringLiteral("below enter")}));
        QVERIFY(focusOn(s.further));
        QCOMPARE(s.take(), QStringList());
        QVERIFY(focusOn(s.service, Qt::MouseFocusReason));
        QCOMPARE(s.take(), QStringList{QStringLiteral("panel enter")});
        QVERIFY(s.panel->containsActiveControl());
    }

    void aDialogFromAChildsHandlerIsNotLeaving()
    {
        Screen s;
        s.branch->onExit = [&](QObject *) {
            s.log << QStringLiteral("branch exit");
            showModalMessage(&s.window);
        };
        QVERIFY(s.show());
        QVERIFY(focusOn(s.branch));
        s.take();
        dialogsFocused = 0;
        s.service->setFocus(Qt::TabFocusReason);
        QCOMPARE(s.take(), QStringList{QStringLiteral("branch exit")});
        QCOMPARE(dialogsFocused, 1);
        // Offscreen the focus is not handed back after a dialog: the window is activated again.
        QVERIFY(s.reactivate());
        QVERIFY(focusOn(s.service));
        QCOMPARE(s.take(), QStringList());
        QVERIFY(focusOn(s.date));
        QCOMPARE(s.take(), QStringList());
    }

    void aDialogWhileTheFocusIsInsideIsNeitherExitNorEnter()
    {
        Screen s;
        QVERIFY(s.show());
        QVERIFY(focusOn(s.date));
        s.take();
        dialogsFocused = 0;
        showModalMessage(&s.window);
        QCOMPARE(dialogsFocused, 1);
        QVERIFY(s.reactivate());
        QVERIFY(focusOn(s.date));
        QCOMPARE(s.take(), QStringList());
    }

    // The header's exit refuses (a message, then the focus back on the offending edit): the
    // exit ran once, no enter follows the focus coming back, and the control below never
    // hears of an enter.
    void exitHandlerThatRefusesAndMovesTheFocusBack()
    {
        Messages messages;
        Screen s;
        s.panel->onExit = [&](QObject *) {
            s.log << QStringLiteral("panel exit");
            showModalMessage(&s.window);
            s.service->setFocus(Qt::OtherFocusReason);
            throw Error(QStringLiteral("Serviço deve ser informado."));
        };
        QVERIFY(s.show());
        QVERIFY(focusOn(s.date));
        s.take();
        dialogsFocused = 0;
        s.below->setFocus(Qt::TabFocusReason);
        QCOMPARE(s.take(), QStringList{QStringLiteral("panel exit")});
        QCOMPARE(dialogsFocused, 1);
        QCOMPARE(messages.shown, QStringList{QStringLiteral("Serviço deve ser informado.")});
        QVERIFY(s.reactivate());
        QTRY_VERIFY(s.service->hasFocus());
        QVERIFY(s.panel->containsActiveControl());
        QCOMPARE(s.take(), QStringList());

        // It is still inside: leaving again is a new exit.
        s.panel->onExit = [&](QObject *) { s.log << QStringLiteral("panel exit"); };
        QVERIFY(focusOn(s.below));
        QCOMPARE(s.take(), (QStringList{QStringLiteral("panel exit"), QStringLiteral("below enter")}));
    }

    void handlersMovingTheFocusDoNotRecurse()
    {
        Screen s;
        QVERIFY(s.show());
        QVERIFY(focusOn(s.below));
        s.take();
        // Leaving the panel sends the focus further down; entering it sends it to the branch.
        s.panel->onExit = [&](QObject *) {
            s.log << QStringLiteral("panel exit");
            s.further->setFocus(Qt::OtherFocusReason);
        };
        s.panel->onEnter = [&](QObject *) {
            s.log << QStringLiteral("panel enter");
            s.branch->setFocus(Qt::OtherFocusReason);
        };
        s.date->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(s.branch->hasFocus());
        QCOMPARE(s.take(), QStringList{QStringLiteral("panel enter")});
        s.below->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(s.further->hasFocus());
        QCOMPARE(s.take(), QStringList{QStringLiteral("panel exit")});   // no enter of `below`
    }

    void aThrowingEnterGoesToErrorHandling()
    {
        Messages messages;
        Screen s;
        s.panel->onEnter = [](QObject *) { throw Error(QStringLiteral("falhou")); };
        QVERIFY(s.show());
        QVERIFY(focusOn(s.branch));
        QCOMPARE(messages.shown, QStringList{QStringLiteral("falhou")});
        QVERIFY(s.branch->hasFocus());
        QVERIFY(focusOn(s.below));
        QCOMPARE(s.take(), (QStringList{QStringLiteral("panel exit"), QStringLiteral("below enter")}));
    }

    void childrenEnabledAsAGroup()
    {
        Screen s;
        setTag(s.branch, 99);
        setDisplayOnly(s.name, true);
        s.name->setEnabled(false);
        QCOMPARE(tag(s.branch), 99);
        QCOMPARE(tag(s.service), 0);
        QVERIFY(isDisplayOnly(s.name));
        QCOMPARE(s.name->property("displayOnly").toBool(), true);   // the framework reads these

        const auto marked = [](QWidget *w) { return tag(w) == 99 || isDisplayOnly(w); };
        setChildrenEnabled(s.panel, false, marked);
        QVERIFY(s.branch->isEnabled());
        QVERIFY(!s.service->isEnabled());
        QVERIFY(!s.date->isEnabled());
        setChildrenEnabled(s.panel, true, marked);
        QVERIFY(s.service->isEnabled());
        QVERIFY(!s.name->isEnabled());
        setChildrenEnabled(s.panel, false);
        QVERIFY(!s.branch->isEnabled());
        QVERIFY(s.below->isEnabled());
    }

    void labelFocusesItsControl()
    {
        QWidget w;
        auto *layout = new QVBoxLayout(&w);
        auto *other = new MaskEdit(&w);
        auto *label = new Label(QStringLiteral("&Filial"), &w, QStringLiteral("lblFilial"));
        auto *edit = new MaskEdit(&w, QStringLiteral("medCdFilial"));
        label->setFocusControl(edit);
        layout->addWidget(other);
        layout->addWidget(label);
        layout->addWidget(edit);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QVERIFY(focusOn(other));
        QTest::mouseClick(label, Qt::LeftButton);
        QTRY_VERIFY(edit->hasFocus());
        QVERIFY(focusOn(other));
        QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(edit->hasFocus());
    }

    void dataTextAndNavigatorFollowTheCursor()
    {
        protocol::PacketContent c;
        c.fields = {{QStringLiteral("NMRAZSOCCLIE"), FieldKind::String, 50, false, false}};
        for (const char *name : {"Alfa Ltda", "Beta S.A.", "Gama ME"})
            c.rows.append({{QString::fromLatin1(name)}, protocol::RowChange::Unchanged, {}});
        ClientDataSet ds(nullptr, QStringLiteral("cdsPadrao"));
        DataSource src(nullptr, QStringLiteral("dtsPadrao"));
        src.setDataSet(&ds);
        DBText text(nullptr, QStringLiteral("dbtNome"));
        text.setDataSource(&src);
        text.setDataField(QStringLiteral("NMRAZSOCCLIE"));
        DBNavigator nav(nullptr, QStringLiteral("dbnPadrao"));
        nav.setDataSource(&src);
        QVERIFY(!nav.button(DBNavigator::Next)->isEnabled());   // closed: nothing to move to
        QCOMPARE(text.text(), QString());

        ds.setData(protocol::encodePacket(c));
        QCOMPARE(text.text(), QStringLiteral("Alfa Ltda"));
        QVERIFY(!nav.button(DBNavigator::First)->isEnabled());
        QVERIFY(!nav.button(DBNavigator::Prior)->isEnabled());
        QVERIFY(nav.button(DBNavigator::Next)->isEnabled());
        nav.button(DBNavigator::Next)->click();
        QCOMPARE(ds.recNo(), 1);
        QCOMPARE(text.text(), QStringLiteral("Beta S.A."));
        QVERIFY(nav.button(DBNavigator::Prior)->isEnabled());
        nav.button(DBNavigator::Last)->click();
        QCOMPARE(text.text(), QStringLiteral("Gama ME"));
        QVERIFY(!nav.button(DBNavigator::Next)->isEnabled());
        QVERIFY(!nav.button(DBNavigator::Last)->isEnabled());
        ds.edit();
        ds.fieldByName(QStringLiteral("NMRAZSOCCLIE"))->setAsString(QStringLiteral("Gama EPP"));
        QCOMPARE(text.text(), QStringLiteral("Gama EPP"));
    }
};

QTEST_MAIN(TestPanel)
#include "tst_panel.moc"
