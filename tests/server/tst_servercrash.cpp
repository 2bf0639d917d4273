// The server killed (SIGKILL) at random moments while clients save: after each restart every
// save it acknowledged is stored whole, no label lacks its row, and the database is sound.

#include "testsupport.h"

#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <atomic>
#include <mutex>
#include <thread>

using namespace servertest;

namespace {

const QDate kCrashDay = demoDay().addDays(30);
constexpr int kRounds = 5, kClients = 4, kLabelsPerRow = 5;

QString rowNumber(int round, int client, int seq)
{
    return QStringLiteral("%1%2%3").arg(round).arg(client, 2, 10, QLatin1Char('0')).arg(seq, 7, 10, QLatin1Char('0'));
}

// What the clients were told was saved.
struct Acknowledged {
    std::mutex mutex;
    QStringList rows;      // SetServTran answered success
    QStringList labelled;  // CalcEtiqueta answered success
};

// Saves rows and their labels until the server goes away.
void saveUntilKilled(quint16 port, int round, int client, Acknowledged &acked)
{
    try {
        TestClient c(port);
        for (int seq = 0;; ++seq) {
            const QString number = rowNumber(round, client, seq);
            QVariantMap dish = newDish(number, QStringLiteral("0000102"), QStringLiteral("004"), QStringLiteral("1010010002"));
            dish[QStringLiteral("DTSERVTRAN")] = day(kCrashDay);
            if (!c.text(QStringLiteral("SetServTran"), {dishDelta({{protocol::RowChange::Inserted, dish, {}}})}).isEmpty())
                return;
            {
                std::lock_guard lock(acked.mutex);
                acked.rows << number;
            }
            const QString labels = c.text(QStringLiteral("CalcEtiqueta"),
                                          {QStringLiteral("0001"), QStringLiteral("00001"), QStringLiteral("004"), number,
                                           QStringLiteral("0000102"), QStringLiteral("XXXX"), day(kCrashDay), QStringLiteral("P"),
                                           QStringLiteral("1010010002"), 4.0, 4.0, 2.5, 1.0, 4.0, 1.0});
            if (!labels.isEmpty())
                return;
            std::lock_guard lock(acked.mutex);
            acked.labelled << number;
        }
    } catch (const std::exception &) {
        // the server was killed: the call in flight was not acknowledged
    }
}

} // namespace

class TestServerCrash : public QObject {
    Q_OBJECT
private slots:
    void killedWhileSaving_data() { addBackendRows(); }
    void killedWhileSaving();
};

void TestServerCrash::killedWhileSaving()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    QTemporaryDir dir;
    const QString connection = freshDemoDatabase(backend, dir);
    Acknowledged acked;
    QRandomGenerator random(16);
    for (int round = 1; round <= kRounds; ++round) {
        ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE), serving(connection));
        const quint16 port = server.waitUntilServing();
        QVERIFY2(port != 0, "the server did not start again after being killed");
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c)
            clients.emplace_back(saveUntilKilled, port, round, c, std::ref(acked));
        QThread::msleep(50 + random.bounded(250));
        server.kill();
        for (std::thread &t : clients)
            t.join();
    }
    QVERIFY2(acked.rows.size() > kRounds, "too few saves were acknowledged to tell anything");
    qInfo("%lld rows and %lld label sets acknowledged over %d kills", qlonglong(acked.rows.size()),
          qlonglong(acked.labelled.size()), kRounds);

    server::Database db(connection);
    const QVariantMap onDay = {{QStringLiteral("D"), kCrashDay}};
    QSet<QString> stored;
    for (const QVariantList &row : rows(db, QStringLiteral("SELECT NRSERVTRAN FROM SERVTRAN WHERE DTSERVTRAN = :D"), onDay))
        stored.insert(row.value(0).toString());
    for (const QString &number : std::as_const(acked.rows))
        QVERIFY2(stored.contains(number), qPrintable(QStringLiteral("acknowledged row %1 is missing").arg(number)));

    QMap<QString, qint64> labels;
    for (const QVariantList &row : rows(db, QStringLiteral("SELECT NRSERVTRAN, COUNT(*) FROM ETIQSERVTRAN WHERE DTSERVTRAN = :D "
                                                           "GROUP BY NRSERVTRAN"), onDay))
        labels.insert(row.value(0).toString(), row.value(1).toLongLong());
    for (const QString &number : std::as_const(acked.labelled))
        QCOMPARE(labels.value(number), qint64(kLabelsPerRow));
    for (auto it = labels.cbegin(); it != labels.cend(); ++it)
        QVERIFY2(it.value() == kLabelsPerRow, qPrintable(QStringLiteral("row %1 has %2 labels").arg(it.key()).arg(it.value())));

    QCOMPARE(scalar(db, QStringLiteral(
                 "SELECT COUNT(*) FROM ETIQSERVTRAN E LEFT JOIN SERVTRAN S ON S.CDFILIAL = E.CDFILIAL "
                 "AND S.CDSERVFILI = E.CDSERVFILI AND S.DTSERVTRAN = E.DTSERVTRAN AND S.CDDIETPADST = E.CDDIETPADST "
                 "AND S.NRSERVTRAN = E.NRSERVTRAN WHERE S.NRSERVTRAN IS NULL")).toLongLong(),
             0);
    if (backend == QLatin1String("sqlite"))
        QCOMPARE(scalar(db, QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
}

QTEST_GUILESS_MAIN(TestServerCrash)
#include "tst_servercrash.moc"
