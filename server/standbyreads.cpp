#include "standbyreads.h"

#include "database.h"
#include "service.h"

#include <QThread>

namespace server {

namespace {

// A standby that is down must not hold a read for libpq's 10 s default: the primary answers.
QString withShortConnectTimeout(const QString &connection)
{
    return connection.contains(QLatin1String("connect_timeout=")) ? connection
                                                                  : connection + QStringLiteral(" connect_timeout=2");
}

} // namespace

StandbyReads::StandbyReads(const QString &connection, const ServiceSettings &service)
    : m_connection(withShortConnectTimeout(connection)), m_serviceSettings(service)
{
}

StandbyReads::~StandbyReads() = default;

void StandbyReads::drop()
{
    m_service.reset();
    m_db.reset();
    m_retry.setRemainingTime(kRetryMs);
}

ServTranService *StandbyReads::serviceFor(const QString &mustSee)
{
    if (!m_db) {
        if (!m_retry.hasExpired())
            return nullptr;
        try {
            m_db = std::make_unique<Database>(m_connection);
            m_service = std::make_unique<ServTranService>(*m_db, m_serviceSettings);
        } catch (const Error &) {
            drop();
            return nullptr;
        }
    }
    if (mustSee.isEmpty())
        return m_service.get();
    QDeadlineTimer wait(kCatchUpWaitMs);
    try {
        while (!hasReplayed(mustSee)) {
            if (wait.hasExpired())
                return nullptr;
            QThread::msleep(2);
        }
    } catch (const Error &) {
        drop();
        return nullptr;
    }
    return m_service.get();
}

bool StandbyReads::hasReplayed(const QString &position)
{
    Query replayed(*m_db, QStringLiteral("SELECT COUNT(*) FROM (SELECT pg_last_wal_replay_lsn() AS R) T "
                                         "WHERE R >= CAST(:P AS pg_lsn)"));
    replayed.bind(QStringLiteral("P"), position);
    replayed.exec();
    return replayed.next() && replayed.count(0) > 0;
}

bool StandbyReads::lostDuringCall()
{
    if (!m_db || m_db->handle().isOpen())
        return false;
    drop();
    return true;
}

QString StandbyReads::walPosition(Database &primary)
{
    try {
        Query position(primary, QStringLiteral("SELECT CAST(pg_current_wal_insert_lsn() AS TEXT)"));
        position.exec();
        return position.next() ? position.text(0) : QString();
    } catch (const Error &) {
        return {};   // the primary is gone: so is the write, and no read will find the standby behind it
    }
}

} // namespace server
