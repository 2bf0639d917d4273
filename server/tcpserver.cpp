#include "tcpserver.h"

#include "errors.h"
#include "service.h"
#include "workerpool.h"

#include <protocol/frame.h>
#include <protocol/hello.h>

#include <QCryptographicHash>
#include <QLoggingCategory>
#include <QPointer>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

Q_LOGGING_CATEGORY(lcServer, "servtran.server")

namespace server {

// Bytes a socket takes in while its connection's call runs: a client that sends ahead waits in
// the network, not in the server's memory.
constexpr qint64 kSocketReadBuffer = 256 * 1024;

// The address as people write it: an IPv4 client of a dual-stack socket without its "::ffff:".
QString peerText(const QTcpSocket &socket)
{
    bool v4 = false;
    const quint32 ip = socket.peerAddress().toIPv4Address(&v4);
    return v4 ? QHostAddress(ip).toString() : socket.peerAddress().toString();
}

// A server without a token takes any; otherwise the hello's token must be the same, compared
// through digests in a time that tells nothing of how much of it was right.
bool tokenAccepted(const QString &given, const QString &expected)
{
    if (expected.isEmpty())
        return true;
    const QByteArray a = QCryptographicHash::hash(given.toUtf8(), QCryptographicHash::Sha256);
    const QByteArray b = QCryptographicHash::hash(expected.toUtf8(), QCryptographicHash::Sha256);
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

// One client: its socket, who it said it is (its hello), the bytes that have not made a whole
// frame yet, and whether a call of it is running. A child of the socket, so it goes when the socket goes; a reply that comes back
// after that finds no connection under its ticket and is dropped.
class Connection : public QObject {
public:
    Connection(QTcpSocket *socket, TcpServer &server, quint64 ticket)
        : QObject(socket), m_socket(socket), m_server(server), m_ticket(ticket)
    {
        socket->setReadBufferSize(kSocketReadBuffer);
        m_server.m_connections.insert(ticket, this);
        connect(socket, &QTcpSocket::readyRead, this, [this] {
            restartIdleTimer();
            serve();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (server.m_settings.idleTimeoutMs > 0) {
            m_idle.setSingleShot(true);
            m_idle.setInterval(server.m_settings.idleTimeoutMs);
            connect(&m_idle, &QTimer::timeout, this, [this] {
                if (m_busy)
                    return;   // the time-out counts from the reply
                qCInfo(lcServer).noquote() << QStringLiteral("closing an idle connection from %1")
                                                  .arg(m_socket->peerAddress().toString());
                m_socket->abort();
            });
            m_idle.start();
        }
    }
    ~Connection() override
    {
        m_server.m_connections.remove(m_ticket);
        if (m_server.m_pool)
            m_server.m_pool->forget(m_ticket);
    }

    // Reads what has arrived and hands the next whole frame to the workers, unless a call of this
    // client is still running: its replies go back in the order of its requests.
    void serve()
    {
        if (m_busy || m_refused)
            return;
        m_buffer.append(m_socket->readAll());
        while (std::optional<QByteArray> request = m_buffer.take()) {
            if (!m_context) {
                if (!greet(*request))
                    return;
                continue;   // a call sent right behind the hello
            }
            m_busy = true;
            m_server.submit(m_ticket, *request, *m_context);
            return;
        }
        if (m_buffer.oversized()) {
            qCWarning(lcServer).noquote() << QStringLiteral("a frame over the size limit from %1; closing the connection")
                                                 .arg(m_socket->peerAddress().toString());
            m_socket->abort();
        }
    }

    void answer(const QByteArray &reply)
    {
        m_busy = false;
        restartIdleTimer();
        if (quint64(reply.size()) > protocol::kMaxFrameSize) {
            qCWarning(lcServer) << "a reply over the frame limit; closing the connection";
            m_socket->abort();
            return;
        }
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        m_socket->write(protocol::frame(reply));
        serve();   // a request that came while this one ran
    }

private:
    // The first frame names the operator and shows the token; anything else, or a wrong token,
    // is answered with a fault and the connection closes. True when the client was taken.
    bool greet(const QByteArray &payload)
    {
        QString refusal;
        protocol::Hello hello;
        try {
            hello = protocol::decodeHello(payload);
            if (!tokenAccepted(hello.token, m_server.m_settings.accessToken))
                refusal = QStringLiteral("Chave de acesso recusada pelo servidor de aplicação.");
            else if (hello.operatorCode.trimmed().isEmpty())
                refusal = QStringLiteral("A conexão não informou o operador.");
        } catch (const protocol::PacketError &) {
            refusal = QStringLiteral("Conexão sem identificação: a primeira mensagem deve identificar o operador.");
        }
        protocol::Reply reply;
        if (refusal.isEmpty()) {
            m_context = CallContext{hello.operatorCode.trimmed(), peerText(*m_socket)};
            reply.value = true;
            m_socket->write(protocol::frame(protocol::encodeReply(reply)));
            return true;
        }
        qCWarning(lcServer).noquote() << QStringLiteral("refusing the connection from %1: %2")
                                             .arg(peerText(*m_socket), refusal);
        m_refused = true;
        reply.fault = refusal;
        m_socket->write(protocol::frame(protocol::encodeReply(reply)));
        m_socket->disconnectFromHost();   // after the fault is written
        return false;
    }

    void restartIdleTimer()
    {
        if (m_idle.interval() > 0)
            m_idle.start();
    }

    QTcpSocket *m_socket;
    TcpServer &m_server;
    QTimer m_idle;
    quint64 m_ticket;
    protocol::FrameBuffer m_buffer{ServTranService::kMaxRequestFrame};
    std::optional<CallContext> m_context;   // set by the hello
    bool m_busy = false;
    bool m_refused = false;
};

namespace {
QTcpServer *makeListener(const ServerSettings &settings, QObject *parent)
{
    if (!settings.usesTls())
        return new QTcpServer(parent);
    // Sockets come out of a QSslServer once their handshake is done; one that fails or stalls
    // in it never reaches a Connection.
    auto *tls = new QSslServer(parent);
    tls->setSslConfiguration(settings.tls);
    tls->setHandshakeTimeout(settings.handshakeTimeoutMs);
    QObject::connect(tls, &QSslServer::errorOccurred, tls, [](QSslSocket *socket, QAbstractSocket::SocketError) {
        qCWarning(lcServer).noquote() << QStringLiteral("TLS connection from %1 failed: %2")
                                             .arg(peerText(*socket), socket->errorString());
    });
    return tls;
}
} // namespace

TcpServer::TcpServer(const QString &connection, const ServerSettings &settings, QObject *parent)
    : QObject(parent), m_settings(settings), m_server(makeListener(settings, this))
{
    // A worker hands a reply to this object's thread; the object outlives the workers (the pool
    // is stopped first in the destructor), so the queued call always finds it.
    m_pool = std::make_unique<WorkerPool>(
        connection, settings.workers,
        [this](quint64 ticket, QByteArray reply) {
            QMetaObject::invokeMethod(this, [this, ticket, reply = std::move(reply)] { deliver(ticket, reply); },
                                      Qt::QueuedConnection);
        },
        settings.standbyConnection);
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &TcpServer::accept);
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
        if (m_connections.size() >= m_settings.maxConnections) {
            qCWarning(lcServer).noquote() << QStringLiteral("%1 connections already; closing the one from %2")
                                                 .arg(m_connections.size())
                                                 .arg(socket->peerAddress().toString());
            socket->abort();
            socket->deleteLater();
            continue;
        }
        new Connection(socket, *this, ++m_lastTicket);
    }
}

void TcpServer::submit(quint64 ticket, const QByteArray &request, const CallContext &context)
{
    m_pool->submit(ticket, request, context);
}

void TcpServer::deliver(quint64 ticket, const QByteArray &reply)
{
    if (Connection *connection = m_connections.value(ticket))
        connection->answer(reply);
}

} // namespace server
