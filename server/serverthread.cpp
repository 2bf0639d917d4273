#include "serverthread.h"

#include "database.h"
#include "service.h"
#include "tcpserver.h"

#include <QEventLoop>
#include <QThread>
#include <future>

namespace server {

ServerThread::ServerThread(const QString &connection, const QHostAddress &address, quint16 port)
{
    std::promise<quint16> ready;
    std::future<quint16> started = ready.get_future();
    m_thread.reset(QThread::create([connection, address, port, &ready] {
        std::unique_ptr<Database> db;
        std::unique_ptr<ServTranService> service;
        std::unique_ptr<TcpServer> tcp;
        try {
            db = std::make_unique<Database>(connection);
            service = std::make_unique<ServTranService>(*db);
            tcp = std::make_unique<TcpServer>(*service);
            tcp->listen(address, port);
        } catch (...) {
            ready.set_exception(std::current_exception());
            return;
        }
        ready.set_value(tcp->port());   // `ready` is not touched after this
        QEventLoop loop;
        loop.exec();   // until QThread::quit(), even when it came before exec()
        // tcp, service and db go in this order, on this thread
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
