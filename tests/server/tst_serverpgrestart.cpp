// PostgreSQL restarted (pg_ctl restart) while clients save through one servtran-server process:
// the calls during the restart fail with a message about the database, nothing is half-written,
// every save acknowledged is stored, and the same server process serves saves again afterwards.
// The cluster is one of this test's own (scripts/pg-test-cluster.sh with a state file of its own),
// since restarting the shared one would break the tests running beside it.

#include "testsupport.h"

#include <server/demo.h>
#include <server/schema.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QThread>

#include <atomic>
#include <mutex>
#include <thread>

using namespace servertest;

namespace {

const QDate kSaveDay = demoDay().addDays(50);

struct Outcome {
    std::mutex mutex;
    QStringList saved, labelled, failures;
    int savedAfterRestart = 0;
};

} // namespace

class TestServerPgRestart : public QObject {
    Q_OBJECT
private slots:
    void restartUnderLoad();
};

void TestServerPgRestart::restartUnderLoad()
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
    ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE), serving(cluster.connection(), {QStringLiteral("--workers"),
                                                                                             QStringLiteral("3")}));
    const quint16 port = server.waitUntilServing();
    QVERIFY2(port != 0, qPrintable(server.log()));
    const qint64 serverPid = server.pid();

    Outcome outcome;
    std::atomic<bool> stop = false, restarted = false;
    const auto save = [&](int client) {
        std::unique_ptr<TestClient> c;
        for (int seq = 0; !stop; ++seq) {
            const QString number = QStringLiteral("%1%2").arg(client).arg(seq, 9, 10, QLatin1Char('0'));
            QVariantMap dish = newDish(number, QStringLiteral("0000102"), QStringLiteral("004"), QStringLiteral("1010010002"));
            dish[QStringLiteral("DTSERVTRAN")] = day(kSaveDay);
            QString failure;
            try {
                if (!c)
                    c = std::make_unique<TestClient>(port);
                failure = c->text(QStringLiteral("SetServTran"), {dishDelta({{protocol::RowChange::Inserted, dish, {}}})});
                if (failure.isEmpty()) {
                    const bool afterRestart = restarted;
                    std::lock_guard lock(outcome.mutex);
                    outcome.saved << number;
                    outcome.savedAfterRestart += afterRestart ? 1 : 0;
                }
                if (failure.isEmpty())
                    failure = c->text(QStringLiteral("CalcEtiqueta"),
                                      {QStringLiteral("0001"), QStringLiteral("00001"), QStringLiteral("004"), number,
                                       QStringLiteral("0000102"), QStringLiteral("XXXX"), day(kSaveDay), QStringLiteral("P"),
                                       QStringLiteral("1010010002"), 4.0, 4.0, 2.5, 1.0, 4.0, 1.0});
                if (failure.isEmpty()) {
                    std::lock_guard lock(outcome.mutex);
                    outcome.labelled << number;
                }
            } catch (const std::exception &e) {
                failure = QStringLiteral("connection lost: ") + QString::fromUtf8(e.what());
                c.reset();
            }
            if (!failure.isEmpty()) {
                {
                    std::lock_guard lock(outcome.mutex);
                    outcome.failures << failure;
                }
                QThread::msleep(20);
            }
        }
    };
    std::vector<std::thread> clients;
    for (int c = 1; c <= 3; ++c)
        clients.emplace_back(save, c);
    QThread::msleep(700);
    const bool restartedOk = cluster.restart();
    restarted = true;
    QElapsedTimer afterRestart;
    afterRestart.start();
    while (afterRestart.elapsed() < 15000) {
        QThread::msleep(100);
        std::lock_guard lock(outcome.mutex);
        if (outcome.savedAfterRestart >= 10)
            break;
    }
    stop = true;
    for (std::thread &t : clients)
        t.join();
    QVERIFY(restartedOk);

    qInfo("%lld saves acknowledged, %d after the restart; %lld calls failed, the first: %s",
          qlonglong(outcome.saved.size()), outcome.savedAfterRestart, qlonglong(outcome.failures.size()),
          qPrintable(outcome.failures.value(0)));
    // the same process, still serving, serves saves again
    QCOMPARE(server.pid(), serverPid);
    QVERIFY2(outcome.savedAfterRestart >= 10, "the server did not serve saves again after PostgreSQL restarted");
    QVERIFY2(!outcome.failures.isEmpty(), "no call met the restart: the test proved nothing");
    for (const QString &failure : std::as_const(outcome.failures))
        QVERIFY2(failure.contains(QStringLiteral("banco de dados")), qPrintable(failure));

    server::Database db(cluster.connection());
    const QVariantMap onDay = {{QStringLiteral("D"), kSaveDay}};
    QSet<QString> stored;
    for (const QVariantList &row : rows(db, QStringLiteral("SELECT NRSERVTRAN FROM SERVTRAN WHERE DTSERVTRAN = :D"), onDay))
        stored.insert(row.value(0).toString());
    for (const QString &number : std::as_const(outcome.saved))
        QVERIFY2(stored.contains(number), qPrintable(QStringLiteral("acknowledged row %1 is missing").arg(number)));
    QMap<QString, qint64> labels;
    for (const QVariantList &row : rows(db, QStringLiteral("SELECT NRSERVTRAN, COUNT(*) FROM ETIQSERVTRAN WHERE DTSERVTRAN = :D "
                                                           "GROUP BY NRSERVTRAN"), onDay))
        labels.insert(row.value(0).toString(), row.value(1).toLongLong());
    for (const QString &number : std::as_const(outcome.labelled))
        QCOMPARE(labels.value(number), qint64(5));
    for (auto it = labels.cbegin(); it != labels.cend(); ++it)
        QVERIFY2(it.value() == 5, qPrintable(QStringLiteral("row %1 has %2 labels").arg(it.key()).arg(it.value())));
    QCOMPARE(server.stop(), 0);
}

QTEST_GUILESS_MAIN(TestServerPgRestart)
#include "tst_serverpgrestart.moc"
