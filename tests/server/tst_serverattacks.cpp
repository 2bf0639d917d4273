// Strangers trying to stop or exhaust the server, each a bounded attack on loopback: sockets that
// fail their TLS handshake, say nothing, trickle bytes or announce huge frames before their hello,
// take every place, send requests without reading the replies, or ask for long work; weak TLS
// suites. After each, the server still serves a real client.

#include "testsupport.h"

#include <protocol/frame.h>
#include <protocol/remoteresult.h>
#include <server/security.h>

#include <QElapsedTimer>
#include <QFile>
#include <QSslCipher>
#include <QSslSocket>
#include <QTest>
#include <QtEndian>

#include <sys/socket.h>

using namespace servertest;

namespace {

QString tlsFile(const char *name) { return QStringLiteral(SERVTRAN_TLS_DIR "/") + QLatin1String(name); }
const QString kToken = QStringLiteral("s3gredo-de-teste");
QVariantList seqArgs() { return {QStringLiteral("0001"), QStringLiteral("00001"), day(), QStringLiteral("XXXX")}; }

server::ServerSettings tlsSettings()
{
    server::ServerSettings settings;
    settings.accessToken = kToken;
    settings.tls = server::serverTls(tlsFile("server.pem"), tlsFile("server.key"));
    return settings;
}

// The next reply on a socket, or nullopt when none came in time.
std::optional<protocol::Reply> readReply(QAbstractSocket &socket, QByteArray &pending, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (pending.size() >= 4) {
            const quint32 length = qFromBigEndian<quint32>(pending.constData());
            if (quint64(pending.size()) >= 4u + length) {
                const QByteArray payload = pending.mid(4, length);
                pending.remove(0, 4 + length);
                return protocol::decodeReply(payload);
            }
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || !socket.waitForReadyRead(int(left)))
            return std::nullopt;
        pending += socket.readAll();
    }
}

// A client as the hosts connect beyond this machine: TLS trusting the test CA, the token, one
// call. Empty when it was served; what went wrong otherwise.
QString tlsCall(quint16 port, const QList<QSslCipher> &ciphers = {}, QSsl::SslProtocol protocol = QSsl::TlsV1_2OrLater)
{
    QSslSocket socket;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setCaCertificates(QSslCertificate::fromPath(tlsFile("ca.pem")));
    config.setProtocol(protocol);
    if (!ciphers.isEmpty())
        config.setCiphers(ciphers);
    socket.setSslConfiguration(config);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForEncrypted(5000))
        return QStringLiteral("no TLS: ") + socket.errorString();
    socket.write(protocol::frame(protocol::encodeHello(helloOf(QStringLiteral("ADMIN"), kToken))));
    socket.write(protocol::frame(protocol::encodeRequest({serverName(), QStringLiteral("GetSeqServTran"), seqArgs()})));
    QByteArray pending;
    for (int i = 0; i < 2; ++i) {
        const std::optional<protocol::Reply> reply = readReply(socket, pending, 5000);
        if (!reply)
            return QStringLiteral("no reply");
        if (reply->failed())
            return reply->fault;
    }
    return {};
}

// Resets a connected socket: an RST instead of a FIN.
void reset(QTcpSocket &socket)
{
    const linger hard{1, 0};
    ::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    socket.abort();
}

// Whether the server closes the connection within the time while the client does `meanwhile`
// every 100 ms.
bool closedWithin(QTcpSocket &socket, int timeoutMs, const std::function<void()> &meanwhile)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (meanwhile)
            meanwhile();
        socket.waitForReadyRead(100);
        socket.readAll();
        if (socket.state() == QAbstractSocket::UnconnectedState)
            return true;
    }
    return false;
}

QByteArray header(quint32 length)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian<quint32>(length, bytes.data());
    return bytes;
}

} // namespace

class TestServerAttacks : public QObject {
    Q_OBJECT
private slots:
    void tlsListenerNeverStops();
    void tlsSuites_data();
    void tlsSuites();
    void strangersBeforeTheirHello_data();
    void strangersBeforeTheirHello();
    void placesAreShared_data();
    void placesAreShared();
    void unreadRepliesDoNotGrowTheServer();
    void longCallsLeaveAWorker();
};

// 1,000 sockets that close, reset, speak in clear, stop half-way through their handshake or say
// nothing, in bursts; after each burst a real client is served.
void TestServerAttacks::tlsListenerNeverStops()
{
    QTemporaryDir dir;
    server::ServerSettings settings = tlsSettings();
    settings.helloTimeoutMs = 1000;
    server::ServerThread server(freshDemoDatabase(QStringLiteral("sqlite"), dir), QHostAddress::LocalHost, 0, settings);
    const QByteArray clearHello = protocol::frame(protocol::encodeHello(helloOf(QStringLiteral("ADMIN"), kToken)));
    const QByteArray halfClientHello = QByteArray::fromHex("160301020001");
    for (int burst = 0; burst < 10; ++burst) {
        std::vector<std::unique_ptr<QTcpSocket>> hostile;
        for (int i = 0; i < 100; ++i) {
            auto socket = std::make_unique<QTcpSocket>();
            socket->connectToHost(QHostAddress::LocalHost, server.port());
            QVERIFY(socket->waitForConnected(5000));
            switch (i % 5) {
            case 0: socket->disconnectFromHost(); break;
            case 1: reset(*socket); break;
            case 2: socket->write(clearHello); socket->flush(); socket->disconnectFromHost(); break;
            case 3: socket->write(halfClientHello); socket->flush(); break;   // and stalls
            default: break;                                                    // says nothing
            }
            hostile.push_back(std::move(socket));
        }
        const QString failure = tlsCall(server.port());
        QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("after burst %1: %2").arg(burst + 1).arg(failure)));
    }
}

void TestServerAttacks::tlsSuites_data()
{
    QTest::addColumn<QString>("cipher");
    QTest::addColumn<bool>("served");
    QTest::newRow("plain RSA, CBC, SHA-1") << "AES128-SHA" << false;
    QTest::newRow("plain RSA, GCM") << "AES256-GCM-SHA384" << false;
    QTest::newRow("ECDHE, CBC") << "ECDHE-RSA-AES128-SHA256" << false;
    QTest::newRow("ECDHE, AES-GCM") << "ECDHE-RSA-AES128-GCM-SHA256" << true;
    QTest::newRow("ECDHE, ChaCha20-Poly1305") << "ECDHE-RSA-CHACHA20-POLY1305" << true;
}

// A client limited to one TLS 1.2 suite is served only with forward secrecy and AEAD; TLS 1.3
// always is.
void TestServerAttacks::tlsSuites()
{
    QFETCH(QString, cipher);
    QFETCH(bool, served);
    QTemporaryDir dir;
    server::ServerThread server(freshDemoDatabase(QStringLiteral("sqlite"), dir), QHostAddress::LocalHost, 0, tlsSettings());
    const QSslCipher suite(cipher);
    QVERIFY2(!suite.isNull(), "the client's TLS library lacks the suite");
    const QString failure = tlsCall(server.port(), {suite}, QSsl::TlsV1_2);
    QVERIFY2(failure.isEmpty() == served, qPrintable(failure));
    QCOMPARE(tlsCall(server.port(), {}, QSsl::TlsV1_3), QString());
}

void TestServerAttacks::strangersBeforeTheirHello_data()
{
    QTest::addColumn<QByteArray>("first");   // sent right after connecting
    QTest::addColumn<bool>("trickle");       // then a byte every 100 ms
    QTest::addColumn<int>("idleMs");
    const QByteArray hello = protocol::frame(protocol::encodeHello(adminHello()));
    QTest::newRow("a 16 MiB frame before the hello") << header(16u << 20) + QByteArray(64 * 1024, 'x') << false << 60000;
    QTest::newRow("a frame just over a hello") << header(quint32(protocol::kMaxHelloSize) + 1) + QByteArray(100, 'x') << false
                                               << 60000;
    QTest::newRow("silent") << QByteArray() << false << 60000;
    QTest::newRow("a byte now and then before the hello") << header(100) << true << 60000;
    QTest::newRow("a byte now and then after the hello") << hello + header(1000) << true << 800;   // a request never whole
}

// Before its hello a connection may send only a hello, and must finish it within the hello's
// deadline; after it, bytes that never make a request do not keep it open.
void TestServerAttacks::strangersBeforeTheirHello()
{
    QFETCH(QByteArray, first);
    QFETCH(bool, trickle);
    QFETCH(int, idleMs);
    QTemporaryDir dir;
    server::ServerSettings settings;
    settings.helloTimeoutMs = 500;
    settings.idleTimeoutMs = idleMs;
    server::ServerThread server(freshDemoDatabase(QStringLiteral("sqlite"), dir), QHostAddress::LocalHost, 0, settings);
    TestClient stranger(server.port(), std::nullopt);
    stranger.send(first);
    const auto oneByte = [&] { stranger.send(QByteArray(1, '\0')); };
    QVERIFY(closedWithin(stranger.socket(), 3000, trickle ? std::function<void()>(oneByte) : nullptr));
    TestClient client(server.port());
    client.payload(QStringLiteral("GetSeqServTran"), seqArgs());
}

void TestServerAttacks::placesAreShared_data()
{
    QTest::addColumn<int>("maxConnections");
    QTest::addColumn<int>("perAddress");
    QTest::newRow("every place taken") << 3 << 64;
    QTest::newRow("every place of one address taken") << 10 << 3;
}

// A connection over the limits is told the server is busy; those within are served.
void TestServerAttacks::placesAreShared()
{
    QFETCH(int, maxConnections);
    QFETCH(int, perAddress);
    QTemporaryDir dir;
    server::ServerSettings settings;
    settings.maxConnections = maxConnections;
    settings.maxConnectionsPerAddress = perAddress;
    server::ServerThread server(freshDemoDatabase(QStringLiteral("sqlite"), dir), QHostAddress::LocalHost, 0, settings);
    std::vector<std::unique_ptr<TestClient>> within;
    for (int i = 0; i < 3; ++i)
        within.push_back(std::make_unique<TestClient>(server.port()));
    TestClient over(server.port(), std::nullopt);
    over.send(protocol::frame(protocol::encodeHello(adminHello())));
    QByteArray pending;
    const std::optional<protocol::Reply> refusal = readReply(over.socket(), pending, 5000);
    QVERIFY2(refusal && refusal->fault.contains(QLatin1String("ocupado"), Qt::CaseInsensitive),
             refusal ? qPrintable(refusal->fault) : "closed without a word");
    QVERIFY(over.closedByPeer());
    for (const auto &client : within)
        client->payload(QStringLiteral("GetSeqServTran"), seqArgs());
}

// A client that sends 100 requests for a large day and reads no reply: the server takes the
// next request only once the last reply has gone, so its memory stays near where it was.
void TestServerAttacks::unreadRepliesDoNotGrowTheServer()
{
    QTemporaryDir dir;
    const QString connection = freshDemoDatabase(QStringLiteral("sqlite"), dir);
    LargeDay shape;
    shape.clients = 20;
    shape.pointsPerClient = 5;
    {
        server::Database db(connection);
        seedLargeDay(db, shape);
    }
    ServerProcess process(QStringLiteral(SERVTRAN_SERVER_EXE), serving(connection));
    const quint16 port = process.waitUntilServing();
    QVERIFY2(port != 0, qPrintable(process.log()));
    TestClient reader(port);
    const qsizetype replyBytes = protocol::encodeReply(reader.call(QStringLiteral("GetDados"), shape.dayArgs())).size();
    const qint64 before = processStatusKiB(process.pid(), "VmHWM");

    TestClient flooder(port);
    const int smallBuffer = 4096;
    ::setsockopt(int(flooder.socket().socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &smallBuffer, sizeof smallBuffer);
    const QByteArray request = protocol::frame(protocol::encodeRequest({serverName(), QStringLiteral("GetDados"), shape.dayArgs()}));
    flooder.send(request.repeated(100));
    // until the server's memory stops moving (at most 30 s)
    QElapsedTimer clock;
    clock.start();
    qint64 last = -1, stableSince = 0;
    while (clock.elapsed() < 30000 && clock.elapsed() - stableSince < 1500) {
        QThread::msleep(100);
        const qint64 now = processStatusKiB(process.pid(), "VmRSS");
        if (now != last) {
            last = now;
            stableSince = clock.elapsed();
        }
    }
    const qint64 grown = processStatusKiB(process.pid(), "VmHWM") - before;
    qInfo("peak grew %lld KiB with replies of %lld KiB", grown, qint64(replyBytes / 1024));
#ifndef __SANITIZE_ADDRESS__   // its quarantine keeps freed memory resident: the peak says nothing of ours
    QVERIFY2(grown < 10 * replyBytes / 1024 + 16 * 1024, qPrintable(QString::number(grown)));
#endif
    reader.payload(QStringLiteral("GetSeqServTran"), seqArgs());
}

// Two workers: while one recalculation of a year runs, a second waits in the queue and a short
// read is answered by the other worker before either recalculation ends.
void TestServerAttacks::longCallsLeaveAWorker()
{
    QTemporaryDir dir;
    const QString connection = freshDemoDatabase(QStringLiteral("sqlite"), dir);
    {
        // a day of 1,000 dish rows within the year: each recalculation takes a while
        server::Database db(connection);
        LargeDay shape;
        shape.clients = 10;
        shape.pointsPerClient = 5;
        seedLargeDay(db, shape);
    }
    server::ServerSettings settings;
    settings.workers = 2;
    server::ServerThread server(connection, QHostAddress::LocalHost, 0, settings);
    const QVariantList year = {QStringLiteral("_0001_0002_"),
                               QStringLiteral("_000100001_000100002_000100003_000200001_000200002_"), day(),
                               day(demoDay().addDays(365)), QStringLiteral("ADMIN"),
                               protocol::wallClock(QDateTime::currentDateTime())};
    const QByteArray recalculation = protocol::frame(protocol::encodeRequest({serverName(), QStringLiteral("CalcServTrans"), year}));
    TestClient first(server.port()), second(server.port()), reader(server.port());
    first.send(recalculation);
    second.send(recalculation);
    QThread::msleep(50);   // both are taken before the read
    reader.call(QStringLiteral("GetSeqServTran"), seqArgs());
    first.socket().waitForReadyRead(0);
    second.socket().waitForReadyRead(0);
    QVERIFY2(first.socket().bytesAvailable() == 0 && second.socket().bytesAvailable() == 0,
             "a recalculation ended before the read was answered");
    QVERIFY(protocol::resultErrorText(first.receive().value).isEmpty());
    QVERIFY(protocol::resultErrorText(second.receive().value).isEmpty());
}

QTEST_GUILESS_MAIN(TestServerAttacks)
#include "tst_serverattacks.moc"
