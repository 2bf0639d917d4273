#include "serverthread.h"

#include "tcpserver.h"

#include <QEventLoop>
#include <QThread>
#include <future>

namespace server {

ServerThread::ServerThread(const QString &connection, const QHostAddress &address, quint16 port,
                           const ServerSettings &settings)
{
    std::promise<quint16> ready;
    std::future<quint16> started = ready.get_future();
    m_thread.reset(QThread::create([connection, address, port, settings, &ready] {
        std::unique_ptr<TcpServer> tcp;
        try {
            tcp = std::make_unique<TcpServer>(connection, settings);
            tcp->listen(address, port);
        } catch (...) {
            ready.set_exception(std::current_exception());
            return;
        }
        ready.set_value(tcp->port());   // `ready` is not touched after this
        QEventLoop loop;
        loop.exec();   // until QThread::quit(), even when it came before exec()
    }));
    m_thread->setObjectName(QStringLiteral("servtran-server"));
    m_thread->start();
    try {
        m_port = started.get();
    } catch (...) {
        m_thread->wait();
        throw;
    }
}

ServerThread::~ServerThread()
{
    m_thread->quit();
    m_thread->wait();
}

} // namespace server
