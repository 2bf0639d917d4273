// The schema's version at start: a database of the release before versions, or of the release
// before the cold chain's tables, is upgraded with every row, label and history entry kept, after a
// copy of it was taken; a newer one is refused; an
// upgrade that fails or is killed half-way leaves the old database as it was.
// And `--backup`: a copy taken while clients save is sound and holds every save acknowledged
// before it started.

#include "testsupport.h"

#include <server/demo.h>
#include <server/passwords.h>
#include <server/schema.h>

#include <QDir>
#include <QFile>
#include <QTest>
#include <QThread>

#include <atomic>
#include <mutex>
#include <thread>

using namespace servertest;

namespace {

// The old schema's statements, split as the server splits its own files.
void runSqlFile(server::Database &db, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        QTest::qFail(qPrintable(QStringLiteral("cannot read ") + path), __FILE__, __LINE__);
    QString statement;
    for (QString line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        line.truncate(line.indexOf(QLatin1String("--")) >= 0 ? line.indexOf(QLatin1String("--")) : line.size());
        statement += line + QLatin1Char('\n');
        if (line.trimmed().endsWith(QLatin1Char(';'))) {
            db.execute(statement.trimmed().chopped(1));
            statement.clear();
        }
    }
}

// A database as a previous release left it (schema version 1 to 4): its schema, the demo data, a
// day of 200 rows with 600 labels, and entries of the history of changes, or no such table at all,
// as before it existed.
QString previousReleaseDatabase(const QString &backend, const QTemporaryDir &dir, bool withHistory, int version = 1)
{
    const QString connection = emptyDatabase(backend, dir);
    server::Database db(connection);
    if (backend == QLatin1String("postgres"))
        db.execute(QStringLiteral("DROP VIEW IF EXISTS VERSAOBANCO"));
    runSqlFile(db, version == 1 ? QStringLiteral(SERVTRAN_PREVIOUS_SCHEMA_DIR "/schema-%1.sql").arg(backend)
                                : QStringLiteral(SERVTRAN_PREVIOUS_SCHEMA_DIR "/schema-%1-%2.sql").arg(version).arg(backend));
    // the tables of later releases stand only while today's demo loads: that of the operators'
    // passwords (version 2) and the cold chain's (version 3)
    if (version < 2)
        db.execute(QStringLiteral("CREATE TABLE SENHAOPER (CDOPERADOR VARCHAR(8) NOT NULL PRIMARY KEY, DSHASHSENHA VARCHAR(255) NOT NULL)"));
    if (version < 3)
        runSqlFile(db, QStringLiteral(SERVTRAN_DB_DIR "/upgrade-3-%1.sql").arg(backend));
    server::loadDemoData(db);
    if (version < 3)
        for (const char *table : {"PREPSERVTRAN", "CONSFILI", "CONSPRATO"})
            db.execute(QStringLiteral("DROP TABLE %1").arg(QLatin1String(table)));
    if (version < 2)
        db.execute(QStringLiteral("DROP TABLE SENHAOPER"));
    else
        db.execute(QStringLiteral("INSERT INTO VERSAOBANCO (NRVERSAO) VALUES (%1)").arg(version));
    LargeDay shape;
    shape.clients = 5, shape.pointsPerClient = 4, shape.dishes = 10, shape.labels = 3;
    seedLargeDay(db, shape);
    if (withHistory) {
        server::Query entry(db, QStringLiteral(
            "INSERT INTO HISTSERVTRAN (DTHRALTERACAO, CDOPERADOR, DSENDERECO, NMMETODO, IDALTERACAO, CDFILIAL, CDSERVFILI, "
            "DTSERVTRAN, CDDIETPADST, NRSERVTRAN, CDCLIENTE, CDDESTFILI, CDPRATO, CDFILAUXPRAT, DSANTES, DSDEPOIS) VALUES "
            "(:M, 'ADMIN', '127.0.0.1', 'SetServTran', 'I', '0001', '00001', :D, 'XXXX', :NR, '0000101', '001', '1', 'P', "
            "NULL, '{\"QTPADRAOST\":0.2}')"));
        for (int i = 1; i <= 3; ++i) {
            entry.bind(QStringLiteral("M"), db.toSql(QDateTime(demoDay(), QTime(9, i), Qt::UTC)))
                .bindDate(QStringLiteral("D"), demoDay())
                .bind(QStringLiteral("NR"), QStringLiteral("%1").arg(i, 10, 10, QLatin1Char('0')));
            entry.exec();
        }
    } else {
        db.execute(QStringLiteral("DROP TABLE HISTSERVTRAN"));
    }
    return connection;
}

bool hasTable(server::Database &db, const QString &table)
{
    try {
        scalar(db, QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

// Every row of the tables whose contents an upgrade must keep, as text, in key order.
QStringList contents(server::Database &db)
{
    QStringList all;
    const QList<std::pair<QString, QString>> tablesByKey = {
        {QStringLiteral("SERVTRAN"), QStringLiteral("1, 2, 3, 4, 5")}, {QStringLiteral("ETIQSERVTRAN"), QStringLiteral("1, 2, 3, 4, 5, 10")},
        {QStringLiteral("COMESERV"), QStringLiteral("1, 2, 3")},       {QStringLiteral("PRATOSERV"), QStringLiteral("1, 2, 3, 4")},
        {QStringLiteral("HISTSERVTRAN"), QStringLiteral("1")}};
    for (const auto &[table, key] : tablesByKey) {
        if (!hasTable(db, table))
            continue;
        for (const QVariantList &row : rows(db, QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(table, key))) {
            QStringList values;
            for (const QVariant &value : row)
                values << (value.isNull() ? QStringLiteral("null") : value.toString());
            all << table + QLatin1Char(':') + values.join(QLatin1Char('|'));
        }
    }
    return all;
}

QStringList copiesIn(const QString &folder, int version = 1)
{
    return QDir(folder).entryList({QStringLiteral("*versao-%1-*").arg(version)}, QDir::Files);
}

} // namespace

class TestServerUpgrade : public QObject {
    Q_OBJECT
private slots:
    void upgradesPreviousRelease_data();
    void upgradesPreviousRelease();
    void refusesNewerSchema_data();
    void refusesNewerSchema();
    void brokenUpgradeLeavesOldDatabase_data() { addBackendRows(); }
    void brokenUpgradeLeavesOldDatabase();
    void killedUpgradeLeavesWholeDatabase_data() { addBackendRows(); }
    void killedUpgradeLeavesWholeDatabase();
    void backupWhileSaving();
};

void TestServerUpgrade::upgradesPreviousRelease_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("withHistory");
    QTest::addColumn<int>("version");
    for (const QString &backend : backends()) {
        newRow(backend, "with the history of changes") << true << 1;
        newRow(backend, "made before the history of changes") << false << 1;
        newRow(backend, "made before the cold chain's tables") << true << 2;
        newRow(backend, "made before the containers' dispatch") << true << 3;
        newRow(backend, "made before the containers' receipt") << true << 4;
    }
}

void TestServerUpgrade::upgradesPreviousRelease()
{
    QFETCH(QString, backend);
    QFETCH(bool, withHistory);
    QFETCH(int, version);
    SKIP_UNLESS_BACKEND(backend);
    QTemporaryDir dir;
    const QString connection = previousReleaseDatabase(backend, dir, withHistory, version);
    QStringList before;
    qint64 historyOfDay = 0;
    {
        server::Database db(connection);
        QCOMPARE(server::schemaVersion(db), version);
        before = contents(db);
        if (withHistory)
            historyOfDay = scalar(db, QStringLiteral("SELECT COUNT(*) FROM HISTSERVTRAN WHERE DTSERVTRAN = :D"),
                                  {{QStringLiteral("D"), demoDay()}}).toLongLong();
    }
    QVERIFY(before.size() > 800);

    {
        ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE), serving(connection), dir.path());
        const quint16 port = server.waitUntilServing();
        QVERIFY2(port != 0, qPrintable(server.log()));
        QVERIFY2(server.log().contains(QStringLiteral("atualizado da versão %1 para a %2").arg(version).arg(server::kSchemaVersion)),
                 qPrintable(server.log()));
        {
            // the upgrade brought the passwords' table; the administrator gives the operator one
            server::Database db(connection);
            server::setOperatorPassword(db, QStringLiteral("ADMIN"), QString::fromLatin1(server::kDemoPassword));
        }
        TestClient client(port);
        const QVariantList dayArgs = {QStringLiteral("0001"), QStringLiteral("00001"), day()};
        QCOMPARE(tables(client.payload(QStringLiteral("GetDados"), dayArgs)).value(1).rows.size(), 9);
        QCOMPARE(table(client.payload(QStringLiteral("GetHistorico"), dayArgs)).rows.size(), historyOfDay);
        // labels made before their preparation was recorded still print, with no preparation time
        const Table labels = table(client.payload(QStringLiteral("GetEtiquetasImpressao"), dayArgs));
        QCOMPARE(labels.rows.size(), 28);
        QVERIFY(labels.names().contains(QStringLiteral("DTHRPREPARO")));
        if (version < 3)
            for (const QVariantMap &row : labels.rows)
                QVERIFY(row.value(QStringLiteral("DTHRPREPARO")).isNull());
        // the containers are there to dispatch, none dispatched yet
        const Table containers = table(client.payload(QStringLiteral("GetExpedicao"), dayArgs));
        QCOMPARE(containers.rows.size(), 28);
        for (const QVariantMap &row : containers.rows)
            QVERIFY(row.value(QStringLiteral("VRTEMPERATURA")).isNull());
        QCOMPARE(server.stop(), 0);
    }

    server::Database db(connection);
    QCOMPARE(server::schemaVersion(db), server::kSchemaVersion);
    QVERIFY(server::hasSchema(db));
    QCOMPARE(contents(db), before);
    QCOMPARE(copiesIn(dir.path(), version).size(), 1);
    if (backend == QLatin1String("sqlite")) {
        // the upgraded file has what a new one has, and the copy is the old one, whole
        const QString objects = QStringLiteral("SELECT type || ' ' || name FROM sqlite_master ORDER BY 1");
        QTemporaryDir freshDir;
        server::Database fresh(freshDemoDatabase(backend, freshDir));
        QCOMPARE(rows(db, objects), rows(fresh, objects));
        server::Database copy(QStringLiteral("sqlite:") + dir.filePath(copiesIn(dir.path(), version).constFirst()));
        QCOMPARE(server::schemaVersion(copy), version);
        QCOMPARE(scalar(copy, QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        QCOMPARE(contents(copy), before);
    }
}

void TestServerUpgrade::refusesNewerSchema_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QStringList>("options");
    for (const QString &backend : backends()) {
        newRow(backend, "serving") << QStringList();
        newRow(backend, "--create-schema") << QStringList{QStringLiteral("--create-schema")};
    }
}

void TestServerUpgrade::refusesNewerSchema()
{
    QFETCH(QString, backend);
    QFETCH(QStringList, options);
    SKIP_UNLESS_BACKEND(backend);
    QTemporaryDir dir;
    const QString connection = freshDemoDatabase(backend, dir);
    QStringList before;
    {
        server::Database db(connection);
        db.execute(QStringLiteral("UPDATE VERSAOBANCO SET NRVERSAO = %1").arg(server::kSchemaVersion + 1));
        before = contents(db);
    }
    ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE), serving(connection, options), dir.path());
    QCOMPARE(server.waitUntilServing(), quint16(0));
    QCOMPARE(server.waitForExit(), 3);
    QVERIFY2(server.log().contains(QStringLiteral("versão %1, mais nova que a versão %2 deste servidor")
                                       .arg(server::kSchemaVersion + 1)
                                       .arg(server::kSchemaVersion)),
             qPrintable(server.log()));
    server::Database db(connection);
    QCOMPARE(server::schemaVersion(db), server::kSchemaVersion + 1);
    QCOMPARE(contents(db), before);
}

// A view in the way of the version table makes the upgrade fail after it has created the history
// table: the whole upgrade must go, the old tables and rows stay.
void TestServerUpgrade::brokenUpgradeLeavesOldDatabase()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    QTemporaryDir dir;
    const QString connection = previousReleaseDatabase(backend, dir, false);
    QStringList before;
    {
        server::Database db(connection);
        db.execute(QStringLiteral("CREATE VIEW VERSAOBANCO AS SELECT CAST(NULL AS INTEGER) AS NRVERSAO WHERE 1 = 0"));
        before = contents(db);
    }
    ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE), serving(connection), dir.path());
    QCOMPARE(server.waitUntilServing(), quint16(0));
    QCOMPARE(server.waitForExit(), 1);
    QVERIFY2(server.log().contains(QStringLiteral("VERSAOBANCO")), qPrintable(server.log()));
    server::Database db(connection);
    QVERIFY(!hasTable(db, QStringLiteral("HISTSERVTRAN")));
    QCOMPARE(server::schemaVersion(db), 1);
    QCOMPARE(contents(db), before);
    db.execute(QStringLiteral("DROP VIEW VERSAOBANCO"));
}

// Killed during its start, the server leaves the old database or the upgraded one, never a
// mixture; the next start finishes the work. The kills come later and later after the copy that
// precedes the upgrade's transaction, so that they fall inside it.
void TestServerUpgrade::killedUpgradeLeavesWholeDatabase()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    QTemporaryDir dir;
    const QString connection = previousReleaseDatabase(backend, dir, false);
    QStringList before;
    {
        server::Database db(connection);
        before = contents(db);
    }
    int interrupted = 0;
    for (int attempt = 0; attempt < 12; ++attempt) {
        {
            ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE), serving(connection), dir.path());
            if (attempt == 0)
                QThread::msleep(20);   // during the start or the copy
            else if (server.waitForLog(QStringLiteral("cópia do banco antes da atualização")))
                QThread::usleep((attempt - 1) * 1500);
            server.kill();
        }
        server::Database db(connection);
        const int version = server::schemaVersion(db);
        QVERIFY(version == 1 || version == server::kSchemaVersion);
        QCOMPARE(hasTable(db, QStringLiteral("HISTSERVTRAN")), version == server::kSchemaVersion);
        QCOMPARE(contents(db), before);
        if (backend == QLatin1String("sqlite"))
            QCOMPARE(scalar(db, QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        if (version == server::kSchemaVersion)
            break;
        ++interrupted;
    }
    qInfo("%d starts killed before the upgrade was committed", interrupted);
    ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE), serving(connection), dir.path());
    QVERIFY2(server.waitUntilServing() != 0, qPrintable(server.log()));
    QCOMPARE(server.stop(), 0);
    server::Database db(connection);
    QCOMPARE(server::schemaVersion(db), server::kSchemaVersion);
    QCOMPARE(contents(db), before);
}

void TestServerUpgrade::backupWhileSaving()
{
    const QDate saveDay = demoDay().addDays(40);
    Fixture fixture(QStringLiteral("sqlite"));
    std::mutex mutex;
    QStringList acknowledged;
    std::atomic<bool> stop = false;
    const auto saveUntilStopped = [&](int client) {
        TestClient c(fixture.port());
        for (int seq = 0; !stop; ++seq) {
            const QString number = QStringLiteral("%1%2").arg(client).arg(seq, 9, 10, QLatin1Char('0'));
            QVariantMap dish = newDish(number, QStringLiteral("0000102"), QStringLiteral("004"), QStringLiteral("1010010002"));
            dish[QStringLiteral("DTSERVTRAN")] = day(saveDay);
            if (!c.text(QStringLiteral("SetServTran"), {dishDelta({{protocol::RowChange::Inserted, dish, {}}})}).isEmpty()
                || !c.text(QStringLiteral("CalcEtiqueta"),
                           {QStringLiteral("0001"), QStringLiteral("00001"), QStringLiteral("004"), number,
                            QStringLiteral("0000102"), QStringLiteral("XXXX"), day(saveDay), QStringLiteral("P"),
                            QStringLiteral("1010010002"), 4.0, 4.0, 2.5, 1.0, 4.0, 1.0})
                        .isEmpty())
                return;
            std::lock_guard lock(mutex);
            acknowledged << number;
        }
    };
    const auto save = [&](int client) {
        try {
            saveUntilStopped(client);
        } catch (const std::exception &) {
            // a failed call was not acknowledged; the checks below tell whether enough were
        }
    };
    std::vector<std::thread> savers;
    for (int c = 1; c <= 3; ++c)
        savers.emplace_back(save, c);
    QThread::msleep(300);

    QTemporaryDir dir;
    const QString backup = dir.filePath(QStringLiteral("copia.db"));
    QStringList savedBefore;
    {
        std::lock_guard lock(mutex);
        savedBefore = acknowledged;
    }
    ServerProcess backupRun(QStringLiteral(SERVTRAN_SERVER_EXE), {QStringLiteral("--db"), fixture.connection(),
                                                                   QStringLiteral("--backup"), backup});
    const int exitCode = backupRun.waitForExit();
    QThread::msleep(200);
    stop = true;
    for (std::thread &t : savers)
        t.join();
    QCOMPARE(exitCode, 0);
    QVERIFY2(savedBefore.size() >= 3, "too few saves before the backup to tell anything");
    QVERIFY2(acknowledged.size() > savedBefore.size(), "the saves stopped while the backup ran");

    // Restored: served again from the copy, every save acknowledged before the backup is there,
    // with its labels, and no row has only part of its labels.
    const QString restored = QStringLiteral("sqlite:") + backup;
    server::Database copy(restored);
    QCOMPARE(scalar(copy, QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    QCOMPARE(scalar(copy, QStringLiteral("SELECT COUNT(*) FROM (SELECT NRSERVTRAN FROM ETIQSERVTRAN WHERE DTSERVTRAN = :D "
                                         "GROUP BY NRSERVTRAN HAVING COUNT(*) <> 5)"),
                    {{QStringLiteral("D"), saveDay}})
                 .toLongLong(),
             0);
    server::ServerThread restoredServer(restored, QHostAddress::LocalHost, 0, {});
    TestClient client(restoredServer.port());
    const QVariantList dayArgs = {QStringLiteral("0001"), QStringLiteral("00001"), day(saveDay)};
    QSet<QString> rowsBack, labelled;
    for (const QVariantMap &row : table(client.payload(QStringLiteral("GetServTran"), dayArgs)).rows)
        rowsBack.insert(row.value(QStringLiteral("NRSERVTRAN")).toString());
    for (const QVariantMap &row : table(client.payload(QStringLiteral("GetEtiqueta"), dayArgs)).rows)
        labelled.insert(row.value(QStringLiteral("NRSERVTRAN")).toString());
    for (const QString &number : std::as_const(savedBefore)) {
        QVERIFY2(rowsBack.contains(number), qPrintable(QStringLiteral("saved row %1 is not in the copy").arg(number)));
        QVERIFY2(labelled.contains(number), qPrintable(QStringLiteral("labels of %1 are not in the copy").arg(number)));
    }
    qInfo("%lld saves before the backup, %lld in the copy, %lld in all", qlonglong(savedBefore.size()),
          qlonglong(rowsBack.size()), qlonglong(acknowledged.size()));
}

QTEST_GUILESS_MAIN(TestServerUpgrade)
#include "tst_serverupgrade.moc"
