// How long the screen waits for a big day: GetDados over loopback against reading the same rows
// with plain SQL from the same SQLite file. A day of 500 delivery points x 20 dishes x 5 labels.
//
//   bench_getdados [runs]      (default 7; prints the median of the runs)

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

namespace {

constexpr int kClients = 50, kPointsPerClient = 10, kDishes = 20, kLabels = 5;
const QDate kDay(2026, 12, 9);

void seed(server::Database &db)
{
    server::Transaction transaction(db);
    server::Query client(db, QStringLiteral("INSERT INTO CLIENTE (CDCLIENTE, NRINSJURCLIE, IDTPIJURCLIE, NMRAZSOCCLIE) "
                                            "VALUES (:C, :N, 'J', :R)"));
    for (int c = 0; c < kClients; ++c) {
        client.bind(QStringLiteral("C"), QStringLiteral("B%1").arg(c, 6, 10, QLatin1Char('0')))
            .bind(QStringLiteral("N"), server::cnpj(QStringLiteral("%1").arg(10000000 + c).append(QStringLiteral("0001"))))
            .bind(QStringLiteral("R"), QStringLiteral("Cliente de carga %1").arg(c, 3, 10, QLatin1Char('0')));
        client.exec();
    }
    server::Query point(db, QStringLiteral("INSERT INTO DESTFILI (CDFILIAL, CDDESTFILI, NMDESTFILI) VALUES ('0001', :P, :N)"));
    for (int p = 7; p <= kPointsPerClient; ++p) {   // 001..006 are in the demo data
        point.bind(QStringLiteral("P"), QStringLiteral("%1").arg(p, 3, 10, QLatin1Char('0')))
            .bind(QStringLiteral("N"), QStringLiteral("Ponto %1").arg(p));
        point.exec();
    }
    server::Query row(db, QStringLiteral(
        "INSERT INTO SERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, CDCLIENTE, CDDESTFILI, CDPRATO, "
        "CDFILAUXPRAT, NMPRATO, SGUNIDADE, QTCOMECLIST, QTEFETCLIST, QTCOMESTIST, QTPADRAOST, QTCONTAIST, QTTOTAPRATST, "
        "QTTOTACONTST, QTCONTCOMPST, QTPARCPRATST, VRPECONSST, QTAMOSTRAST, QTCONTCOMPSTCAMOS, QTTOTACONTSTCAMOS) VALUES "
        "('0001', '00002', :D, 'XXXX', :NR, :C, :P, :PRATO, 'P', 'Prato', 'KG', 100, 90, 90, 0.25, 5, 22.5, 5, 4, 2.5, 10, "
        "0.3, 4, 5)"));
    server::Query label(db, QStringLiteral(
        "INSERT INTO ETIQSERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, CDCLIENTE, CDDESTFILI, "
        "CDPRATO, CDFILAUXPRAT, NRSEQUETIQTR, QTPRATETIQTR) VALUES ('0001', '00002', :D, 'XXXX', :NR, :C, :P, :PRATO, 'P', :SEQ, 5)"));
    row.bindDate(QStringLiteral("D"), kDay);
    label.bindDate(QStringLiteral("D"), kDay);
    int number = 0;
    for (int c = 0; c < kClients; ++c) {
        for (int p = 1; p <= kPointsPerClient; ++p) {
            for (int d = 0; d < kDishes; ++d) {
                const QString nr = QStringLiteral("%1").arg(++number, 10, 10, QLatin1Char('0'));
                const QString clientCode = QStringLiteral("B%1").arg(c, 6, 10, QLatin1Char('0'));
                const QString pointCode = QStringLiteral("%1").arg(p, 3, 10, QLatin1Char('0'));
                const QString dish = QStringLiteral("90%1").arg(d, 8, 10, QLatin1Char('0'));
                for (server::Query *q : {&row, &label})
                    q->bind(QStringLiteral("NR"), nr).bind(QStringLiteral("C"), clientCode)
                        .bind(QStringLiteral("P"), pointCode).bind(QStringLiteral("PRATO"), dish);
                row.exec();
                for (int l = 1; l <= kLabels; ++l) {
                    label.bind(QStringLiteral("SEQ"), QStringLiteral("%1").arg(l, 4, 10, QLatin1Char('0')));
                    label.exec();
                }
            }
        }
    }
    transaction.commit();
}

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
        seed(db);
        std::printf("seeded %d points x %d dishes x %d labels in %lld ms\n", kClients * kPointsPerClient, kDishes,
                    kLabels, seeding.elapsed());
    }

    server::ServerThread serverThread(connection);
    servertest::TestClient client(serverThread.port());
    server::Database db(connection);
    QList<double> remote, plain;
    qsizetype rows = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        // as the screen loads it: the reply, then each packet decoded whole
        const QVariantList packets = client.payload(QStringLiteral("GetDados"), {QStringLiteral("0001"), QStringLiteral("00002"),
                                                                                  servertest::day(kDay)}).toList();
        QList<protocol::PacketContent> day4;
        for (const QVariant &packet : packets)
            day4 << protocol::decodePacket(packet.value<protocol::DataPacket>());
        remote << t.nsecsElapsed() / 1e6;
        rows = day4[0].rows.size() + day4[1].rows.size() + day4[2].rows.size();
        if (day4[0].rows.size() != kClients * kPointsPerClient || day4[2].rows.size() != kClients * kPointsPerClient * kDishes * kLabels) {
            std::fprintf(stderr, "unexpected day: %lld points, %lld labels\n", qlonglong(day4[0].rows.size()),
                         qlonglong(day4[2].rows.size()));
            return 1;
        }
        t.restart();
        readPlain(db);
        plain << t.nsecsElapsed() / 1e6;
    }
    std::printf("GetDados over loopback, packets decoded:     %8.1f ms (median of %d, %lld rows)\n", median(remote), runs,
                qlonglong(rows));
    std::printf("plain SQL, same rows from the same file:     %8.1f ms (median of %d)\n", median(plain), runs);
    std::printf("ratio: %.2f\n", median(remote) / median(plain));
    return 0;
}
