#pragma once
// A second reader beside a worker, for the call that reads the most at once (a day's packets):
// a thread with a connection of its own to the worker's SQLite file, reading part of the reply
// while the worker reads the rest, in the same snapshot, so that both halves are of one moment.
//
// SQLite has no way to hand a snapshot from one connection to another here, so the worker begins
// both reads, its own and the side connection's, while a third connection holds the write lock
// for those few microseconds: no commit can land between them. The lock is only tried, never
// waited for: while a writer holds it, the worker reads alone, as it would without a side reader.

#include <QString>
#include <QVariant>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>

class QThread;
struct sqlite3;

namespace server {

class Database;

class SideReader {
public:
    using Read = std::function<QVariant(Database &)>;

    // `connection` is the worker's SQLite connection string; nothing is opened before first use.
    explicit SideReader(QString connection);
    ~SideReader();
    SideReader(const SideReader &) = delete;
    SideReader &operator=(const SideReader &) = delete;

    // A read under way on the side connection. Its destructor waits for it, so that the side is
    // free for the next call whatever path the worker leaves by.
    class Pending {
    public:
        explicit Pending(std::future<QVariant> result) : m_result(std::move(result)) {}
        Pending(Pending &&) = default;
        ~Pending();
        QVariant take();   // waits; rethrows what the read threw

    private:
        std::future<QVariant> m_result;
    };

    // Starts the read transaction of `worker` (a SQLite connection inside a transaction that has
    // not read yet) and one on the side connection, both at the latest commit, and runs `read`
    // on the side in it. Nothing when the snapshot cannot be shared now: `worker`'s transaction
    // is then left as it was, for the worker to read alone.
    std::optional<Pending> readBeside(Database &worker, Read read);

private:
    struct Job {
        Read read;
        std::promise<QVariant> result;
    };
    bool ensureStarted();
    void serve(std::promise<void> &opened);

    const QString m_connection;
    std::unique_ptr<Database> m_lock;   // the worker thread's: holds the write lock while reads begin
    std::unique_ptr<QThread> m_thread;
    sqlite3 *m_side = nullptr;          // the side thread's connection; the worker only begins its reads
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::unique_ptr<Job> m_job;
    bool m_stopping = false;
};

} // namespace server
