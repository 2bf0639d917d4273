// The data-aware grid as a data-entry user drives it: keys and clicks on a shown, focused grid
// over a real client dataset, and what the dataset and the screen's handlers see.

#include <toolkit/clientdataset.h>
#include <toolkit/dbgrid.h>
#include <toolkit/designmetrics.h>
#include <toolkit/error.h>
#include <toolkit/maskedit.h>

#include <QAbstractItemModelTester>
#include <optional>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

using namespace toolkit;
using protocol::PacketContent;
using protocol::RowChange;

namespace {

enum Col { Dish, Name, Diners, Unit };

PacketContent dishRows(int rows)
{
    PacketContent c;
    c.fields = {{QStringLiteral("CDPRATO"), FieldKind::String, 10, false, false},
                {QStringLiteral("NMPRATO"), FieldKind::String, 40, false, false},
                {QStringLiteral("QTCOMESTIST"), FieldKind::Float, 0, false, false},
                {QStringLiteral("SGUNIDADE"), FieldKind::String, 10, false, false}};
    for (int i = 0; i < rows; ++i)
        c.rows.append({{QStringLiteral("10100100%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("Prato %1").arg(i),
                        double(10 * (i + 1)), QStringLiteral("KG")},
                       RowChange::Unchanged,
                       {}});
    return c;
}

// The dish grid of the screen in miniature: an edit before it and one after it, so the focus
// can come and go.
struct Fixture {
    ClientDataSet ds{nullptr, QStringLiteral("cdsServTran")};
    DataSource src{nullptr, QStringLiteral("dtsServTran")};
    QWidget window;
    MaskEdit *before = new MaskEdit(&window, QStringLiteral("dbeQtPadrao"));
    DBGrid *grid = new DBGrid(&window, QStringLiteral("dbgServTran"));
    MaskEdit *after = new MaskEdit(&window, QStringLiteral("dbeQtContainer"));
    QStringList messages;
    int scrolls = 0;

    explicit Fixture(int rows = 4)
    {
        setExceptionHandler([this](const QString &m) { messages << m; });
        ds.setData(protocol::encodePacket(dishRows(rows)));
        ds.fieldByName(QStringLiteral("NMPRATO"))->setDisplayLabel(QStringLiteral("Nome"));
        ds.afterScroll = [this](ClientDataSet *) { ++scrolls; };
        src.setDataSet(&ds);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(before);
        layout->addWidget(grid);
        layout->addWidget(after);
        grid->addColumn({QStringLiteral("CDPRATO"), 185, Qt::AlignLeft, false, ColumnButton::Ellipsis, {}});
        grid->addColumn({QStringLiteral("NMPRATO"), 0, Qt::AlignLeft, false, ColumnButton::None, {}});
        grid->addColumn({QStringLiteral("QTCOMESTIST"), 0, Qt::AlignRight, false, ColumnButton::None, {}});
        grid->addColumn({QStringLiteral("SGUNIDADE"), 30, Qt::AlignLeft, true, ColumnButton::None, {}});
        grid->setDataSource(&src);
        window.resize(600, 400);
    }
    ~Fixture() { setExceptionHandler({}); }

    bool show()
    {
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            return false;
        grid->setFocus(Qt::TabFocusReason);
        return QTest::qWaitFor([this] { return grid->hasFocus(); });
    }
    // Keys go where the user's keys go: to the widget that has the focus.
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(QApplication::focusWidget(), k, mods); }
    void type(const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }
    Field *field(const char *name) { return ds.fieldByName(QLatin1String(name)); }
    QString stored(int row, const char *name) { return ds.valueAt(row, field(name)->index()).toString(); }
};

// Counts the presses of one key that reach the object it filters.
struct KeyCounter : QObject {
    explicit KeyCounter(int key) : key(key) {}
    int key;
    int seen = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == key)
            ++seen;
        return false;
    }
};

struct Cell {
    int row;
    int col;
    DrawStates state;
    bool editorMode;
    QString shownName;
};

} // namespace

class TestDBGrid : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    // A title wider than its column is read from its start, with an ellipsis at its end, even
    // when it is right-aligned; given the room, it is whole and aligned as designed again.
    void narrowTitlesKeepTheirStart()
    {
        Fixture f;
        f.field("QTCOMESTIST")->setDisplayLabel(QStringLiteral("Comensais Estimados"));
        f.grid->refreshColumns();
        QHeaderView *header = f.grid->horizontalHeader();
        header->resizeSection(Diners, 50);
        const QString narrow = f.grid->model()->headerData(Diners, Qt::Horizontal).toString();
        QVERIFY2(narrow.startsWith(QStringLiteral("Co")) && narrow.endsWith(QChar(0x2026)), qPrintable(narrow));
        QCOMPARE(f.grid->model()->headerData(Diners, Qt::Horizontal, Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask,
                 int(Qt::AlignLeft));
        header->resizeSection(Diners, 300);
        QCOMPARE(f.grid->model()->headerData(Diners, Qt::Horizontal).toString(), QStringLiteral("Comensais Estimados"));
        QCOMPARE(f.grid->model()->headerData(Diners, Qt::Horizontal, Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask,
                 int(Qt::AlignRight));
    }

    // Widths designed in pixels for a small font keep their room in characters at any font; a
    // column sized by its field shows its whole title.
    void columnWidthsFollowTheFont_data()
    {
        QTest::addColumn<double>("scale");
        QTest::newRow("default font") << 1.0;
        QTest::newRow("125 %") << 1.25;
        QTest::newRow("150 %") << 1.5;
        QTest::newRow("200 %") << 2.0;
    }
    void columnWidthsFollowTheFont()
    {
        QFETCH(double, scale);
        Fixture f;
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() * scale);
        f.grid->setFont(font);
        f.grid->horizontalHeader()->setFont(font);
        f.field("QTCOMESTIST")->setDisplayLabel(QStringLiteral("Comensais Estimados"));
        f.grid->refreshColumns();
        QHeaderView *header = f.grid->horizontalHeader();
        // 185 designed pixels hold 37 characters of the 5-pixel design font.
        const double average = QFontMetricsF(font).averageCharWidth();
        QVERIFY2(header->sectionSize(Dish) >= 37 * average,
                 qPrintable(QStringLiteral("%1 px for 37 characters of %2 px").arg(header->sectionSize(Dish)).arg(average)));
        QVERIFY(header->sectionSize(Unit) >= 6 * average);
        QCOMPARE(f.grid->model()->headerData(Diners, Qt::Horizontal).toString(), QStringLiteral("Comensais Estimados"));
        QCOMPARE(f.grid->model()->headerData(Name, Qt::Horizontal).toString(), QStringLiteral("Nome"));
    }

    void modelStaysConsistentThroughTheDatasetsLife()
    {
        Fixture f;
        QAbstractItemModelTester tester(f.grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(f.grid->model()->rowCount(), 4);
        QCOMPARE(f.grid->model()->columnCount(), 4);
        QCOMPARE(f.grid->model()->headerData(Name, Qt::Horizontal).toString(), QStringLiteral("Nome"));
        f.grid->horizontalHeader()->resizeSection(Diners, 200);   // room for its title
        QCOMPARE(f.grid->model()->headerData(Diners, Qt::Horizontal, Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask,
                 int(Qt::AlignRight));
        QCOMPARE(f.grid->model()->index(1, Diners).data().toString(), QStringLiteral("20"));
        QCOMPARE(f.grid->horizontalHeader()->sectionSize(Dish), toolkit::scaled(185, f.grid));

        f.ds.insert();
        QCOMPARE(f.grid->model()->rowCount(), 5);
        f.field("CDPRATO")->setAsString(QStringLiteral("2020020001"));
        f.ds.post();
        QCOMPARE(f.grid->model()->rowCount(), 5);
        f.ds.append();
        f.ds.cancel();
        f.ds.setFilter(QStringLiteral("NMPRATO = 'Prato 1'"));
        f.ds.setFiltered(true);
        QCOMPARE(f.grid->model()->rowCount(), 1);
        QCOMPARE(f.grid->model()->index(0, Name).data().toString(), QStringLiteral("Prato 1"));
        f.ds.close();
        QCOMPARE(f.grid->model()->rowCount(), 0);
        f.ds.setData(protocol::encodePacket(dishRows(3)));
        QCOMPARE(f.grid->model()->rowCount(), 1);   // still filtered
        f.ds.setFiltered(false);
        QCOMPARE(f.grid->model()->rowCount(), 3);
        f.src.setEnabled(false);
        QCOMPARE(f.grid->model()->rowCount(), 0);
    }

    // A change of the row count is told as rows inserted or removed, never as a reset: the
    // pending row of an insertion comes and goes where it shows.
    void rowCountChangesAreRowsInsertedOrRemoved()
    {
        Fixture f;
        QVERIFY(f.show());
        QAbstractItemModelTester tester(f.grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModel *model = f.grid->model();
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        const auto range = [](const QSignalSpy &spy) {
            return QStringLiteral("%1-%2").arg(spy.last().at(1).toInt()).arg(spy.last().at(2).toInt());
        };

        f.ds.setRecNo(2);
        f.ds.insert();
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(range(inserted), QStringLiteral("2-2"));
        QCOMPARE(model->rowCount(), 5);
        f.ds.cancel();
        QCOMPARE(removed.size(), 1);
        QCOMPARE(range(removed), QStringLiteral("2-2"));
        f.ds.append();
        QCOMPARE(range(inserted), QStringLiteral("4-4"));
        f.field("NMPRATO")->setAsString(QStringLiteral("Sopa"));
        f.ds.post();   // the pending row becomes a row: the count stays
        QCOMPARE(model->rowCount(), 5);
        QCOMPARE(model->index(4, Name).data().toString(), QStringLiteral("Sopa"));
        f.ds.deleteRecord();
        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(removed.size(), 2);
        f.ds.setFilter(QStringLiteral("NMPRATO = 'Prato 1'"));
        f.ds.setFiltered(true);
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->index(0, Name).data().toString(), QStringLiteral("Prato 1"));
        f.ds.setFiltered(false);
        QCOMPARE(model->rowCount(), 4);
        QCOMPARE(model->index(3, Name).data().toString(), QStringLiteral("Prato 3"));
        f.ds.close();
        QCOMPARE(model->rowCount(), 0);
        f.ds.setData(protocol::encodePacket(dishRows(2)));
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(resets.size(), 0);
    }

    // Typing into a new row keeps the editor open while the row appears.
    void theEditorStaysOpenWhileTheNewRowAppears()
    {
        Fixture f(0);
        QVERIFY(f.show());
        QAbstractItemModelTester tester(f.grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(f.grid->model(), &QAbstractItemModel::modelReset);
        f.grid->setSelectedIndex(Name);
        f.type(QStringLiteral("Sopa"));
        QCOMPARE(f.ds.state(), DataSetState::Insert);
        QCOMPARE(f.grid->editorText(QStringLiteral("NMPRATO")), QStringLiteral("Sopa"));
        f.key(Qt::Key_Return);
        QCOMPARE(f.ds.state(), DataSetState::Insert);
        QCOMPARE(f.field("NMPRATO")->asString(), QStringLiteral("Sopa"));
        QCOMPARE(resets.size(), 0);
    }

    void cursorIsTheDatasetsBothWays()
    {
        Fixture f;
        QVERIFY(f.show());
        QCOMPARE(f.grid->currentIndex().row(), 0);
        f.ds.setRecNo(2);
        QCOMPARE(f.grid->currentIndex().row(), 2);
        f.scrolls = 0;
        f.key(Qt::Key_Down);
        QCOMPARE(f.ds.recNo(), 3);
        QCOMPARE(f.grid->currentIndex().row(), 3);
        QCOMPARE(f.scrolls, 1);
        f.key(Qt::Key_Up);
        f.key(Qt::Key_Up);
        QCOMPARE(f.ds.recNo(), 1);
        const QRect cell = f.grid->visualRect(f.grid->model()->index(3, Name));
        QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(f.ds.recNo(), 3);
        QCOMPARE(f.grid->selectedIndex(), int(Name));
        QCOMPARE(f.grid->selectedField()->fieldName(), QStringLiteral("NMPRATO"));
        f.key(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(f.ds.recNo(), 0);
        f.ds.last();
        QCOMPARE(f.grid->currentIndex(), f.grid->model()->index(3, Name));
    }

    void typingEditsEnterWritesMovingPosts()
    {
        Fixture f;
        QVERIFY(f.show());
        f.grid->setSelectedIndex(Name);
        f.type(QStringLiteral("Sopa"));
        QVERIFY(f.grid->editorMode());
        QCOMPARE(f.ds.state(), DataSetState::Edit);
        QCOMPARE(f.grid->editorText(QStringLiteral("NMPRATO")), QStringLiteral("Sopa"));
        QCOMPARE(f.grid->editorText(QStringLiteral("CDPRATO")), QString());
        QCOMPARE(f.field("NMPRATO")->asString(), QStringLiteral("Prato 0"));   // still only typed

        f.key(Qt::Key_Return);
        QTRY_COMPARE(f.field("NMPRATO")->asString(), QStringLiteral("Sopa"));
        QVERIFY(!f.grid->editorMode());
        QCOMPARE(f.ds.state(), DataSetState::Edit);

        f.key(Qt::Key_Down);
        QCOMPARE(f.ds.state(), DataSetState::Browse);
        QCOMPARE(f.ds.recNo(), 1);
        QCOMPARE(f.stored(0, "NMPRATO"), QStringLiteral("Sopa"));
        QCOMPARE(f.ds.changeCount(), 1);
    }

    void openingTheEditorIsNotEditingTheRow()
    {
        Fixture f;
        QVERIFY(f.show());
        f.grid->setSelectedIndex(Name);
        f.key(Qt::Key_Return);
        QVERIFY(f.grid->editorMode());
        QCOMPARE(f.grid->editorText(QStringLiteral("NMPRATO")), QStringLiteral("Prato 0"));
        QCOMPARE(f.ds.state(), DataSetState::Browse);
        f.key(Qt::Key_End);
        f.key(Qt::Key_Backspace);
        QCOMPARE(f.ds.state(), DataSetState::Edit);   // the first change edits the row
        QCOMPARE(f.grid->editorText(QStringLiteral("NMPRATO")), QStringLiteral("Prato "));
        f.key(Qt::Key_Escape);
        f.key(Qt::Key_Escape);
        QCOMPARE(f.ds.state(), DataSetState::Browse);

        // A row that cannot be edited takes no typing into an open editor.
        f.ds.beforeEdit = [](ClientDataSet *) { throw Error(QStringLiteral("Registro bloqueado.")); };
        f.key(Qt::Key_F2);
        QVERIFY(f.grid->editorMode());
        f.type(QStringLiteral("x"));
        QCOMPARE(f.grid->editorText(QStringLiteral("NMPRATO")), QStringLiteral("Prato 0"));
        QCOMPARE(f.messages, QStringList{QStringLiteral("Registro bloqueado.")});
    }

    void moveWithTheEditorOpenWritesAndPosts()
    {
        Fixture f;
        QVERIFY(f.show());
        f.grid->setSelectedIndex(Diners);
        f.type(QStringLiteral("12,5"));
        f.key(Qt::Key_Down);
        QCOMPARE(f.ds.state(), DataSetState::Browse);
        QCOMPARE(f.ds.valueAt(0, f.field("QTCOMESTIST")->index()).toDouble(), 12.5);
        QCOMPARE(f.ds.recNo(), 1);
    }

    void escapeUndoesTypingThenTheRow()
    {
        Fixture f;
        QVERIFY(f.show());
        f.grid->setSelectedIndex(Name);
        f.type(QStringLiteral("Sopa"));
        f.key(Qt::Key_Return);
        QTRY_COMPARE(f.field("NMPRATO")->asString(), QStringLiteral("Sopa"));
        f.key(Qt::Key_Right, Qt::NoModifier);   // to the diners column
        f.type(QStringLiteral("99"));
        f.key(Qt::Key_Escape);
        QVERIFY(!f.grid->editorMode());
        QCOMPARE(f.field("QTCOMESTIST")->asFloat(), 10.0);   // the typing is gone
        QCOMPARE(f.ds.state(), DataSetState::Edit);
        f.key(Qt::Key_Escape);
        QCOMPARE(f.ds.state(), DataSetState::Browse);       // and now the row's change
        QCOMPARE(f.stored(0, "NMPRATO"), QStringLiteral("Prato 0"));
        QCOMPARE(f.ds.changeCount(), 0);
    }

    void aRefusedTextKeepsTheEditorOpen()
    {
        Fixture f;
        QVERIFY(f.show());
        f.grid->setSelectedIndex(Diners);
        f.type(QStringLiteral("1,2,3"));
        f.key(Qt::Key_Return);
        QCOMPARE(f.messages.size(), 1);
        QVERIFY(f.grid->editorMode());
        QCOMPARE(f.grid->editorText(QStringLiteral("QTCOMESTIST")), QStringLiteral("1,2,3"));
        f.key(Qt::Key_Down);
        QCOMPARE(f.ds.recNo(), 0);   // the row is not left with a refused value
        QCOMPARE(f.messages.size(), 2);
    }

    void thousandsSeparatorIsRefusedInANumberCell()
    {
        Fixture f;
        QVERIFY(f.show());
        f.grid->setSelectedIndex(Diners);
        f.type(QStringLiteral("1.500"));
        QCOMPARE(f.grid->editorText(QStringLiteral("QTCOMESTIST")), QStringLiteral("1.500"));
        f.key(Qt::Key_Return);
        QCOMPARE(f.messages, QStringList{QStringLiteral("'1.500' não é um valor numérico válido.")});
        QVERIFY(f.grid->editorMode());
        QCOMPARE(f.field("QTCOMESTIST")->asFloat(), 10.0);
        // Letters never go in; the keypad's point types the decimal comma.
        f.key(Qt::Key_Escape);
        f.key(Qt::Key_Escape);
        f.type(QStringLiteral("2x"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Period, Qt::KeypadModifier);
        f.type(QStringLiteral("5"));
        QCOMPARE(f.grid->editorText(QStringLiteral("QTCOMESTIST")), QStringLiteral("2,5"));
        f.key(Qt::Key_Down);
        QCOMPARE(f.ds.valueAt(0, f.field("QTCOMESTIST")->index()).toDouble(), 2.5);
    }

    void downOnTheLastRowAppendsAndUpDropsIt()
    {
        Fixture f(2);
        QVERIFY(f.show());
        f.key(Qt::Key_Down);
        QCOMPARE(f.ds.state(), DataSetState::Browse);
        f.key(Qt::Key_Down);
        QCOMPARE(f.ds.state(), DataSetState::Insert);
        QCOMPARE(f.grid->model()->rowCount(), 3);
        QCOMPARE(f.grid->currentIndex().row(), 2);
        f.key(Qt::Key_Down);                           // an untouched new row: nothing follows it
        QCOMPARE(f.ds.state(), DataSetState::Insert);
        f.key(Qt::Key_Up);
        QCOMPARE(f.ds.state(), DataSetState::Browse);
        QCOMPARE(f.grid->model()->rowCount(), 2);
        QCOMPARE(f.ds.recNo(), 1);

        f.grid->setOption(GridOption::Editing, false);
        f.key(Qt::Key_Down);
        QCOMPARE(f.ds.state(), DataSetState::Browse);
        QCOMPARE(f.ds.recordCount(), 2);
    }

    void insertKeyAndConfirmedDelete()
    {
        Fixture f;
        QVERIFY(f.show());
        f.ds.setRecNo(1);
        f.key(Qt::Key_Insert);
        QCOMPARE(f.ds.state(), DataSetState::Insert);
        QCOMPARE(f.grid->currentIndex().row(), 1);
        f.grid->setSelectedIndex(Dish);
        f.type(QStringLiteral("2020020001"));
        f.key(Qt::Key_Up);
        QCOMPARE(f.ds.state(), DataSetState::Browse);
        QCOMPARE(f.ds.recordCount(), 5);
        QCOMPARE(f.stored(1, "CDPRATO"), QStringLiteral("2020020001"));

        QStringList asked;
        bool answer = false;
        f.grid->confirmDelete = [&](const QString &question) {
            asked << question;
            return answer;
        };
        f.ds.setRecNo(1);
        f.key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(f.ds.recordCount(), 5);
        answer = true;
        f.key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(f.ds.recordCount(), 4);
        f.grid->setOption(GridOption::ConfirmDelete, false);
        f.key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(asked.size(), 2);
        QCOMPARE(f.ds.recordCount(), 3);
    }

    void postFromElsewhereWritesTheOpenEditorFirst()
    {
        Fixture f;
        QVERIFY(f.show());
        f.grid->setSelectedIndex(Name);
        f.type(QStringLiteral("Caldo"));
        f.ds.post();   // the toolbar's Confirm
        QCOMPARE(f.ds.state(), DataSetState::Browse);
        QCOMPARE(f.stored(0, "NMPRATO"), QStringLiteral("Caldo"));
        QVERIFY(!f.grid->editorMode());
    }

    void readOnlyCellsDoNotOpen()
    {
        Fixture f;
        QVERIFY(f.show());
        f.grid->setSelectedIndex(Unit);             // a read-only column
        f.type(QStringLiteral("L"));
        QVERIFY(!f.grid->editorMode());
        QCOMPARE(f.ds.state(), DataSetState::Browse);
        f.grid->setSelectedIndex(Name);
        f.field("NMPRATO")->setReadOnly(true);      // a read-only field
        f.type(QStringLiteral("x"));
        QVERIFY(!f.grid->editorMode());
        f.field("NMPRATO")->setReadOnly(false);
        f.grid->setOption(GridOption::Editing, false);
        f.type(QStringLiteral("x"));
        QVERIFY(!f.grid->editorMode());
        QCOMPARE(f.ds.state(), DataSetState::Browse);
    }

    void cellEditorTakesMaskAndSize()
    {
        Fixture f;
        f.field("CDPRATO")->setEditMask(QStringLiteral("9.99.999.9999;0; "));
        QVERIFY(f.show());
        f.type(QStringLiteral("1a23"));
        QVERIFY(f.grid->editorMode());
        QCOMPARE(f.grid->cellEditor()->displayText(), QStringLiteral("1.23.   .    "));
        QCOMPARE(f.grid->editorText(QStringLiteral("CDPRATO")), QStringLiteral("123"));
        f.key(Qt::Key_Return);
        QTRY_COMPARE(f.field("CDPRATO")->asString(), QStringLiteral("123"));

        f.grid->setSelectedIndex(Name);
        f.type(QStringLiteral("x"));
        QCOMPARE(f.grid->cellEditor()->maxLength(), 40);
    }

    void columnEventsAndARefusingExit()
    {
        Fixture f;
        QStringList log;
        bool refuse = false;
        f.grid->onColExit = [&](QObject *sender) {
            QCOMPARE(sender, f.grid);
            // What was typed in the column being left is already in the field.
            log << QStringLiteral("exit %1 %2").arg(f.grid->selectedIndex()).arg(f.field("NMPRATO")->asString());
            if (refuse)
                throw Error(QStringLiteral("Prato não cadastrado."));
        };
        f.grid->onColEnter = [&](QObject *) { log << QStringLiteral("enter %1").arg(f.grid->selectedIndex()); };
        QVERIFY(f.show());
        f.grid->setSelectedIndex(Name);
        QCOMPARE(log, (QStringList{QStringLiteral("exit 0 Prato 0"), QStringLiteral("enter 1")}));
        log.clear();
        f.type(QStringLiteral("Caldo"));
        f.key(Qt::Key_Tab);
        QCOMPARE(log, (QStringList{QStringLiteral("exit 1 Caldo"), QStringLiteral("enter 2")}));
        log.clear();

        refuse = true;
        f.key(Qt::Key_Tab);
        QCOMPARE(f.grid->selectedIndex(), int(Diners));
        QCOMPARE(f.messages, QStringList{QStringLiteral("Prato não cadastrado.")});
        f.key(Qt::Key_Left);
        QCOMPARE(f.grid->selectedIndex(), int(Diners));
        const QRect cell = f.grid->visualRect(f.grid->model()->index(0, Dish));
        QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(f.grid->selectedIndex(), int(Diners));
        QCOMPARE(log.size(), 3);
        QVERIFY(!log.join(QLatin1Char(' ')).contains(QStringLiteral("enter")));

        refuse = false;
        log.clear();
        f.key(Qt::Key_End);
        QCOMPARE(f.grid->selectedIndex(), int(Unit));
        f.key(Qt::Key_Tab);   // past the last column: the next row's first
        QCOMPARE(f.ds.recNo(), 1);
        QCOMPARE(f.grid->selectedIndex(), int(Dish));
        QCOMPARE(f.stored(0, "NMPRATO"), QStringLiteral("Caldo"));
    }

    void keyHandlersRunFirstAndCanConsume()
    {
        Fixture f;
        QList<int> downs;
        f.grid->onKeyDown = [&](QObject *, int &key, Qt::KeyboardModifiers mods) {
            if (key != Qt::Key_Shift && key != Qt::Key_Control)
                downs << key;
            if (key == Qt::Key_Down && (mods & Qt::ShiftModifier))
                key = 0;
            if (key == Qt::Key_PageDown)
                throw Error(QStringLiteral("recusado"));
        };
        f.grid->onKeyPress = [&](QObject *, QChar &c) {
            if (c == QLatin1Char('+') || c == QLatin1Char('-'))
                c = QChar();
            // The "," rule of the estimated-diners column: not first, not twice.
            if (c == QLatin1Char(',') && f.grid->selectedField()->fieldName() == QStringLiteral("QTCOMESTIST")) {
                const QString typed = f.grid->editorText(QStringLiteral("QTCOMESTIST"));
                if (typed.isEmpty() || typed.contains(QLatin1Char(',')))
                    c = QChar();
            }
        };
        QVERIFY(f.show());
        f.key(Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(f.ds.recNo(), 0);
        f.key(Qt::Key_PageDown);
        QCOMPARE(f.ds.recNo(), 0);
        QCOMPARE(f.messages, QStringList{QStringLiteral("recusado")});
        f.key(Qt::Key_Down);
        QCOMPARE(f.ds.recNo(), 1);
        QCOMPARE(downs, (QList<int>{Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Down}));

        f.grid->setSelectedIndex(Diners);
        f.type(QStringLiteral("+"));
        QVERIFY(!f.grid->editorMode());
        QCOMPARE(f.ds.state(), DataSetState::Browse);
        f.type(QStringLiteral(",1,5,-"));
        QVERIFY(f.grid->editorMode());
        QCOMPARE(f.grid->editorText(QStringLiteral("QTCOMESTIST")), QStringLiteral("1,5"));
    }

    void ellipsisFromKeyboardMouseAndEditor()
    {
        Fixture f;
        int clicks = 0;
        f.grid->onEditButtonClick = [&](QObject *sender) {
            QCOMPARE(sender, f.grid);
            QCOMPARE(f.grid->selectedIndex(), int(Dish));
            ++clicks;
            // A lookup writes the chosen dish into the row.
            if (!f.ds.isEditing())
                f.ds.edit();
            f.field("CDPRATO")->setAsString(QStringLiteral("30300300%1").arg(clicks, 2, 10, QLatin1Char('0')));
        };
        QVERIFY(f.show());
        f.key(Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(clicks, 1);
        QCOMPARE(f.field("CDPRATO")->asString(), QStringLiteral("3030030001"));

        const QRect cell = f.grid->visualRect(f.grid->model()->index(0, Dish));
        QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, {}, QPoint(cell.right() - 4, cell.center().y()));
        QCOMPARE(clicks, 2);

        f.type(QStringLiteral("1"));
        QVERIFY(f.grid->editorMode());
        auto *button = f.grid->cellEditor()->findChild<QToolButton *>(QStringLiteral("ellipsisButton"));
        QVERIFY(button);
        button->click();
        QCOMPARE(clicks, 3);
        QCOMPARE(f.grid->editorText(QStringLiteral("CDPRATO")), QStringLiteral("3030030003"));   // shows what the lookup wrote

        f.key(Qt::Key_Escape);
        f.grid->setSelectedIndex(Name);
        f.key(Qt::Key_Return, Qt::ControlModifier);   // a column without a button
        QCOMPARE(clicks, 3);
    }

    void drawStatesAsTheHandlerSeesThem()
    {
        Fixture f;
        f.grid->setOption(GridOption::AlwaysShowSelection, false);
        QList<Cell> cells;
        f.grid->onDrawColumnCell = [&](QObject *, const DrawCellArgs &args) {
            QVERIFY(args.canvas);
            QCOMPARE(args.column->fieldName, f.grid->column(args.dataCol).fieldName);
            cells.append({args.row, args.dataCol, args.state, f.grid->editorMode(), args.text(QStringLiteral("NMPRATO"))});
            if (args.dataCol == Dish)
                args.textRect(3, 3, args.text(QStringLiteral("NMPRATO")));
        };
        const auto stateOf = [&](int row, int col) -> std::optional<Cell> {
            for (auto it = cells.crbegin(); it != cells.crend(); ++it)
                if (it->row == row && it->col == col)
                    return *it;
            return std::nullopt;
        };
        QVERIFY(f.show());
        f.ds.setRecNo(1);
        f.grid->grab();
        QVERIFY(stateOf(1, Dish));
        QCOMPARE(stateOf(1, Dish)->state, DrawStates(DrawState::Selected | DrawState::Focused));
        QCOMPARE(stateOf(1, Name)->state, DrawStates());
        QCOMPARE(stateOf(0, Dish)->state, DrawStates());
        QCOMPARE(stateOf(2, Dish)->shownName, QStringLiteral("Prato 2"));   // the drawn row's values

        cells.clear();
        f.type(QStringLiteral("5"));
        QVERIFY(f.grid->editorMode());
        f.grid->grab();
        const auto underEditor = stateOf(1, Dish);
        QVERIFY(underEditor);
        QCOMPARE(underEditor->state, DrawStates(DrawState::Selected));   // selected, not focused
        QVERIFY(underEditor->editorMode);
        QCOMPARE(stateOf(2, Dish)->state, DrawStates());

        f.key(Qt::Key_Escape);
        f.key(Qt::Key_Escape);
        f.after->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(f.after->hasFocus());
        cells.clear();
        f.grid->grab();
        QCOMPARE(stateOf(1, Dish)->state, DrawStates());
        f.grid->setOption(GridOption::AlwaysShowSelection, true);
        cells.clear();
        f.grid->grab();
        QCOMPARE(stateOf(1, Dish)->state, DrawStates(DrawState::Selected));
        QVERIFY(!stateOf(1, Dish)->editorMode);
    }

    void focusControlReachesTheColumn()
    {
        Fixture f;
        QStringList log;
        f.grid->onColExit = [&](QObject *) { log << QStringLiteral("exit"); };
        f.grid->onColEnter = [&](QObject *) { log << QStringLiteral("enter"); };
        QVERIFY(f.show());
        f.after->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(f.after->hasFocus());
        f.field("QTCOMESTIST")->focusControl();
        QTRY_VERIFY(f.grid->hasFocus());
        QCOMPARE(f.grid->selectedIndex(), int(Diners));
        QCOMPARE(log, (QStringList{QStringLiteral("exit"), QStringLiteral("enter")}));
        // While the row is edited, the column is ready to be typed into again.
        f.ds.edit();
        f.field("NMPRATO")->focusControl();
        QCOMPARE(f.grid->selectedIndex(), int(Name));
        QVERIFY(f.grid->editorMode());
    }

    void enterExitAndCancelOnExit()
    {
        Fixture f(2);
        QStringList log;
        f.grid->onEnter = [&](QObject *) { log << QStringLiteral("enter"); };
        f.grid->onExit = [&](QObject *) { log << QStringLiteral("exit"); };
        QVERIFY(f.show());
        QCOMPARE(log, QStringList{QStringLiteral("enter")});
        f.type(QStringLiteral("1"));   // into the editor: still the grid
        f.key(Qt::Key_Escape);
        f.key(Qt::Key_Escape);
        QCOMPARE(log, QStringList{QStringLiteral("enter")});

        f.key(Qt::Key_Insert);
        QCOMPARE(f.ds.state(), DataSetState::Insert);
        f.after->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(f.after->hasFocus());
        QCOMPARE(log, (QStringList{QStringLiteral("enter"), QStringLiteral("exit")}));
        QCOMPARE(f.ds.state(), DataSetState::Browse);   // the untouched new row is dropped
        QCOMPARE(f.grid->model()->rowCount(), 2);

        // Leaving with typed text writes it to the field; the row stays in its state.
        f.grid->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(f.grid->hasFocus());
        f.grid->setSelectedIndex(Name);
        f.type(QStringLiteral("Caldo"));
        f.before->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(f.before->hasFocus());
        QCOMPARE(f.field("NMPRATO")->asString(), QStringLiteral("Caldo"));
        QCOMPARE(f.ds.state(), DataSetState::Edit);
        QVERIFY(!f.grid->editorMode());
    }

    void tabLeavesTheGridWithoutTheTabsOption()
    {
        Fixture f;
        f.grid->setOption(GridOption::Tabs, false);
        QVERIFY(f.show());
        f.key(Qt::Key_Tab);
        QTRY_VERIFY(f.after->hasFocus());
        f.grid->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(f.grid->hasFocus());
        f.grid->setOption(GridOption::Tabs, true);
        f.key(Qt::Key_Tab);
        QVERIFY(f.grid->hasFocus());
        QCOMPARE(f.grid->selectedIndex(), int(Name));
        f.key(Qt::Key_Tab, Qt::ControlModifier);
        QTRY_VERIFY(f.after->hasFocus());
    }

    void unhandledKeysInTheEditorAreIgnoredOnce_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        // F2 is the grid's own key (it opens the editor); every other function key is nobody's.
        for (int k = Qt::Key_F1; k <= Qt::Key_F12; ++k)
            if (k != Qt::Key_F2)
                QTest::newRow(qPrintable(QStringLiteral("F%1").arg(k - Qt::Key_F1 + 1))) << k << int(Qt::NoModifier);
        QTest::newRow("Shift+F8") << int(Qt::Key_F8) << int(Qt::ShiftModifier);
        QTest::newRow("Ctrl+F11") << int(Qt::Key_F11) << int(Qt::ControlModifier);
        QTest::newRow("Pause") << int(Qt::Key_Pause) << int(Qt::NoModifier);
        QTest::newRow("ScrollLock") << int(Qt::Key_ScrollLock) << int(Qt::NoModifier);
        QTest::newRow("Menu") << int(Qt::Key_Menu) << int(Qt::NoModifier);
        QTest::newRow("Ctrl+Q") << int(Qt::Key_Q) << int(Qt::ControlModifier);
    }

    // A key neither the editor nor the grid uses goes on to the window once; the typing stays.
    void unhandledKeysInTheEditorAreIgnoredOnce()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        Fixture f;
        QVERIFY(f.show());
        KeyCounter counter(key);
        f.window.installEventFilter(&counter);
        f.grid->setSelectedIndex(Diners);
        f.type(QStringLiteral("7"));
        QVERIFY(f.grid->editorMode());
        f.key(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(counter.seen, 1);
        QVERIFY(f.grid->editorMode());
        QCOMPARE(f.ds.state(), DataSetState::Edit);
        f.type(QStringLiteral("5"));
        QCOMPARE(f.grid->editorText(QStringLiteral("QTCOMESTIST")), QStringLiteral("75"));

        // With the focus on the grid while its editor is open, the key is handed to the editor.
        f.grid->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(f.grid->hasFocus());
        f.key(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(counter.seen, 2);
        QVERIFY(f.grid->editorMode());
        QCOMPARE(f.grid->editorText(QStringLiteral("QTCOMESTIST")), QStringLiteral("75"));
        f.key(Qt::Key_Down);
        QCOMPARE(f.ds.valueAt(0, f.field("QTCOMESTIST")->index()).toDouble(), 75.0);

        // The same key on the grid itself, with the editor closed, also reaches the window once.
        f.key(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(counter.seen, 3);
    }

    // A screen's key handler that posts, cancels or switches editing off while the editor is open:
    // the grid looks again and treats the key as its own, never the editor that is gone.
    void keyHandlersThatEndTheEditing_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("editorText");
        QTest::newRow("key-down posts, Right moves on") << "post" << int(Qt::Key_Right) << int(DataSetState::Browse) << "Sopa" << int(Diners) << "";
        QTest::newRow("key-down cancels, Left moves back") << "cancel" << int(Qt::Key_Left) << int(DataSetState::Browse) << "Prato 0" << int(Dish) << "";
        QTest::newRow("key-down switches editing off") << "editingOff" << int(Qt::Key_Backspace) << int(DataSetState::Edit) << "Prato 0" << int(Name) << "";
        QTest::newRow("key-press posts, the digit starts again") << "postOnChar" << int(Qt::Key_9) << int(DataSetState::Edit) << "Sopa" << int(Name) << "9";
        QTest::newRow("key-down closes the dataset") << "close" << int(Qt::Key_End) << int(DataSetState::Inactive) << "" << int(Unit) << "";
    }

    void keyHandlersThatEndTheEditing()
    {
        QFETCH(QString, action);
        QFETCH(int, key);
        QFETCH(int, state);
        QFETCH(QString, stored);
        QFETCH(int, column);
        QFETCH(QString, editorText);
        Fixture f;
        QVERIFY(f.show());
        f.grid->setSelectedIndex(Name);
        f.type(QStringLiteral("Sopa"));
        QVERIFY(f.grid->editorMode());
        f.grid->onKeyDown = [&](QObject *, int &k, Qt::KeyboardModifiers) {
            if (k != key)
                return;
            if (action == QLatin1String("post"))
                f.ds.post();
            else if (action == QLatin1String("cancel"))
                f.ds.cancel();
            else if (action == QLatin1String("editingOff"))
                f.grid->setOption(GridOption::Editing, false);
            else if (action == QLatin1String("close")) {
                f.ds.cancel();
                f.ds.close();
            }
        };
        f.grid->onKeyPress = [&](QObject *, QChar &c) {
            if (action == QLatin1String("postOnChar") && c == QLatin1Char('9'))
                f.ds.post();
        };
        f.key(Qt::Key(key));
        QCOMPARE(int(f.ds.state()), state);
        if (f.ds.active())
            QCOMPARE(f.stored(0, "NMPRATO"), stored);
        if (action == QLatin1String("editingOff"))
            QCOMPARE(f.field("NMPRATO")->asString(), QStringLiteral("Sopa"));   // written, not lost
        QCOMPARE(f.grid->selectedIndex(), column);
        QCOMPARE(f.grid->editorMode(), !editorText.isEmpty());
        QCOMPARE(f.grid->editorText(QStringLiteral("NMPRATO")), editorText);
        QCOMPARE(f.messages, QStringList());
    }

    void suspendedControlsRefreshOnceOnResume()
    {
        Fixture f(6);
        QVERIFY(f.show());
        QSignalSpy resets(f.grid->model(), &QAbstractItemModel::modelReset);
        QSignalSpy changes(f.grid->model(), &QAbstractItemModel::dataChanged);
        f.ds.disableControls();
        for (f.ds.first(); !f.ds.eof(); f.ds.next()) {
            f.ds.edit();
            f.field("QTCOMESTIST")->setAsFloat(f.field("QTCOMESTIST")->asFloat() * 2);
            f.ds.post();
        }
        f.ds.setRecNo(3);
        QCOMPARE(resets.size(), 0);
        QCOMPARE(changes.size(), 0);
        QCOMPARE(f.grid->currentIndex().row(), 0);   // the grid did not follow row by row
        f.ds.enableControls();
        QVERIFY(resets.size() + changes.size() <= 2);
        QCOMPARE(f.grid->currentIndex().row(), 3);
        QCOMPARE(f.grid->model()->index(5, Diners).data().toString(), QStringLiteral("120"));
    }
};

QTEST_MAIN(TestDBGrid)
#include "tst_dbgrid.moc"
