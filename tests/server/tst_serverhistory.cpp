// The history of changes: every write method records who changed which dish row, when, from
// where and how, in the write's own transaction; GetHistorico lists a day's; nothing changes it.

#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <protocol/frame.h>

#include <QTest>
#include <algorithm>

using namespace servertest;
using protocol::RowChange;

namespace {

QVariantList dayArgs() { return {QStringLiteral("0001"), QStringLiteral("00001"), day()}; }

qint64 historyCount(server::Database &db)
{
    return scalar(db, QStringLiteral("SELECT COUNT(*) FROM HISTSERVTRAN")).toLongLong();
}

// The history rows written after the first `skip`, oldest first, by field name.
QList<QVariantMap> historySince(TestClient &client, qsizetype skip)
{
    const Table history = table(client.payload(QStringLiteral("GetHistorico"), dayArgs()));
    return history.rows.mid(skip);
}

QJsonObject json(const QVariant &text) { return QJsonDocument::fromJson(text.toString().toUtf8()).object(); }

} // namespace

class TestServerHistory : public QObject {
    Q_OBJECT
private slots:
    void eachWriteIsRecordedWithItsOperator_data() { addBackendRows(); }
    void eachWriteIsRecordedWithItsOperator();
    void aRefusedWriteLeavesNoHistory_data() { addBackendRows(); }
    void aRefusedWriteLeavesNoHistory();
    void unchangedRowsAreNotRecorded_data() { addBackendRows(); }
    void unchangedRowsAreNotRecorded();
    void theHistoryCannotBeChanged_data() { addBackendRows(); }
    void theHistoryCannotBeChanged();
    void labelWritesAreRecorded_data() { addBackendRows(); }
    void labelWritesAreRecorded();
    void savesRecordTheRowsAsStored_data() { addBackendRows(); }
    void savesRecordTheRowsAsStored();
    void valuesKeepTheirJsonText_data() { addBackendRows(); }
    void valuesKeepTheirJsonText();
    void concurrentChangesAreEachRecordedOnce();
    void aLongDayIsReadInPages_data() { addBackendRows(); }
    void aLongDayIsReadInPages();
};

// A user includes a dish, changes its diners, recalculates its labels and deletes it; then deletes
// a whole delivery point. Each step is in the history with its operator, address and values.
void TestServerHistory::eachWriteIsRecordedWithItsOperator()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    TestClient cook(f.port(), helloOf(QStringLiteral("OPER1")));
    const qsizetype before = table(cook.payload(QStringLiteral("GetHistorico"), dayArgs())).rows.size();

    QVariantMap dish = newDish(QStringLiteral("0000000090"), QStringLiteral("0000102"), QStringLiteral("004"),
                               QStringLiteral("1010010002"));
    QCOMPARE(cook.text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, dish, {}}})}), QString());
    const QVariantMap stored = storedDish(cook, QStringLiteral("0000000090"));
    QVariantMap changed = stored;
    changed[QStringLiteral("QTCOMESTIST")] = stored[QStringLiteral("QTCOMESTIST")].toDouble() + 10;
    QCOMPARE(cook.text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Modified, changed, stored}})}), QString());
    QCOMPARE(cook.error(QStringLiteral("DeletePrato"),
                        {QStringLiteral("P"), QStringLiteral("1010010002"), QStringLiteral("0001"), QStringLiteral("00001"),
                         QStringLiteral("004"), QStringLiteral("0000102"), day()}),
             QString());

    QList<QVariantMap> entries = historySince(cook, before);
    QCOMPARE(entries.size(), 3);
    const QStringList methods = {QStringLiteral("SetServTran"), QStringLiteral("SetServTran"), QStringLiteral("DeletePrato")};
    const QStringList kinds = {QStringLiteral("I"), QStringLiteral("A"), QStringLiteral("E")};
    for (int i = 0; i < entries.size(); ++i) {
        const QVariantMap &e = entries[i];
        QCOMPARE(e[QStringLiteral("NMMETODO")].toString(), methods[i]);
        QCOMPARE(e[QStringLiteral("IDALTERACAO")].toString(), kinds[i]);
        QCOMPARE(e[QStringLiteral("CDOPERADOR")].toString(), QStringLiteral("OPER1"));
        QCOMPARE(e[QStringLiteral("NMOPERADOR")].toString(), QStringLiteral("Operador da Cozinha Central Norte"));
        QCOMPARE(e[QStringLiteral("DSENDERECO")].toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(e[QStringLiteral("NRSERVTRAN")].toString(), QStringLiteral("0000000090"));
        QCOMPARE(e[QStringLiteral("NMPRATO")].toString(), QStringLiteral("Bife acebolado"));
        QVERIFY(e[QStringLiteral("DTHRALTERACAO")].toDateTime().isValid());
    }
    QVERIFY(entries[0][QStringLiteral("DSANTES")].isNull());
    QCOMPARE(json(entries[0][QStringLiteral("DSDEPOIS")])[QStringLiteral("CDPRATO")].toString(), QStringLiteral("1010010002"));
    // a change names only what changed, before and after
    const QJsonObject was = json(entries[1][QStringLiteral("DSANTES")]);
    const QJsonObject is = json(entries[1][QStringLiteral("DSDEPOIS")]);
    // (the stored name gives way to the dish's registered one, which the read answered)
    QCOMPARE(was.keys(), (QStringList{QStringLiteral("NMPRATO"), QStringLiteral("QTCOMESTIST")}));
    QCOMPARE(was.keys(), is.keys());
    QCOMPARE(is[QStringLiteral("QTCOMESTIST")].toDouble(), was[QStringLiteral("QTCOMESTIST")].toDouble() + 10);
    QVERIFY(entries[2][QStringLiteral("DSDEPOIS")].isNull());
    QCOMPARE(json(entries[2][QStringLiteral("DSANTES")])[QStringLiteral("QTCOMESTIST")].toDouble(),
             is[QStringLiteral("QTCOMESTIST")].toDouble());

    // the whole point 002 of client 0000101: one deletion per dish row it held
    const qint64 pointRows = scalar(f.db(), QStringLiteral(
        "SELECT COUNT(*) FROM SERVTRAN WHERE CDFILIAL = '0001' AND CDSERVFILI = '00001' AND DTSERVTRAN = :D "
        "AND CDCLIENTE = '0000101' AND CDDESTFILI = '002'"), {{QStringLiteral("D"), demoDay()}}).toLongLong();
    QVERIFY(pointRows > 0);
    const qsizetype sofar = before + entries.size();
    QVERIFY(!f.client().payload(QStringLiteral("DelServTran"),
                                {QStringLiteral("0001"), QStringLiteral("00001"), day(), QStringLiteral("002"),
                                 QStringLiteral("0000101")}).isNull());
    entries = historySince(cook, sofar);
    QCOMPARE(entries.size(), pointRows);
    for (const QVariantMap &e : std::as_const(entries)) {
        QCOMPARE(e[QStringLiteral("NMMETODO")].toString(), QStringLiteral("DelServTran"));
        QCOMPARE(e[QStringLiteral("IDALTERACAO")].toString(), QStringLiteral("E"));
        QCOMPARE(e[QStringLiteral("CDOPERADOR")].toString(), QStringLiteral("ADMIN"));
        QCOMPARE(e[QStringLiteral("CDDESTFILI")].toString(), QStringLiteral("002"));
    }
}

// A change log refused halfway (its second row was changed by someone else) writes nothing, and
// no history either.
void TestServerHistory::aRefusedWriteLeavesNoHistory()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const qint64 before = historyCount(f.db());
    const QVariantMap stored = storedDish(f.client(), QStringLiteral("0000000001"));
    QVariantMap stale = stored;
    stale[QStringLiteral("CDPRATO")] = QStringLiteral("1010010002");   // not what the row holds
    QVariantMap changed = stale;
    changed[QStringLiteral("QTCOMESTIST")] = 1.0;
    const QVariantMap dish = newDish(QStringLiteral("0000000091"), QStringLiteral("0000102"), QStringLiteral("004"),
                                     QStringLiteral("1010010002"));
    const QString refusal = f.client().text(QStringLiteral("SetServTran"),
                                            {dishDelta({{RowChange::Inserted, dish, {}}, {RowChange::Modified, changed, stale}})});
    QVERIFY2(!refusal.isEmpty(), "the stale change must be refused");
    QCOMPARE(historyCount(f.db()), before);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE NRSERVTRAN = '0000000091'")).toLongLong(), 0);

    // labels asked for a row under a dish it does not hold: refused, nothing written or recorded
    const auto labelTotal = [&f] {
        return scalar(f.db(), QStringLiteral("SELECT SUM(QTPRATETIQTR) FROM ETIQSERVTRAN WHERE NRSERVTRAN = '0000000001'"))
            .toDouble();
    };
    const double labelsBefore = labelTotal();
    const QString labelRefusal = f.client().text(
        QStringLiteral("CalcEtiqueta"),
        {stored[QStringLiteral("CDFILIAL")], stored[QStringLiteral("CDSERVFILI")], stored[QStringLiteral("CDDESTFILI")],
         stored[QStringLiteral("NRSERVTRAN")], stored[QStringLiteral("CDCLIENTE")], stored[QStringLiteral("CDDIETPADST")],
         stored[QStringLiteral("DTSERVTRAN")], stored[QStringLiteral("CDFILAUXPRAT")], QStringLiteral("1010010002"), 4.0, 9.0,
         2.0, 1.0, 4.0, 1.0});
    QCOMPARE(labelRefusal, QStringLiteral("Serviço transportado 0000000001 não encontrado; as etiquetas não foram calculadas."));
    QCOMPARE(historyCount(f.db()), before);
    QCOMPARE(labelTotal(), labelsBefore);
}

// Labels calculated again with the same figures change no row: nothing to record. A real
// change of the counts is recorded.
void TestServerHistory::unchangedRowsAreNotRecorded()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QVariantMap row = storedDish(f.client(), QStringLiteral("0000000001"));
    // the quantity its partial labels hold now (the last label's)
    const double partialQuantity = scalar(f.db(), QStringLiteral(
        "SELECT QTPRATETIQTR FROM ETIQSERVTRAN WHERE NRSERVTRAN = '0000000001' AND CDSERVFILI = '00001' "
        "ORDER BY NRSEQUETIQTR DESC LIMIT 1")).toDouble();
    const auto labels = [&](double full, double partial) {
        return QVariantList{row[QStringLiteral("CDFILIAL")], row[QStringLiteral("CDSERVFILI")], row[QStringLiteral("CDDESTFILI")],
                            row[QStringLiteral("NRSERVTRAN")], row[QStringLiteral("CDCLIENTE")], row[QStringLiteral("CDDIETPADST")],
                            row[QStringLiteral("DTSERVTRAN")], row[QStringLiteral("CDFILAUXPRAT")], row[QStringLiteral("CDPRATO")],
                            full, row[QStringLiteral("QTCONTAIST")], partialQuantity, partial, full, partial};
    };
    const double full = row[QStringLiteral("QTCONTCOMPSTCAMOS")].toDouble();
    const double partial = row[QStringLiteral("QTTOTACONTSTCAMOS")].toDouble() - full;
    const qint64 before = historyCount(f.db());
    QCOMPARE(f.client().text(QStringLiteral("CalcEtiqueta"), labels(full, partial)), QString());
    QCOMPARE(historyCount(f.db()), before);
    QCOMPARE(f.client().text(QStringLiteral("CalcEtiqueta"), labels(full + 1, partial)), QString());
    const QList<QVariantMap> entries = historySince(f.client(), before);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0][QStringLiteral("NMMETODO")].toString(), QStringLiteral("CalcEtiqueta"));
    QCOMPARE(json(entries[0][QStringLiteral("DSDEPOIS")])[QStringLiteral("QTCONTCOMPSTCAMOS")].toDouble(), full + 1);
}

// The database itself refuses to change or delete a history row, whoever asks.
void TestServerHistory::theHistoryCannotBeChanged()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    QVERIFY(historyCount(f.db()) > 0);   // the demo day's calculation
    for (const QString &sql : {QStringLiteral("UPDATE HISTSERVTRAN SET CDOPERADOR = 'X'"),
                               QStringLiteral("DELETE FROM HISTSERVTRAN")}) {
        bool refused = false;
        try {
            f.db().execute(sql);
        } catch (const server::DatabaseError &) {
            refused = true;
        }
        QVERIFY2(refused, qPrintable(sql));
    }
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM HISTSERVTRAN WHERE CDOPERADOR = 'X'")).toLongLong(), 0);
}

// New label quantities with the same number of labels are a change of the row like any other.
void TestServerHistory::labelWritesAreRecorded()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QVariantMap dish = newDish(QStringLiteral("0000000090"), QStringLiteral("0000102"), QStringLiteral("004"),
                                     QStringLiteral("1010010002"));
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, dish, {}}})}), QString());
    const auto labels = [&dish](double container, double partialQuantity) {
        return QVariantList{dish[QStringLiteral("CDFILIAL")], dish[QStringLiteral("CDSERVFILI")], dish[QStringLiteral("CDDESTFILI")],
                            dish[QStringLiteral("NRSERVTRAN")], dish[QStringLiteral("CDCLIENTE")], dish[QStringLiteral("CDDIETPADST")],
                            dish[QStringLiteral("DTSERVTRAN")], dish[QStringLiteral("CDFILAUXPRAT")], dish[QStringLiteral("CDPRATO")],
                            4.0, container, partialQuantity, 1.0, 4.0, 1.0};
    };
    QCOMPARE(f.client().text(QStringLiteral("CalcEtiqueta"), labels(4, 2.3)), QString());
    const qint64 before = historyCount(f.db());
    QCOMPARE(f.client().text(QStringLiteral("CalcEtiqueta"), labels(40, 33)), QString());
    const QList<QVariantMap> entries = historySince(f.client(), before);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0][QStringLiteral("NMMETODO")].toString(), QStringLiteral("CalcEtiqueta"));
    QCOMPARE(json(entries[0][QStringLiteral("DSANTES")])[QStringLiteral("ETIQUETAS")].toString(),
             QStringLiteral("4 × 4,000 + 1 × 2,300"));
    QCOMPARE(json(entries[0][QStringLiteral("DSDEPOIS")])[QStringLiteral("ETIQUETAS")].toString(),
             QStringLiteral("4 × 40,000 + 1 × 33,000"));
    // quantities as stored (three decimals): equal ones read as one run
    QCOMPARE(f.client().text(QStringLiteral("CalcEtiqueta"), labels(2.3456, 2.34551)), QString());
    const QList<QVariantMap> rounded = historySince(f.client(), before + 1);
    QCOMPARE(rounded.size(), 1);
    QCOMPARE(json(rounded[0][QStringLiteral("DSDEPOIS")])[QStringLiteral("ETIQUETAS")].toString(),
             QStringLiteral("5 × 2,346"));
}

// A save records each row as it stored it: a row given another number keeps its labels (they
// follow the row) and reads as one deleted and one included; a row deleted and included again
// under its number in one change log reads as one change, the old row's labels gone with it; a
// row included and deleted again in one change log is not recorded at all.
void TestServerHistory::savesRecordTheRowsAsStored()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QString number = QStringLiteral("0000000095");
    const QVariantMap stored = storedDish(f.client(), QStringLiteral("0000000001"));
    QVariantMap renumbered = stored;
    renumbered[QStringLiteral("NRSERVTRAN")] = number;
    qint64 before = historyCount(f.db());
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Modified, renumbered, stored}})}),
             QString());
    QList<QVariantMap> entries = historySince(f.client(), before);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0][QStringLiteral("IDALTERACAO")].toString(), QStringLiteral("E"));
    QCOMPARE(entries[0][QStringLiteral("NRSERVTRAN")].toString(), QStringLiteral("0000000001"));
    QCOMPARE(entries[1][QStringLiteral("IDALTERACAO")].toString(), QStringLiteral("I"));
    QCOMPARE(entries[1][QStringLiteral("NRSERVTRAN")].toString(), number);
    const QString labels = json(entries[0][QStringLiteral("DSANTES")])[QStringLiteral("ETIQUETAS")].toString();
    QVERIFY(labels.contains(QStringLiteral(" × ")));
    const QJsonObject included = json(entries[1][QStringLiteral("DSDEPOIS")]);
    QCOMPARE(included[QStringLiteral("ETIQUETAS")].toString(), labels);
    QCOMPARE(included[QStringLiteral("QTCOMESTIST")].toDouble(), stored[QStringLiteral("QTCOMESTIST")].toDouble());

    const QVariantMap moved = storedDish(f.client(), number);
    QVariantMap again = newDish(number, QStringLiteral("0000102"), QStringLiteral("004"), QStringLiteral("1010010002"));
    for (const char *key : {"CDFILIAL", "CDSERVFILI", "DTSERVTRAN", "CDDIETPADST"})
        again[QLatin1String(key)] = moved[QLatin1String(key)];
    before = historyCount(f.db());
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"),
                             {dishDelta({{RowChange::Deleted, moved, moved}, {RowChange::Inserted, again, {}}})}),
             QString());
    entries = historySince(f.client(), before);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0][QStringLiteral("IDALTERACAO")].toString(), QStringLiteral("A"));
    QCOMPARE(entries[0][QStringLiteral("CDPRATO")].toString(), QStringLiteral("1010010002"));
    QCOMPARE(json(entries[0][QStringLiteral("DSANTES")])[QStringLiteral("ETIQUETAS")].toString(), labels);
    const QJsonObject changed = json(entries[0][QStringLiteral("DSDEPOIS")]);
    QVERIFY(changed.contains(QStringLiteral("ETIQUETAS")) && changed[QStringLiteral("ETIQUETAS")].isNull());
    QCOMPARE(changed[QStringLiteral("QTCOMESTIST")].toDouble(), 70.0);

    // a row included and deleted again by one change log was never there for anyone else
    const QVariantMap passing = newDish(QStringLiteral("0000000096"), QStringLiteral("0000102"), QStringLiteral("004"),
                                        QStringLiteral("1010010002"));
    before = historyCount(f.db());
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"),
                             {dishDelta({{RowChange::Inserted, passing, {}}, {RowChange::Deleted, passing, passing}})}),
             QString());
    QCOMPARE(historyCount(f.db()), before);
    QCOMPARE(scalar(f.db(), QStringLiteral("SELECT COUNT(*) FROM SERVTRAN WHERE NRSERVTRAN = '0000000096'")).toLongLong(), 0);
}

// A row's values are kept as the compact JSON they have always been kept in (columns in name
// order, whole numbers as integers, others in their shortest form, texts escaped): the stored text
// is what Qt's own JSON writer makes of the values it holds, and they read back exactly.
void TestServerHistory::valuesKeepTheirJsonText()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    QVariantMap dish = newDish(QStringLiteral("0000000097"), QStringLiteral("0000102"), QStringLiteral("004"),
                               QStringLiteral("1010010002"));
    dish[QStringLiteral("NMPRATO")] = QString::fromUtf8("Arroz \"à\" grega \\ 1/2\t\n\x01\x1f € \xF0\x9F\x8D\x9A");
    dish.remove(QStringLiteral("SGUNIDADE"));   // stored as null: left out of the values
    const QList<std::pair<const char *, double>> numbers = {
        {"QTCOMECLIST", 1e15},       {"QTEFETCLIST", 9007199254740994.0}, {"QTTOTAPRATST", 1e16},
        {"QTTOTACONTST", 123456789012.0}, {"QTCONTCOMPST", 1e-7},        {"QTPARCPRATST", 1e15 + 0.5},
        {"VRPECONSST", 0.1},         {"QTAMOSTRAST", 0.0},                {"QTCOMESTIST", 2.5}};
    for (const auto &[column, value] : numbers)
        dish[QLatin1String(column)] = value;
    qint64 before = historyCount(f.db());
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, dish, {}}})}), QString());
    QVariantMap changed = dish;
    changed[QStringLiteral("NMPRATO")] = QStringLiteral("Feijão");
    changed[QStringLiteral("VRPECONSST")] = -3.0;
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Modified, changed, dish}})}), QString());

    const QList<QVariantMap> entries = historySince(f.client(), before);
    QCOMPARE(entries.size(), 2);
    const QStringList texts = {entries[0][QStringLiteral("DSDEPOIS")].toString(), entries[1][QStringLiteral("DSANTES")].toString(),
                         entries[1][QStringLiteral("DSDEPOIS")].toString()};
    // the text Qt's writer makes of the same values, numbers held as doubles
    const auto qtText = [](const QJsonObject &values) {
        QJsonObject object;
        for (auto it = values.begin(); it != values.end(); ++it)
            object.insert(it.key(), it->isDouble() ? QJsonValue(it->toDouble()) : *it);
        return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    };
    for (const QString &text : texts)
        QCOMPARE(text, qtText(json(text)));
    const QJsonObject included = json(texts[0]);
    QCOMPARE(included[QStringLiteral("NMPRATO")].toString(), dish[QStringLiteral("NMPRATO")].toString());
    QVERIFY(!included.contains(QStringLiteral("SGUNIDADE")));
    for (const auto &[column, value] : numbers)
        QCOMPARE(included[QLatin1String(column)].toDouble(), value);
    QCOMPARE(texts[1], QString::fromUtf8("{\"NMPRATO\":\"Arroz \\\"à\\\" grega \\\\ 1/2\\t\\n\\u0001\\u001f € \xF0\x9F\x8D\x9A\","
                                         "\"VRPECONSST\":0.1}"));
    QCOMPARE(texts[2], QStringLiteral("{\"NMPRATO\":\"Feijão\",\"VRPECONSST\":-3}"));
}

// Two operators change the same row while a third write holds it: each entry's "before" is what
// the row held when that write changed it, so the entries chain without a change told twice.
void TestServerHistory::concurrentChangesAreEachRecordedOnce()
{
    // SQLite writes one at a time from their start: the race is PostgreSQL's
    SKIP_UNLESS_BACKEND(QStringLiteral("postgres"));
    Fixture f(QStringLiteral("postgres"));
    const QString number = QStringLiteral("0000000090");
    const QVariantMap dish = newDish(number, QStringLiteral("0000102"), QStringLiteral("004"), QStringLiteral("1010010002"));
    QCOMPARE(f.client().text(QStringLiteral("SetServTran"), {dishDelta({{RowChange::Inserted, dish, {}}})}), QString());
    const QVariantMap stored = storedDish(f.client(), number);
    const qint64 before = historyCount(f.db());

    TestClient first(f.port(), helloOf(QStringLiteral("OPER1")));
    TestClient second(f.port(), adminHello());
    {
        server::Transaction holding(f.db());
        server::Query lock(f.db(), QStringLiteral("SELECT NRSERVTRAN FROM SERVTRAN WHERE NRSERVTRAN = :N FOR UPDATE"));
        lock.bind(QStringLiteral("N"), number);
        lock.exec();
        int diners = 71;
        for (TestClient *client : {&first, &second}) {
            QVariantMap changed = stored;
            changed[QStringLiteral("QTCOMESTIST")] = double(diners++);
            client->send(protocol::frame(protocol::encodeRequest(
                {serverName(), QStringLiteral("SetServTran"), {dishDelta({{RowChange::Modified, changed, stored}})}})));
        }
        QTest::qWait(500);   // both writes are in, waiting for the row
    }   // rolled back: the row is free
    for (TestClient *client : {&first, &second}) {
        const protocol::Reply reply = client->receive();
        QVERIFY(!reply.failed());
        QCOMPARE(reply.value.toString(), QString());
    }
    const QList<QVariantMap> entries = historySince(f.client(), before);
    QCOMPARE(entries.size(), 2);
    const QJsonObject firstBefore = json(entries[0][QStringLiteral("DSANTES")]);
    const QJsonObject firstAfter = json(entries[0][QStringLiteral("DSDEPOIS")]);
    const QJsonObject secondBefore = json(entries[1][QStringLiteral("DSANTES")]);
    QCOMPARE(firstBefore[QStringLiteral("QTCOMESTIST")].toDouble(), stored[QStringLiteral("QTCOMESTIST")].toDouble());
    QCOMPARE(secondBefore[QStringLiteral("QTCOMESTIST")].toDouble(), firstAfter[QStringLiteral("QTCOMESTIST")].toDouble());
}

// A day's history is read a page at a time, however long: no page holds more than a page's
// entries, and the pages together hold every entry once, in the order written.
void TestServerHistory::aLongDayIsReadInPages()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    {
        server::Transaction transaction(f.db());
        server::Query insert(f.db(), QStringLiteral(
            "INSERT INTO HISTSERVTRAN (DTHRALTERACAO, CDOPERADOR, DSENDERECO, NMMETODO, IDALTERACAO, CDFILIAL, CDSERVFILI, "
            "DTSERVTRAN, CDDIETPADST, NRSERVTRAN, DSANTES, DSDEPOIS) VALUES (:T, 'ADMIN', '127.0.0.1', 'SetServTran', 'A', "
            "'0001', '00001', :D, 'XXXX', '0000000001', :B, :A)"));
        const QString values = QStringLiteral("{\"QTCOMESTIST\":%1}");
        for (int i = 0; i < 4500; ++i) {
            insert.bind(QStringLiteral("T"), f.db().toSql(QDateTime::currentDateTimeUtc()))
                .bindDate(QStringLiteral("D"), demoDay())
                .bind(QStringLiteral("B"), values.arg(i))
                .bind(QStringLiteral("A"), values.arg(i + 1));
            insert.exec();
        }
        transaction.commit();
    }
    const qint64 total = historyCount(f.db());
    QList<double> numbers;
    double after = 0;
    for (int page = 0; page < 100; ++page) {
        // the first page as a caller that knows nothing of pages asks for it
        const Table t = table(f.client().payload(QStringLiteral("GetHistorico"), page == 0 ? dayArgs() : dayArgs() << after));
        QVERIFY(t.rows.size() <= 2000);
        if (t.rows.isEmpty())
            break;
        for (const QVariantMap &row : t.rows)
            numbers << row[QStringLiteral("NRHISTSERVTRAN")].toDouble();
        after = numbers.last();
    }
    QCOMPARE(qint64(numbers.size()), total);
    QVERIFY(std::is_sorted(numbers.begin(), numbers.end()));
    QVERIFY(std::adjacent_find(numbers.begin(), numbers.end()) == numbers.end());
}

QTEST_GUILESS_MAIN(TestServerHistory)
#include "tst_serverhistory.moc"
