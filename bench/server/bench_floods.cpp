// What hostile clients cost the others: a TLS servtran-server process on loopback, legitimate
// clients' latency (connect, TLS, hello and one call, each on a fresh connection) with nobody
// else beside the same with 1,000 hostile sockets coming and going; then the server's peak
// memory (VmHWM, reset through /proc/PID/clear_refs) under each flood beside a legitimate load,
// on a server in clear.
//
//   bench_floods [--samples N]

#include "testsupport.h"

#include <protocol/frame.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSslSocket>
#include <QThread>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sys/socket.h>

using namespace servertest;

namespace {

QString tlsFile(const char *name) { return QStringLiteral(SERVTRAN_TLS_DIR "/") + QLatin1String(name); }
const QString kToken = QStringLiteral("s3gredo-de-teste");

QByteArray helloFrame() { return protocol::frame(protocol::encodeHello(helloOf(QStringLiteral("ADMIN"), kToken))); }

QByteArray callFrame(const QString &method, const QVariantList &args)
{
    return protocol::frame(protocol::encodeRequest({serverName(), method, args}));
}

// Reads whole frames until `count` have come; false on a time-out or a closed socket.
bool readFrames(QAbstractSocket &socket, int count, int timeoutMs = 15000)
{
    QByteArray pending;
    QElapsedTimer clock;
    clock.start();
    while (count > 0) {
        while (pending.size() >= 4) {
            const quint32 length = qFromBigEndian<quint32>(pending.constData());
            if (quint64(pending.size()) < 4u + length)
                break;
            pending.remove(0, 4 + length);
            if (--count == 0)
                return true;
        }
        if (clock.elapsed() > timeoutMs || !socket.waitForReadyRead(int(timeoutMs - clock.elapsed())))
            return false;
        pending += socket.readAll();
    }
    return true;
}

// One legitimate visit: connect, TLS, hello, one call. Its milliseconds, or -1 when it failed.
double visit(quint16 port)
{
    QElapsedTimer clock;
    clock.start();
    QSslSocket socket;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setCaCertificates(QSslCertificate::fromPath(tlsFile("ca.pem")));
    socket.setSslConfiguration(config);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForEncrypted(15000))
        return -1;
    socket.write(helloFrame() + callFrame(QStringLiteral("GetSeqServTran"), {QStringLiteral("0001"), QStringLiteral("00001"),
                                                                              day(), QStringLiteral("XXXX")}));
    if (!readFrames(socket, 2))
        return -1;
    return clock.nsecsElapsed() / 1e6;
}

struct Latency {
    double p50 = 0, p99 = 0, max = 0;
    int failed = 0;
};

Latency visits(quint16 port, int samples)
{
    std::vector<double> ms;
    Latency l;
    for (int i = 0; i < samples; ++i) {
        const double t = visit(port);
        if (t < 0)
            ++l.failed;
        else
            ms.push_back(t);
    }
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        l.p50 = ms[ms.size() / 2];
        l.p99 = ms[std::min(ms.size() - 1, size_t(ms.size() * 0.99))];
        l.max = ms.back();
    }
    return l;
}

// 1,000 hostile sockets at a time, over and over until told to stop: a fifth each close, reset,
// speak in clear, stall half-way through a TLS handshake, or say nothing; each burst is let go.
class Hostiles : public QThread {
public:
    explicit Hostiles(quint16 port) : m_port(port) {}
    std::atomic<bool> stop{false};
    std::atomic<int> sockets{0};

protected:
    void run() override
    {
        const QByteArray clear = helloFrame();
        const QByteArray halfHandshake = QByteArray::fromHex("160301020001");
        while (!stop) {
            std::vector<std::unique_ptr<QTcpSocket>> burst;
            for (int i = 0; i < 1000 && !stop; ++i) {
                auto socket = std::make_unique<QTcpSocket>();
                socket->connectToHost(QHostAddress::LocalHost, m_port);
                if (!socket->waitForConnected(2000))
                    continue;
                ++sockets;
                switch (i % 5) {
                case 0: socket->disconnectFromHost(); break;
                case 1: {
                    const linger hard{1, 0};
                    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
                    socket->abort();
                    break;
                }
                case 2: socket->write(clear); socket->flush(); socket->disconnectFromHost(); break;
                case 3: socket->write(halfHandshake); socket->flush(); break;
                default: break;
                }
                burst.push_back(std::move(socket));
            }
        }
    }

private:
    quint16 m_port;
};

// The server's peak resident size while `load` runs, in MiB above its size before.
template <typename Load>
double peakMiB(qint64 pid, Load load)
{
    QThread::msleep(300);
    const qint64 before = processStatusKiB(pid, "VmRSS");
    resetPeakResident(pid);
    load();
    return (processStatusKiB(pid, "VmHWM") - before) / 1024.0;
}

// Waits until the server's resident size has not moved for a second (at most 30 s).
void settle(qint64 pid)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = -1, since = 0;
    while (clock.elapsed() < 30000 && clock.elapsed() - since < 1000) {
        QThread::msleep(100);
        const qint64 now = processStatusKiB(pid, "VmRSS");
        if (now != last) {
            last = now;
            since = clock.elapsed();
        }
    }
}

// A client of the plain server that has said its hello.
std::unique_ptr<QTcpSocket> greeted(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    socket->waitForConnected(5000);
    socket->write(protocol::frame(protocol::encodeHello(adminHello())));
    readFrames(*socket, 1);
    return socket;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption samplesOption(QStringLiteral("samples"), QStringLiteral("Legitimate visits per run."),
                                           QStringLiteral("N"), QStringLiteral("300"));
    parser.addOption(samplesOption);
    parser.addHelpOption();
    parser.process(app);
    const int samples = std::max(10, parser.value(samplesOption).toInt());

    QTemporaryDir dir;
    const QString connection = freshDemoDatabase(QStringLiteral("sqlite"), dir);
    LargeDay big;
    big.clients = 20;
    big.pointsPerClient = 5;
    {
        server::Database db(connection);
        seedLargeDay(db, big);
    }
    QFile token(dir.filePath(QStringLiteral("token")));
    token.open(QIODevice::WriteOnly);
    token.write(kToken.toUtf8());
    token.close();
    token.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE),
                         serving(connection, {QStringLiteral("--tls-cert"), tlsFile("server.pem"), QStringLiteral("--tls-key"),
                                              tlsFile("server.key"), QStringLiteral("--token-file"), token.fileName(),
                                              // hostile and legitimate clients share 127.0.0.1 here: places enough
                                              // for all, so that what is measured is the listener and the handshakes
                                              QStringLiteral("--max-connections"), QStringLiteral("3000"),
                                              QStringLiteral("--max-connections-per-address"), QStringLiteral("3000")}));
    const quint16 port = server.waitUntilServing();
    if (port == 0) {
        std::fprintf(stderr, "the server did not start:\n%s\n", qPrintable(server.log()));
        return 1;
    }

    std::printf("legitimate visits (connect, TLS, hello, one call), %d per run, ms\n", samples);
    const Latency quiet = visits(port, samples);
    std::printf("  %-34s p50 %7.2f  p99 %7.2f  max %7.2f  failed %d\n", "alone (baseline)", quiet.p50, quiet.p99, quiet.max,
                quiet.failed);
    Hostiles hostiles(port);
    hostiles.start();
    const Latency flooded = visits(port, samples);
    hostiles.stop = true;
    hostiles.wait();
    std::printf("  %-34s p50 %7.2f  p99 %7.2f  max %7.2f  failed %d  (%d hostile sockets)\n",
                "beside 1,000 hostile sockets", flooded.p50, flooded.p99, flooded.max, flooded.failed, hostiles.sockets.load());

    server.kill();

    // The memory floods, on a server in clear (a TLS one would drop them at the handshake).
    ServerProcess plain(QStringLiteral(SERVTRAN_SERVER_EXE), serving(connection));
    const quint16 plainPort = plain.waitUntilServing();
    const qint64 pid = plain.pid();
    std::printf("server's peak resident size above its size before, MiB\n");
    const auto report = [](const char *what, double mib) { std::printf("  %-52s %8.1f\n", what, mib); };
    report("120 GetDados of a large day, read (baseline)", peakMiB(pid, [&] {
               auto client = greeted(plainPort);
               const QByteArray request = callFrame(QStringLiteral("GetDados"), big.dayArgs());
               for (int i = 0; i < 120; ++i) {
                   client->write(request);
                   readFrames(*client, 1);
               }
           }));
    report("120 GetDados of a large day, unread", peakMiB(pid, [&] {
               auto client = greeted(plainPort);
               client->setReadBufferSize(4096);
               client->write(callFrame(QStringLiteral("GetDados"), big.dayArgs()).repeated(120));
               client->flush();
               settle(pid);
           }));
    report("50,000 small requests, unread", peakMiB(pid, [&] {
               auto client = greeted(plainPort);
               client->setReadBufferSize(4096);
               client->write(callFrame(QStringLiteral("GetSeqServTran"), {QStringLiteral("0001"), QStringLiteral("00001"), day(),
                                                                          QStringLiteral("XXXX")})
                                 .repeated(50000));
               client->flush();
               settle(pid);
           }));
    report("20 connections sending 16 MiB before their hello", peakMiB(pid, [&] {
               std::vector<std::unique_ptr<QTcpSocket>> flood;
               QByteArray header(4, Qt::Uninitialized);
               qToBigEndian<quint32>(16u << 20, header.data());
               const QByteArray body = header + QByteArray(16 << 20, 'x');
               for (int i = 0; i < 20; ++i) {
                   auto socket = std::make_unique<QTcpSocket>();
                   socket->connectToHost(QHostAddress::LocalHost, plainPort);
                   socket->waitForConnected(2000);
                   socket->write(body);
                   flood.push_back(std::move(socket));
               }
               for (auto &socket : flood)
                   socket->waitForBytesWritten(200);
               settle(pid);
           }));
    report("200 silent connections", peakMiB(pid, [&] {
               std::vector<std::unique_ptr<QTcpSocket>> flood;
               for (int i = 0; i < 200; ++i) {
                   auto socket = std::make_unique<QTcpSocket>();
                   socket->connectToHost(QHostAddress::LocalHost, plainPort);
                   socket->waitForConnected(2000);
                   flood.push_back(std::move(socket));
               }
               settle(pid);
           }));
    return 0;
}
