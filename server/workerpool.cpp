#include "workerpool.h"

#include "database.h"
#include "service.h"

#include <QThread>
#include <future>

namespace server {

WorkerPool::WorkerPool(const QString &connection, int workers, Delivery deliver) : m_deliver(std::move(deliver))
{
    std::vector<std::future<void>> ready;
    for (int i = 0; i < std::max(1, workers); ++i) {
        auto opened = std::make_shared<std::promise<void>>();
        ready.push_back(opened->get_future());
        std::unique_ptr<QThread> thread(QThread::create([this, connection, opened] {
            std::unique_ptr<Database> db;
            try {
                db = std::make_unique<Database>(connection);
            } catch (...) {
                opened->set_exception(std::current_exception());
                return;
            }
            opened->set_value();
            ServTranService service(*db);
            Job job;
            while (next(job))
                m_deliver(job.ticket, service.handle(job.request, job.context));
        }));
        thread->setObjectName(QStringLiteral("servtran-worker-%1").arg(i + 1));
        thread->start();
        m_threads.push_back(std::move(thread));
    }
    try {
        for (std::future<void> &f : ready)
            f.get();
    } catch (...) {
        stop();
        throw;
    }
}

WorkerPool::~WorkerPool() { stop(); }

void WorkerPool::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    for (const auto &thread : m_threads)
        thread->wait();
}

void WorkerPool::submit(quint64 ticket, QByteArray request, CallContext context)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({ticket, std::move(request), std::move(context)});
    }
    m_wake.notify_one();
}

bool WorkerPool::next(Job &job)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
    if (m_stopping)
        return false;
    job = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

} // namespace server
