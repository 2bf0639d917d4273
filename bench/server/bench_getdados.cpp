// How long the screen waits for a big day: GetDados over loopback against reading the same rows
// with plain SQL (QtSql) from the same SQLite file, and against the floor: SQLite's own C API
// stepping through the rows GetDados reads, in its order, every cell's bytes touched.
// A day of 500 delivery points x 20 dishes x 5 labels.
//
//   bench_getdados [runs]      (default 7; prints the median of the runs)

#include "dayfloor.h"
#include "testsupport.h"

#include <server/database.h>
#include <server/demo.h>
#include <server/schema.h>
#include <server/serverthread.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <future>

namespace {

const servertest::LargeDay kShape;
const QDate kDay = kShape.date;

// The same rows read straight from the database, every value touched.
qint64 readPlain(server::Database &db)
{
    qint64 values = 0;
    const QStringList statements = {
        QStringLiteral("SELECT S.CDCLIENTE, C.NMRAZSOCCLIE, S.CDDESTFILI, D.NMDESTFILI, MAX(S.QTCOMECLIST), MAX(S.QTEFETCLIST) "
                       "FROM SERVTRAN S LEFT JOIN CLIENTE C ON C.CDCLIENTE = S.CDCLIENTE "
                       "LEFT JOIN DESTFILI D ON D.CDFILIAL = S.CDFILIAL AND D.CDDESTFILI = S.CDDESTFILI "
                       "WHERE S.CDFILIAL = '0001' AND S.CDSERVFILI = '00002' AND S.DTSERVTRAN = :D "
                       "GROUP BY S.CDCLIENTE, C.NMRAZSOCCLIE, S.CDDESTFILI, D.NMDESTFILI"),
        QStringLiteral("SELECT * FROM SERVTRAN WHERE CDFILIAL = '0001' AND CDSERVFILI = '00002' AND DTSERVTRAN = :D"),
        QStringLiteral("SELECT * FROM ETIQSERVTRAN WHERE CDFILIAL = '0001' AND CDSERVFILI = '00002' AND DTSERVTRAN = :D"),
        QStringLiteral("SELECT QTCOMESTICAR FROM COMESERV WHERE CDFILIAL = '0001' AND CDSERVFILI = '00002' AND DTSERVTRAN = :D")};
    for (const QString &sql : statements) {
        server::Query q(db, sql);
        q.bindDate(QStringLiteral("D"), kDay);
        q.exec();
        const int columns = q.columnCount();
        while (q.next())
            for (int i = 0; i < columns; ++i)
                values += q.value(i).isNull() ? 0 : 1;
    }
    return values;
}

double median(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 7;
    QTemporaryDir dir;
    const QString connection = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("bench.db"));
    {
        server::Database db(connection);
        server::createSchema(db);
        server::loadDemoData(db);
        QElapsedTimer seeding;
        seeding.start();
        servertest::seedLargeDay(db, kShape);
        std::printf("seeded %d points x %d dishes x %d labels in %lld ms\n", kShape.points(), kShape.dishes,
                    kShape.labels, seeding.elapsed());
    }

    server::ServerThread serverThread(connection);
    servertest::TestClient client(serverThread.port());
    server::Database db(connection);
    sqlite3 *floorConnection = benchfloor::openFloor(dir.filePath(QStringLiteral("bench.db")));
    const QList<QByteArray> statements = benchfloor::dayStatements();
    QList<double> remote, plain, decoding, floor;
    quint64 touched = 0;
    qsizetype rows = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        // as the screen loads it: the reply, then each packet checked whole, its rows indexed for
        // the dataset to decode as it reads them; the labels, the largest, on a thread of their own
        const QVariantList packets = client.payload(QStringLiteral("GetDados"), {QStringLiteral("0001"), QStringLiteral("00002"),
                                                                                  servertest::day(kDay)}).toList();
        const qint64 replied = t.nsecsElapsed();
        const auto index = [&packets](int i) { return protocol::indexPacket(packets.value(i).value<protocol::DataPacket>()); };
        std::future<protocol::PacketContent> labels = std::async(std::launch::async, index, 2);
        QList<protocol::PacketContent> day4 = {index(0), index(1)};
        day4 << labels.get() << index(3);
        remote << t.nsecsElapsed() / 1e6;
        decoding << (t.nsecsElapsed() - replied) / 1e6;
        const auto rowsOf = [&](int packet) { return day4[packet].cells->rowCount(); };
        rows = rowsOf(0) + rowsOf(1) + rowsOf(2);
        if (rowsOf(0) != kShape.points() || rowsOf(2) != kShape.rows() * kShape.labels) {
            std::fprintf(stderr, "unexpected day: %lld points, %lld labels\n", qlonglong(rowsOf(0)), qlonglong(rowsOf(2)));
            return 1;
        }
        t.restart();
        readPlain(db);
        plain << t.nsecsElapsed() / 1e6;
        t.restart();
        touched += benchfloor::readFloor(floorConnection, statements, kDay);
        floor << t.nsecsElapsed() / 1e6;
    }
    sqlite3_close(floorConnection);
    std::printf("GetDados over loopback, packets checked:     %8.1f ms (median of %d, %lld rows)\n", median(remote), runs,
                qlonglong(rows));
    std::printf("  of which the client checking the packets:  %8.1f ms (median of %d)\n", median(decoding), runs);
    std::printf("plain SQL, same rows from the same file:     %8.1f ms (median of %d)\n", median(plain), runs);
    std::printf("floor, SQLite's C API over the same rows:    %8.1f ms (median of %d; checksum %llu)\n", median(floor), runs,
                static_cast<unsigned long long>(touched % 1000));
    std::printf("ratio to plain SQL: %.2f\n", median(remote) / median(plain));
    std::printf("ratio to the floor: %.2f\n", median(remote) / median(floor));
    return 0;
}
