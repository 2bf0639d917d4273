// How long the screen waits for a big day: GetDados over loopback against reading the same rows
// with plain SQL (QtSql) from the same SQLite file, and against the floor: SQLite's own C API
// stepping through the rows GetDados reads, in its order, every cell's bytes touched.
// A day of 500 delivery points x 20 dishes x 5 labels.
//
//   bench_getdados [runs]      (default 7; prints the median of the runs)

#include "testsupport.h"

#include <server/database.h>
#include <server/demo.h>
#include <server/schema.h>
#include <server/serverthread.h>
#include <rules/packetfields.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>

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

// The statements GetDados runs on SQLite, with their joins and orders.
QList<QByteArray> dayStatements()
{
    const QByteArray dayCondition = "S.CDFILIAL = '0001' AND S.CDSERVFILI = '00002' AND S.DTSERVTRAN = ?1";
    QByteArrayList dishColumns, labelColumns;
    for (const protocol::PacketField &f : rules::fields::servTran()) {
        if (f.name == QLatin1String("NMPRATO"))
            dishColumns << "COALESCE(P.NMPRATO, S.NMPRATO)";
        else if (f.name == QLatin1String("SGUNIDADE"))
            dishColumns << "COALESCE(S.SGUNIDADE, P.SGUNIDADE)";
        else
            dishColumns << "S." + f.name.toUtf8();
    }
    for (const protocol::PacketField &f : rules::fields::etiqueta())
        labelColumns << "S." + f.name.toUtf8();
    return {
        "SELECT S.CDCLIENTE, C.NMRAZSOCCLIE, S.CDDESTFILI, D.NMDESTFILI, S.CDFILIAL, S.DTSERVTRAN, "
        "       S.CDSERVFILI, C.NRINSJURCLIE, C.IDTPIJURCLIE, MAX(S.QTCOMECLIST), MAX(S.QTEFETCLIST) "
        "FROM SERVTRAN S LEFT JOIN CLIENTE C ON C.CDCLIENTE = S.CDCLIENTE "
        "LEFT JOIN DESTFILI D ON D.CDFILIAL = S.CDFILIAL AND D.CDDESTFILI = S.CDDESTFILI WHERE " + dayCondition +
            " GROUP BY S.CDCLIENTE, C.NMRAZSOCCLIE, S.CDDESTFILI, D.NMDESTFILI, S.CDFILIAL, S.DTSERVTRAN, "
            "         S.CDSERVFILI, C.NRINSJURCLIE, C.IDTPIJURCLIE "
            "ORDER BY COALESCE(C.NMRAZSOCCLIE, ''), S.CDCLIENTE, S.CDDESTFILI",
        "SELECT " + dishColumns.join(", ") + " FROM SERVTRAN S "
            "LEFT JOIN PRATO P ON P.CDPRATO = S.CDPRATO AND P.CDFILAUXPRAT = S.CDFILAUXPRAT WHERE " + dayCondition +
            " ORDER BY S.CDCLIENTE, S.CDDESTFILI, S.NRSERVTRAN, S.CDDIETPADST",
        "SELECT " + labelColumns.join(", ") + " FROM ETIQSERVTRAN S WHERE " + dayCondition +
            " ORDER BY S.CDFILIAL, S.CDSERVFILI, S.DTSERVTRAN, S.CDDIETPADST, S.NRSERVTRAN, S.NRSEQUETIQTR",
        "SELECT S.QTCOMESTICAR FROM COMESERV S WHERE " + dayCondition};
}

// The floor: SQLite's C API on a connection of its own (one thread, no mutex, as the workers'
// connections), in one read transaction like GetDados, stepping through the day's rows; every
// text's bytes are summed, every number read.
quint64 readFloor(sqlite3 *connection, const QList<QByteArray> &statements)
{
    quint64 touched = 0;
    const QByteArray day = kDay.toString(Qt::ISODate).toUtf8();
    sqlite3_exec(connection, "BEGIN", nullptr, nullptr, nullptr);
    for (const QByteArray &sql : statements) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(connection, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "floor: %s\n", sqlite3_errmsg(connection));
            std::exit(1);
        }
        sqlite3_bind_text(statement, 1, day.constData(), int(day.size()), SQLITE_STATIC);
        const int columns = sqlite3_column_count(statement);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            for (int i = 0; i < columns; ++i) {
                switch (sqlite3_column_type(statement, i)) {
                case SQLITE_NULL: break;
                case SQLITE_TEXT: {
                    const unsigned char *text = sqlite3_column_text(statement, i);
                    const int size = sqlite3_column_bytes(statement, i);
                    for (int b = 0; b < size; ++b)
                        touched += text[b];
                    break;
                }
                default: touched += quint64(sqlite3_column_double(statement, i)); break;
                }
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_exec(connection, "COMMIT", nullptr, nullptr, nullptr);
    return touched;
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
    sqlite3 *floorConnection = nullptr;
    if (sqlite3_open_v2(dir.filePath(QStringLiteral("bench.db")).toUtf8().constData(), &floorConnection,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "floor: cannot open the file\n");
        return 1;
    }
    const QList<QByteArray> statements = dayStatements();
    QList<double> remote, plain, decoding, floor;
    quint64 touched = 0;
    qsizetype rows = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        // as the screen loads it: the reply, then each packet decoded whole
        const QVariantList packets = client.payload(QStringLiteral("GetDados"), {QStringLiteral("0001"), QStringLiteral("00002"),
                                                                                  servertest::day(kDay)}).toList();
        const qint64 replied = t.nsecsElapsed();
        QList<protocol::PacketContent> day4;
        for (const QVariant &packet : packets)
            day4 << protocol::decodePacket(packet.value<protocol::DataPacket>());
        remote << t.nsecsElapsed() / 1e6;
        decoding << (t.nsecsElapsed() - replied) / 1e6;
        rows = day4[0].rows.size() + day4[1].rows.size() + day4[2].rows.size();
        if (day4[0].rows.size() != kShape.points() || day4[2].rows.size() != kShape.rows() * kShape.labels) {
            std::fprintf(stderr, "unexpected day: %lld points, %lld labels\n", qlonglong(day4[0].rows.size()),
                         qlonglong(day4[2].rows.size()));
            return 1;
        }
        t.restart();
        readPlain(db);
        plain << t.nsecsElapsed() / 1e6;
        t.restart();
        touched += readFloor(floorConnection, statements);
        floor << t.nsecsElapsed() / 1e6;
    }
    sqlite3_close(floorConnection);
    std::printf("GetDados over loopback, packets decoded:     %8.1f ms (median of %d, %lld rows)\n", median(remote), runs,
                qlonglong(rows));
    std::printf("  of which the client decoding the packets:  %8.1f ms (median of %d)\n", median(decoding), runs);
    std::printf("plain SQL, same rows from the same file:     %8.1f ms (median of %d)\n", median(plain), runs);
    std::printf("floor, SQLite's C API over the same rows:    %8.1f ms (median of %d; checksum %llu)\n", median(floor), runs,
                static_cast<unsigned long long>(touched % 1000));
    std::printf("ratio to plain SQL: %.2f\n", median(remote) / median(plain));
    std::printf("ratio to the floor: %.2f\n", median(remote) / median(floor));
    return 0;
}
