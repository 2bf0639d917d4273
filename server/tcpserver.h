#pragma once
// The application server on a TCP port: frames in, frames out. Calls run on a pool of worker
// threads; each connection has at most one call running and gets its replies in the order of its
// requests (requests carry no call id). A frame over the size limit closes that connection;
// everything else gets a reply, and no client can stop the server from serving the others.

#include "callcontext.h"
#include "settings.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <memory>

class QTcpServer;

namespace server {

class Connection;
class WorkerPool;

class TcpServer : public QObject {
    Q_OBJECT
public:
    // Opens the workers' database connections (throws Error when it cannot).
    TcpServer(const QString &connection, const ServerSettings &settings, QObject *parent = nullptr);
    ~TcpServer() override;

    // Port 0 takes any free port. Throws Error when the address cannot be bound.
    void listen(const QHostAddress &address, quint16 port);
    quint16 port() const;
    QHostAddress address() const;

private:
    friend class Connection;
    void accept();
    void submit(quint64 ticket, const QByteArray &request, const CallContext &context);
    void deliver(quint64 ticket, const QByteArray &reply);   // on this object's thread
    // Failed sign-ins, per operator and per address.
    bool signInBlocked(const QString &operatorCode, const QString &peer);
    void signInFailed(const QString &operatorCode, const QString &peer);
    void signInSucceeded(const QString &operatorCode);

    ServerSettings m_settings;
    std::unique_ptr<WorkerPool> m_pool;
    QTcpServer *m_server;
    QHash<quint64, Connection *> m_connections;   // those served
    QHash<QString, int> m_connectionsOfPeer;      // of them, by address
    int m_refusing = 0;                           // over the limits, being told so
    struct Failures {
        int count = 0;
        QElapsedTimer since;   // the last failure
    };
    QHash<QString, Failures> m_failedSignIns;     // by "operator:X" and "address:Y"
    quint64 m_lastTicket = 0;
};

} // namespace server
