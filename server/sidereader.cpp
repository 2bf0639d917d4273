#include "sidereader.h"

#include "database.h"
#include "sqliterows.h"

#include <QThread>
#include <sqlite3.h>

namespace server {

namespace {

bool run(sqlite3 *connection, const char *sql)
{
    return sqlite3_exec(connection, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// BEGIN only announces a transaction: SQLite takes its snapshot at the first read, made here.
void takeSnapshot(sqlite3 *connection)
{
    if (!run(connection, "PRAGMA user_version"))
        throw DatabaseError(QStringLiteral("Erro no banco de dados (início da leitura): %1")
                                .arg(QString::fromUtf8(sqlite3_errmsg(connection))));
}

} // namespace

SideReader::SideReader(QString connection) : m_connection(std::move(connection)) {}

SideReader::~SideReader()
{
    if (!m_thread)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread->wait();
}

SideReader::Pending::~Pending()
{
    if (m_result.valid())
        m_result.wait();
}

QVariant SideReader::Pending::take() { return m_result.get(); }

bool SideReader::ensureStarted()
{
    if (m_side)
        return true;
    if (m_thread)
        return false;   // the side connection could not open: the worker reads alone
    try {
        m_lock = std::make_unique<Database>(m_connection);
    } catch (const Error &) {
        return false;   // the next call tries again
    }
    // A writer at work keeps the lock for the length of its transaction: reading alone at once
    // costs less than waiting for it.
    sqlite3_busy_timeout(sqliteConnection(*m_lock), 0);
    auto opened = std::make_shared<std::promise<void>>();   // the thread's, as long as it runs
    std::future<void> ready = opened->get_future();
    m_thread.reset(QThread::create([this, opened] { serve(*opened); }));
    m_thread->setObjectName(QStringLiteral("servtran-side"));
    m_thread->start();
    try {
        ready.get();
    } catch (...) {
        return false;
    }
    return true;
}

std::optional<SideReader::Pending> SideReader::readBeside(Database &worker, Read read)
{
    if (!ensureStarted())
        return std::nullopt;
    sqlite3 *lock = sqliteConnection(*m_lock);
    sqlite3 *side = m_side;
    if (!run(lock, "BEGIN IMMEDIATE"))
        return std::nullopt;
    {
        // From here until the rollback no commit can land: both reads begin at the same one. The
        // side's begins here too, on this thread (its thread is idle), so that the lock is held
        // for microseconds and never across a thread's wake-up.
        const struct Unlock {
            sqlite3 *connection;
            ~Unlock() { run(connection, "ROLLBACK"); }
        } unlock{lock};
        takeSnapshot(sqliteConnection(worker));
        if (!run(side, "BEGIN"))
            return std::nullopt;
        try {
            takeSnapshot(side);
        } catch (const DatabaseError &) {
            run(side, "ROLLBACK");
            return std::nullopt;   // the worker's snapshot serves alone
        }
    }
    auto job = std::make_unique<Job>();
    job->read = std::move(read);
    std::future<QVariant> result = job->result.get_future();
    {
        std::lock_guard guard(m_mutex);
        m_job = std::move(job);
    }
    m_wake.notify_one();
    return Pending(std::move(result));
}

// The side thread: opens its connection, then runs each read in the transaction the worker began
// on it, and ends that transaction.
void SideReader::serve(std::promise<void> &opened)
{
    std::unique_ptr<Database> db;   // opened and closed on this thread, as a connection must be
    sqlite3 *connection = nullptr;
    try {
        db = std::make_unique<Database>(m_connection);
        connection = sqliteConnection(*db);
    } catch (...) {
        opened.set_exception(std::current_exception());
        return;
    }
    m_side = connection;
    opened.set_value();
    for (;;) {
        std::unique_ptr<Job> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || m_job; });
            if (!m_job)
                return;
            job = std::move(m_job);
        }
        try {
            QVariant value = job->read(*db);
            if (!run(connection, "COMMIT"))
                throw DatabaseError(QStringLiteral("Erro no banco de dados (fim da leitura): %1")
                                        .arg(QString::fromUtf8(sqlite3_errmsg(connection))));
            job->result.set_value(std::move(value));
        } catch (...) {
            run(connection, "ROLLBACK");
            job->result.set_exception(std::current_exception());
        }
    }
}

} // namespace server
