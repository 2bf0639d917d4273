#pragma once
// Reads sent to a PostgreSQL hot standby (streaming replication), writes kept on the primary.
// A client never reads older data than it just wrote: after its write the worker notes the
// primary's WAL position for that client, and a read of that client goes to the standby only
// once the standby has replayed that far (it waits a moment), else to the primary. A standby that
// cannot be reached, or that fails mid-call, leaves the reads to the primary; it is tried again
// a few seconds later.

#include "settings.h"

#include <QDeadlineTimer>
#include <QString>
#include <memory>

namespace server {

class Database;
class ServTranService;

class StandbyReads {
public:
    StandbyReads(const QString &connection, const ServiceSettings &service);
    ~StandbyReads();
    StandbyReads(const StandbyReads &) = delete;
    StandbyReads &operator=(const StandbyReads &) = delete;

    // The service over the standby when it may answer a read that must see the WAL position
    // `mustSee` (empty: any), or nullptr: the primary answers.
    ServTranService *serviceFor(const QString &mustSee);
    // After a call on the standby: true when its connection was lost during the call (the call is
    // then answered by the primary), and the standby is left alone for a while.
    bool lostDuringCall();

    // The primary's WAL insert position, taken after a write's commit: past its commit record even
    // with synchronous_commit off, when the written position may not be yet.
    static QString walPosition(Database &primary);

    static constexpr int kRetryMs = 5000;        // a standby that failed is left alone this long
    static constexpr int kCatchUpWaitMs = 100;   // how long a read waits for the standby to replay

private:
    void drop();
    bool hasReplayed(const QString &position);

    QString m_connection;
    ServiceSettings m_serviceSettings;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<ServTranService> m_service;
    QDeadlineTimer m_retry{0};
};

} // namespace server
