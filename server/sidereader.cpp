#include "sidereader.h"

#include "database.h"
#include "sqliterows.h"

#include <QThread>
#include <sqlite3.h>

namespace server {

namespace {

// BEGIN only announces a transaction: SQLite takes its snapshot at the first read, made here.
void takeSnapshot(Database &db)
{
    sqlite3 *connection = sqliteConnection(db);
    if (sqlite3_exec(connection, "PRAGMA user_version", nullptr, nullptr, nullptr) != SQLITE_OK)
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
    if (m_thread)
        return true;
    try {
        m_lock = std::make_unique<Database>(m_connection);
    } catch (const Error &) {
        return false;   // the worker reads alone; the next call tries again
    }
    // A writer at work keeps the lock for the length of its transaction: reading alone at once
    // costs less than waiting for it.
    sqlite3_busy_timeout(sqliteConnection(*m_lock), 0);
    m_thread.reset(QThread::create([this] { serve(); }));
    m_thread->setObjectName(QStringLiteral("servtran-side"));
    m_thread->start();
    return true;
}

std::optional<SideReader::Pending> SideReader::readBeside(Database &worker, Read read)
{
    if (!ensureStarted())
        return std::nullopt;
    sqlite3 *lock = sqliteConnection(*m_lock);
    if (sqlite3_exec(lock, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return std::nullopt;
    // From here until the rollback no commit can land: both reads begin at the same one.
    const struct Unlock {
        sqlite3 *connection;
        ~Unlock() { sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr); }
    } unlock{lock};
    takeSnapshot(worker);

    auto job = std::make_unique<Job>();
    job->read = std::move(read);
    std::future<void> begun = job->begun.get_future();
    std::future<QVariant> result = job->result.get_future();
    {
        std::lock_guard guard(m_mutex);
        m_job = std::move(job);
    }
    m_wake.notify_one();
    try {
        begun.get();
    } catch (...) {
        return std::nullopt;   // the side could not begin; the worker's snapshot serves alone
    }
    return Pending(std::move(result));
}

void SideReader::serve()
{
    std::unique_ptr<Database> db;   // opened and closed on this thread, as a connection must be
    for (;;) {
        std::unique_ptr<Job> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || m_job; });
            if (!m_job)
                return;
            job = std::move(m_job);
        }
        std::optional<Transaction> snapshot;
        try {
            if (!db)
                db = std::make_unique<Database>(m_connection);
            snapshot.emplace(*db, Transaction::Read);
            takeSnapshot(*db);
        } catch (...) {
            snapshot.reset();
            job->begun.set_exception(std::current_exception());
            continue;
        }
        job->begun.set_value();
        try {
            QVariant value = job->read(*db);
            snapshot->commit();
            job->result.set_value(std::move(value));
        } catch (...) {
            job->result.set_exception(std::current_exception());
        }
    }
}

} // namespace server
