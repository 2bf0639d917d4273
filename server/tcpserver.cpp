#include "tcpserver.h"

#include "errors.h"
#include "security.h"
#include "service.h"
#include "workerpool.h"

#include <protocol/frame.h>
#include <protocol/hello.h>

#include <QLoggingCategory>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <unistd.h>

Q_LOGGING_CATEGORY(lcServer, "servtran.server")

namespace server {

// Bytes a socket takes in while its connection's call runs: a client that sends ahead waits in
// the network, not in the server's memory.
constexpr qint64 kSocketReadBuffer = 256 * 1024;
// Reply bytes a connection may have waiting for its client to read them; over this, its next
// request waits. A client that sends and never reads holds one reply, not all of them.
constexpr qint64 kMaxUnreadReplyBytes = 256 * 1024;
// Connections over the limits that are told "busy" at once (beyond this they are just closed):
// the message costs a handshake, and a flood must not buy many of them.
constexpr int kMaxRefusing = 64;

// The address as people write it: an IPv4 client of a dual-stack socket without its "::ffff:".
QString peerText(const QTcpSocket &socket)
{
    bool v4 = false;
    const quint32 ip = socket.peerAddress().toIPv4Address(&v4);
    return v4 ? QHostAddress(ip).toString() : socket.peerAddress().toString();
}

// Every socket a listener accepts comes out at once, a TLS one before its handshake: the
// handshake runs in its Connection with the hello's deadline, so no number of failed, reset,
// clear-text or stalled handshakes can fill the listener's queue of pending connections.
class Listener : public QTcpServer {
public:
    Listener(const ServerSettings &settings, QObject *parent) : QTcpServer(parent), m_settings(settings) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (!m_settings.usesTls()) {
            QTcpServer::incomingConnection(descriptor);
            return;
        }
        auto *socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            ::close(int(descriptor));
            return;
        }
        socket->setSslConfiguration(m_settings.tls);
        addPendingConnection(socket);
    }

private:
    const ServerSettings &m_settings;
};

// One client: its socket, who it said it is (its hello), the bytes that have not made a whole
// frame yet, and whether a call of it is running. A child of the socket, so it goes when the
// socket goes; a reply that comes back after that finds no connection under its ticket and is
// dropped. A connection over the limits only waits for its handshake to tell the client the
// server is busy.
class Connection : public QObject {
public:
    enum class Admission { Served, Busy };

    Connection(QTcpSocket *socket, TcpServer &server, quint64 ticket, Admission admission)
        : QObject(socket), m_socket(socket), m_server(server), m_ticket(ticket), m_peer(peerText(*socket)),
          m_busyRefusal(admission == Admission::Busy)
    {
        socket->setReadBufferSize(kSocketReadBuffer);
        // A reply leaves in more than one write (its length head, then its bytes as they are):
        // without this the kernel holds the last part of it until the client acknowledges the
        // first, which a client delays by up to 40 ms.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (m_busyRefusal)
            ++m_server.m_refusing;
        else {
            m_server.m_connections.insert(ticket, this);
            ++m_server.m_connectionsOfPeer[m_peer];
        }
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::bytesWritten, this, [this] {
            if (m_waitingForReader && m_socket->bytesToWrite() <= kMaxUnreadReplyBytes) {
                m_waitingForReader = false;
                serve();
            }
        });

        // The handshake and the hello within one deadline, however slowly their bytes come.
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] {
            qCWarning(lcServer).noquote() << QStringLiteral("no hello from %1 within %2 ms; closing the connection")
                                                 .arg(m_peer)
                                                 .arg(m_server.m_settings.helloTimeoutMs);
            drop();
        });
        m_deadline.start(m_server.m_settings.helloTimeoutMs);

        if (auto *tls = qobject_cast<QSslSocket *>(socket)) {
            connect(tls, &QSslSocket::encrypted, this, &Connection::start);
            connect(tls, &QAbstractSocket::errorOccurred, this, [this, tls](QAbstractSocket::SocketError error) {
                if (tls->isEncrypted() || error == QAbstractSocket::RemoteHostClosedError)
                    return;
                // a client speaking in clear sends a frame header where a TLS record belongs
                qCWarning(lcServer).noquote() << QStringLiteral("TLS handshake from %1 failed (a client in clear?): %2")
                                                     .arg(m_peer, tls->errorString());
                drop();
            });
            tls->startServerEncryption();
        } else {
            start();
        }
    }
    ~Connection() override
    {
        if (m_busyRefusal) {
            --m_server.m_refusing;
            return;
        }
        m_server.m_connections.remove(m_ticket);
        if (--m_server.m_connectionsOfPeer[m_peer] == 0)
            m_server.m_connectionsOfPeer.remove(m_peer);
        if (m_server.m_pool)
            m_server.m_pool->forget(m_ticket);
    }

    // Reads what has arrived and hands the next whole frame to the workers, unless a call of this
    // client is still running or its client has not read the last reply: its replies go back in
    // the order of its requests.
    void serve()
    {
        if (m_busy || m_signingIn || m_refused || m_waitingForReader || !m_started)
            return;
        m_buffer.append(m_socket->readAll());
        while (std::optional<QByteArray> request = m_buffer.take()) {
            if (!m_context) {
                greet(*request);   // frames behind it wait for the sign-in
                return;
            }
            m_busy = true;
            restartIdleTimer();
            m_server.submit(m_ticket, *request, *m_context);
            return;
        }
        if (m_buffer.oversized()) {
            qCWarning(lcServer).noquote() << QStringLiteral("a frame over the size limit from %1%2; closing the connection")
                                                 .arg(m_peer, m_context ? QString() : QStringLiteral(" before its hello"));
            drop();
        }
    }

    void answer(const QByteArray &reply)
    {
        if (m_signingIn) {
            signedIn(reply);
            return;
        }
        m_busy = false;
        restartIdleTimer();
        if (quint64(reply.size()) > protocol::kMaxFrameSize) {
            qCWarning(lcServer) << "a reply over the frame limit; closing the connection";
            drop();
            return;
        }
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        m_socket->write(protocol::frameHead(reply.size()));
        m_socket->write(reply);   // shared by the socket's buffer, not copied

        if (m_socket->bytesToWrite() > kMaxUnreadReplyBytes) {
            m_waitingForReader = true;   // bytesWritten takes the next request
            return;
        }
        serve();   // a request that came while this one ran
    }

private:
    // The connection is ready for frames: in clear at once, with TLS once its handshake is done.
    void start()
    {
        m_started = true;
        if (m_busyRefusal) {
            qCWarning(lcServer).noquote() << QStringLiteral("busy: refusing the connection from %1").arg(m_peer);
            refuse(QStringLiteral("Servidor ocupado: conexões demais; tente novamente em instantes."));
            return;
        }
        connect(m_socket, &QTcpSocket::readyRead, this, &Connection::serve);
        serve();
    }

    // The first frame names the operator, with its password, and shows the token; anything else,
    // or a wrong token, is answered with a fault and the connection closes. The password is
    // checked on a worker (a slow hash by design); the connection takes no frame until then.
    void greet(const QByteArray &payload)
    {
        const HelloCheck check = checkHello(payload, m_server.m_settings.accessToken);
        const QString &refusal = check.refusal;
        const protocol::Hello &hello = check.hello;
        if (!refusal.isEmpty()) {
            qCWarning(lcServer).noquote() << QStringLiteral("refusing the connection from %1: %2").arg(m_peer, refusal);
            refuse(refusal);
            return;
        }
        m_deadline.stop();
        m_claimedOperator = hello.operatorCode;
        if (m_server.signInBlocked(m_claimedOperator, m_peer)) {
            qCWarning(lcServer).noquote() << QStringLiteral("sign-in of operator %1 from %2 blocked after failed ones")
                                                 .arg(m_claimedOperator, m_peer);
            refuseLater(QStringLiteral("Entrada bloqueada por excesso de tentativas com senha errada; "
                                       "aguarde alguns minutos."));
            return;
        }
        m_signingIn = true;
        m_server.m_pool->submit(m_ticket, hello.password.toUtf8(), CallContext{m_claimedOperator, m_peer},
                                WorkerPool::Kind::SignIn);
    }

    // The worker's answer to the password: the operator is now the connection's, or the client
    // is told, after a delay that makes guessing slow.
    void signedIn(const QByteArray &reply)
    {
        m_signingIn = false;
        QString fault;
        try {
            fault = protocol::decodeReply(reply).fault;
        } catch (const protocol::PacketError &e) {
            fault = e.message();
        }
        if (!fault.isEmpty()) {
            m_server.signInFailed(m_claimedOperator, m_peer);
            qCWarning(lcServer).noquote() << QStringLiteral("sign-in of operator %1 from %2 refused: %3")
                                                 .arg(m_claimedOperator, m_peer, fault);
            refuseLater(fault);
            return;
        }
        m_server.signInSucceeded(m_claimedOperator);
        m_context = CallContext{m_claimedOperator, m_peer};
        m_buffer.setMaxSize(ServTranService::kMaxRequestFrame);
        m_socket->write(protocol::frame(reply));
        if (m_server.m_settings.idleTimeoutMs > 0) {
            m_idle.setSingleShot(true);
            m_idle.setInterval(m_server.m_settings.idleTimeoutMs);
            connect(&m_idle, &QTimer::timeout, this, [this] {
                if (m_busy)
                    return;   // the time-out counts from the reply
                qCInfo(lcServer).noquote() << QStringLiteral("closing an idle connection from %1").arg(m_peer);
                drop();
            });
            m_idle.start();
        }
        serve();   // a call sent right behind the hello
    }

    void refuseLater(const QString &fault)
    {
        m_refused = true;
        QTimer::singleShot(m_server.m_settings.failedSignInDelayMs, this, [this, fault] { refuse(fault); });
    }

    // A fault for the client, then the connection closes once it is written.
    void refuse(const QString &fault)
    {
        m_refused = true;
        protocol::Reply reply;
        reply.fault = fault;
        m_socket->write(protocol::frame(protocol::encodeReply(reply)));
        m_socket->disconnectFromHost();
    }

    void drop()
    {
        m_refused = true;
        m_deadline.stop();
        m_idle.stop();
        m_socket->abort();
        m_socket->deleteLater();
    }

    // The idle time counts from the last whole request or reply, not from any byte: a client
    // sending a byte now and then holds no place.
    void restartIdleTimer()
    {
        if (m_idle.interval() > 0)
            m_idle.start();
    }

    QTcpSocket *m_socket;
    TcpServer &m_server;
    QTimer m_deadline;
    QTimer m_idle;
    quint64 m_ticket;
    QString m_peer;
    // Before its hello a connection may send a hello and nothing larger.
    protocol::FrameBuffer m_buffer{quint32(protocol::kMaxHelloSize)};
    std::optional<CallContext> m_context;   // set once the hello's operator has signed in
    QString m_claimedOperator;
    bool m_signingIn = false;
    bool m_busyRefusal;
    bool m_started = false;
    bool m_busy = false;
    bool m_waitingForReader = false;
    bool m_refused = false;
};

TcpServer::TcpServer(const QString &connection, const ServerSettings &settings, QObject *parent)
    : QObject(parent), m_settings(settings), m_server(new Listener(m_settings, this))
{
    // A worker hands a reply to this object's thread; the object outlives the workers (the pool
    // is stopped first in the destructor), so the queued call always finds it.
    m_pool = std::make_unique<WorkerPool>(
        connection, settings.workers,
        [this](quint64 ticket, QByteArray reply) {
            QMetaObject::invokeMethod(this, [this, ticket, reply = std::move(reply)] { deliver(ticket, reply); },
                                      Qt::QueuedConnection);
        },
        settings.standbyConnection, settings.service);
    connect(m_server, &QTcpServer::newConnection, this, &TcpServer::accept);
}

TcpServer::~TcpServer()
{
    m_pool.reset();     // no call runs after this
    delete m_server;    // the sockets and their connections, while m_connections still exists
}

void TcpServer::listen(const QHostAddress &address, quint16 port)
{
    if (!m_server->listen(address, port))
        throw Error(QStringLiteral("Não foi possível escutar em %1:%2: %3")
                        .arg(address.toString())
                        .arg(port)
                        .arg(m_server->errorString()));
}

quint16 TcpServer::port() const { return m_server->serverPort(); }

QHostAddress TcpServer::address() const { return m_server->serverAddress(); }

void TcpServer::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const QString peer = peerText(*socket);
        const bool full = m_connections.size() >= m_settings.maxConnections
                          || m_connectionsOfPeer.value(peer) >= m_settings.maxConnectionsPerAddress;
        if (full && m_refusing >= kMaxRefusing) {
            qCWarning(lcServer).noquote() << QStringLiteral("%1 connections already; closing the one from %2")
                                                 .arg(m_connections.size())
                                                 .arg(peer);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        new Connection(socket, *this, ++m_lastTicket, full ? Connection::Admission::Busy : Connection::Admission::Served);
    }
}

void TcpServer::submit(quint64 ticket, const QByteArray &request, const CallContext &context)
{
    m_pool->submit(ticket, request, context,
                   ServTranService::isLongCall(protocol::requestMethod(request)) ? WorkerPool::Kind::LongCall
                                                                                  : WorkerPool::Kind::ShortCall);
}

namespace {
QString operatorKey(const QString &code) { return QStringLiteral("operator:") + code; }
QString addressKey(const QString &peer) { return QStringLiteral("address:") + peer; }
} // namespace

bool TcpServer::signInBlocked(const QString &operatorCode, const QString &peer)
{
    const auto over = [this](const QString &key, int limit) {
        const auto it = m_failedSignIns.find(key);
        if (it == m_failedSignIns.end())
            return false;
        if (it->since.hasExpired(m_settings.failedSignInWindowMs)) {
            m_failedSignIns.erase(it);
            return false;
        }
        return it->count >= limit;
    };
    return over(operatorKey(operatorCode), m_settings.maxFailedSignInsPerOperator)
        || over(addressKey(peer), m_settings.maxFailedSignInsPerAddress);
}

void TcpServer::signInFailed(const QString &operatorCode, const QString &peer)
{
    if (m_failedSignIns.size() > 100000)   // names made up by the thousand: forget the old ones
        m_failedSignIns.removeIf([this](const auto &entry) { return entry.value().since.hasExpired(m_settings.failedSignInWindowMs); });
    for (const QString &key : {operatorKey(operatorCode), addressKey(peer)}) {
        Failures &failures = m_failedSignIns[key];
        if (failures.since.isValid() && failures.since.hasExpired(m_settings.failedSignInWindowMs))
            failures.count = 0;
        ++failures.count;
        failures.since.start();
    }
}

void TcpServer::signInSucceeded(const QString &operatorCode) { m_failedSignIns.remove(operatorKey(operatorCode)); }

void TcpServer::deliver(quint64 ticket, const QByteArray &reply)
{
    if (Connection *connection = m_connections.value(ticket))
        connection->answer(reply);
}

} // namespace server
