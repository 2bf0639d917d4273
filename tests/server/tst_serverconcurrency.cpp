// Calls of several clients at once: a long call of one client holds no other client, each
// client gets its replies in the order of its requests, and a client that leaves while its call
// runs harms nobody.

#include "testsupport.h"

#include <protocol/frame.h>
#include <protocol/remoteresult.h>

#include <server/database.h>
#include <server/sidereader.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace servertest;

namespace {

QVariantList demoDayArgs() { return {QStringLiteral("0001"), QStringLiteral("00001"), day()}; }

// Large enough that reading it takes far longer than a short call on any backend.
LargeDay largeDay() { return LargeDay{QDate(2026, 12, 9), 50, 10, 20, 5}; }

QByteArray request(const QString &method, const QVariantList &args)
{
    return protocol::frame(protocol::encodeRequest({serverName(), method, args}));
}

QList<Table> payloadTables(const protocol::Reply &reply)
{
    if (reply.failed())
        throw std::runtime_error(reply.fault.toStdString());
    const QVariant payload = protocol::resultPayload(reply.value);
    return payload.metaType() == QMetaType::fromType<QVariantList>() ? tables(payload) : QList<Table>{table(payload)};
}

} // namespace

class TestServerConcurrency : public QObject {
    Q_OBJECT
private slots:
    void longCallHoldsNoOtherClient_data() { addBackendRows(); }
    void longCallHoldsNoOtherClient();
    void repliesInRequestOrder_data() { addBackendRows(); }
    void repliesInRequestOrder();
    void clientGoneWhileItsCallRuns_data() { addBackendRows(); }
    void clientGoneWhileItsCallRuns();
    void serverStopsWhileCallsRun_data() { addBackendRows(); }
    void serverStopsWhileCallsRun();
    void connectionLimit();
    void idleConnectionsAreClosed();
    void sideReadSharesTheWorkersSnapshot();
};

void TestServerConcurrency::longCallHoldsNoOtherClient()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const LargeDay large = largeDay();
    seedLargeDay(f.db(), large);

    TestClient slow(f.port());
    slow.send(request(QStringLiteral("GetDados"), large.dayArgs()));
    QThread::msleep(20);   // the long call has been taken by a worker
    for (int i = 0; i < 5; ++i) {
        const QVariant seq = f.client().payload(QStringLiteral("GetSeqServTran"), demoDayArgs() << QStringLiteral("XXXX"));
        QCOMPARE(table(seq).rows.value(0).value(QStringLiteral("SEQUSERV")).toString(), QStringLiteral("0000000009"));
    }
    QVERIFY2(slow.socket().bytesAvailable() == 0 && !slow.socket().waitForReadyRead(0),
             "the long call ended before five short calls of another client");
    const QList<Table> day = payloadTables(slow.receive());
    QCOMPARE(day.size(), 4);
    QCOMPARE(day[1].rows.size(), large.rows());
    QCOMPARE(day[2].rows.size(), large.rows() * large.labels);
}

void TestServerConcurrency::repliesInRequestOrder()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const LargeDay large = largeDay();
    seedLargeDay(f.db(), large);

    // sent at once, without waiting: the long call first, short ones and a fault behind it
    TestClient &client = f.client();
    client.send(request(QStringLiteral("GetDados"), large.dayArgs())
                + request(QStringLiteral("GetSeqServTran"), demoDayArgs() << QStringLiteral("XXXX"))
                + request(QStringLiteral("GetTudo"), {})
                + request(QStringLiteral("GetPadrao"), demoDayArgs()));
    QCOMPARE(payloadTables(client.receive()).value(1).rows.size(), large.rows());
    QCOMPARE(payloadTables(client.receive()).value(0).names(), QStringList{QStringLiteral("SEQUSERV")});
    QVERIFY(client.receive().failed());
    const QList<Table> points = payloadTables(client.receive());
    QCOMPARE(points.value(0).fields, cdsPadrao());
    QCOMPARE(points.value(0).rows.size(), 3);
}

void TestServerConcurrency::clientGoneWhileItsCallRuns()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    const LargeDay large = largeDay();
    seedLargeDay(f.db(), large);

    for (int i = 0; i < 4; ++i) {
        TestClient leaving(f.port());
        leaving.send(request(QStringLiteral("GetDados"), large.dayArgs())
                     + request(QStringLiteral("GetServTran"), large.dayArgs()));
        QThread::msleep(5 * i);
        leaving.socket().abort();
    }
    const QList<Table> day = payloadTables(f.client().call(QStringLiteral("GetDados"), large.dayArgs()));
    QCOMPARE(day.value(1).rows.size(), large.rows());
    QCOMPARE(table(f.client().payload(QStringLiteral("GetServTran"), demoDayArgs())).rows.size(), 9);
}

void TestServerConcurrency::serverStopsWhileCallsRun()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    QTemporaryDir dir;
    const QString connection = freshDemoDatabase(backend, dir);
    const LargeDay large = largeDay();
    {
        server::Database db(connection);
        seedLargeDay(db, large);
    }
    std::vector<std::unique_ptr<TestClient>> clients;
    {
        server::ServerSettings settings;
        settings.workers = 2;
        server::ServerThread server(connection, QHostAddress::LocalHost, 0, settings);
        for (int i = 0; i < 4; ++i) {
            clients.push_back(std::make_unique<TestClient>(server.port()));
            clients.back()->send(request(QStringLiteral("GetDados"), large.dayArgs()));
        }
        QThread::msleep(20);
    }   // running calls end, queued ones are dropped, their connections closed
    for (const auto &client : clients)
        QVERIFY(client->closedByPeer());
}

// Connections over the limit are closed at once; those within it are served, and a place that
// frees up is taken again.
void TestServerConcurrency::connectionLimit()
{
    QTemporaryDir dir;
    server::ServerSettings settings;
    settings.maxConnections = 3;
    server::ServerThread server(freshDemoDatabase(QStringLiteral("sqlite"), dir), QHostAddress::LocalHost, 0, settings);
    const QVariantList seqArgs = demoDayArgs() << QStringLiteral("XXXX");
    std::vector<std::unique_ptr<TestClient>> within;
    for (int i = 0; i < 3; ++i) {
        within.push_back(std::make_unique<TestClient>(server.port()));
        within.back()->payload(QStringLiteral("GetSeqServTran"), seqArgs);
    }
    TestClient over(server.port(), std::nullopt);   // closed before it could say its hello
    QVERIFY(over.closedByPeer());
    for (const auto &client : within)
        client->payload(QStringLiteral("GetSeqServTran"), seqArgs);

    within.front()->socket().disconnectFromHost();
    within.erase(within.begin());
    bool served = false;
    for (int attempt = 0; attempt < 100 && !served; ++attempt) {
        try {   // closed at once while the server has not yet seen the first client go
            TestClient next(server.port());
            served = next.call(QStringLiteral("GetSeqServTran"), seqArgs).value.isValid();
        } catch (const std::exception &) {
            QThread::msleep(50);
        }
    }
    QVERIFY(served);
}

// Connections that send nothing (or half a frame) for the idle time are closed; a client that
// keeps calling is not.
void TestServerConcurrency::idleConnectionsAreClosed()
{
    QTemporaryDir dir;
    server::ServerSettings settings;
    settings.idleTimeoutMs = 400;
    server::ServerThread server(freshDemoDatabase(QStringLiteral("sqlite"), dir), QHostAddress::LocalHost, 0, settings);
    std::vector<std::unique_ptr<TestClient>> idle;
    for (int i = 0; i < 50; ++i) {
        idle.push_back(std::make_unique<TestClient>(server.port()));
        if (i % 2)
            idle.back()->send(QByteArray("\0\0", 2));   // half a length header, never finished
    }
    TestClient busy(server.port());
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1200) {
        busy.payload(QStringLiteral("GetSeqServTran"), demoDayArgs() << QStringLiteral("XXXX"));
        QThread::msleep(100);
    }
    for (const auto &client : idle)
        QVERIFY(client->closedByPeer());
    QCOMPARE(busy.socket().state(), QAbstractSocket::ConnectedState);
    busy.payload(QStringLiteral("GetSeqServTran"), demoDayArgs() << QStringLiteral("XXXX"));
}

// A big day is read by the worker and a side reader at once: both must read the day as of one
// commit, a writer must not wait for them, and while a writer holds the lock the worker reads alone.
void TestServerConcurrency::sideReadSharesTheWorkersSnapshot()
{
    QTemporaryDir dir;
    const QString connection = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("side.db"));
    server::Database writer(connection);
    writer.execute(QStringLiteral("CREATE TABLE T (X INTEGER)"));
    writer.execute(QStringLiteral("INSERT INTO T VALUES (1)"));
    const auto readX = [](server::Database &db) {
        server::Query q(db, QStringLiteral("SELECT X FROM T"));
        q.exec();
        return q.next() ? q.value(0).toInt() : -1;
    };

    server::Database worker(connection);
    server::SideReader side(connection);
    std::promise<void> go;
    std::shared_future<void> goAhead = go.get_future().share();
    {
        server::Transaction snapshot(worker, server::Transaction::Read);
        std::optional<server::SideReader::Pending> pending = side.readBeside(worker, [&](server::Database &db) {
            goAhead.wait();
            return QVariant(readX(db));
        });
        QVERIFY(pending);
        // a commit after the reads began: at once, and seen by neither
        QElapsedTimer t;
        t.start();
        writer.execute(QStringLiteral("UPDATE T SET X = 2"));
        QVERIFY2(t.elapsed() < 5000, "the writer waited for the readers");
        go.set_value();
        QCOMPARE(pending->take().toInt(), 1);
        QCOMPARE(readX(worker), 1);
    }

    // a writer at work: the worker reads alone, without waiting for it
    server::Transaction writing(writer, server::Transaction::Write);
    server::Transaction snapshot(worker, server::Transaction::Read);
    QVERIFY(!side.readBeside(worker, [](server::Database &) { return QVariant(); }));
    QCOMPARE(readX(worker), 2);
}

QTEST_GUILESS_MAIN(TestServerConcurrency)
#include "tst_serverconcurrency.moc"
