// Masked and data-bound edits as a user meets them: keys typed into a shown, focused edit,
// the text the forms read back, and the dataset behind a data-bound edit.

#include <toolkit/clientdataset.h>
#include <toolkit/dbedit.h>
#include <toolkit/error.h>
#include <toolkit/maskedit.h>

#include <QApplication>
#include <QDialog>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

using namespace toolkit;
using protocol::PacketContent;
using protocol::RowChange;

namespace {

// Two quantity-like rows, as the dish list under the grid shows them.
PacketContent dishRows()
{
    PacketContent c;
    c.fields = {{QStringLiteral("CDPRATO"), FieldKind::String, 10, false, false},
                {QStringLiteral("NMPRATO"), FieldKind::String, 40, false, false},
                {QStringLiteral("QTPADRAOST"), FieldKind::Float, 0, false, false}};
    c.rows.append({{QStringLiteral("1010010001"), QStringLiteral("Arroz"), 0.25}, RowChange::Unchanged, {}});
    c.rows.append({{QStringLiteral("1010010002"), QStringLiteral("Feijão"), 0.5}, RowChange::Unchanged, {}});
    return c;
}

// A window with edits, shown and active, so that focus moves as it does for a user.
struct Window {
    QWidget widget;
    QVBoxLayout *layout = new QVBoxLayout(&widget);
    template <typename T>
    T *add(T *w)
    {
        layout->addWidget(w);
        return w;
    }
    bool show()
    {
        widget.show();
        widget.activateWindow();
        return QTest::qWaitForWindowActive(&widget);
    }
};

bool focusOn(QWidget *w)
{
    w->setFocus(Qt::TabFocusReason);
    return QTest::qWaitFor([w] { return w->hasFocus(); });
}

struct Messages {
    QStringList shown;
    Messages()
    {
        setExceptionHandler([this](const QString &m) { shown << m; });
    }
    ~Messages() { setExceptionHandler({}); }
};

} // namespace

class TestEdits : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    // --- masks ---------------------------------------------------------------------------------

    void typingThroughMask_data()
    {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");

        QTest::newRow("branch upper-cased") << QStringLiteral(">aaaa;0; ") << QStringLiteral("ab1c") << QStringLiteral("AB1C") << QStringLiteral("AB1C");
        QTest::newRow("branch refuses signs") << QStringLiteral(">aaaa;0; ") << QStringLiteral("a-b+1") << QStringLiteral("AB1") << QStringLiteral("AB1");
        QTest::newRow("branch stops at four") << QStringLiteral(">aaaa;0; ") << QStringLiteral("abcdef") << QStringLiteral("ABCD") << QStringLiteral("ABCD");
        QTest::newRow("service any character") << QStringLiteral("ccccc;0; ") << QStringLiteral("a-b c!") << QStringLiteral("a-b c") << QStringLiteral("a-b c");
        QTest::newRow("service trailing blank trimmed") << QStringLiteral("ccccc;0; ") << QStringLiteral("ab  ") << QStringLiteral("ab") << QStringLiteral("ab  ");
        QTest::newRow("registration digits only") << QStringLiteral("99999999999999999999;0; ") << QStringLiteral("12a.34") << QStringLiteral("1234") << QStringLiteral("1234");
        QTest::newRow("lower-cased letters") << QStringLiteral("<llll;0;_") << QStringLiteral("AB1C") << QStringLiteral("abc") << QStringLiteral("abc");
        QTest::newRow("dish code whole") << QStringLiteral("9.99.999.9999;0; ") << QStringLiteral("1234567890") << QStringLiteral("1234567890") << QStringLiteral("1.23.456.7890");
        QTest::newRow("dish code first levels") << QStringLiteral("9.99.999.9999;0; ") << QStringLiteral("123") << QStringLiteral("123") << QStringLiteral("1.23.   .    ");
        QTest::newRow("dish code skips letters") << QStringLiteral("9.99.999.9999;0; ") << QStringLiteral("1a2") << QStringLiteral("12") << QStringLiteral("1.2 .   .    ");
        QTest::newRow("literals kept") << QStringLiteral("99-99;1;_") << QStringLiteral("1234") << QStringLiteral("12-34") << QStringLiteral("12-34");
        QTest::newRow("person number") << QStringLiteral("000.000.000-00;0;_") << QStringLiteral("12345678901") << QStringLiteral("12345678901") << QStringLiteral("123.456.789-01");
    }
    void typingThroughMask()
    {
        QFETCH(QString, mask);
        QFETCH(QString, keys);
        Window w;
        auto *edit = w.add(new MaskEdit(nullptr, QStringLiteral("medCdFilial")));
        edit->setEditMask(mask);
        QVERIFY(w.show());
        QVERIFY(focusOn(edit));
        edit->setCursorPosition(0);
        QTest::keyClicks(edit, keys);
        QTEST(edit->text(), "text");
        QTEST(edit->editText(), "shown");
    }

    void storedTextRoundTrip_data()
    {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("dish code") << QStringLiteral("9.99.999.9999;0; ") << QStringLiteral("1234567890") << QStringLiteral("1234567890") << QStringLiteral("1.23.456.7890");
        QTest::newRow("short dish code") << QStringLiteral("9.99.999.9999;0; ") << QStringLiteral("12") << QStringLiteral("12") << QStringLiteral("1.2 .   .    ");
        QTest::newRow("inner blank stays in place") << QStringLiteral("9.99.999.9999;0; ") << QStringLiteral("1 34") << QStringLiteral("1 34") << QStringLiteral("1. 3.4  .    ");
        QTest::newRow("branch") << QStringLiteral(">aaaa;0; ") << QStringLiteral("ab") << QStringLiteral("AB") << QStringLiteral("AB");
        QTest::newRow("no mask") << QString() << QStringLiteral("x y ") << QStringLiteral("x y ") << QStringLiteral("x y ");
    }
    void storedTextRoundTrip()
    {
        QFETCH(QString, mask);
        QFETCH(QString, stored);
        MaskEdit edit;
        edit.setEditMask(mask);
        edit.setText(stored);
        QTEST(edit.text(), "text");
        QTEST(edit.editText(), "shown");
    }

    void maskSectionsAndFormatting()
    {
        const EditMask mask = parseEditMask(QStringLiteral("00.000.000/0000-00;0;_"));
        QCOMPARE(mask.inputLength(), 14);
        QVERIFY(mask.hasLiterals());
        QVERIFY(!mask.keepLiterals());
        QCOMPARE(mask.blank(), QLatin1Char('_'));
        QCOMPARE(formatMaskText(QStringLiteral("00.000.000/0000-00;0;_"), QStringLiteral("12345678000199")),
                 QStringLiteral("12.345.678/0001-99"));
        QCOMPARE(parseEditMask(QStringLiteral(">aaaa;0; ")).blank(), QLatin1Char(' '));
        QVERIFY(parseEditMask(QStringLiteral("aaa")).keepLiterals());
        QVERIFY(parseEditMask(QString()).isEmpty());
    }

    void changeEventOnTypingAndSetText()
    {
        Window w;
        auto *edit = w.add(new MaskEdit);
        edit->setEditMask(QStringLiteral(">aaaa;0; "));
        QStringList seen;
        edit->onChange = [&](QObject *sender) {
            QCOMPARE(sender, edit);
            seen << edit->text();
        };
        QVERIFY(w.show());
        QVERIFY(focusOn(edit));
        QTest::keyClicks(edit, QStringLiteral("ab"));
        edit->setText(QStringLiteral("x1"));
        edit->setText(QStringLiteral("X1"));   // same text: nothing changes
        QCOMPARE(seen, (QStringList{QStringLiteral("A"), QStringLiteral("AB"), QStringLiteral("X1")}));

        // A mask with literals tells a setText once, however many positions it fills.
        seen.clear();
        edit->setEditMask(QStringLiteral("9.99.999.9999;0; "));
        seen.clear();
        edit->setText(QStringLiteral("1234"));
        QCOMPARE(seen, QStringList{QStringLiteral("1234")});
    }

    void keyPressFilterRunsBeforeInsertion()
    {
        Window w;
        auto *edit = w.add(new MaskEdit);
        edit->onKeyPress = [](QObject *, QChar &c) {
            if (c == QLatin1Char('+') || c == QLatin1Char('-'))
                c = QChar();
            else if (c == QLatin1Char('.'))
                c = QLatin1Char(',');
        };
        QVERIFY(w.show());
        QVERIFY(focusOn(edit));
        QTest::keyClicks(edit, QStringLiteral("+1.5-"));
        QCOMPARE(edit->text(), QStringLiteral("1,5"));
    }

    void enterAndExitFollowTheWindowsActiveControl()
    {
        Window w;
        auto *first = w.add(new MaskEdit(nullptr, QStringLiteral("first")));
        auto *second = w.add(new MaskEdit(nullptr, QStringLiteral("second")));
        QStringList log;
        for (MaskEdit *e : {first, second}) {
            e->onEnter = [&log, e](QObject *) { log << e->objectName() + QStringLiteral(" enter"); };
            e->onExit = [&log, e](QObject *) { log << e->objectName() + QStringLiteral(" exit"); };
        }
        QVERIFY(w.show());
        QVERIFY(focusOn(first));
        QVERIFY(focusOn(second));
        QCOMPARE(log, (QStringList{QStringLiteral("first enter"), QStringLiteral("first exit"), QStringLiteral("second enter")}));
        log.clear();

        // A modal dialog over the window is not the edit being left, nor its return an enter.
        QDialog dialog(&w.widget);
        auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        bool dialogHadFocus = false;
        QTimer::singleShot(0, &dialog, [&] {
            if (QTest::qWaitForWindowActive(&dialog)) {
                ok->setFocus();
                dialogHadFocus = QTest::qWaitFor([ok] { return ok->hasFocus(); });
            }
            dialog.accept();
        });
        dialog.exec();
        QVERIFY(dialogHadFocus);
        w.widget.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.widget));
        QVERIFY(focusOn(second));
        QCOMPARE(log, QStringList());
    }

    // --- data-bound edit ---------------------------------------------------------------------

    void showsTheCurrentRowAndFollowsIt()
    {
        ClientDataSet ds(nullptr, QStringLiteral("cdsServTran"));
        ds.setData(protocol::encodePacket(dishRows()));
        ds.fieldByName(QStringLiteral("QTPADRAOST"))->setDisplayFormat(QStringLiteral("#,##0.000"));
        DataSource src(nullptr, QStringLiteral("dtsServTran"));
        src.setDataSet(&ds);
        Window w;
        auto *other = w.add(new MaskEdit);
        auto *edit = w.add(new DBEdit(nullptr, QStringLiteral("dbeQtPadrao")));
        edit->setDataSource(&src);
        edit->setDataField(QStringLiteral("QTPADRAOST"));
        QVERIFY(w.show());
        QVERIFY(focusOn(other));
        QCOMPARE(edit->text(), QStringLiteral("0,250"));   // display text outside the edit
        ds.next();
        QCOMPARE(edit->text(), QStringLiteral("0,500"));
        QVERIFY(focusOn(edit));
        QCOMPARE(edit->text(), QStringLiteral("0,5"));     // edit text inside it
        QCOMPARE(ds.state(), DataSetState::Browse);
        QVERIFY(!edit->isReadOnly());
    }

    void typingEditsAndEnterOrLeavingWrites_data()
    {
        QTest::addColumn<int>("how");   // 0 Enter, 1 leaving the edit, 2 a post from elsewhere
        QTest::newRow("enter") << 0;
        QTest::newRow("leaving") << 1;
        QTest::newRow("post from the toolbar") << 2;
    }
    void typingEditsAndEnterOrLeavingWrites()
    {
        QFETCH(int, how);
        ClientDataSet ds(nullptr, QStringLiteral("cdsServTran"));
        ds.setData(protocol::encodePacket(dishRows()));
        DataSource src;
        src.setDataSet(&ds);
        Window w;
        auto *edit = w.add(new DBEdit(nullptr, QStringLiteral("dbeQtPadrao")));
        auto *other = w.add(new MaskEdit);
        edit->setDataSource(&src);
        edit->setDataField(QStringLiteral("QTPADRAOST"));
        Field *field = ds.fieldByName(QStringLiteral("QTPADRAOST"));
        QVERIFY(w.show());
        QVERIFY(focusOn(edit));
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("1,75"));
        QCOMPARE(ds.state(), DataSetState::Edit);
        QCOMPARE(field->asFloat(), 0.25);   // not written while typing
        switch (how) {
        case 0:
            QTest::keyClick(edit, Qt::Key_Return);
            QCOMPARE(field->asFloat(), 1.75);
            QCOMPARE(ds.state(), DataSetState::Edit);
            break;
        case 1:
            QVERIFY(focusOn(other));
            QCOMPARE(field->asFloat(), 1.75);
            break;
        case 2:
            ds.post();
            QCOMPARE(ds.state(), DataSetState::Browse);
            QCOMPARE(ds.valueAt(0, field->index()).toDouble(), 1.75);
            break;
        }
    }

    void escapeGivesBackTheFieldsText()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishRows()));
        DataSource src;
        src.setDataSet(&ds);
        Window w;
        auto *edit = w.add(new DBEdit);
        edit->setDataSource(&src);
        edit->setDataField(QStringLiteral("NMPRATO"));
        QVERIFY(w.show());
        QVERIFY(focusOn(edit));
        edit->end(false);
        QTest::keyClicks(edit, QStringLiteral(" integral"));
        QCOMPARE(edit->text(), QStringLiteral("Arroz integral"));
        QTest::keyClick(edit, Qt::Key_Escape);
        QCOMPARE(edit->text(), QStringLiteral("Arroz"));
        ds.post();
        QCOMPARE(ds.valueAt(0, 1).toString(), QStringLiteral("Arroz"));
    }

    void keyFilterDropsBeforeTheRowIsEdited()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishRows()));
        DataSource src;
        src.setDataSet(&ds);
        Window w;
        auto *edit = w.add(new DBEdit(nullptr, QStringLiteral("dbeQtContainer")));
        edit->setDataSource(&src);
        edit->setDataField(QStringLiteral("QTPADRAOST"));
        edit->setMaxLength(7);
        edit->onKeyPress = [](QObject *, QChar &c) {
            if (c == QLatin1Char('+') || c == QLatin1Char('-'))
                c = QChar();
        };
        QVERIFY(w.show());
        QVERIFY(focusOn(edit));
        edit->end(false);
        QTest::keyClicks(edit, QStringLiteral("+-"));
        QCOMPARE(ds.state(), DataSetState::Browse);   // a dropped key edits nothing
        QCOMPARE(edit->text(), QStringLiteral("0,25"));
        QTest::keyClicks(edit, QStringLiteral("x5"));  // not a number character: dropped too
        QCOMPARE(edit->text(), QStringLiteral("0,255"));
        QCOMPARE(ds.state(), DataSetState::Edit);
        QTest::keyClicks(edit, QStringLiteral("1234"));
        QCOMPARE(edit->text(), QStringLiteral("0,25512"));   // maximum length 7
    }

    void aRefusedValueKeepsTheFocus()
    {
        Messages messages;
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishRows()));
        DataSource src;
        src.setDataSet(&ds);
        Window w;
        auto *edit = w.add(new DBEdit);
        auto *other = w.add(new MaskEdit);
        edit->setDataSource(&src);
        edit->setDataField(QStringLiteral("QTPADRAOST"));
        int exits = 0;
        edit->onExit = [&](QObject *) { ++exits; };
        QVERIFY(w.show());
        QVERIFY(focusOn(edit));
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("1,2,3"));
        other->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(edit->hasFocus());
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(exits, 0);
        QCOMPARE(edit->text(), QStringLiteral("1,2,3"));
        QCOMPARE(ds.fieldByName(QStringLiteral("QTPADRAOST"))->asFloat(), 0.25);
    }

    // The same rule as a grid cell's: "1.500" is refused, never read as 1500.
    void thousandsSeparatorIsRefused()
    {
        Messages messages;
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishRows()));
        DataSource src;
        src.setDataSet(&ds);
        Window w;
        auto *edit = w.add(new DBEdit);
        w.add(new MaskEdit);
        edit->setDataSource(&src);
        edit->setDataField(QStringLiteral("QTPADRAOST"));
        QVERIFY(w.show());
        QVERIFY(focusOn(edit));
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("1.500"));
        QCOMPARE(edit->text(), QStringLiteral("1.500"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(messages.shown, QStringList{QStringLiteral("'1.500' não é um valor numérico válido.")});
        QCOMPARE(ds.fieldByName(QStringLiteral("QTPADRAOST"))->asFloat(), 0.25);
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("1"));
        QTest::keyClick(edit, Qt::Key_Period, Qt::KeypadModifier);
        QTest::keyClicks(edit, QStringLiteral("5"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(ds.fieldByName(QStringLiteral("QTPADRAOST"))->asFloat(), 1.5);
    }

    void readOnlyFollowsFieldAndDataset()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishRows()));
        DataSource src;
        src.setDataSet(&ds);
        DBEdit edit;
        edit.setDataSource(&src);
        edit.setDataField(QStringLiteral("CDPRATO"));
        QVERIFY(!edit.isReadOnly());
        QCOMPARE(edit.maxLength(), 10);   // the field's size
        ds.fieldByName(QStringLiteral("CDPRATO"))->setReadOnly(true);
        ds.resync();
        QVERIFY(edit.isReadOnly());
        ds.fieldByName(QStringLiteral("CDPRATO"))->setReadOnly(false);
        ds.close();
        QVERIFY(edit.isReadOnly());
        QCOMPARE(edit.text(), QString());
    }
};

QTEST_MAIN(TestEdits)
#include "tst_edits.moc"
