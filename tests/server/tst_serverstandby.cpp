// Reads sent to a streaming hot standby (pg_basebackup of a primary, both on loopback ports of a
// cluster of the test's own): a read answers from the standby while its replay is paused; a client
// that has just written reads its write at once (the primary answers it); the standby stopped,
// reads are answered by the primary.

#include "testsupport.h"

#include <server/demo.h>
#include <server/schema.h>

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

using namespace servertest;

namespace {

const QVariantList kDemoDay = {QStringLiteral("0001"), QStringLiteral("00001"), day()};

// The diners of a dish row of the demo day as a client reads them (GetServTran); -1 when absent.
double dinersOf(TestClient &client, const QString &number)
{
    for (const QVariantMap &row : table(client.payload(QStringLiteral("GetServTran"), kDemoDay)).rows)
        if (row.value(QStringLiteral("NRSERVTRAN")).toString() == number)
            return row.value(QStringLiteral("QTCOMESTIST")).toDouble();
    return -1;
}

void setDinersOnPrimary(server::Database &primary, double diners)
{
    server::Query update(primary, QStringLiteral("UPDATE SERVTRAN SET QTCOMESTIST = :Q WHERE NRSERVTRAN = '0000000001'"));
    update.bind(QStringLiteral("Q"), diners);
    update.exec();
}

} // namespace

class TestServerStandby : public QObject {
    Q_OBJECT
private slots:
    void readsOnStandby();
};

void TestServerStandby::readsOnStandby()
{
    if (!OwnPostgresCluster::available())
        QSKIP("PostgreSQL 15 is not installed");
    OwnPostgresCluster cluster;
    QVERIFY2(cluster.started(), "the test's own PostgreSQL cluster did not start");
    {
        server::Database db(cluster.connection());
        server::createSchema(db);
        server::loadDemoData(db);
    }
    const QString standby = cluster.startStandby();
    QVERIFY2(!standby.isEmpty(), "the standby did not start");
    server::Database primary(cluster.connection());
    server::Database replica(standby);
    QVERIFY(scalar(replica, QStringLiteral("SELECT pg_is_in_recovery()")).toBool());

    ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE),
                         serving(cluster.connection(), {QStringLiteral("--db-standby"), standby}));
    QVERIFY2(server.waitUntilServing() != 0, qPrintable(server.log()));
    const quint16 port = server.waitUntilServing();

    // With the standby's replay paused, a change made on the primary is not what a read answers:
    // the standby answered it.
    replica.execute(QStringLiteral("SELECT pg_wal_replay_pause()"));
    setDinersOnPrimary(primary, 777);
    TestClient reader(port);
    const double standbyDiners = dinersOf(reader, QStringLiteral("0000000001"));
    QVERIFY2(standbyDiners >= 0 && standbyDiners != 777, "the read was not answered by the standby");

    // A client's own write is read at once, though the standby is behind it.
    TestClient writer(port);
    QVariantMap dish = newDish(QStringLiteral("0000000200"), QStringLiteral("0000102"), QStringLiteral("004"),
                               QStringLiteral("1010010002"));
    dish[QStringLiteral("QTCOMESTIST")] = 42.0;
    QCOMPARE(writer.text(QStringLiteral("SetServTran"), {dishDelta({{protocol::RowChange::Inserted, dish, {}}})}), QString());
    QCOMPARE(dinersOf(writer, QStringLiteral("0000000200")), 42.0);
    // the other client, which wrote nothing, still reads the paused standby
    QCOMPARE(dinersOf(reader, QStringLiteral("0000000200")), -1.0);

    // Replay again: the standby catches up and answers everyone with the write.
    replica.execute(QStringLiteral("SELECT pg_wal_replay_resume()"));
    QElapsedTimer caughtUp;
    caughtUp.start();
    while (dinersOf(reader, QStringLiteral("0000000200")) != 42.0 && caughtUp.elapsed() < 10000)
        QThread::msleep(50);
    QCOMPARE(dinersOf(reader, QStringLiteral("0000000200")), 42.0);

    // The standby stopped: the primary answers the reads, with what it holds.
    QVERIFY(cluster.stopStandby());
    setDinersOnPrimary(primary, 888);
    QCOMPARE(dinersOf(reader, QStringLiteral("0000000001")), 888.0);
    TestClient newcomer(port);
    QCOMPARE(tables(newcomer.payload(QStringLiteral("GetDados"), kDemoDay)).value(1).rows.size(), 10);
    QVERIFY2(server.stop() == 0, qPrintable(server.log()));
}

QTEST_GUILESS_MAIN(TestServerStandby)
#include "tst_serverstandby.moc"
