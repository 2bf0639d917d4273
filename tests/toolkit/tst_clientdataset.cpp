// The client dataset as the screens use it: loading, states and their events, the change log,
// filters, locate, suspended controls, field texts and the key list.

#include <toolkit/clientdataset.h>

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

using namespace toolkit;
using protocol::PacketContent;
using protocol::RowChange;

namespace {

// A dish-like dataset: client, point, dish code, quantity, date.
PacketContent dishes(int rows = 4)
{
    PacketContent c;
    c.fields = {{QStringLiteral("CDCLIENTE"), FieldKind::String, 21, false, false},
                {QStringLiteral("CDDESTFILI"), FieldKind::String, 3, false, false},
                {QStringLiteral("CDPRATO"), FieldKind::String, 10, false, false},
                {QStringLiteral("QTTOTAPRATST"), FieldKind::Float, 0, false, false},
                {QStringLiteral("DTSERVTRAN"), FieldKind::DateTime, 0, false, false}};
    for (int i = 0; i < rows; ++i)
        c.rows.append({{QStringLiteral("C%1").arg(i % 2), QStringLiteral("00%1").arg(i / 2 + 1),
                        QStringLiteral("P%1").arg(i), 10.0 * i, protocol::wallClock(QDate(2026, 12, 8))},
                       RowChange::Unchanged,
                       {}});
    return c;
}

struct EventLog {
    QStringList events;
    void watch(ClientDataSet &ds)
    {
        auto log = [this](const char *name) { return [this, name](ClientDataSet *) { events << QString::fromLatin1(name); }; };
        ds.beforeInsert = log("beforeInsert");
        ds.afterInsert = log("afterInsert");
        ds.beforeEdit = log("beforeEdit");
        ds.afterEdit = log("afterEdit");
        ds.beforePost = log("beforePost");
        ds.afterPost = log("afterPost");
        ds.beforeCancel = log("beforeCancel");
        ds.afterCancel = log("afterCancel");
        ds.beforeDelete = log("beforeDelete");
        ds.afterDelete = log("afterDelete");
        ds.afterOpen = log("afterOpen");
        ds.afterScroll = log("afterScroll");
    }
    QStringList take() { return std::exchange(events, {}); }
};

QStringList column(ClientDataSet &ds, const QString &field)
{
    QStringList out;
    for (int i = 0; i < ds.recordCount(); ++i)
        out << ds.valueAt(i, ds.fieldByName(field)->index()).toString();
    return out;
}

} // namespace

class TestClientDataSet : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void loadingOpensAndRaisesOpenThenScroll()
    {
        ClientDataSet ds(nullptr, QStringLiteral("cdsServTran"));
        EventLog log;
        log.watch(ds);
        ds.setData(protocol::encodePacket(dishes()));
        QCOMPARE(log.take(), (QStringList{QStringLiteral("afterOpen"), QStringLiteral("afterScroll")}));
        QCOMPARE(ds.state(), DataSetState::Browse);
        QCOMPARE(ds.recordCount(), 4);
        QCOMPARE(ds.fieldByName(QStringLiteral("CDPRATO"))->asString(), QStringLiteral("P0"));
        QCOMPARE(ds.fieldByName(QStringLiteral("CDPRATO"))->objectName(), QStringLiteral("cdsServTranCDPRATO"));
        QCOMPARE(ds.changeCount(), 0);
    }

    void persistentFieldsAreMatchedByName()
    {
        ClientDataSet ds;
        ds.addField(QStringLiteral("QTTOTAPRATST"), FieldKind::Float);
        ds.addField(QStringLiteral("CDPRATO"), FieldKind::String, 10);
        ds.setData(protocol::encodePacket(dishes()));
        ds.last();
        QCOMPARE(ds.fieldByName(QStringLiteral("QTTOTAPRATST"))->asFloat(), 30.0);
        QCOMPARE(ds.fieldByName(QStringLiteral("CDPRATO"))->asString(), QStringLiteral("P3"));

        ClientDataSet missing;
        missing.addField(QStringLiteral("NMPRATO"), FieldKind::String, 40);
        QVERIFY_THROWS_EXCEPTION(Error, missing.setData(protocol::encodePacket(dishes())));
        QVERIFY(!missing.active());
    }

    // A packet that does not fit the fields is refused before anything changes: the dataset
    // keeps its rows, its state and the row being edited.
    void aPacketThatDoesNotFitChangesNothing_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("size");
        QTest::newRow("text size differs") << "CDPRATO" << int(FieldKind::String) << 20;
        QTest::newRow("kind differs") << "QTTOTAPRATST" << int(FieldKind::String) << 10;
        QTest::newRow("field missing") << "" << 0 << 0;
    }

    void aPacketThatDoesNotFitChangesNothing()
    {
        QFETCH(QString, field);
        QFETCH(int, kind);
        QFETCH(int, size);
        ClientDataSet ds;
        ds.addField(QStringLiteral("CDPRATO"), FieldKind::String, 10);
        ds.addField(QStringLiteral("QTTOTAPRATST"), FieldKind::Float);
        ds.setData(protocol::encodePacket(dishes(3)));
        ds.edit();
        ds.fieldByName(QStringLiteral("CDPRATO"))->setAsString(QStringLiteral("NOVO"));

        PacketContent other = dishes(1);
        for (protocol::PacketField &f : other.fields)
            if (f.name == field || (field.isEmpty() && f.name == QLatin1String("CDPRATO")))
                f = field.isEmpty() ? protocol::PacketField{QStringLiteral("CDOUTRO"), FieldKind::String, 10, false, false}
                                    : protocol::PacketField{field, FieldKind(kind), size, false, false};
        if (FieldKind(kind) == FieldKind::String && field == QLatin1String("QTTOTAPRATST"))
            other.rows[0].values[3] = QStringLiteral("10");
        const protocol::DataPacket packet = protocol::encodePacket(other);
        QVERIFY_THROWS_EXCEPTION(Error, ds.checkedData(packet));
        QVERIFY_THROWS_EXCEPTION(Error, ds.setData(packet));
        QCOMPARE(ds.state(), DataSetState::Edit);
        QCOMPARE(ds.fieldByName(QStringLiteral("CDPRATO"))->asString(), QStringLiteral("NOVO"));
        ds.post();
        QCOMPARE(ds.recordCount(), 3);
        QCOMPARE(ds.changeCount(), 1);

        // What fits loads in two steps as in one.
        PacketContent fits = ds.checkedData(protocol::encodePacket(dishes(2)));
        QCOMPARE(ds.recordCount(), 3);
        ds.setData(std::move(fits));
        QCOMPARE(ds.recordCount(), 2);
        QCOMPARE(ds.changeCount(), 0);
    }

    void navigationOverTheView()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes(3)));
        QStringList seen;
        for (ds.first(); !ds.eof(); ds.next())
            seen << ds.fieldByName(QStringLiteral("CDPRATO"))->asString();
        QCOMPARE(seen, (QStringList{QStringLiteral("P0"), QStringLiteral("P1"), QStringLiteral("P2")}));
        QVERIFY(ds.eof());
        ds.emptyDataSet();
        ds.first();
        QVERIFY(ds.eof() && ds.bof() && ds.isEmpty());
        QVERIFY(ds.fieldByName(QStringLiteral("CDPRATO"))->isNull());
    }

    void stateTransitionsRaiseTheirEventsInOrder_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("changes");
        QTest::addColumn<QString>("handlerStates");   // what the state-change handler saw, in order
        QTest::newRow("insert") << "insert" << QStringList{"beforeInsert", "afterInsert", "afterScroll"} << int(DataSetState::Insert) << 0 << "insert";
        QTest::newRow("insert+post") << "insert,post" << QStringList{"beforeInsert", "afterInsert", "afterScroll", "beforePost", "afterPost"} << int(DataSetState::Browse) << 1 << "insert,browse";
        QTest::newRow("insert+cancel") << "insert,cancel" << QStringList{"beforeInsert", "afterInsert", "afterScroll", "beforeCancel", "afterCancel", "afterScroll"} << int(DataSetState::Browse) << 0 << "insert,browse";
        QTest::newRow("append+post") << "append,post" << QStringList{"beforeInsert", "afterInsert", "afterScroll", "beforePost", "afterPost"} << int(DataSetState::Browse) << 1 << "insert,browse";
        QTest::newRow("edit") << "edit" << QStringList{"beforeEdit", "afterEdit"} << int(DataSetState::Edit) << 0 << "edit";
        QTest::newRow("edit+post") << "edit,post" << QStringList{"beforeEdit", "afterEdit", "beforePost", "afterPost"} << int(DataSetState::Browse) << 1 << "edit,browse";
        QTest::newRow("edit+cancel") << "edit,cancel" << QStringList{"beforeEdit", "afterEdit", "beforeCancel", "afterCancel"} << int(DataSetState::Browse) << 0 << "edit,browse";
        QTest::newRow("delete") << "delete" << QStringList{"beforeDelete", "afterDelete", "afterScroll"} << int(DataSetState::Browse) << 1 << "";
        QTest::newRow("insert+delete") << "insert,delete" << QStringList{"beforeInsert", "afterInsert", "afterScroll", "beforeCancel", "afterCancel", "afterScroll"} << int(DataSetState::Browse) << 0 << "insert,browse";
        QTest::newRow("edit then move posts") << "edit,next" << QStringList{"beforeEdit", "afterEdit", "beforePost", "afterPost", "afterScroll"} << int(DataSetState::Browse) << 1 << "edit,browse";
        QTest::newRow("post in browse does nothing") << "post,cancel" << QStringList{} << int(DataSetState::Browse) << 0 << "";
    }

    void stateTransitionsRaiseTheirEventsInOrder()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, events);
        QFETCH(int, state);
        QFETCH(int, changes);
        QFETCH(QString, handlerStates);
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        EventLog log;
        log.watch(ds);
        QStringList seenStates;
        DataSource source;
        source.setDataSet(&ds);
        source.onStateChange = [&](DataSource *s) { seenStates << stateName(s->state()); };
        for (const QString &op : operation.split(QLatin1Char(','))) {
            if (op == QLatin1String("insert")) ds.insert();
            else if (op == QLatin1String("append")) ds.append();
            else if (op == QLatin1String("edit")) { ds.edit(); ds.fieldByName(QStringLiteral("QTTOTAPRATST"))->setAsString(QStringLiteral("1,5")); }
            else if (op == QLatin1String("post")) ds.post();
            else if (op == QLatin1String("cancel")) ds.cancel();
            else if (op == QLatin1String("delete")) ds.deleteRecord();
            else if (op == QLatin1String("next")) ds.next();
        }
        QCOMPARE(log.take(), events);
        QCOMPARE(int(ds.state()), state);
        QCOMPARE(ds.changeCount(), changes);
        QCOMPARE(seenStates.join(QLatin1Char(',')), handlerStates);
    }

    void refusalByABeforeEventLeavesRowAndState()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        Field *qty = ds.fieldByName(QStringLiteral("QTTOTAPRATST"));
        ds.next();
        ds.edit();
        qty->setAsFloat(99);
        ds.beforePost = [](ClientDataSet *) { throw Abort(); };
        QVERIFY_THROWS_EXCEPTION(Abort, ds.post());
        QCOMPARE(ds.state(), DataSetState::Edit);
        QCOMPARE(qty->asFloat(), 99.0);
        QCOMPARE(ds.recNo(), 1);
        QCOMPARE(ds.changeCount(), 0);

        ds.beforePost.clear();
        ds.cancel();
        QCOMPARE(qty->asFloat(), 10.0);
        ds.beforeInsert = [](ClientDataSet *) { throw Error(QStringLiteral("não")); };
        QVERIFY_THROWS_EXCEPTION(Error, ds.insert());
        QCOMPARE(ds.state(), DataSetState::Browse);
        QCOMPARE(ds.recordCount(), 4);
        ds.beforeDelete = [](ClientDataSet *) { throw Abort(); };
        QVERIFY_THROWS_EXCEPTION(Abort, ds.deleteRecord());
        QCOMPARE(ds.recordCount(), 4);
    }

    void stateChangeHandlerCanRefuseAnInsertion()
    {
        // A data source's handler that refuses the insert state abandons the insertion.
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        ds.setRecNo(2);
        DataSource source;
        source.setDataSet(&ds);
        QList<DataSetState> seen;
        source.onStateChange = [&](DataSource *s) {
            seen << s->state();
            if (s->state() == DataSetState::Insert)
                throw Abort();
        };
        EventLog log;
        log.watch(ds);
        QVERIFY_THROWS_EXCEPTION(Abort, ds.insert());
        QCOMPARE(ds.state(), DataSetState::Browse);
        QCOMPARE(seen, (QList<DataSetState>{DataSetState::Insert, DataSetState::Browse}));
        QCOMPARE(log.take(), QStringList{QStringLiteral("beforeInsert")});
        QCOMPARE(ds.recNo(), 2);
        QCOMPARE(ds.viewRowCount(), 4);
    }

    void insertedRowGoesBeforeTheCurrentOne()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes(3)));
        ds.setRecNo(1);
        ds.insert();
        QCOMPARE(ds.recNo(), 1);
        QVERIFY(ds.isPendingRow(1));
        QCOMPARE(ds.viewRowCount(), 4);
        QVERIFY(ds.fieldByName(QStringLiteral("CDPRATO"))->isNull());
        ds.fieldByName(QStringLiteral("CDPRATO"))->setAsString(QStringLiteral("NEW"));
        QCOMPARE(ds.viewValue(1, 2).toString(), QStringLiteral("NEW"));
        QCOMPARE(ds.viewValue(2, 2).toString(), QStringLiteral("P1"));
        ds.post();
        QCOMPARE(column(ds, QStringLiteral("CDPRATO")), (QStringList{"P0", "NEW", "P1", "P2"}));
        QCOMPARE(ds.fieldByName(QStringLiteral("CDPRATO"))->asString(), QStringLiteral("NEW"));
        ds.append();
        ds.fieldByName(QStringLiteral("CDPRATO"))->setAsString(QStringLiteral("END"));
        ds.post();
        QCOMPARE(column(ds, QStringLiteral("CDPRATO")).last(), QStringLiteral("END"));
        QCOMPARE(ds.recNo(), 4);
    }

    void changeLogGivesDeltaWithOriginals()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        Field *qty = ds.fieldByName(QStringLiteral("QTTOTAPRATST"));
        ds.next();
        ds.edit();
        qty->setAsFloat(11);
        ds.post();
        QCOMPARE(qty->oldValue().toDouble(), 10.0);
        ds.edit();   // a second change keeps the first original
        qty->setAsFloat(12);
        ds.post();
        QCOMPARE(qty->oldValue().toDouble(), 10.0);
        ds.append();
        ds.fieldByName(QStringLiteral("CDPRATO"))->setAsString(QStringLiteral("NEW"));
        ds.post();
        ds.first();
        ds.deleteRecord();
        QCOMPARE(ds.changeCount(), 3);

        const PacketContent delta = protocol::decodePacket(ds.delta());
        QVERIFY(delta.delta);
        QCOMPARE(delta.rows.size(), 3);
        QCOMPARE(delta.rows[0].change, RowChange::Deleted);
        QCOMPARE(delta.rows[0].original[2].toString(), QStringLiteral("P0"));
        QCOMPARE(delta.rows[1].change, RowChange::Modified);
        QCOMPARE(delta.rows[1].values[3].toDouble(), 12.0);
        QCOMPARE(delta.rows[1].original[3].toDouble(), 10.0);
        QCOMPARE(delta.rows[2].change, RowChange::Inserted);
        QCOMPARE(delta.rows[2].values[2].toString(), QStringLiteral("NEW"));
        QVERIFY(delta.rows[2].values[0].isNull());

        // Cancelling restores the originals and the deleted row, and drops the new one.
        ds.cancelUpdates();
        QCOMPARE(ds.changeCount(), 0);
        QCOMPARE(column(ds, QStringLiteral("CDPRATO")), (QStringList{"P0", "P1", "P2", "P3"}));
        ds.setRecNo(1);
        QCOMPARE(qty->asFloat(), 10.0);
    }

    void mergeMakesChangesTheNewBaseline()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        Field *qty = ds.fieldByName(QStringLiteral("QTTOTAPRATST"));
        ds.setRecNo(2);
        ds.edit();
        qty->setAsFloat(5);
        ds.post();
        ds.first();
        ds.deleteRecord();
        ds.setRecNo(1);   // the edited row, now second
        ds.mergeChangeLog();
        QCOMPARE(ds.changeCount(), 0);
        QCOMPARE(ds.recordCount(), 3);
        QCOMPARE(qty->asFloat(), 5.0);
        QCOMPARE(qty->oldValue().toDouble(), 5.0);
        ds.cancelUpdates();
        QCOMPARE(qty->asFloat(), 5.0);
        QCOMPARE(ds.recordCount(), 3);
        ds.setLogChanges(false);
        ds.edit();
        qty->setAsFloat(6);
        ds.post();
        QCOMPARE(ds.changeCount(), 0);
    }

    void filterForms_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QStringList>("dishes");
        QTest::newRow("dish filter") << "CDCLIENTE  = 'C0' AND CDDESTFILI = '001'" << QStringList{"P0"};
        QTest::newRow("aligned spacing") << "CDCLIENTE    = 'C1' AND CDDESTFILI   = '002'" << QStringList{"P3"};
        QTest::newRow("no spaces, lower and") << "CDCLIENTE='C1' and CDDESTFILI='001'" << QStringList{"P1"};
        QTest::newRow("one field") << "CDCLIENTE = 'C0'" << QStringList{"P0", "P2"};
        QTest::newRow("empty values") << "CDCLIENTE  = '' AND CDDESTFILI = ''" << QStringList{};
        QTest::newRow("quote doubled") << "CDPRATO = 'O''Brien'" << QStringList{"O'Brien"};
        QTest::newRow("empty expression") << "" << QStringList{"P0", "P1", "P2", "P3", "O'Brien"};
    }

    void filterForms()
    {
        QFETCH(QString, expression);
        QFETCH(QStringList, dishes);
        ClientDataSet ds;
        PacketContent c = ::dishes();
        c.rows.append({{QStringLiteral("C9"), QStringLiteral("009"), QStringLiteral("O'Brien"), 1.0, QVariant()}, RowChange::Unchanged, {}});
        ds.setData(protocol::encodePacket(c));
        ds.setFilter(expression);
        ds.setFiltered(true);
        QCOMPARE(column(ds, QStringLiteral("CDPRATO")), dishes);
        QCOMPARE(ds.isEmpty(), dishes.isEmpty());
        ds.setFiltered(false);
        QCOMPARE(ds.recordCount(), 5);
    }

    // A loaded row is read where the packet holds it until a record, a grid or an edit reads it
    // whole: a filter and the data packet give the same rows whichever way each row is held.
    void rowsHeldEitherWayFilterAlike_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QStringList>("dishes");
        QTest::newRow("text") << "CDCLIENTE = 'C1'" << QStringList{"P1", "P3"};
        QTest::newRow("text beyond Latin-1") << "CDCLIENTE = '\u00c7\U0001F600'" << QStringList{"X"};
        QTest::newRow("null text is not empty") << "CDDESTFILI = ''" << QStringList{};
        QTest::newRow("float") << "QTTOTAPRATST = '1.5'" << QStringList{"X"};
        QTest::newRow("date-time and text") << "DTSERVTRAN = '2026-12-08 00:00:00' AND CDDESTFILI = '002'"
                                            << QStringList{"P2", "P3"};
    }

    void rowsHeldEitherWayFilterAlike()
    {
        QFETCH(QString, expression);
        QFETCH(QStringList, dishes);
        PacketContent c = ::dishes();
        c.rows.append({{QStringLiteral("\u00c7\U0001F600"), QVariant(), QStringLiteral("X"), 1.5, QVariant()}, RowChange::Unchanged, {}});
        for (const bool someReadWhole : {false, true}) {
            ClientDataSet ds;
            ds.setData(protocol::encodePacket(c));
            if (someReadWhole)
                for (int row = 0; row < ds.recordCount(); row += 2)
                    ds.valueAt(row, 0);
            const PacketContent data = protocol::decodePacket(ds.data());
            QCOMPARE(data.rows.size(), c.rows.size());
            for (qsizetype row = 0; row < c.rows.size(); ++row)
                QCOMPARE(data.rows[row].values, c.rows[row].values);
            ds.setFilter(expression);
            ds.setFiltered(true);
            QCOMPARE(column(ds, QStringLiteral("CDPRATO")), dishes);
        }
    }

    void badFilterExpressionsAreReported_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::newRow("unknown field") << "NOPE = 'x'";
        QTest::newRow("no quotes") << "CDCLIENTE = x";
        QTest::newRow("unclosed") << "CDCLIENTE = 'x";
        QTest::newRow("dangling and") << "CDCLIENTE = 'x' AND";
        QTest::newRow("or") << "CDCLIENTE = 'x' OR CDDESTFILI = 'y'";
        QTest::newRow("no equals") << "CDCLIENTE 'x'";
        QTest::newRow("quote breaking out") << "CDCLIENTE = 'a'b'";
    }

    void badFilterExpressionsAreReported()
    {
        QFETCH(QString, expression);
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        ds.setFilter(QStringLiteral("CDCLIENTE = 'C0'"));
        ds.setFiltered(true);
        QVERIFY_THROWS_EXCEPTION(Error, ds.setFilter(expression));
        QCOMPARE(ds.filter(), QStringLiteral("CDCLIENTE = 'C0'"));   // the old filter stays
        QCOMPARE(ds.recordCount(), 2);
    }

    void changingTheFilterGoesToTheFirstRowAndScrolls()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        ds.setFilter(QStringLiteral("CDCLIENTE = 'C0'"));
        int scrolls = 0;
        ds.afterScroll = [&](ClientDataSet *) { ++scrolls; };
        ds.setFiltered(true);
        QCOMPARE(scrolls, 1);
        ds.last();
        scrolls = 0;
        ds.setFilter(QStringLiteral("CDCLIENTE = 'C1'"));
        QCOMPARE(scrolls, 1);
        QCOMPARE(ds.recNo(), 0);
        QCOMPARE(ds.fieldByName(QStringLiteral("CDPRATO"))->asString(), QStringLiteral("P1"));
    }

    void postedRowLeavesAViewItNoLongerMatches()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        ds.setFilter(QStringLiteral("CDCLIENTE = 'C0'"));
        ds.setFiltered(true);
        ds.insert();
        ds.fieldByName(QStringLiteral("CDCLIENTE"))->setAsString(QStringLiteral("C7"));
        ds.post();
        QCOMPARE(ds.recordCount(), 2);
        ds.setFilter(QStringLiteral("CDCLIENTE = 'C7'"));
        QCOMPARE(ds.recordCount(), 1);
        QCOMPARE(ds.changeCount(), 1);
    }

    void locateBySeveralFields()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        const QString keys = QStringLiteral("CDCLIENTE;CDDESTFILI;DTSERVTRAN");
        QVERIFY(ds.locate(keys, {QStringLiteral("C1"), QStringLiteral("002"), protocol::wallClock(QDate(2026, 12, 8))}));
        QCOMPARE(ds.fieldByName(QStringLiteral("CDPRATO"))->asString(), QStringLiteral("P3"));
        QVERIFY(!ds.locate(keys, {QStringLiteral("c1"), QStringLiteral("002"), protocol::wallClock(QDate(2026, 12, 8))}));
        QVERIFY(!ds.locate(QStringLiteral("CDCLIENTE;CDDESTFILI"), {QStringLiteral("C1"), QStringLiteral("00")}));
        QCOMPARE(ds.recNo(), 3);   // a miss stays where it was
        QVERIFY(ds.locate(QStringLiteral("QTTOTAPRATST"), {10.0}));
        QCOMPARE(ds.recNo(), 1);
    }

    void suspendedControlsHearOnceOnResume()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        DataSource source;
        source.setDataSet(&ds);
        QSignalSpy current(&source, &DataSource::currentChanged);
        QSignalSpy layout(&source, &DataSource::layoutChanged);
        int handlerCalls = 0;
        source.onStateChange = [&](DataSource *) { ++handlerCalls; };
        ds.disableControls();
        ds.disableControls();
        for (ds.first(); !ds.eof(); ds.next()) {
            ds.edit();
            ds.fieldByName(QStringLiteral("QTTOTAPRATST"))->setAsFloat(1);
            ds.post();
        }
        ds.enableControls();
        QCOMPARE(current.count(), 0);
        QCOMPARE(handlerCalls, 0);
        ds.enableControls();
        QCOMPARE(current.count(), 0);
        QCOMPARE(layout.count(), 1);
        QCOMPARE(ds.changeCount(), 4);
    }

    void fieldTexts()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        Field *qty = ds.fieldByName(QStringLiteral("QTTOTAPRATST"));
        Field *code = ds.fieldByName(QStringLiteral("CDPRATO"));
        qty->setDisplayFormat(QStringLiteral("#,##0.000"));
        ds.edit();
        qty->setAsFloat(1234567.5);
        QCOMPARE(qty->displayText(), QStringLiteral("1.234.567,500"));
        QCOMPARE(qty->asString(), QStringLiteral("1234567,5"));
        qty->setAsString(QStringLiteral("0,25"));
        QCOMPARE(qty->asFloat(), 0.25);
        qty->setAsString(QString());
        QVERIFY(qty->isNull());
        QCOMPARE(qty->displayText(), QString());
        QVERIFY_THROWS_EXCEPTION(Error, qty->setAsString(QStringLiteral("abc")));
        QVERIFY_THROWS_EXCEPTION(Error, code->setAsString(QStringLiteral("12345678901")));
        code->setAsString(QStringLiteral("1234567890"));
        QCOMPARE(code->asString(), QStringLiteral("1234567890"));
        code->onGetText = [](Field *f, QString &text, bool display) { text = display ? QStringLiteral("<%1>").arg(f->value().toString()) : f->value().toString(); };
        QCOMPARE(code->displayText(), QStringLiteral("<1234567890>"));
        QCOMPARE(code->editText(), QStringLiteral("1234567890"));
        ds.cancel();
        QCOMPARE(code->displayTextAt(2), QStringLiteral("<P2>"));   // another row, through the hook
        QCOMPARE(code->displayText(), QStringLiteral("<P0>"));
        QVERIFY_THROWS_EXCEPTION(Error, code->setAsString(QStringLiteral("x")));   // browse state
        QCOMPARE(ds.fieldByName(QStringLiteral("DTSERVTRAN"))->asString(), QStringLiteral("08/12/2026"));

        // A registration number is shown as its mask writes it, and stored bare.
        Field *client = ds.fieldByName(QStringLiteral("CDCLIENTE"));
        client->setEditMask(QStringLiteral("99.999.999/9999-99;0; "));
        ds.edit();
        client->setAsString(QStringLiteral("11222333000181"));
        QCOMPARE(client->displayText(), QStringLiteral("11.222.333/0001-81"));
        QCOMPARE(client->asString(), QStringLiteral("11222333000181"));
        ds.cancel();
    }

    // A quantity typed by hand: the decimal comma, never the thousands separator.
    void typedNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<double>("value");
        QTest::newRow("whole") << "1500" << true << 1500.0;
        QTest::newRow("decimal comma") << "1,5" << true << 1.5;
        QTest::newRow("negative") << "-2,25" << true << -2.25;
        QTest::newRow("blanks around") << " 7 " << true << 7.0;
        QTest::newRow("comma first") << ",5" << true << 0.5;
        QTest::newRow("thousands separator") << "1.500" << false << 0.0;
        QTest::newRow("thousands and decimals") << "1.500,25" << false << 0.0;
        QTest::newRow("point as decimal") << "1.5" << false << 0.0;
        QTest::newRow("two commas") << "1,2,3" << false << 0.0;
        QTest::newRow("exponent") << "1e3" << false << 0.0;
        QTest::newRow("plus sign") << "+5" << false << 0.0;
        QTest::newRow("minus only") << "-" << false << 0.0;
    }

    void typedNumbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(double, value);
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        Field *qty = ds.fieldByName(QStringLiteral("QTTOTAPRATST"));
        ds.edit();
        if (accepted) {
            qty->setAsString(text);
            QCOMPARE(qty->asFloat(), value);
        } else {
            QVERIFY_THROWS_EXCEPTION(Error, qty->setAsString(text));
            QCOMPARE(qty->asFloat(), 0.0);   // the first row's, untouched
        }
        // A text field read as a number follows the same rule.
        Field *code = ds.fieldByName(QStringLiteral("CDPRATO"));
        code->setAsString(text.trimmed());
        if (accepted)
            QCOMPARE(code->asFloat(), value);
        else
            QVERIFY_THROWS_EXCEPTION(Error, code->asFloat());
    }

    void displayFormats_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("text");
        QTest::newRow("thousands") << 9999.0 << "#,##0.00" << "9.999,00";
        QTest::newRow("three decimals") << 2.75 << "#,##0.000" << "2,750";
        QTest::newRow("zero") << 0.0 << "#,##0.000" << "0,000";
        QTest::newRow("negative zero") << -0.0001 << "#,##0.000" << "0,000";
        QTest::newRow("no grouping") << 12345.0 << "0.0" << "12345,0";
        QTest::newRow("optional decimals") << 1.5 << "0.##" << "1,5";
        QTest::newRow("optional none") << 2.0 << "0.##" << "2";
    }

    void displayFormats()
    {
        QFETCH(double, value);
        QFETCH(QString, format);
        QFETCH(QString, text);
        QCOMPARE(Field::formatFloat(value, format), text);
    }

    void controlsNeverReadARecordThatIsGone()
    {
        // Controls hear of a post, a cancel and a delete after the dataset is browsing again:
        // the record they read then is a real row.
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        DataSource source;
        source.setDataSet(&ds);
        QStringList seen;
        const auto read = [&] { seen << stateName(ds.state()) + QLatin1Char(':') + ds.fieldByName(QStringLiteral("CDPRATO"))->displayText(); };
        connect(&source, &DataSource::currentChanged, this, read);
        connect(&source, &DataSource::layoutChanged, this, read);
        ds.edit();
        ds.post();
        ds.insert();
        ds.cancel();
        ds.edit();
        ds.deleteRecord();
        // Only the pending row of an insertion is read while not browsing, and it is empty.
        QCOMPARE(seen, (QStringList{"browse:P0", "browse:P0",                  // post
                                    "insert:",                                 // insert
                                    "browse:P0", "browse:P0", "browse:P0",     // cancel
                                    "browse:P1", "browse:P1"}));               // delete
    }

    void pendingEditorTextIsWrittenBeforePost()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        QObject control;
        ds.edit();
        ds.registerEditor(&control, [&] { ds.fieldByName(QStringLiteral("CDPRATO"))->setAsString(QStringLiteral("TYPED")); });
        ds.post();
        QCOMPARE(ds.fieldByName(QStringLiteral("CDPRATO"))->asString(), QStringLiteral("TYPED"));
        ds.edit();
        ds.registerEditor(&control, [&] { ds.fieldByName(QStringLiteral("QTTOTAPRATST"))->setAsString(QStringLiteral("x")); });
        QVERIFY_THROWS_EXCEPTION(Error, ds.post());
        QCOMPARE(ds.state(), DataSetState::Edit);
        ds.unregisterEditor(&control);
        ds.post();
    }

    // A handler that calls back into its dataset while an operation is half-way is refused with a
    // clear error: the operation is refused too, the row being edited and the change log intact.
    void callingBackFromABeforeEventIsRefused_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("callBack");
        QTest::addColumn<QString>("operation");
        for (const char *call : {"cancel", "post", "insert", "delete", "setData", "close", "next", "filter", "empty"})
            QTest::addRow("beforePost %s", call) << "beforePost" << call << "post";
        for (const char *call : {"post", "cancel", "setData", "locate"})
            QTest::addRow("beforeCancel %s", call) << "beforeCancel" << call << "cancel";
        for (const char *call : {"insert", "edit", "next"})
            QTest::addRow("beforeInsert %s", call) << "beforeInsert" << call << "insert";
        for (const char *call : {"delete", "insert", "setData"})
            QTest::addRow("beforeEdit %s", call) << "beforeEdit" << call << "edit";
        for (const char *call : {"edit", "next", "delete", "close"})
            QTest::addRow("beforeDelete %s", call) << "beforeDelete" << call << "delete";
        for (const char *call : {"setData", "open", "next"})
            QTest::addRow("beforeClose %s", call) << "beforeClose" << call << "close";
    }

    void callingBackFromABeforeEventIsRefused()
    {
        QFETCH(QString, event);
        QFETCH(QString, callBack);
        QFETCH(QString, operation);
        ClientDataSet ds(nullptr, QStringLiteral("cdsServTran"));
        ds.setData(protocol::encodePacket(dishes()));
        Field *qty = ds.fieldByName(QStringLiteral("QTTOTAPRATST"));
        ds.next();
        ds.edit();
        qty->setAsFloat(99);
        ds.post();   // one change in the log before the operation
        const bool editing = operation == QLatin1String("post") || operation == QLatin1String("cancel");
        if (editing) {
            ds.edit();
            qty->setAsFloat(77);
        }
        const QByteArray deltaBefore = ds.delta().bytes();
        QString refusal;
        const auto callIn = [&](ClientDataSet *d) {
            try {
                if (callBack == QLatin1String("cancel")) d->cancel();
                else if (callBack == QLatin1String("post")) d->post();
                else if (callBack == QLatin1String("insert")) d->insert();
                else if (callBack == QLatin1String("edit")) d->edit();
                else if (callBack == QLatin1String("delete")) d->deleteRecord();
                else if (callBack == QLatin1String("setData")) d->setData(protocol::encodePacket(dishes(2)));
                else if (callBack == QLatin1String("close")) d->close();
                else if (callBack == QLatin1String("open")) d->open();
                else if (callBack == QLatin1String("next")) d->next();
                else if (callBack == QLatin1String("locate")) d->locate(QStringLiteral("CDPRATO"), {QStringLiteral("P3")});
                else if (callBack == QLatin1String("filter")) { d->setFilter(QStringLiteral("CDCLIENTE = 'C0'")); d->setFiltered(true); }
                else if (callBack == QLatin1String("empty")) d->emptyDataSet();
            } catch (const Error &e) {
                refusal = e.message();
                throw;
            }
        };
        if (event == QLatin1String("beforePost")) ds.beforePost = callIn;
        else if (event == QLatin1String("beforeCancel")) ds.beforeCancel = callIn;
        else if (event == QLatin1String("beforeInsert")) ds.beforeInsert = callIn;
        else if (event == QLatin1String("beforeEdit")) ds.beforeEdit = callIn;
        else if (event == QLatin1String("beforeDelete")) ds.beforeDelete = callIn;
        else if (event == QLatin1String("beforeClose")) ds.beforeClose = callIn;

        const auto run = [&] {
            if (operation == QLatin1String("post")) ds.post();
            else if (operation == QLatin1String("cancel")) ds.cancel();
            else if (operation == QLatin1String("insert")) ds.insert();
            else if (operation == QLatin1String("edit")) ds.edit();
            else if (operation == QLatin1String("delete")) ds.deleteRecord();
            else if (operation == QLatin1String("close")) ds.close();
        };
        QVERIFY_THROWS_EXCEPTION(Error, run());
        QVERIFY2(refusal.startsWith(QStringLiteral("cdsServTran: não é possível")), qPrintable(refusal));

        // Nothing moved: the same rows, the same row current, the edit (if any) still there.
        QCOMPARE(ds.state(), editing ? DataSetState::Edit : DataSetState::Browse);
        QCOMPARE(ds.recNo(), 1);
        QCOMPARE(qty->asFloat(), editing ? 77.0 : 99.0);
        QCOMPARE(column(ds, QStringLiteral("CDPRATO")), (QStringList{"P0", "P1", "P2", "P3"}));
        QCOMPARE(ds.delta().bytes(), deltaBefore);

        // And the dataset works on: the handler gone, the operation goes through.
        ds.beforePost.clear();
        ds.beforeCancel.clear();
        if (editing) {
            ds.post();
            QCOMPARE(qty->asFloat(), 77.0);
        }
        const PacketContent delta = protocol::decodePacket(ds.delta());
        QCOMPARE(delta.rows.size(), 1);
        QCOMPARE(delta.rows[0].values.size(), 5);
        QCOMPARE(delta.rows[0].original[3].toDouble(), 10.0);
    }

    // A before-event handler may post or refuse in a linked dataset; a linked dataset's handler
    // calling back into the first one while it is half-way is refused.
    void linkedDatasetsCallingBack()
    {
        ClientDataSet points(nullptr, QStringLiteral("cdsPadrao"));
        ClientDataSet dishes(nullptr, QStringLiteral("cdsServTran"));
        points.setData(protocol::encodePacket(::dishes()));
        dishes.setData(protocol::encodePacket(::dishes()));
        Field *pointQty = points.fieldByName(QStringLiteral("QTTOTAPRATST"));
        Field *dishQty = dishes.fieldByName(QStringLiteral("QTTOTAPRATST"));

        // The dish is posted from the point's before-post: both complete.
        points.beforePost = [&](ClientDataSet *) { dishes.post(); };
        dishes.edit();
        dishQty->setAsFloat(5);
        points.edit();
        pointQty->setAsFloat(6);
        points.post();
        QCOMPARE(dishes.state(), DataSetState::Browse);
        QCOMPARE(points.state(), DataSetState::Browse);
        QCOMPARE(dishes.changeCount(), 1);
        QCOMPARE(points.changeCount(), 1);

        // The dish's before-post cancels the point that is posting it: refused, both keep their edit.
        dishes.beforePost = [&](ClientDataSet *) { points.cancel(); };
        dishes.edit();
        dishQty->setAsFloat(7);
        points.edit();
        pointQty->setAsFloat(8);
        QVERIFY_THROWS_EXCEPTION(Error, points.post());
        QCOMPARE(points.state(), DataSetState::Edit);
        QCOMPARE(pointQty->asFloat(), 8.0);
        QCOMPARE(dishes.state(), DataSetState::Edit);
        QCOMPARE(dishQty->asFloat(), 7.0);
        dishes.beforePost.clear();
        points.post();
        QCOMPARE(protocol::decodePacket(points.delta()).rows.size(), 1);
        QCOMPARE(protocol::decodePacket(dishes.delta()).rows.size(), 1);
    }

    // Once an operation is complete, its after-events and state handlers may start the next one.
    void afterEventsMayStartTheNextOperation()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        ds.afterPost = [](ClientDataSet *d) { d->append(); };
        ds.edit();
        ds.fieldByName(QStringLiteral("CDPRATO"))->setAsString(QStringLiteral("X"));
        ds.post();
        QCOMPARE(ds.state(), DataSetState::Insert);
        ds.afterPost.clear();
        ds.afterCancel = [](ClientDataSet *d) { d->edit(); };
        ds.cancel();
        QCOMPARE(ds.state(), DataSetState::Edit);
        ds.afterCancel.clear();

        // A state-change handler that ends the insertion it hears of: no after-insert follows.
        ds.cancel();
        DataSource source;
        source.setDataSet(&ds);
        source.onStateChange = [&](DataSource *) {
            if (ds.state() == DataSetState::Insert)
                ds.cancel();
        };
        QStringList events;
        ds.afterInsert = [&](ClientDataSet *) { events << QStringLiteral("afterInsert"); };
        ds.afterCancel = [&](ClientDataSet *) { events << QStringLiteral("afterCancel"); };
        ds.insert();
        QCOMPARE(ds.state(), DataSetState::Browse);
        QCOMPARE(events, QStringList{QStringLiteral("afterCancel")});
        QCOMPARE(ds.viewRowCount(), 4);
        QCOMPARE(ds.changeCount(), 1);
        QCOMPARE(protocol::decodePacket(ds.delta()).rows.size(), 1);
    }

    // Loading, closing or emptying never drops a row being edited, nor the change log with it.
    void reloadingOrClosingDuringAnEditIsRefused_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("setData") << "setData";
        QTest::newRow("close") << "close";
        QTest::newRow("emptyDataSet") << "emptyDataSet";
    }

    void reloadingOrClosingDuringAnEditIsRefused()
    {
        QFETCH(QString, operation);
        ClientDataSet ds(nullptr, QStringLiteral("cdsPadrao"));
        ds.setData(protocol::encodePacket(dishes()));
        Field *qty = ds.fieldByName(QStringLiteral("QTTOTAPRATST"));
        ds.last();
        ds.deleteRecord();
        ds.edit();
        qty->setAsFloat(42);
        try {
            if (operation == QLatin1String("setData")) ds.setData(protocol::encodePacket(dishes(2)));
            else if (operation == QLatin1String("close")) ds.close();
            else ds.emptyDataSet();
            QFAIL("the operation went ahead with a row being edited");
        } catch (const Error &e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("cdsPadrao: há um registro em edição")), qPrintable(e.message()));
        }
        QCOMPARE(ds.state(), DataSetState::Edit);
        QCOMPARE(qty->asFloat(), 42.0);
        ds.post();
        QCOMPARE(ds.changeCount(), 2);
        QCOMPARE(ds.recordCount(), 3);
    }

    // A listener that attaches or detaches data sources while hearing a change: the sources
    // attached when the change happened hear it once, the new ones from the next change on.
    void notificationsSurviveListenersChangingTheList()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        DataSource first, second;
        first.setDataSet(&ds);
        second.setDataSet(&ds);
        std::vector<std::unique_ptr<DataSource>> added;
        int heardBySecond = 0, heardByAdded = 0;
        first.onDataChange = [&](DataSource *, Field *) {
            if (!added.empty())
                return;
            for (int i = 0; i < 40; ++i) {
                added.push_back(std::make_unique<DataSource>());
                added.back()->setDataSet(&ds);
                added.back()->onDataChange = [&](DataSource *, Field *) { ++heardByAdded; };
            }
            first.setDataSet(nullptr);
        };
        second.onDataChange = [&](DataSource *, Field *) { ++heardBySecond; };
        ds.next();
        QCOMPARE(heardBySecond, 1);
        QCOMPARE(heardByAdded, 0);
        ds.next();
        QCOMPARE(heardBySecond, 2);
        QCOMPARE(heardByAdded, 40);
    }

    // Handlers taken away for a while come back however the scope is left.
    void suspendedHandlersComeBack()
    {
        ClientDataSet ds;
        ds.setData(protocol::encodePacket(dishes()));
        int scrolls = 0;
        ds.afterScroll = [&](ClientDataSet *) { ++scrolls; };
        {
            const HandlerSuspension quiet(ds.afterScroll);
            const DisabledControls still(&ds);
            for (ds.first(); !ds.eof(); ds.next()) {
            }
            QVERIFY(ds.controlsDisabled());
        }
        QCOMPARE(scrolls, 0);
        QVERIFY(!ds.controlsDisabled());
        try {
            const HandlerSuspension quiet(ds.afterScroll);
            ds.first();
            throw Abort();
        } catch (const Abort &) {
        }
        ds.next();
        QCOMPARE(scrolls, 1);
    }

    void keyListFindsKeysByHash()
    {
        KeyList keys;
        QCOMPARE(keys.IndexOf(QStringLiteral("x")), -1);
        QCOMPARE(keys.Add(QStringLiteral("0000123001"), 0), 0);
        QCOMPARE(keys.Add(QStringLiteral("0000123002"), 0), 1);
        QCOMPARE(keys.Add(QStringLiteral("0000123001"), 0), 2);
        QCOMPARE(keys.IndexOf(QStringLiteral("0000123001")), 0);
        QCOMPARE(keys.IndexOf(QStringLiteral("0000123002")), 1);
        QCOMPARE(keys.IndexOf(QStringLiteral("000012300")), -1);
        keys.Clear();
        QCOMPARE(keys.IndexOf(QStringLiteral("0000123001")), -1);
    }
};

QTEST_MAIN(TestClientDataSet)
#include "tst_clientdataset.moc"
