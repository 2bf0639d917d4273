#include "workerpool.h"

#include "database.h"
#include "service.h"
#include "sidereader.h"
#include "standbyreads.h"

#include <protocol/packet.h>
#include <protocol/value.h>

#include <QThread>
#include <algorithm>
#include <future>

namespace server {

WorkerPool::WorkerPool(const QString &connection, int workers, Delivery deliver, const QString &standbyConnection,
                       const ServiceSettings &serviceSettings)
    : m_size(std::max(1, workers)), m_deliver(std::move(deliver))
{
    std::vector<std::future<void>> ready;
    for (int i = 0; i < m_size; ++i) {
        auto opened = std::make_shared<std::promise<void>>();
        ready.push_back(opened->get_future());
        std::unique_ptr<QThread> thread(QThread::create([this, connection, standbyConnection, serviceSettings, opened] {
            std::unique_ptr<Database> db;
            try {
                db = std::make_unique<Database>(connection);
            } catch (...) {
                opened->set_exception(std::current_exception());
                return;
            }
            opened->set_value();
            ServTranService service(*db, serviceSettings);
            std::unique_ptr<SideReader> side;
            if (db->dialect() == Dialect::SQLite) {
                side = std::make_unique<SideReader>(connection);
                service.readBesideWith(side.get());
            }
            std::unique_ptr<StandbyReads> standby;
            if (!standbyConnection.isEmpty())
                standby = std::make_unique<StandbyReads>(standbyConnection, serviceSettings);
            Job job;
            while (next(job)) {
                QByteArray reply = job.kind == Kind::SignIn ? service.signIn(QString::fromUtf8(job.request), job.context)
                                   : standby               ? answer(job, *db, service, *standby)
                                                           : service.handle(job.request, job.context);
                finished(job);
                m_deliver(job.ticket, std::move(reply));
            }
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

QByteArray WorkerPool::answer(const Job &job, Database &primaryDb, ServTranService &primary, StandbyReads &standby)
{
    protocol::Request request;
    try {
        request = protocol::decodeRequest(job.request);
    } catch (const protocol::PacketError &) {
        return primary.handle(job.request, job.context);   // its fault, as without a standby
    }
    if (ServTranService::onlyReads(request.method)) {
        QString mustSee;
        {
            std::lock_guard lock(m_writesMutex);
            const auto it = m_lastWrite.find(job.ticket);
            if (it != m_lastWrite.end())
                mustSee = it->second;
        }
        if (ServTranService *replica = standby.serviceFor(mustSee)) {
            const protocol::Reply reply = replica->call(request, job.context, job.request.size());
            if (!standby.lostDuringCall())
                return ServTranService::encode(reply);
        }
        return ServTranService::encode(primary.call(request, job.context, job.request.size()));
    }
    const protocol::Reply reply = primary.call(request, job.context, job.request.size());
    const QString position = StandbyReads::walPosition(primaryDb);
    if (!position.isEmpty()) {
        std::lock_guard lock(m_writesMutex);
        m_lastWrite[job.ticket] = position;
    }
    return ServTranService::encode(reply);
}

void WorkerPool::forget(quint64 ticket)
{
    std::lock_guard lock(m_writesMutex);
    m_lastWrite.erase(ticket);
}

void WorkerPool::submit(quint64 ticket, QByteArray request, CallContext context, Kind kind)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({ticket, std::move(request), std::move(context), kind});
    }
    m_wake.notify_one();
}

// The first queued job a free worker may take: a short one, or a long one while the long calls
// running leave a worker to the short ones (a pool of one worker runs everything in turn).
std::deque<WorkerPool::Job>::iterator WorkerPool::runnable()
{
    const bool longAllowed = m_longRunning < std::max(1, size() - 1);
    return std::find_if(m_queue.begin(), m_queue.end(), [&](const Job &job) { return !job.holdsLongPlace() || longAllowed; });
}

bool WorkerPool::next(Job &job)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return m_stopping || runnable() != m_queue.end(); });
    if (m_stopping)
        return false;
    const auto it = runnable();
    job = std::move(*it);
    m_queue.erase(it);
    if (job.holdsLongPlace())
        ++m_longRunning;
    return true;
}

void WorkerPool::finished(const Job &job)
{
    if (!job.holdsLongPlace())
        return;
    {
        std::lock_guard lock(m_mutex);
        --m_longRunning;
    }
    m_wake.notify_all();   // a long call waiting in the queue may start now
}

} // namespace server
