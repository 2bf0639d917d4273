#pragma once
// The application server on a TCP port: frames in, frames out, one request at a time per
// connection. A frame over the size limit closes that connection; everything else gets a reply,
// and no client can stop the server from serving the others.

#include <QHostAddress>
#include <QObject>

class QTcpServer;
class QTcpSocket;

namespace server {

class ServTranService;

class TcpServer : public QObject {
    Q_OBJECT
public:
    explicit TcpServer(ServTranService &service, QObject *parent = nullptr);
    ~TcpServer() override;

    // Port 0 takes any free port. Throws Error when the address cannot be bound.
    void listen(const QHostAddress &address, quint16 port);
    quint16 port() const;
    QHostAddress address() const;

private:
    void accept();

    ServTranService &m_service;
    QTcpServer *m_server;
};

} // namespace server
