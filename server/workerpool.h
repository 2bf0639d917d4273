#pragma once
// A bounded set of worker threads that run remote calls. Each worker opens its own database
// connection and keeps its own service object on its own thread (a QSqlDatabase connection
// works only on the thread that opened it), so a long call holds one worker and no other client.
// Long calls never take the last free worker: short ones always find one.

#include "callcontext.h"
#include "settings.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

class QThread;

namespace server {

class Database;
class ServTranService;
class StandbyReads;

class WorkerPool {
public:
    // Runs on a worker thread once a call is answered: the ticket it was submitted with and the
    // reply's payload.
    using Delivery = std::function<void(quint64 ticket, QByteArray reply)>;

    // Starts `workers` threads and opens a database connection in each; returns once all are
    // ready. Throws Error when a connection cannot be opened.
    // With a standby connection (a PostgreSQL hot standby), reads go there as standbyreads.h says.
    WorkerPool(const QString &connection, int workers, Delivery deliver, const QString &standbyConnection = {},
               const ServiceSettings &service = {});
    // Lets running calls end, drops queued ones and waits for the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    // A call that may run long, and a sign-in (a slow password hash by design), take a worker only
    // while another stays for the short calls.
    enum class Kind { ShortCall, LongCall, SignIn };
    // Queues one request payload of the caller the context names (for a sign-in, the password in
    // UTF-8); any free worker takes it.
    void submit(quint64 ticket, QByteArray request, CallContext context, Kind kind = Kind::ShortCall);
    int size() const { return m_size; }
    // The connection of this ticket has closed: what was noted of its writes goes.
    void forget(quint64 ticket);

private:
    struct Job {
        quint64 ticket;
        QByteArray request;
        CallContext context;
        Kind kind = Kind::ShortCall;
        bool holdsLongPlace() const { return kind != Kind::ShortCall; }
    };
    bool next(Job &job);   // false when the pool stops
    void finished(const Job &job);
    std::deque<Job>::iterator runnable();
    void stop();
    // A call when reads may go to the standby.
    QByteArray answer(const Job &job, Database &primaryDb, ServTranService &primary, StandbyReads &standby);

    // The primary's WAL position after each connection's last write, for its next reads.
    std::mutex m_writesMutex;
    std::unordered_map<quint64, QString> m_lastWrite;

    const int m_size;
    Delivery m_deliver;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_queue;
    bool m_stopping = false;
    int m_longRunning = 0;
    std::vector<std::unique_ptr<QThread>> m_threads;
};

} // namespace server
