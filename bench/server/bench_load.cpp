// The server under many users at once: concurrent clients on loopback, each repeating a user's
// cycle on a day of its own (load the day of 30 points x 10 dishes, then post a dish:
// GetSeqServTran, SetServTran, CalcEtiqueta, GetServTran, GetEtiqueta). Prints calls per second,
// p50 and p99 latency per method and the error count, beside the same cycle run by one client
// alone in the same run (the baseline), for SQLite and, when a connection is given, PostgreSQL.
//
//   bench_load [--clients 50] [--cycles 20] [--workers 4] [--think MS] [--pg "postgres:host=... dbname=..."]
//
// The closed loop (no pause between calls) is always run: 50 clients then keep 50 calls waiting
// for the server at every moment, so its latencies are mostly queueing. With --think MS each user
// also runs the cycle pausing between calls as a person does (uniformly 0.5..1.5 x MS after each
// reply, each user starting at a random moment of its first cycle), and a second table shows the
// latencies of that load.
//
// SQLite runs twice, with synchronous = FULL (the server's setting: every commit synced, so an
// acknowledged save survives a power cut) and with NORMAL (synced only at checkpoints), to show
// what durability costs.
// The history's cost on writes: the same loads again with the history of changes switched off
// (a switch for this benchmark only), SetServTran and CalcEtiqueta beside their times with it.
//
// Without --pg, SERVTRAN_TEST_PG (scripts/pg-test-cluster.sh) names the PostgreSQL database.
// The PostgreSQL run works in a schema of its own, dropped at the end.

#include "testsupport.h"

#include <protocol/remoteresult.h>
#include <server/database.h>
#include <server/demo.h>
#include <server/history.h>
#include <server/schema.h>
#include <server/serverthread.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace servertest;

namespace {

const QStringList kMethods = {QStringLiteral("GetDados"), QStringLiteral("GetSeqServTran"), QStringLiteral("SetServTran"),
                              QStringLiteral("CalcEtiqueta"), QStringLiteral("GetServTran"), QStringLiteral("GetEtiqueta")};
const QDate kFirstDay(2027, 1, 4);

LargeDay dayOf(int client) { return LargeDay{kFirstDay.addDays(client), 3, 10, 10, 3}; }

struct Outcome {
    QMap<QString, QList<double>> latencies;   // ms per call, by method
    qint64 calls = 0;
    qint64 errors = 0;
    QStringList firstErrors;
    void add(const Outcome &other)
    {
        for (auto it = other.latencies.cbegin(); it != other.latencies.cend(); ++it)
            latencies[it.key()] += it.value();
        calls += other.calls;
        errors += other.errors;
        for (const QString &e : other.firstErrors)
            if (firstErrors.size() < 5)
                firstErrors << e;
    }
};

// One user: a client of its own on its own day.
class User {
public:
    User(quint16 port, int index, int thinkMs) : m_client(port), m_day(dayOf(index)), m_thinkMs(thinkMs), m_random(quint32(index)) {}

    void cycle(int round)
    {
        const QVariantList day = m_day.dayArgs();
        call(QStringLiteral("GetDados"), day);
        const QVariant seq = call(QStringLiteral("GetSeqServTran"), day + QVariantList{QStringLiteral("XXXX")});
        const QString last = seq.isValid() ? table(seq).rows.value(0).value(QStringLiteral("SEQUSERV")).toString() : QString();
        const QString number = QStringLiteral("%1").arg(last.toLongLong() + 1, 10, 10, QLatin1Char('0'));
        const QString point = QStringLiteral("%1").arg(1 + round % m_day.pointsPerClient, 3, 10, QLatin1Char('0'));
        QVariantMap dish = newDish(number, QStringLiteral("B000000"), point, QStringLiteral("1010010001"));
        dish[QStringLiteral("CDSERVFILI")] = QStringLiteral("00002");
        dish[QStringLiteral("DTSERVTRAN")] = servertest::day(m_day.date);
        call(QStringLiteral("SetServTran"), {dishDelta({{protocol::RowChange::Inserted, dish, {}}})});
        call(QStringLiteral("CalcEtiqueta"),
             {QStringLiteral("0001"), QStringLiteral("00002"), point, number, QStringLiteral("B000000"), QStringLiteral("XXXX"),
              servertest::day(m_day.date), QStringLiteral("P"), QStringLiteral("1010010001"), 4.0, 5.0, 2.5, 1.0, 4.0, 1.0});
        call(QStringLiteral("GetServTran"), day);
        call(QStringLiteral("GetEtiqueta"), day);
    }

    const Outcome &outcome() const { return m_outcome; }

private:
    // The payload of a checked result, invalid for the bare-text methods; a fault, an error
    // answer or a non-empty text counts as an error.
    QVariant call(const QString &method, const QVariantList &args)
    {
        QElapsedTimer t;
        t.start();
        QString error;
        QVariant payload;
        try {
            const protocol::Reply reply = m_client.call(method, args);
            if (reply.failed())
                error = reply.fault;
            else if (reply.value.metaType().id() == QMetaType::QString)
                error = reply.value.toString();
            else if (!(error = protocol::resultErrorText(reply.value)).isEmpty())
                ;
            else
                payload = protocol::resultPayload(reply.value);
        } catch (const std::exception &e) {
            error = QString::fromUtf8(e.what());
        }
        m_outcome.latencies[method] << t.nsecsElapsed() / 1e6;
        if (m_thinkMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(m_thinkMs / 2 + m_random.bounded(m_thinkMs + 1)));
        ++m_outcome.calls;
        if (!error.isEmpty()) {
            ++m_outcome.errors;
            if (m_outcome.firstErrors.size() < 5)
                m_outcome.firstErrors << method + QStringLiteral(": ") + error;
        }
        return payload;
    }

    TestClient m_client;
    LargeDay m_day;
    int m_thinkMs;
    QRandomGenerator m_random;
    Outcome m_outcome;
};

double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min<qsizetype>(values.size() - 1, qsizetype(p * values.size()))];
}

// `clients` users at once on days firstDay.., `cycles` cycles each; the wall time in seconds.
double run(quint16 port, int firstDay, int clients, int cycles, int thinkMs, Outcome &total)
{
    std::mutex mutex;
    std::vector<std::thread> threads;
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&, i] {
            Outcome outcome;
            try {
                User user(port, firstDay + i, thinkMs);
                if (thinkMs > 0)   // people do not all open their day at the same instant
                    std::this_thread::sleep_for(std::chrono::milliseconds(QRandomGenerator::global()->bounded(6 * thinkMs)));
                for (int c = 0; c < cycles; ++c)
                    user.cycle(c);
                outcome = user.outcome();
            } catch (const std::exception &e) {
                outcome.errors = 1;
                outcome.firstErrors << QString::fromUtf8(e.what());
            }
            std::lock_guard lock(mutex);
            total.add(outcome);
        });
    for (std::thread &t : threads)
        t.join();
    return wall.nsecsElapsed() / 1e9;
}

void printTable(const Outcome &loaded, const Outcome &alone)
{
    std::printf("  %-15s %10s %10s   %10s %10s\n", "method", "p50 ms", "p99 ms", "alone p50", "alone p99");
    for (const QString &method : kMethods)
        std::printf("  %-15s %10.2f %10.2f   %10.2f %10.2f\n", qPrintable(method), percentile(loaded.latencies[method], 0.5),
                    percentile(loaded.latencies[method], 0.99), percentile(alone.latencies[method], 0.5),
                    percentile(alone.latencies[method], 0.99));
    for (const QString &e : loaded.firstErrors + alone.firstErrors)
        std::printf("  error: %s\n", qPrintable(e.left(200)));
}

void report(const char *backend, const QString &connection, int clients, int cycles, int workers, int thinkMs)
{
    {
        server::Database db(connection);
        for (int i = 0; i <= clients; ++i)
            seedLargeDay(db, dayOf(i));
    }
    server::ServerSettings settings;
    settings.workers = workers;
    server::ServerThread server(connection, QHostAddress::LocalHost, 0, settings);

    // the baseline: the same cycle by one user alone, on a day no other user touches
    Outcome alone;
    const double aloneSeconds = run(server.port(), clients, 1, cycles, 0, alone);
    Outcome loaded;
    const double seconds = run(server.port(), 0, clients, cycles, 0, loaded);

    std::printf("\n%s, %d workers: %d clients x %d cycles, no pause: %lld calls in %.2f s = %.0f calls/s "
                "(one client alone: %.0f calls/s); errors: %lld\n",
                backend, workers, clients, cycles, qlonglong(loaded.calls), seconds, loaded.calls / seconds,
                alone.calls / aloneSeconds, qlonglong(loaded.errors + alone.errors));
    printTable(loaded, alone);

    // the history's cost: one client alone (no queueing: what a write itself costs) and the whole
    // load, each with and without the history, in turns so that drift of a shared machine falls
    // on both: ten short turns for the one client (its writes take a fraction of a millisecond,
    // where another program's burst moves a long turn's median), two for the load
    Outcome withAlone, bareAlone, withLoaded, bareLoaded;
    double withSeconds = 0, bareSeconds = 0;
    for (int round = 0; round < 10; ++round)
        for (const bool recording : {true, false}) {
            server::ChangeHistory::setRecordingForBenchmark(recording);
            run(server.port(), clients, 1, std::max(cycles, 100) / 5, 0, recording ? withAlone : bareAlone);
        }
    for (int round = 0; round < 2; ++round)
        for (const bool recording : {true, false}) {
            server::ChangeHistory::setRecordingForBenchmark(recording);
            (recording ? withSeconds : bareSeconds) +=
                run(server.port(), 0, clients, cycles, 0, recording ? withLoaded : bareLoaded);
        }
    server::ChangeHistory::setRecordingForBenchmark(true);
    std::printf("%s, the history's cost on writes, p50 ms with / without the history = ratio:\n", backend);
    for (const QString &method : {QStringLiteral("SetServTran"), QStringLiteral("CalcEtiqueta")}) {
        const double a = percentile(withAlone.latencies[method], 0.5), b = percentile(bareAlone.latencies[method], 0.5);
        const double l = percentile(withLoaded.latencies[method], 0.5), m = percentile(bareLoaded.latencies[method], 0.5);
        std::printf("  %-15s one client: %6.2f / %6.2f = %.2f   %d clients: %7.2f / %7.2f = %.2f\n", qPrintable(method), a, b,
                    b > 0 ? a / b : 0.0, clients, l, m, m > 0 ? l / m : 0.0);
    }
    std::printf("  %d clients, calls/s with / without the history: %.0f / %.0f\n", clients,
                withLoaded.calls / withSeconds, bareLoaded.calls / bareSeconds);
    if (const qint64 errors = withAlone.errors + bareAlone.errors + withLoaded.errors + bareLoaded.errors)
        std::printf("  errors: %lld\n", qlonglong(errors));
    if (thinkMs <= 0)
        return;
    Outcome thinking;
    const double thinkingSeconds = run(server.port(), 0, clients, cycles, thinkMs, thinking);
    std::printf("%s, the same users pausing %d ms (0.5..1.5 x) after each reply: %lld calls in %.2f s = %.0f calls/s; "
                "errors: %lld\n",
                backend, thinkMs, qlonglong(thinking.calls), thinkingSeconds, thinking.calls / thinkingSeconds,
                qlonglong(thinking.errors));
    printTable(thinking, alone);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption clients(QStringLiteral("clients"), QStringLiteral("concurrent clients"), QStringLiteral("N"),
                                     QStringLiteral("50"));
    const QCommandLineOption cycles(QStringLiteral("cycles"), QStringLiteral("cycles per client"), QStringLiteral("N"),
                                    QStringLiteral("20"));
    const QCommandLineOption workers(QStringLiteral("workers"), QStringLiteral("server worker threads"), QStringLiteral("N"),
                                     QStringLiteral("4"));
    const QCommandLineOption pg(QStringLiteral("pg"), QStringLiteral("PostgreSQL connection (postgres:...)"),
                                QStringLiteral("CONNECTION"));
    parser.addHelpOption();
    const QCommandLineOption think(QStringLiteral("think"), QStringLiteral("also run with a pause of about MS after each reply"),
                                   QStringLiteral("MS"), QStringLiteral("0"));
    parser.addOptions({clients, cycles, workers, think, pg});
    parser.process(app);
    const int clientCount = std::max(1, parser.value(clients).toInt());
    const int cycleCount = std::max(1, parser.value(cycles).toInt());
    const int workerCount = std::max(1, parser.value(workers).toInt());
    const int thinkMs = std::max(0, parser.value(think).toInt());
    if (parser.isSet(pg))
        qputenv("SERVTRAN_TEST_PG", parser.value(pg).toUtf8());

    try {
        // The durable setting the server runs with, then the old one that may lose the last commits to a
        // power cut, each on a file of its own on the same disk (TMPDIR: put it where the database lives).
        QTemporaryDir dir, normalDir;
        report("SQLite, synchronous = FULL", freshDemoDatabase(QStringLiteral("sqlite"), dir), clientCount, cycleCount,
               workerCount, thinkMs);
        report("SQLite, synchronous = NORMAL",
               freshDemoDatabase(QStringLiteral("sqlite"), normalDir) + QStringLiteral("?synchronous=normal"), clientCount,
               cycleCount, workerCount, thinkMs);
        if (!qEnvironmentVariableIsEmpty("SERVTRAN_TEST_PG"))
            report("PostgreSQL", freshDemoDatabase(QStringLiteral("postgres"), dir), clientCount, cycleCount, workerCount,
                   thinkMs);
        else
            std::printf("\nPostgreSQL: skipped (give --pg or set SERVTRAN_TEST_PG)\n");
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_load: %s\n", e.what());
        return 1;
    }
    return 0;
}
