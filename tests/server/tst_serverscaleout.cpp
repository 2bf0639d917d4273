// Scale-out: two servtran-server processes on one database, clients saving through both at once on
// the same day. The servers keep nothing between calls, so the only arbiter of a row number is the
// database: every acknowledged save is stored exactly once, with its labels, and no save is stored
// that was not acknowledged.

#include "testsupport.h"

#include <QTest>

#include <mutex>
#include <thread>

using namespace servertest;

namespace {

constexpr int kServers = 2, kClientsPerServer = 3, kSavesPerClient = 6, kLabelsPerRow = 5;
const QDate kDay = demoDay().addDays(60);
const QString kClient = QStringLiteral("0000102");

// What a client saves: a point and dish of its own per save, so that each save can be found again.
QString pointOf(int client, int save) { return QStringLiteral("%1%2").arg(client).arg(save, 2, 10, QLatin1Char('0')); }

struct Saves {
    std::mutex mutex;
    QStringList acknowledged;   // points whose SetServTran and CalcEtiqueta were answered success
    QStringList errors;
    int refusedNumbers = 0;     // a number the other server's client took first: asked again
};

// A user of one server: asks for the next number, saves, labels; a taken number is asked again.
void saveThrough(quint16 port, int client, Saves &saves)
{
    try {
        TestClient c(port);
        const QVariantList day = {QStringLiteral("0001"), QStringLiteral("00001"), servertest::day(kDay)};
        for (int save = 0, attempts = 0; save < kSavesPerClient; ++attempts) {
            if (attempts > 100 * kSavesPerClient)
                throw std::runtime_error("a number was refused too many times");
            const QString highest = table(c.payload(QStringLiteral("GetSeqServTran"), day + QVariantList{QStringLiteral("XXXX")}))
                                        .rows.value(0).value(QStringLiteral("SEQUSERV")).toString();
            const QString number = QStringLiteral("%1").arg(highest.toLongLong() + 1, 10, 10, QLatin1Char('0'));
            const QString point = pointOf(client, save);
            QVariantMap dish = newDish(number, kClient, point, QStringLiteral("1010010002"));
            dish[QStringLiteral("DTSERVTRAN")] = servertest::day(kDay);
            if (!c.text(QStringLiteral("SetServTran"), {dishDelta({{protocol::RowChange::Inserted, dish, {}}})}).isEmpty()) {
                std::lock_guard lock(saves.mutex);
                ++saves.refusedNumbers;
                continue;
            }
            const QString labels = c.text(QStringLiteral("CalcEtiqueta"),
                                          {QStringLiteral("0001"), QStringLiteral("00001"), point, number, kClient,
                                           QStringLiteral("XXXX"), servertest::day(kDay), QStringLiteral("P"),
                                           QStringLiteral("1010010002"), 4.0, 4.0, 2.5, 1.0, 4.0, 1.0});
            if (!labels.isEmpty())
                throw std::runtime_error(labels.toStdString());
            std::lock_guard lock(saves.mutex);
            saves.acknowledged << point;
            ++save;
        }
    } catch (const std::exception &e) {
        std::lock_guard lock(saves.mutex);
        saves.errors << QStringLiteral("client %1: %2").arg(client).arg(QString::fromUtf8(e.what()));
    }
}

} // namespace

class TestServerScaleOut : public QObject {
    Q_OBJECT
private slots:
    void twoServerProcessesOneDatabase_data() { addBackendRows(); }
    void twoServerProcessesOneDatabase();
};

void TestServerScaleOut::twoServerProcessesOneDatabase()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    QTemporaryDir dir;
    const QString connection = freshDemoDatabase(backend, dir);
    std::vector<std::unique_ptr<ServerProcess>> servers;
    QList<quint16> ports;
    for (int s = 0; s < kServers; ++s) {
        servers.push_back(std::make_unique<ServerProcess>(QStringLiteral(SERVTRAN_SERVER_EXE),
                                                          serving(connection, {QStringLiteral("--workers"), QStringLiteral("2")})));
        ports << servers.back()->waitUntilServing();
        QVERIFY2(ports.back() != 0, "a server process did not start");
    }
    QVERIFY(servers[0]->pid() != servers[1]->pid());

    Saves saves;
    std::vector<std::thread> clients;
    for (int client = 0; client < kServers * kClientsPerServer; ++client)
        clients.emplace_back(saveThrough, ports[client % kServers], client, std::ref(saves));
    for (std::thread &t : clients)
        t.join();
    QVERIFY2(saves.errors.isEmpty(), qPrintable(saves.errors.join(u'\n')));
    QCOMPARE(saves.acknowledged.size(), kServers * kClientsPerServer * kSavesPerClient);
    qInfo("%lld saves through %d server processes, %d numbers taken by the other side first",
          qlonglong(saves.acknowledged.size()), kServers, saves.refusedNumbers);

    server::Database db(connection);
    const QVariantMap onDay = {{QStringLiteral("D"), kDay}};
    QMap<QString, int> stored;   // point -> rows
    QSet<QString> numbers;
    for (const QVariantList &row : rows(db, QStringLiteral("SELECT CDDESTFILI, NRSERVTRAN FROM SERVTRAN WHERE DTSERVTRAN = :D"),
                                        onDay)) {
        ++stored[row.value(0).toString()];
        numbers.insert(row.value(1).toString());
    }
    for (const QString &point : std::as_const(saves.acknowledged))
        QVERIFY2(stored.value(point) == 1,
                 qPrintable(QStringLiteral("save at point %1 is stored %2 times").arg(point).arg(stored.value(point))));
    QCOMPARE(stored.size(), saves.acknowledged.size());   // nothing stored that was not acknowledged
    QCOMPARE(numbers.size(), saves.acknowledged.size());
    QCOMPARE(scalar(db, QStringLiteral("SELECT MAX(NRSERVTRAN) FROM SERVTRAN WHERE DTSERVTRAN = :D"), onDay).toString(),
             QStringLiteral("%1").arg(saves.acknowledged.size(), 10, 10, QLatin1Char('0')));
    QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM ETIQSERVTRAN WHERE DTSERVTRAN = :D"), onDay).toLongLong(),
             qint64(saves.acknowledged.size()) * kLabelsPerRow);
}

QTEST_GUILESS_MAIN(TestServerScaleOut)
#include "tst_serverscaleout.moc"
