// The servtran-server executable: its options, its errors, and the one command that prepares a
// demo database and serves it.

#include "testsupport.h"

#include <protocol/frame.h>
#include <server/schema.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

using namespace servertest;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestServerProcess : public QObject {
    Q_OBJECT
private slots:
    void options_data();
    void options();
    void demo_data() { addBackendRows(); }
    void demo();
    void createSchemaOnly();
    void tls();
    void setPassword();
};

void TestServerProcess::options_data()
{
    QTest::addColumn<QStringList>("args");   // %DIR% is a fresh temporary directory
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");     // expected in stdout or stderr
    const auto db = [](const char *connection) { return QStringList{QStringLiteral("--db"), QLatin1String(connection)}; };
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << "--create-schema";
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus")} << 2 << "bogus";
    QTest::newRow("no database") << QStringList() << 2 << "--db";
    QTest::newRow("stray argument") << (db("sqlite:%DIR%/x.db") << QStringLiteral("extra")) << 2 << "extra";
    QTest::newRow("port not a number") << (db("sqlite:%DIR%/x.db") << QStringLiteral("--port") << QStringLiteral("abc")) << 2 << "porta";
    QTest::newRow("port out of range") << (db("sqlite:%DIR%/x.db") << QStringLiteral("--port") << QStringLiteral("70000")) << 2 << "porta";
    QTest::newRow("host not an address") << (db("sqlite:%DIR%/x.db") << QStringLiteral("--host") << QStringLiteral("nowhere")) << 2 << "endereço";
    QTest::newRow("beyond this machine without --insecure")
        << (db("sqlite:%DIR%/x.db") << QStringLiteral("--host") << QStringLiteral("0.0.0.0")) << 2 << "--insecure";
    QTest::newRow("beyond this machine with --insecure")
        << (db("sqlite:%DIR%/empty.db") << QStringLiteral("--host") << QStringLiteral("0.0.0.0") << QStringLiteral("--insecure"))
        << 1 << "--create-schema";
    const QStringList tls = {QStringLiteral("--tls-cert"), QStringLiteral("%TLS%/server.pem"), QStringLiteral("--tls-key"),
                             QStringLiteral("%TLS%/server.key")};
    const QStringList token = {QStringLiteral("--token-file"), QStringLiteral("%DIR%/token")};
    const QStringList beyond = db("sqlite:%DIR%/empty.db") << QStringLiteral("--host") << QStringLiteral("0.0.0.0");
    QTest::newRow("beyond this machine with TLS and a token") << (beyond + tls + token) << 1 << "--create-schema";
    QTest::newRow("beyond this machine with TLS, no token") << (beyond + tls) << 2 << "--token-file";
    QTest::newRow("beyond this machine with a token, no TLS") << (beyond + token) << 2 << "--tls-cert";
    QTest::newRow("beyond this machine with TLS, no token, --insecure")
        << (beyond + tls << QStringLiteral("--insecure")) << 1 << "--create-schema";
    QTest::newRow("certificate without its key")
        << (beyond + token << QStringLiteral("--tls-cert") << QStringLiteral("%TLS%/server.pem")) << 2 << "juntos";
    QTest::newRow("key file holding no key")
        << (beyond + token << QStringLiteral("--tls-cert") << QStringLiteral("%TLS%/server.pem") << QStringLiteral("--tls-key")
            << QStringLiteral("%TLS%/server.pem"))
        << 2 << "não contém uma chave privada";
    QTest::newRow("certificate file missing")
        << (beyond + token << QStringLiteral("--tls-cert") << QStringLiteral("%DIR%/none.pem") << QStringLiteral("--tls-key")
            << QStringLiteral("%TLS%/server.key"))
        << 2 << "não foi possível ler o certificado";
    QTest::newRow("key of another certificate")
        << (beyond + token << QStringLiteral("--tls-cert") << QStringLiteral("%TLS%/server.pem") << QStringLiteral("--tls-key")
            << QStringLiteral("%TLS%/untrusted.key"))
        << 2 << "não corresponde ao certificado";
    QTest::newRow("expired certificate")
        << (beyond + token << QStringLiteral("--tls-cert") << QStringLiteral("%TLS%/expired.pem") << QStringLiteral("--tls-key")
            << QStringLiteral("%TLS%/expired.key"))
        << 2 << "não está válido agora";
    QTest::newRow("token file others may read")
        << (beyond + tls << QStringLiteral("--token-file") << QStringLiteral("%DIR%/open-token")) << 1 << "pode ser lido por outros";
    QTest::newRow("token file missing")
        << (beyond + tls << QStringLiteral("--token-file") << QStringLiteral("%DIR%/none")) << 2 << "chave de acesso";
    QTest::newRow("empty token file")
        << (beyond + tls << QStringLiteral("--token-file") << QStringLiteral("%DIR%/empty-token")) << 2 << "não contém a chave";
    QTest::newRow("loopback of IPv6") << (db("sqlite:%DIR%/empty.db") << QStringLiteral("--host") << QStringLiteral("::1"))
                                      << 1 << "--create-schema";
    QTest::newRow("web front's address not http") << (db("sqlite:%DIR%/x.db") << QStringLiteral("--web-url") << QStringLiteral("ftp://x"))
                                                   << 2 << "--web-url";
    QTest::newRow("web front's address with a query")
        << (db("sqlite:%DIR%/x.db") << QStringLiteral("--web-url") << QStringLiteral("https://x/?a=1")) << 2 << "--web-url";
    QTest::newRow("receipt operator too long")
        << (db("sqlite:%DIR%/x.db") << QStringLiteral("--receipt-operator") << QStringLiteral("RECEBIMENTO")) << 2
        << "--receipt-operator";
    QTest::newRow("unknown kind of database") << db("mysql:host=x") << 1 << "Conexão desconhecida";
    QTest::newRow("sqlite file out of reach") << db("sqlite:/nonexistent/dir/x.db") << 1 << "Não foi possível abrir";
    QTest::newRow("postgres out of reach") << db("postgres:host=127.0.0.1 port=1 dbname=x user=x") << 1 << "Não foi possível abrir";
    QTest::newRow("postgres string not key=value") << db("postgres:host") << 1 << "chave=valor";
    QTest::newRow("database without the tables") << db("sqlite:%DIR%/empty.db") << 1 << "--create-schema";
}

void TestServerProcess::options()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("token")), "s3gredo\n");
    writeFile(dir.filePath(QStringLiteral("empty-token")), " \n");
    writeFile(dir.filePath(QStringLiteral("open-token")), "s3gredo\n");
    QFile::setPermissions(dir.filePath(QStringLiteral("token")), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QFile::setPermissions(dir.filePath(QStringLiteral("open-token")), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                         | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    for (QString &arg : args)
        arg.replace(QLatin1String("%DIR%"), dir.path()).replace(QLatin1String("%TLS%"), QStringLiteral(SERVTRAN_TLS_DIR));
    QProcess process;
    process.start(QStringLiteral(SERVTRAN_SERVER_EXE), args);
    QVERIFY(process.waitForFinished(30000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2(out.contains(output), qPrintable(out));
}

// One command prepares a demo database and serves it; a second run leaves the data as it is.
void TestServerProcess::demo()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    QTemporaryDir dir;
    const QString connection = emptyDatabase(backend, dir);
    for (int run = 0; run < 2; ++run) {
        ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE), {QStringLiteral("--db"), connection, QStringLiteral("--demo"), QStringLiteral("--port"),
                              QStringLiteral("0")});
        const quint16 port = server.waitUntilServing();
        QVERIFY2(port != 0, qPrintable(server.log()));
        TestClient client(port);
        const QList<Table> day4 = tables(client.payload(QStringLiteral("GetDados"),
                                                        {QStringLiteral("0001"), QStringLiteral("00001"), day()}));
        QCOMPARE(day4[0].rows.size(), 3);
        QCOMPARE(day4[2].rows.size(), 28);
        QCOMPARE(server.stop(), 0);
        QCOMPARE(server.log().contains(QStringLiteral("dados de demonstração carregados")), run == 0);
        QVERIFY2(server.log().contains(QLatin1String("parado")), qPrintable(server.log()));
    }
    server::Database db(connection);
    QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM FILIAL")).toLongLong(), 3);
}

// The administrator sets an operator's password from standard input; the database keeps only its
// Argon2id hash, and the operator signs in with it.
void TestServerProcess::setPassword()
{
    QTemporaryDir dir;
    const QString connection = emptyDatabase(QStringLiteral("sqlite"), dir);
    {
        server::Database db(connection);
        server::createSchema(db);
        db.execute(QStringLiteral("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR) VALUES ('CHEF', 'Chefe')"));
    }
    const auto setPassword = [&](const QString &op, const QByteArray &input, QString &output) {
        QProcess process;
        process.start(QStringLiteral(SERVTRAN_SERVER_EXE), {QStringLiteral("--db"), connection, QStringLiteral("--set-password"), op});
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(30000);
        output = QString::fromUtf8(process.readAllStandardError());
        return process.exitCode();
    };
    QString output;
    QCOMPARE(setPassword(QStringLiteral("NINGUEM"), "x\n", output), 1);
    QVERIFY2(output.contains(QStringLiteral("Operador NINGUEM não cadastrado.")), qPrintable(output));
    QCOMPARE(setPassword(QStringLiteral("CHEF"), "\n", output), 2);
    QCOMPARE(setPassword(QStringLiteral("CHEF"), "panela de pressão\n", output), 0);
    QVERIFY2(output.contains(QStringLiteral("senha do operador CHEF gravada")), qPrintable(output));
    {
        server::Database db(connection);
        const QString hash = scalar(db, QStringLiteral("SELECT DSHASHSENHA FROM SENHAOPER WHERE CDOPERADOR = 'CHEF'")).toString();
        QVERIFY2(hash.startsWith(QLatin1String("$argon2id$")), qPrintable(hash));
    }
    ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE), serving(connection));
    const quint16 port = server.waitUntilServing();
    QVERIFY2(port != 0, qPrintable(server.log()));
    TestClient chef(port, protocol::Hello{QStringLiteral("CHEF"), QString(), QStringLiteral("panela de pressão")});
    TestClient guess(port, std::nullopt);
    guess.send(protocol::frame(protocol::encodeHello({QStringLiteral("CHEF"), QString(), QStringLiteral("panela")})));
    QCOMPARE(guess.receive().fault, QStringLiteral("Operador ou senha inválidos."));
}

void TestServerProcess::createSchemaOnly()
{
    QTemporaryDir dir;
    const QString connection = emptyDatabase(QStringLiteral("sqlite"), dir);
    ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE), {QStringLiteral("--db"), connection, QStringLiteral("--create-schema"), QStringLiteral("--port"),
                          QStringLiteral("0")});
    const quint16 port = server.waitUntilServing();
    QVERIFY2(port != 0, qPrintable(server.log()));
    TestClient client(port, std::nullopt);
    // a database without operators signs nobody in
    client.send(protocol::frame(protocol::encodeHello(adminHello())));
    QCOMPARE(client.receive().fault, QStringLiteral("Operador ou senha inválidos."));
    QCOMPARE(server.stop(), 0);
    server::Database db(connection);
    QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM FILIAL")).toLongLong(), 0);
}

// The server started with a certificate, its key and a token file serves TLS only: a client in
// clear is dropped.
void TestServerProcess::tls()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("token")), "s3gredo\n");
    ServerProcess server(QStringLiteral(SERVTRAN_SERVER_EXE), {QStringLiteral("--db"), emptyDatabase(QStringLiteral("sqlite"), dir), QStringLiteral("--demo"),
                          QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--tls-cert"),
                          QStringLiteral(SERVTRAN_TLS_DIR "/server.pem"), QStringLiteral("--tls-key"),
                          QStringLiteral(SERVTRAN_TLS_DIR "/server.key"), QStringLiteral("--token-file"),
                          dir.filePath(QStringLiteral("token"))});
    const quint16 port = server.waitUntilServing();
    QVERIFY2(port != 0, qPrintable(server.log()));
    QVERIFY2(server.log().contains(QStringLiteral(", TLS, com chave de acesso")), qPrintable(server.log()));
    TestClient clear(port, std::nullopt);
    clear.send(protocol::frame(protocol::encodeHello({QStringLiteral("ADMIN"), QStringLiteral("s3gredo")})));
    QVERIFY(clear.closedByPeer());
    QCOMPARE(server.stop(), 0);
    // the client in clear is in the log with its address
    QVERIFY2(server.log().contains(QStringLiteral("TLS handshake from 127.0.0.1 failed (a client in clear?)")),
             qPrintable(server.log()));
}

QTEST_GUILESS_MAIN(TestServerProcess)
#include "tst_serverprocess.moc"
