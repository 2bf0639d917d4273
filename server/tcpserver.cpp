#include "tcpserver.h"

#include "errors.h"
#include "service.h"

#include <protocol/frame.h>

#include <QLoggingCategory>
#include <QTcpServer>
#include <QTcpSocket>

Q_LOGGING_CATEGORY(lcServer, "servtran.server")

namespace server {

namespace {

// One client: its socket and the bytes that have not made a whole frame yet. A child of the
// socket, so it goes when the socket goes.
class Connection : public QObject {
public:
    Connection(QTcpSocket *socket, ServTranService &service) : QObject(socket), m_socket(socket), m_service(service)
    {
        connect(socket, &QTcpSocket::readyRead, this, [this] { serve(); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    void serve();

    QTcpSocket *m_socket;
    ServTranService &m_service;
    protocol::FrameBuffer m_buffer;
};

void Connection::serve()
{
    m_buffer.append(m_socket->readAll());
    // Each call runs to its end (its writes are one transaction) before the next is read, so a
    // client that goes away mid-call leaves either the whole call or nothing.
    while (std::optional<QByteArray> request = m_buffer.take()) {
        const QByteArray reply = m_service.handle(*request);
        if (quint64(reply.size()) > protocol::kMaxFrameSize) {
            qCWarning(lcServer) << "a reply over the frame limit; closing the connection";
            m_socket->abort();
            return;
        }
        if (m_socket->state() == QAbstractSocket::ConnectedState)
            m_socket->write(protocol::frame(reply));
    }
    if (m_buffer.oversized()) {
        qCWarning(lcServer).noquote() << QStringLiteral("a frame over the size limit from %1; closing the connection")
                                             .arg(m_socket->peerAddress().toString());
        m_socket->abort();
    }
}

} // namespace

TcpServer::TcpServer(ServTranService &service, QObject *parent)
    : QObject(parent), m_service(service), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TcpServer::accept);
}

TcpServer::~TcpServer() = default;

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
    while (QTcpSocket *socket = m_server->nextPendingConnection())
        new Connection(socket, m_service);
}

} // namespace server
