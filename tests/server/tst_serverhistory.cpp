// The history of changes: every write method records who changed which dish row, when, from
// where and how, in the write's own transaction; GetHistorico lists a day's; nothing changes it.

#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

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
}

// Labels calculated again with the same figures change no row: nothing to record. A real
// change of the counts is recorded.
void TestServerHistory::unchangedRowsAreNotRecorded()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const QVariantMap row = storedDish(f.client(), QStringLiteral("0000000001"));
    const auto labels = [&row](double full, double partial) {
        return QVariantList{row[QStringLiteral("CDFILIAL")], row[QStringLiteral("CDSERVFILI")], row[QStringLiteral("CDDESTFILI")],
                            row[QStringLiteral("NRSERVTRAN")], row[QStringLiteral("CDCLIENTE")], row[QStringLiteral("CDDIETPADST")],
                            row[QStringLiteral("DTSERVTRAN")], row[QStringLiteral("CDFILAUXPRAT")], row[QStringLiteral("CDPRATO")],
                            full, row[QStringLiteral("QTCONTAIST")], 1.0, partial, full, partial};
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

QTEST_GUILESS_MAIN(TestServerHistory)
#include "tst_serverhistory.moc"
