// The server connection against a loopback server of the wire protocol, written here and run on
// its own thread (the connection blocks the test's thread while it waits for a reply).

#include <framework/netconnection.h>
#include <framework/zandrix.h>

#include <protocol/frame.h>
#include <protocol/hello.h>
#include <protocol/remoteresult.h>
#include <protocol/value.h>
#include <toolkit/error.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

namespace {

// Methods: "echo" answers its arguments; "addRef" appends "!" to every text argument and adds
// 1 to every number, as by-reference arguments; "fault" answers a fault; "drop" closes the
// connection without answering; "hang" never answers, as a server stopped mid-call; "checked"
// answers a remote result.
class LoopbackServer : public QObject {
public:
    LoopbackServer()
    {
        m_thread.start();
        moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_server = new QTcpServer(this);
                m_server->listen(QHostAddress::LocalHost);
                m_port = m_server->serverPort();
                connect(m_server, &QTcpServer::newConnection, this, [this] {
                    while (QTcpSocket *socket = m_server->nextPendingConnection())
                        serve(socket);
                });
            },
            Qt::BlockingQueuedConnection);
    }
    ~LoopbackServer() override
    {
        QMetaObject::invokeMethod(this, [this] { delete m_server; m_server = nullptr; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
        delete m_lastServer.loadRelaxed();
        delete m_lastHello.loadRelaxed();
    }
    quint16 port() const { return m_port; }
    QString lastServer() const { return m_lastServer.loadRelaxed() ? *m_lastServer.loadRelaxed() : QString(); }
    protocol::Hello lastHello() const { return m_lastHello.loadRelaxed() ? *m_lastHello.loadRelaxed() : protocol::Hello(); }

private:
    void serve(QTcpSocket *socket)
    {
        auto buffer = std::make_shared<protocol::FrameBuffer>();
        auto greeted = std::make_shared<bool>(false);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer, greeted] {
            buffer->append(socket->readAll());
            while (std::optional<QByteArray> payload = buffer->take()) {
                if (!*greeted) {
                    // the hello: remembered, and taken unless its token is "wrong"
                    const protocol::Hello hello = protocol::decodeHello(*payload);
                    delete m_lastHello.fetchAndStoreRelaxed(new protocol::Hello(hello));
                    protocol::Reply reply;
                    if (hello.token == QLatin1String("wrong"))
                        reply.fault = QStringLiteral("Chave de acesso recusada.");
                    else
                        reply.value = true;
                    socket->write(protocol::frame(protocol::encodeReply(reply)));
                    *greeted = !reply.failed();
                    if (reply.failed())
                        socket->disconnectFromHost();
                    continue;
                }
                const protocol::Request request = protocol::decodeRequest(*payload);
                delete m_lastServer.fetchAndStoreRelaxed(new QString(request.server));
                protocol::Reply reply;
                if (request.method == QLatin1String("echo")) {
                    reply.value = request.args;
                    reply.refs = request.args;
                } else if (request.method == QLatin1String("addRef")) {
                    reply.value = QStringLiteral("ok");
                    for (const QVariant &a : request.args)
                        reply.refs.append(a.metaType().id() == QMetaType::QString ? QVariant(a.toString() + QLatin1Char('!'))
                                                                                 : QVariant(a.toDouble() + 1));
                } else if (request.method == QLatin1String("fault")) {
                    reply.fault = QStringLiteral("método com defeito");
                } else if (request.method == QLatin1String("drop")) {
                    socket->abort();
                    return;
                } else if (request.method == QLatin1String("hang")) {
                    return;
                } else if (request.method == QLatin1String("checked")) {
                    reply.value = protocol::resultError(QStringLiteral("Dia fechado."));
                    reply.refs = request.args;
                } else {
                    reply.fault = QStringLiteral("método desconhecido: ") + request.method;
                }
                socket->write(protocol::frame(protocol::encodeReply(reply)));
            }
        });
    }

    QThread m_thread;
    QTcpServer *m_server = nullptr;
    quint16 m_port = 0;
    QAtomicPointer<QString> m_lastServer;
    QAtomicPointer<protocol::Hello> m_lastHello;
};

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class TstNetConnection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { m_server = std::make_unique<LoopbackServer>(); }
    void cleanupTestCase() { m_server.reset(); }

    void positionalArgumentsTravel();
    void byReferenceArgumentsAreWrittenBack();
    void resultConventionPassesThrough();
    void faultIsAFailure();
    void droppedConnectionIsAFailure();
    void callWhileNotConnectedFails();
    void callTimeLimit();
    void beforeConnectRunsBeforeEveryConnect();
    void refusedPort_data();
    void refusedPort();
    void helloNamesTheSessionsOperator();
    void refusedHelloIsAClearFailure_data();
    void refusedHelloIsAClearFailure();
    void secretsNeverLeaveInClear_data();
    void secretsNeverLeaveInClear();

private:
    TNetConnection *connected(QObject *parent)
    {
        auto *net = new TNetConnection(parent, QStringLiteral("netServTran"));
        net->setServerName(QStringLiteral("Pla04100.rdmServTran"));
        net->setHost(QStringLiteral("127.0.0.1"));
        net->setPort(m_server->port());
        net->Open();
        return net;
    }
    std::unique_ptr<LoopbackServer> m_server;
};

void TstNetConnection::positionalArgumentsTravel()
{
    QObject owner;
    TNetConnection *net = connected(&owner);
    QVERIFY(net->Connected());
    const QDateTime day(QDate(2026, 12, 8), QTime(0, 0), Qt::UTC);
    const QVariant value = net->call(QStringLiteral("echo"), QVariantList{QStringLiteral("0001"), QStringLiteral("00001"), day, 2.5});
    const QVariantList list = value.toList();
    QCOMPARE(list.size(), 4);
    QCOMPARE(list.at(0).toString(), QStringLiteral("0001"));
    QCOMPARE(list.at(1).toString(), QStringLiteral("00001"));
    QCOMPARE(list.at(2).toDateTime(), day);
    QCOMPARE(list.at(3).toDouble(), 2.5);
    QCOMPARE(m_server->lastServer(), QStringLiteral("Pla04100.rdmServTran"));
}

void TstNetConnection::byReferenceArgumentsAreWrittenBack()
{
    QObject owner;
    TNetConnection *net = connected(&owner);
    QVariantList args{QStringLiteral("0000000001"), 3.0, QStringLiteral("x")};
    QCOMPARE(net->call(QStringLiteral("addRef"), args).toString(), QStringLiteral("ok"));
    QCOMPARE(args.at(0).toString(), QStringLiteral("0000000001!"));
    QCOMPARE(args.at(1).toDouble(), 4.0);
    QCOMPARE(args.at(2).toString(), QStringLiteral("x!"));
    // Several calls on one connection.
    QCOMPARE(net->call(QStringLiteral("addRef"), args).toString(), QStringLiteral("ok"));
    QCOMPARE(args.at(1).toDouble(), 5.0);
    // A temporary argument list is accepted too.
    QCOMPARE(net->call(QStringLiteral("echo"), QVariantList{}).toList().size(), 0);
}

void TstNetConnection::resultConventionPassesThrough()
{
    QObject owner;
    TNetConnection *net = connected(&owner);
    const QVariant raw = net->call(QStringLiteral("checked"), QVariantList{});
    QCOMPARE(protocol::resultErrorText(raw), QStringLiteral("Dia fechado."));
}

void TstNetConnection::faultIsAFailure()
{
    QObject owner;
    TNetConnection *net = connected(&owner);
    try {
        net->call(QStringLiteral("fault"), QVariantList{});
        QFAIL("a fault must fail");
    } catch (const toolkit::Abort &) {
        QFAIL("a fault must say what happened");
    } catch (const toolkit::Error &e) {
        QVERIFY2(e.message().contains(QStringLiteral("método com defeito")), qPrintable(e.message()));
    }
    // The connection stays usable after a fault.
    QVERIFY(net->Connected());
    QCOMPARE(net->call(QStringLiteral("echo"), QVariantList{1.0}).toList().size(), 1);
}

void TstNetConnection::droppedConnectionIsAFailure()
{
    QObject owner;
    TNetConnection *net = connected(&owner);
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, net->call(QStringLiteral("drop"), QVariantList{}));
    QVERIFY(!net->Connected());
    // The next call connects again: the server is still there.
    QCOMPARE(net->call(QStringLiteral("echo"), QVariantList{7.0}).toList().value(0).toDouble(), 7.0);
    QVERIFY(net->Connected());
}

void TstNetConnection::callTimeLimit()
{
    QObject owner;
    TNetConnection *net = connected(&owner);
    net->setCallTimeout(300);
    try {
        net->call(QStringLiteral("hang"), QVariantList{});
        QFAIL("no exception");
    } catch (const toolkit::Error &e) {
        QVERIFY2(e.message().contains(QStringLiteral("tempo esgotado")), qPrintable(e.message()));
    }
    QVERIFY(!net->Connected());
    // the next call connects again, and the limit is per call
    QCOMPARE(net->call(QStringLiteral("echo"), QVariantList{3.0}).toList().value(0).toDouble(), 3.0);
}

void TstNetConnection::callWhileNotConnectedFails()
{
    TNetConnection net;
    net.setServerName(QStringLiteral("Pla04100.rdmServTran"));
    QVERIFY(!net.Connected());
    try {
        net.call(QStringLiteral("GetDados"), QVariantList{});
        QFAIL("no exception");
    } catch (const toolkit::Error &e) {
        // Said with what to do (no port configured: call who looks after the system); a
        // method's name means nothing to the user.
        QVERIFY(e.message().contains(QStringLiteral("Chame o responsável pelo sistema")));
        QVERIFY(!e.message().contains(QStringLiteral("GetDados")));
    }
}

void TstNetConnection::beforeConnectRunsBeforeEveryConnect()
{
    TNetConnection net;
    int calls = 0;
    net.BeforeConnect = [&](QObject *sender) {
        QCOMPARE(sender, &net);
        ++calls;
        net.setHost(QStringLiteral("127.0.0.1"));
        net.setPort(m_server->port());
    };
    net.Open();
    QCOMPARE(calls, 1);
    QVERIFY(net.Connected());
    net.Open();   // already connected: nothing to do
    QCOMPARE(calls, 1);
    net.Close();
    QVERIFY(!net.Connected());
    net.setConnected(true);
    QCOMPARE(calls, 2);
    QVERIFY(net.Connected());
}

void TstNetConnection::refusedPort_data()
{
    QTest::addColumn<bool>("throwException");
    QTest::newRow("throws") << true;
    QTest::newRow("silent") << false;
}

void TstNetConnection::refusedPort()
{
    QFETCH(bool, throwException);
    TNetConnection net;
    net.setHost(QStringLiteral("127.0.0.1"));
    net.setPort(closedPort());
    net.setThrowException(throwException);
    if (throwException) {
        QVERIFY_THROWS_EXCEPTION(toolkit::Error, net.Open());
    } else {
        net.Open();
    }
    QVERIFY(!net.Connected());
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, net.call(QStringLiteral("echo"), QVariantList{}));
}

void TstNetConnection::helloNamesTheSessionsOperator()
{
    framework::SessionValues session;
    session.operatorCode = QStringLiteral("OPER1");
    framework::setSession(session);
    QObject owner;
    TNetConnection *net = connected(&owner);
    QCOMPARE(m_server->lastHello().operatorCode, QStringLiteral("OPER1"));
    QCOMPARE(m_server->lastHello().token, QString());
    // an operator and token of its own win over the session's
    net->Close();
    net->setOperatorCode(QStringLiteral("ADMIN"));
    net->setAccessToken(QStringLiteral("s3gredo"));
    QCOMPARE(net->call(QStringLiteral("echo"), QVariantList{1.0}).toList().size(), 1);
    QCOMPARE(m_server->lastHello().operatorCode, QStringLiteral("ADMIN"));
    QCOMPARE(m_server->lastHello().token, QStringLiteral("s3gredo"));
    framework::setSession({});
}

void TstNetConnection::secretsNeverLeaveInClear_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("sent");
    // 0.0.0.0 reaches this machine's own listener, yet is not a loopback address
    QTest::newRow("password beyond loopback") << "0.0.0.0" << "" << "demo" << false;
    QTest::newRow("token beyond loopback") << "0.0.0.0" << "s3gredo" << "" << false;
    QTest::newRow("nothing secret beyond loopback") << "0.0.0.0" << "" << "" << true;
    QTest::newRow("password on loopback") << "127.0.0.1" << "s3gredo" << "demo" << true;
    QTest::newRow("password on localhost") << "localhost" << "" << "demo" << true;
}

// Without TLS a password or a token is sent only to this machine: for any other address the
// connection is refused before it is made.
void TstNetConnection::secretsNeverLeaveInClear()
{
    QFETCH(QString, host);
    QFETCH(QString, token);
    QFETCH(QString, password);
    QFETCH(bool, sent);
    const protocol::Hello before = m_server->lastHello();
    TNetConnection net;
    net.setHost(host);
    net.setPort(m_server->port());
    net.setOperatorCode(QStringLiteral("OPER9"));
    net.setAccessToken(token);
    net.setPassword(password);
    try {
        net.Open();
        QVERIFY2(sent, "connected");
        QCOMPARE(m_server->lastHello().password, password);
    } catch (const toolkit::Error &e) {
        QVERIFY2(!sent, qPrintable(e.message()));
        QVERIFY2(e.message().contains(QStringLiteral("não são enviadas sem TLS")), qPrintable(e.message()));
        QCOMPARE(m_server->lastHello().operatorCode, before.operatorCode);   // no hello reached it
    }
}

void TstNetConnection::refusedHelloIsAClearFailure_data()
{
    QTest::addColumn<bool>("throwException");
    QTest::newRow("throws") << true;
    QTest::newRow("silent") << false;
}

void TstNetConnection::refusedHelloIsAClearFailure()
{
    QFETCH(bool, throwException);
    TNetConnection net;
    net.setHost(QStringLiteral("127.0.0.1"));
    net.setPort(m_server->port());
    net.setOperatorCode(QStringLiteral("ADMIN"));
    net.setAccessToken(QStringLiteral("wrong"));
    net.setThrowException(throwException);
    if (throwException) {
        try {
            net.Open();
            QFAIL("no exception");
        } catch (const toolkit::Error &e) {
            QVERIFY2(e.message().contains(QStringLiteral("recusou a conexão: Chave de acesso recusada.")),
                     qPrintable(e.message()));
        }
    } else {
        net.Open();
    }
    QVERIFY(!net.Connected());
    try {
        net.call(QStringLiteral("echo"), QVariantList{});
        QFAIL("no exception");
    } catch (const toolkit::Error &e) {
        QVERIFY2(e.message().contains(QStringLiteral("Chave de acesso recusada.")), qPrintable(e.message()));
    }
}

QTEST_MAIN(TstNetConnection)
#include "tst_netconnection.moc"
