#pragma once
// The server core on a thread of its own, for tests and tools that call it from the same process:
// a caller blocks its own thread while it waits for a reply, so a server on that thread could
// never answer. The workers open their own database connections.

#include "settings.h"

#include <QHostAddress>
#include <QString>
#include <memory>

class QThread;

namespace server {

class ServerThread {
public:
    // Opens the database, listens on the address (port 0: any free port) and returns once the
    // server is ready. Throws Error when the database cannot be opened or the port bound.
    explicit ServerThread(const QString &connection, const QHostAddress &address = QHostAddress::LocalHost,
                          quint16 port = 0, const ServerSettings &settings = {});
    ~ServerThread();   // stops the server and waits for its thread
    ServerThread(const ServerThread &) = delete;
    ServerThread &operator=(const ServerThread &) = delete;

    quint16 port() const { return m_port; }

private:
    std::unique_ptr<QThread> m_thread;
    quint16 m_port = 0;
};

} // namespace server
