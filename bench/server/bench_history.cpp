// How a long day's history reaches the history window: GetHistorico page after page over loopback,
// against reading the same entries with plain SQL from the same SQLite file. A day of 200,000
// entries, each with the before and after values a changed dish row records.
//
//   bench_history [entries]      (default 200000)

#include "testsupport.h"

#include <protocol/frame.h>
#include <protocol/packet.h>
#include <protocol/remoteresult.h>
#include <protocol/value.h>
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

const QDate kDay = server::demoDay();

void seedHistory(server::Database &db, int entries)
{
    server::Transaction transaction(db);
    server::Query insert(db, QStringLiteral(
        "INSERT INTO HISTSERVTRAN (DTHRALTERACAO, CDOPERADOR, DSENDERECO, NMMETODO, IDALTERACAO, CDFILIAL, CDSERVFILI, "
        "DTSERVTRAN, CDDIETPADST, NRSERVTRAN, CDCLIENTE, CDDESTFILI, CDPRATO, CDFILAUXPRAT, DSANTES, DSDEPOIS) "
        "VALUES (:T, 'ADMIN', '127.0.0.1', 'CalcServTrans', 'A', '0001', '00001', :D, 'XXXX', '0000000001', '0000101', "
        "'001', '1010010001', 'P', :B, :A)"));
    const QString values = QStringLiteral(
        "{\"ETIQUETAS\":\"%1 × 4,000 + 1 × 2,300\",\"QTCOMESTIST\":%1,\"QTCONTCOMPST\":%1,\"QTCONTCOMPSTCAMOS\":%1,"
        "\"QTPARCPRATST\":2.3,\"QTTOTACONTST\":%2,\"QTTOTACONTSTCAMOS\":%2,\"QTTOTAPRATST\":%3}");
    const QVariant moment = db.toSql(QDateTime::currentDateTimeUtc());
    for (int i = 0; i < entries; ++i) {
        insert.bind(QStringLiteral("T"), moment)
            .bindDate(QStringLiteral("D"), kDay)
            .bind(QStringLiteral("B"), values.arg(i % 500).arg(i % 500 + 1).arg((i % 500) * 4 + 2.3))
            .bind(QStringLiteral("A"), values.arg(i % 500 + 1).arg(i % 500 + 2).arg((i % 500 + 1) * 4 + 2.3));
        insert.exec();
    }
    transaction.commit();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int entries = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 200000;
    QTemporaryDir dir;
    const QString connection = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("bench.db"));
    {
        server::Database db(connection);
        server::createSchema(db);
        server::loadDemoData(db);
        QElapsedTimer seeding;
        seeding.start();
        seedHistory(db, entries);
        std::printf("seeded %d history entries in %lld ms\n", entries, seeding.elapsed());
    }

    server::ServerThread serverThread(connection);
    servertest::TestClient client(serverThread.port());
    const QVariantList dayArgs = {QStringLiteral("0001"), QStringLiteral("00001"), servertest::day(kDay)};

    // as the history window reads it: page after page, each decoded, until an empty one
    QElapsedTimer t;
    t.start();
    qint64 read = 0, largestReply = 0, allReplies = 0;
    int pages = 0;
    double after = 0;
    for (;;) {
        const QVariantList args = dayArgs + QVariantList{after};
        const QByteArray request = protocol::frame(protocol::encodeRequest({servertest::serverName(),
                                                                            QStringLiteral("GetHistorico"), args}));
        client.send(request);
        const protocol::Reply reply = client.receive();
        const QByteArray replyBytes = protocol::encodeReply(reply);
        largestReply = std::max<qint64>(largestReply, replyBytes.size());
        allReplies += replyBytes.size();
        const protocol::PacketContent page =
            protocol::decodePacket(protocol::resultPayload(reply.value).value<protocol::DataPacket>());
        if (page.rows.isEmpty())
            break;
        ++pages;
        read += page.rows.size();
        after = page.rows.last().values.last().toDouble();
    }
    const double paged = t.nsecsElapsed() / 1e6;

    // the same entries with plain SQL, every value touched
    server::Database db(connection);
    t.restart();
    qint64 plainRows = 0, plainChars = 0;
    {
        server::Query q(db, QStringLiteral("SELECT * FROM HISTSERVTRAN WHERE CDFILIAL = '0001' AND CDSERVFILI = '00001' "
                                           "AND DTSERVTRAN = :D ORDER BY NRHISTSERVTRAN"));
        q.bindDate(QStringLiteral("D"), kDay);
        q.exec();
        const int columns = q.columnCount();
        while (q.next()) {
            ++plainRows;
            for (int i = 0; i < columns; ++i)
                plainChars += q.value(i).toString().size();
        }
    }
    const double plain = t.nsecsElapsed() / 1e6;

    std::printf("GetHistorico page by page, decoded:   %8.1f ms, %lld entries in %d pages\n", paged, qlonglong(read), pages);
    std::printf("  largest reply: %.2f MiB; all replies: %.2f MiB (frame limit %.0f MiB)\n", largestReply / 1048576.0,
                allReplies / 1048576.0, protocol::kMaxFrameSize / 1048576.0);
    std::printf("plain SQL, same entries, same file:   %8.1f ms, %lld entries, %.2f Mi characters\n", plain,
                qlonglong(plainRows), plainChars / 1048576.0);
    std::printf("ratio: %.2f\n", paged / plain);
    return read == plainRows ? 0 : 1;
}
