#pragma once
// What the server tests share: a fresh database with the demo data on each backend, the server
// core on its own thread, a small synchronous client speaking the wire protocol, and helpers to
// read packets and to build the change logs the screen sends.

#include <protocol/frame.h>
#include <protocol/hello.h>
#include <protocol/packet.h>
#include <protocol/value.h>
#include <server/database.h>
#include <server/demo.h>
#include <server/serverthread.h>

#include <QProcess>
#include <QTcpSocket>
#include <QTest>
#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace servertest {

inline QString serverName() { return QStringLiteral("Pla04100.rdmServTran"); }
inline QDate demoDay() { return QDate(2026, 12, 8); }
inline QVariant day(QDate date = demoDay()) { return protocol::wallClock(date); }

// The backends every server test runs on. The "postgres" rows need SERVTRAN_TEST_PG
// (a "postgres:..." connection string, see scripts/pg-test-cluster.sh) and skip without it.
QStringList backends();
// Data rows: a "backend" column with one row per backend, or a row "backend/name" of a case.
void addBackendRows();
QTestData &newRow(const QString &backend, const char *name);
#define SKIP_UNLESS_BACKEND(backend)                                                                \
    do {                                                                                            \
        if ((backend) == QLatin1String("postgres") && qEnvironmentVariableIsEmpty("SERVTRAN_TEST_PG")) \
            QSKIP("SERVTRAN_TEST_PG is not set");                                                   \
    } while (false)

// A hello of a demo operator with its password, and the server's token if it asks for one.
inline protocol::Hello helloOf(const QString &operatorCode, const QString &token = QString())
{
    return {operatorCode, token, QString::fromLatin1(server::kDemoPassword)};
}
// The demo's operator of every branch, as most tests call.
inline protocol::Hello adminHello() { return helloOf(QStringLiteral("ADMIN")); }

// A synchronous client: one request, then wait for its reply. It connects and says its hello
// (none with std::nullopt: the test speaks first itself); throws when the hello is refused.
class TestClient {
public:
    explicit TestClient(quint16 port, const std::optional<protocol::Hello> &hello = adminHello());
    protocol::Reply call(const QString &method, const QVariantList &args, const QString &server = serverName());
    // A checked result's payload; throws when the call faulted or the server answered an error.
    QVariant payload(const QString &method, const QVariantList &args);
    // The error text of a checked result (empty on success); throws on a fault.
    QString error(const QString &method, const QVariantList &args);
    // The bare text of SetServTran and CalcEtiqueta; throws on a fault.
    QString text(const QString &method, const QVariantList &args);

    void send(const QByteArray &bytes);
    protocol::Reply receive();             // the next reply; throws when none comes
    bool closedByPeer(int timeoutMs = 5000);
    QTcpSocket &socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    protocol::FrameBuffer m_pending;
};

// A database holding the demo data, served by a server thread on a loopback port.
class Fixture {
public:
    explicit Fixture(const QString &backend, const server::ServerSettings &settings = {});
    ~Fixture();
    const QString &connection() const { return m_connection; }
    server::Database &db() { return *m_db; }   // for checks, on the test's thread
    TestClient &client() { return *m_client; }
    quint16 port() const { return m_server->port(); }

private:
    QTemporaryDir m_dir;
    QString m_connection;
    std::unique_ptr<server::Database> m_db;
    std::unique_ptr<server::ServerThread> m_server;
    std::unique_ptr<TestClient> m_client;
};

// servtran-server as a process of its own, killed (SIGKILL) when the test says so or when it goes
// out of scope.
class ServerProcess {
public:
    ServerProcess(const QString &executable, const QStringList &arguments, const QString &workingDirectory = {});
    ~ServerProcess() { kill(); }
    // The port from its "atendendo" line, once it serves; 0 when it ended or never said it.
    quint16 waitUntilServing();
    // Waits until its log holds `text`; false when it ended or the time ran out first.
    bool waitForLog(const QString &text, int timeoutMs = 30000);
    // SIGTERM; the exit code, or -1 when it did not end on its own.
    int stop();
    void kill();
    qint64 pid() const { return m_process.processId(); }
    // Waits for it to end by itself; its exit code, or -1 when it crashed or did not end in time.
    int waitForExit(int timeoutMs = 30000);
    QString log() const { return QString::fromUtf8(m_stderr); }

private:
    QProcess m_process;
    QByteArray m_stderr;
};
// The arguments that serve a database on any free loopback port.
QStringList serving(const QString &connection, const QStringList &extraArguments = {});

// A PostgreSQL 15 cluster of a test's own, for tests that restart or replicate it (the shared
// test cluster serves the tests running beside): started by scripts/pg-test-cluster.sh with a state
// file of its own, stopped and removed with the object. Its programs run as postgres under root.
class OwnPostgresCluster {
public:
    static QString bin() { return QStringLiteral("/usr/lib/postgresql/15/bin"); }
    static bool available();
    OwnPostgresCluster();
    ~OwnPostgresCluster();
    bool started() const { return !m_data.isEmpty() && m_connection.startsWith(QLatin1String("postgres:")); }
    const QString &connection() const { return m_connection; }
    quint16 port() const { return m_port; }
    // pg_ctl restart -m fast: every session ended, open transactions rolled back, then up again.
    bool restart();
    // A streaming hot standby of this cluster made by pg_basebackup on another loopback port; its
    // connection string, empty when it could not be made. Stopped with the cluster.
    QString startStandby();
    bool stopStandby();
    // A program of PostgreSQL's as the cluster's owner; true when it ended with 0.
    static bool runAsOwner(const QStringList &command, QString *output = nullptr);

private:
    QByteArray script(const QString &mode);
    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
    QString m_connection, m_data, m_standbyData;
    quint16 m_port = 0;
};

// An empty database for a backend: a new SQLite file in the directory, or the PostgreSQL test
// database without the schema's tables. Its connection string.
QString emptyDatabase(const QString &backend, const QTemporaryDir &dir);
// The same with the schema and the demo data.
QString freshDemoDatabase(const QString &backend, const QTemporaryDir &dir);

// A large day of service "00002" of branch "0001" for load tests and benchmarks: clients
// "B000000".., each at delivery points "001".. with the same dishes, each dish row with its labels.
// Several days may be seeded into one database (clients and points are shared).
struct LargeDay {
    QDate date = QDate(2026, 12, 9);
    int clients = 50, pointsPerClient = 10, dishes = 20, labels = 5;
    int points() const { return clients * pointsPerClient; }
    int rows() const { return points() * dishes; }
    QVariantList dayArgs() const { return {QStringLiteral("0001"), QStringLiteral("00002"), day(date)}; }
};
void seedLargeDay(server::Database &db, const LargeDay &shape);

// Packets as tables of rows by field name.
struct Table {
    QList<protocol::PacketField> fields;
    QList<QVariantMap> rows;
    QStringList names() const;
};
Table table(const QVariant &packetValue);
QList<Table> tables(const QVariant &packetArray);

// The screen's datasets as it declares them: the contract the server's packets must meet.
const QList<protocol::PacketField> &cdsPadrao();
const QList<protocol::PacketField> &cdsServTran();
const QList<protocol::PacketField> &cdsEtiqueta();

// A change of a cdsServTran change log; fields left out of a row are null.
struct Change {
    protocol::RowChange kind;
    QVariantMap values;
    QVariantMap original;
};
QVariant dishDelta(const QList<Change> &changes, QList<protocol::PacketField> fields = cdsServTran());
// A new dish row of the demo day as the screen posts it.
QVariantMap newDish(const QString &number, const QString &client, const QString &point, const QString &dish,
                    const QString &owner = QStringLiteral("P"));
// A dish row of the demo day as the server sent it (GetServTran), found by its number.
QVariantMap storedDish(TestClient &client, const QString &number);

// One value, or all rows, of a query on the test's own connection. Dates are bound as days.
QVariant scalar(server::Database &db, const QString &sql, const QVariantMap &binds = {});
QList<QVariantList> rows(server::Database &db, const QString &sql, const QVariantMap &binds = {});

// A field of /proc/PID/status in KiB ("VmRSS", "VmHWM"); -1 when it cannot be read.
qint64 processStatusKiB(qint64 pid, const char *field);
// Sets the process's peak resident size (VmHWM) back to its size now; false when refused.
bool resetPeakResident(qint64 pid);

} // namespace servertest
