#include "testsupport.h"

#include <protocol/frame.h>
#include <protocol/remoteresult.h>
#include <server/demo.h>
#include <server/database.h>
#include <server/schema.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QRegularExpression>
#include <QtEndian>
#include <csignal>
#include <stdexcept>
#include <unistd.h>

namespace servertest {

using protocol::FieldKind;
using protocol::PacketField;

namespace {
[[noreturn]] void fail(const QString &what) { throw std::runtime_error(what.toStdString()); }
PacketField text(const char *name, int size) { return {QLatin1String(name), FieldKind::String, size, false, false}; }
PacketField number(const char *name) { return {QLatin1String(name), FieldKind::Float, 0, false, false}; }
PacketField date(const char *name) { return {QLatin1String(name), FieldKind::DateTime, 0, false, false}; }
} // namespace

QStringList backends() { return {QStringLiteral("sqlite"), QStringLiteral("postgres")}; }

void addBackendRows()
{
    QTest::addColumn<QString>("backend");
    for (const QString &b : backends())
        QTest::newRow(qPrintable(b)) << b;
}

QTestData &newRow(const QString &backend, const char *name)
{
    return QTest::newRow(qPrintable(backend + QLatin1Char('/') + QString::fromUtf8(name))) << backend;
}

TestClient::TestClient(quint16 port, const std::optional<protocol::Hello> &hello)
{
    m_socket.connectToHost(QHostAddress::LocalHost, port);
    if (!m_socket.waitForConnected(10000))
        fail(QStringLiteral("cannot connect to the server: ") + m_socket.errorString());
    if (!hello)
        return;
    send(protocol::frame(protocol::encodeHello(*hello)));
    const protocol::Reply reply = receive();
    if (reply.failed())
        fail(QStringLiteral("the server refused the hello: ") + reply.fault);
}

void TestClient::send(const QByteArray &bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

protocol::Reply TestClient::receive()
{
    for (;;) {
        if (std::optional<QByteArray> payload = m_pending.take())
            return protocol::decodeReply(*payload);
        if (m_pending.oversized())
            fail(QStringLiteral("a reply over the frame limit"));
        if (!m_socket.waitForReadyRead(60000))
            fail(QStringLiteral("no reply from the server: ") + m_socket.errorString());
        m_pending.append(m_socket.readAll());
    }
}

bool TestClient::closedByPeer(int timeoutMs)
{
    if (m_socket.state() == QAbstractSocket::UnconnectedState)
        return true;
    m_socket.waitForReadyRead(timeoutMs);   // returns at once when the peer closes
    m_socket.readAll();
    return m_socket.state() == QAbstractSocket::UnconnectedState
        || m_socket.waitForDisconnected(timeoutMs);
}

protocol::Reply TestClient::call(const QString &method, const QVariantList &args, const QString &server)
{
    send(protocol::frame(protocol::encodeRequest({server, method, args})));
    return receive();
}

QVariant TestClient::payload(const QString &method, const QVariantList &args)
{
    const protocol::Reply reply = call(method, args);
    if (reply.failed())
        fail(method + QStringLiteral(" faulted: ") + reply.fault);
    const QString error = protocol::resultErrorText(reply.value);
    if (!error.isEmpty())
        fail(method + QStringLiteral(" answered an error: ") + error);
    return protocol::resultPayload(reply.value);
}

QString TestClient::error(const QString &method, const QVariantList &args)
{
    const protocol::Reply reply = call(method, args);
    if (reply.failed())
        fail(method + QStringLiteral(" faulted: ") + reply.fault);
    return protocol::resultErrorText(reply.value);
}

QString TestClient::text(const QString &method, const QVariantList &args)
{
    const protocol::Reply reply = call(method, args);
    if (reply.failed())
        fail(method + QStringLiteral(" faulted: ") + reply.fault);
    if (reply.value.metaType().id() != QMetaType::QString)
        fail(method + QStringLiteral(" did not answer a text"));
    return reply.value.toString();
}

// Test programs may run at the same time against the one test database: each works in a
// PostgreSQL schema of its own, put first in the search path of every connection it makes.
QString postgresConnection()
{
    static const QString connection = []() -> QString {
        const QString base = qEnvironmentVariable("SERVTRAN_TEST_PG");
        const QString schema = QStringLiteral("servtran_test_%1").arg(QCoreApplication::applicationPid());
        server::Database(base).execute(QStringLiteral("CREATE SCHEMA IF NOT EXISTS %1").arg(schema));
        qAddPostRoutine([] {
            try {
                server::Database(qEnvironmentVariable("SERVTRAN_TEST_PG"))
                    .execute(QStringLiteral("DROP SCHEMA IF EXISTS servtran_test_%1 CASCADE")
                                 .arg(QCoreApplication::applicationPid()));
            } catch (const std::exception &) {
                // the cluster is a throwaway one: a schema left behind harms nothing
            }
        });
        return base + QStringLiteral(" options=-csearch_path=") + schema;
    }();
    return connection;
}

ServerProcess::ServerProcess(const QString &executable, const QStringList &arguments, const QString &workingDirectory)
{
    m_process.setProgram(executable);
    m_process.setWorkingDirectory(workingDirectory);
    m_process.setArguments(arguments);
    m_process.start();
}

quint16 ServerProcess::waitUntilServing()
{
    static const QRegularExpression serving(QStringLiteral("atendendo \\S+ em [0-9.]+:(\\d+)"));
    for (int i = 0; i < 300; ++i) {
        m_stderr += m_process.readAllStandardError();
        const QRegularExpressionMatch m = serving.match(QString::fromUtf8(m_stderr));
        if (m.hasMatch())
            return quint16(m.captured(1).toUInt());
        if (m_process.state() == QProcess::NotRunning)
            return 0;
        m_process.waitForReadyRead(100);
    }
    return 0;
}

bool ServerProcess::waitForLog(const QString &text, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        m_stderr += m_process.readAllStandardError();
        if (QString::fromUtf8(m_stderr).contains(text))
            return true;
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired())
            return false;
        m_process.waitForReadyRead(5);
    }
}

int ServerProcess::stop()
{
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(10000))
        return -1;
    m_stderr += m_process.readAllStandardError();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

int ServerProcess::waitForExit(int timeoutMs)
{
    const bool ended = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    m_stderr += m_process.readAllStandardError();
    return ended && m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

void ServerProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();   // SIGKILL
    m_process.waitForFinished();
}

bool OwnPostgresCluster::available() { return QFile::exists(bin() + QStringLiteral("/pg_ctl")); }

OwnPostgresCluster::OwnPostgresCluster() : m_environment(QProcessEnvironment::systemEnvironment())
{
    m_environment.insert(QStringLiteral("SERVTRAN_PG_STATE"), m_dir.filePath(QStringLiteral("pg.state")));
    // The script takes the first port nobody listens on: a cluster starting beside it at the same
    // moment may take it first. Then another try finds the next one.
    for (int attempt = 0; attempt < 3 && !m_connection.startsWith(QLatin1String("postgres:")); ++attempt)
        m_connection = QString::fromUtf8(script(QStringLiteral("start"))).trimmed();
    QFile state(m_dir.filePath(QStringLiteral("pg.state")));
    if (state.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : state.readAll().split('\n')) {
            if (line.startsWith("dir="))
                m_data = QString::fromUtf8(line.mid(4)) + QStringLiteral("/data");
            if (line.startsWith("port="))
                m_port = quint16(line.mid(5).toUInt());
        }
    }
}

OwnPostgresCluster::~OwnPostgresCluster()
{
    stopStandby();
    script(QStringLiteral("stop"));
}

QByteArray OwnPostgresCluster::script(const QString &mode)
{
    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.start(QStringLiteral(SERVTRAN_SOURCE_DIR "/scripts/pg-test-cluster.sh"), {mode});
    process.waitForFinished(120000);
    return process.readAllStandardOutput();
}

bool OwnPostgresCluster::runAsOwner(const QStringList &command, QString *output)
{
    QStringList arguments = command;
    if (::getuid() == 0)
        arguments = QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")} + arguments;
    const QString program = ::getuid() == 0 ? QStringLiteral("runuser") : arguments.takeFirst();
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(120000);
    if (output)
        *output = QString::fromUtf8(process.readAll());
    return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool OwnPostgresCluster::restart()
{
    return runAsOwner({bin() + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), m_data, QStringLiteral("-w"),
                       QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("restart")});
}

QString OwnPostgresCluster::startStandby()
{
    const QString dir = QFileInfo(m_data).path() + QStringLiteral("/standby");
    m_standbyData = dir + QStringLiteral("/data");
    quint16 port = 0;
    {
        QTcpServer probe;   // a free loopback port
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    QString output;
    if (!runAsOwner({QStringLiteral("mkdir"), QStringLiteral("-m"), QStringLiteral("700"), dir})
        || !runAsOwner({bin() + QStringLiteral("/pg_basebackup"), QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                        QStringLiteral("-p"), QString::number(m_port), QStringLiteral("-U"), QStringLiteral("postgres"),
                        QStringLiteral("-D"), m_standbyData, QStringLiteral("-R"), QStringLiteral("--checkpoint=fast"), QStringLiteral("-X"),
                        QStringLiteral("stream")},
                       &output)
        || !runAsOwner({bin() + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), m_standbyData, QStringLiteral("-l"),
                        dir + QStringLiteral("/server.log"), QStringLiteral("-w"), QStringLiteral("-o"),
                        QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c hot_standby=on").arg(port).arg(dir),
                        QStringLiteral("start")},
                       &output)) {
        qWarning("standby: %s", qPrintable(output));
        return {};
    }
    QString standby = m_connection;
    standby.replace(QStringLiteral("port=%1").arg(m_port), QStringLiteral("port=%1").arg(port));
    return standby;
}

bool OwnPostgresCluster::stopStandby()
{
    if (m_standbyData.isEmpty() || !QFileInfo::exists(m_standbyData + QStringLiteral("/postmaster.pid")))
        return true;
    return runAsOwner({bin() + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), m_standbyData, QStringLiteral("-w"),
                       QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("stop")});
}

QStringList serving(const QString &connection, const QStringList &extraArguments)
{
    return QStringList{QStringLiteral("--db"), connection, QStringLiteral("--port"), QStringLiteral("0")} + extraArguments;
}

QString emptyDatabase(const QString &backend, const QTemporaryDir &dir)
{
    if (backend != QLatin1String("postgres"))
        return QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("servtran.db"));
    const QString connection = postgresConnection();
    server::Database db(connection);
    QStringList tables = server::schemaTables();
    std::reverse(tables.begin(), tables.end());
    for (const QString &table : tables)
        db.execute(QStringLiteral("DROP TABLE IF EXISTS %1 CASCADE").arg(table));
    return connection;
}

QString freshDemoDatabase(const QString &backend, const QTemporaryDir &dir)
{
    const QString connection = emptyDatabase(backend, dir);
    server::Database db(connection);
    server::createSchema(db);
    server::loadDemoData(db);
    return connection;
}

Fixture::Fixture(const QString &backend, const server::ServerSettings &settings)
{
    if (!m_dir.isValid())
        fail(QStringLiteral("no temporary directory"));
    m_connection = freshDemoDatabase(backend, m_dir);
    m_db = std::make_unique<server::Database>(m_connection);
    m_server = std::make_unique<server::ServerThread>(m_connection, QHostAddress::LocalHost, 0, settings);
    m_client = std::make_unique<TestClient>(m_server->port(), helloOf(QStringLiteral("ADMIN"), settings.accessToken));
}

Fixture::~Fixture()
{
    m_client.reset();
    m_server.reset();
    m_db.reset();
}

QStringList Table::names() const
{
    QStringList n;
    for (const PacketField &f : fields)
        n << f.name;
    return n;
}

Table table(const QVariant &packetValue)
{
    if (packetValue.metaType() != QMetaType::fromType<protocol::DataPacket>())
        fail(QStringLiteral("not a data packet: ") + QString::fromLatin1(packetValue.typeName()));
    const protocol::PacketContent content = protocol::decodePacket(packetValue.value<protocol::DataPacket>());
    Table t;
    t.fields = content.fields;
    for (const protocol::PacketRow &row : content.rows) {
        QVariantMap map;
        for (int i = 0; i < content.fields.size(); ++i)
            map.insert(content.fields[i].name, row.values[i]);
        t.rows << map;
    }
    return t;
}

QList<Table> tables(const QVariant &packetArray)
{
    QList<Table> result;
    for (const QVariant &element : packetArray.toList())
        result << table(element);
    return result;
}

const QList<PacketField> &cdsPadrao()
{
    static const QList<PacketField> f = {
        text("CDCLIENTE", 21), text("NMRAZSOCCLIE", 50), text("CDDESTFILI", 3),    text("NMDESTFILI", 30),
        text("CDFILIAL", 4),   date("DTSERVTRAN"),       text("CDSERVFILI", 5),    text("NRINSJURCLIE", 20),
        text("IDTPIJURCLIE", 1), number("QTCOMECLIST"),  number("QTEFETCLIST")};
    return f;
}

const QList<PacketField> &cdsServTran()
{
    static const QList<PacketField> f = {
        text("CDPRATO", 10),     text("NMPRATO", 40),     number("QTEFETCLIST"),  number("QTCOMESTIST"),
        number("QTTOTAPRATST"),  text("SGUNIDADE", 10),   text("CDFILIAL", 4),    text("CDSERVFILI", 5),
        date("DTSERVTRAN"),      text("CDFILAUXPRAT", 4), number("QTCOMECLIST"),  number("QTPADRAOST"),
        number("QTCONTAIST"),    number("QTTOTACONTST"),  number("QTPARCPRATST"), number("QTCONTCOMPST"),
        number("VRPECONSST"),    text("CDDESTFILI", 3),   text("CDCLIENTE", 21),  text("CDDIETPADST", 4),
        number("QTAMOSTRAST"),   text("NRSERVTRAN", 10),  number("QTCONTCOMPSTCAMOS"), number("QTTOTACONTSTCAMOS")};
    return f;
}

const QList<PacketField> &cdsEtiqueta()
{
    static const QList<PacketField> f = {
        text("CDFILAUXPRAT", 4), text("CDPRATO", 10),     text("CDFILIAL", 4),     text("CDSERVFILI", 5),
        date("DTSERVTRAN"),      text("NRSEQUETIQTR", 4), number("QTPRATETIQTR"),  text("CDDESTFILI", 3),
        text("CDCLIENTE", 21),   text("NRSERVTRAN", 10),  text("CDDIETPADST", 4)};
    return f;
}

QVariant dishDelta(const QList<Change> &changes, QList<PacketField> fields)
{
    protocol::PacketContent content;
    content.delta = true;
    content.fields = fields;
    const auto valuesOf = [&](const QVariantMap &map) {
        QList<QVariant> values;
        for (const PacketField &f : fields)
            values << map.value(f.name);
        return values;
    };
    for (const Change &c : changes) {
        protocol::PacketRow row;
        row.change = c.kind;
        row.values = valuesOf(c.values);
        if (c.kind != protocol::RowChange::Inserted)
            row.original = valuesOf(c.original);
        content.rows << row;
    }
    return QVariant::fromValue(protocol::encodePacket(content));
}

QVariantMap newDish(const QString &number, const QString &client, const QString &point, const QString &dish,
                    const QString &owner)
{
    return {{QStringLiteral("CDFILIAL"), QStringLiteral("0001")},
            {QStringLiteral("CDSERVFILI"), QStringLiteral("00001")},
            {QStringLiteral("DTSERVTRAN"), day()},
            {QStringLiteral("CDDIETPADST"), QStringLiteral("XXXX")},
            {QStringLiteral("NRSERVTRAN"), number},
            {QStringLiteral("CDCLIENTE"), client},
            {QStringLiteral("CDDESTFILI"), point},
            {QStringLiteral("CDPRATO"), dish},
            {QStringLiteral("CDFILAUXPRAT"), owner},
            {QStringLiteral("NMPRATO"), QStringLiteral("Prato de teste")},
            {QStringLiteral("SGUNIDADE"), QStringLiteral("KG")},
            {QStringLiteral("QTCOMECLIST"), 100.0},
            {QStringLiteral("QTCOMESTIST"), 70.0},
            {QStringLiteral("QTPADRAOST"), 0.25},
            {QStringLiteral("QTCONTAIST"), 4.0},
            {QStringLiteral("QTTOTAPRATST"), 17.5},
            {QStringLiteral("QTTOTACONTST"), 5.0},
            {QStringLiteral("QTCONTCOMPST"), 3.0},
            {QStringLiteral("QTPARCPRATST"), 2.75},
            {QStringLiteral("VRPECONSST"), 17.5},
            {QStringLiteral("QTAMOSTRAST"), 0.5}};
}

QVariantMap storedDish(TestClient &client, const QString &number)
{
    const Table dishes = table(client.payload(QStringLiteral("GetServTran"),
                                              {QStringLiteral("0001"), QStringLiteral("00001"), day()}));
    for (const QVariantMap &row : dishes.rows)
        if (row.value(QStringLiteral("NRSERVTRAN")) == number)
            return row;
    fail(QStringLiteral("no dish row ") + number);
}

void seedLargeDay(server::Database &db, const LargeDay &shape)
{
    server::Transaction transaction(db);
    server::Query client(db, QStringLiteral("INSERT INTO CLIENTE (CDCLIENTE, NRINSJURCLIE, IDTPIJURCLIE, NMRAZSOCCLIE) "
                                            "VALUES (:C, :N, 'J', :R) ON CONFLICT DO NOTHING"));
    for (int c = 0; c < shape.clients; ++c) {
        client.bind(QStringLiteral("C"), QStringLiteral("B%1").arg(c, 6, 10, QLatin1Char('0')))
            .bind(QStringLiteral("N"), server::cnpj(QStringLiteral("%1").arg(10000000 + c).append(QStringLiteral("0001"))))
            .bind(QStringLiteral("R"), QStringLiteral("Cliente de carga %1").arg(c, 3, 10, QLatin1Char('0')));
        client.exec();
    }
    server::Query point(db, QStringLiteral("INSERT INTO DESTFILI (CDFILIAL, CDDESTFILI, NMDESTFILI) VALUES ('0001', :P, :N) "
                                           "ON CONFLICT DO NOTHING"));
    for (int p = 7; p <= shape.pointsPerClient; ++p) {   // 001..006 are in the demo data
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
    row.bindDate(QStringLiteral("D"), shape.date);
    label.bindDate(QStringLiteral("D"), shape.date);
    int number = 0;
    for (int c = 0; c < shape.clients; ++c) {
        for (int p = 1; p <= shape.pointsPerClient; ++p) {
            for (int d = 0; d < shape.dishes; ++d) {
                const QString nr = QStringLiteral("%1").arg(++number, 10, 10, QLatin1Char('0'));
                const QString clientCode = QStringLiteral("B%1").arg(c, 6, 10, QLatin1Char('0'));
                const QString pointCode = QStringLiteral("%1").arg(p, 3, 10, QLatin1Char('0'));
                const QString dish = QStringLiteral("90%1").arg(d, 8, 10, QLatin1Char('0'));
                for (server::Query *q : {&row, &label})
                    q->bind(QStringLiteral("NR"), nr).bind(QStringLiteral("C"), clientCode)
                        .bind(QStringLiteral("P"), pointCode).bind(QStringLiteral("PRATO"), dish);
                row.exec();
                for (int l = 1; l <= shape.labels; ++l) {
                    label.bind(QStringLiteral("SEQ"), QStringLiteral("%1").arg(l, 4, 10, QLatin1Char('0')));
                    label.exec();
                }
            }
        }
    }
    transaction.commit();
}

namespace {
void bindAll(server::Query &query, const QVariantMap &binds)
{
    for (auto it = binds.cbegin(); it != binds.cend(); ++it) {
        if (it.value().metaType().id() == QMetaType::QDate)
            query.bindDate(it.key(), it.value().toDate());
        else
            query.bind(it.key(), it.value());
    }
}
} // namespace

QVariant scalar(server::Database &db, const QString &sql, const QVariantMap &binds)
{
    server::Query query(db, sql);
    bindAll(query, binds);
    query.exec();
    return query.next() ? query.value(0) : QVariant();
}

QList<QVariantList> rows(server::Database &db, const QString &sql, const QVariantMap &binds)
{
    server::Query query(db, sql);
    bindAll(query, binds);
    query.exec();
    QList<QVariantList> result;
    while (query.next()) {
        QVariantList row;
        for (int i = 0; i < query.columnCount(); ++i)
            row << query.value(i);
        result << row;
    }
    return result;
}

qint64 processStatusKiB(qint64 pid, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool resetPeakResident(qint64 pid)
{
    QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

} // namespace servertest
