// Who may call: every connection names its operator in a hello (with the access token when the
// server asks for one) before any call, and every method refuses a branch the operator may not
// use, whatever the client checked on its side.

#include "testsupport.h"

#include <protocol/frame.h>
#include <protocol/remoteresult.h>

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QMutex>
#include <QTest>

using namespace servertest;

namespace {

const QString kOtherBranchFault = QStringLiteral("Operador sem acesso à filial 0002.");

// Arguments of each method for a day of branch `b` (service "00001", the demo day), such that
// only the branch decides whether the call is taken.
QVariantList argsFor(const QString &method, const QString &b)
{
    const QString service = QStringLiteral("00001");
    const QVariantList dayOf = {b, service, day()};
    if (method == QLatin1String("GetSeqServTran"))
        return dayOf + QVariantList{QStringLiteral("XXXX")};
    if (method == QLatin1String("GetPtoEntrega"))
        return {b, QStringLiteral("001"), QString()};
    if (method == QLatin1String("PratoAux"))
        return {QStringLiteral("1010010001"), QStringLiteral("P"), b, service, day(), QStringLiteral("0000101"),
                QStringLiteral("001")};
    if (method == QLatin1String("getDadosPrato"))
        return {b, service, QStringLiteral("1010010001"), QStringLiteral("P")};
    if (method == QLatin1String("SetServTran")) {
        QVariantMap row = newDish(QStringLiteral("0000000100"), QStringLiteral("0000101"), QStringLiteral("001"),
                                  QStringLiteral("1010010001"));
        row[QStringLiteral("CDFILIAL")] = b;
        return {dishDelta({{protocol::RowChange::Inserted, row, {}}})};
    }
    if (method == QLatin1String("CalcEtiqueta"))
        return {b, service, QStringLiteral("003"), QStringLiteral("0000000007"), QStringLiteral("0000105"),
                QStringLiteral("XXXX"), day(), QStringLiteral("P"), QStringLiteral("1010010001"), 0.0, 4.0, 2.0, 0.0, 2.0, 1.0};
    if (method == QLatin1String("DelServTran"))
        return dayOf + QVariantList{QStringLiteral("006"), QStringLiteral("0000104")};
    if (method == QLatin1String("DeletePrato"))
        return {QStringLiteral("P"), QStringLiteral("1010010001"), b, service, QStringLiteral("006"),
                QStringLiteral("0000104"), day()};
    if (method == QLatin1String("CalcServTrans"))
        return {QStringLiteral("_%1_").arg(b), QStringLiteral("_%1%2_").arg(b, service), day(), day(),
                QStringLiteral("OPER1"), protocol::wallClock(QDateTime::currentDateTime())};
    if (method == QLatin1String("SetExpedicao"))
        return dayOf + QVariantList{QStringLiteral("XXXX"), QStringLiteral("0000000007"), QStringLiteral("0001"), 4.0, QString()};
    return dayOf;   // GetDados, GetPadrao, GetServTran, GetEtiqueta, GetExpedicao
}

const QStringList &everyMethod()
{
    static const QStringList methods = {
        QStringLiteral("GetDados"),      QStringLiteral("GetPadrao"),     QStringLiteral("GetServTran"),
        QStringLiteral("GetEtiqueta"),   QStringLiteral("GetPtoEntrega"), QStringLiteral("PratoAux"),
        QStringLiteral("getDadosPrato"), QStringLiteral("GetSeqServTran"), QStringLiteral("SetServTran"),
        QStringLiteral("CalcEtiqueta"),  QStringLiteral("DelServTran"),   QStringLiteral("DeletePrato"),
        QStringLiteral("CalcServTrans"), QStringLiteral("SetExpedicao"), QStringLiteral("GetExpedicao")};
    return methods;
}

// The connection still answers a call: a day of branch "0001" for an operator who may use it.
bool serving(TestClient &client, const QString &operatorCode)
{
    const protocol::Reply reply = client.call(QStringLiteral("GetPadrao"), argsFor(QStringLiteral("GetPadrao"), QStringLiteral("0001")));
    if (operatorCode == QLatin1String("NINGUEM"))
        return reply.fault == QStringLiteral("Operador NINGUEM não cadastrado.");
    return !reply.failed() && table(protocol::resultPayload(reply.value)).rows.size() == 3;
}

qint64 storedRows(server::Database &db)
{
    return scalar(db, QStringLiteral("SELECT COUNT(*) FROM SERVTRAN")).toLongLong();
}

} // namespace

class TestServerAccess : public QObject {
    Q_OBJECT
private slots:
    void branchOfTheOperator_data();
    void branchOfTheOperator();
    void refusedLogWritesNothing_data() { addBackendRows(); }
    void refusedLogWritesNothing();
    void hello_data();
    void hello();
    void hostRoleReadsOnlyReferenceTables_data();
    void hostRoleReadsOnlyReferenceTables();
    void dishOfAnotherBranch_data();
    void dishOfAnotherBranch();
    void failedSignInsAreSlowedAndLimited_data();
    void failedSignInsAreSlowedAndLimited();
};

void TestServerAccess::branchOfTheOperator_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("operatorCode");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("branch");
    QTest::addColumn<QString>("fault");   // empty: the call is taken
    for (const QString &b : backends()) {
        for (const QString &method : everyMethod()) {
            const auto row = [&](const char *name, const char *op, const char *branch, const QString &fault) {
                QTest::newRow(qPrintable(QStringLiteral("%1/%2/%3").arg(b, method, QLatin1String(name))))
                    << b << QString::fromLatin1(op) << method << QString::fromLatin1(branch) << fault;
            };
            row("allowed branch", "OPER1", "0001", QString());
            row("other branch", "OPER1", "0002", kOtherBranchFault);
            row("operator of every branch", "ADMIN", "0002", QString());
        }
    }
}

void TestServerAccess::branchOfTheOperator()
{
    QFETCH(QString, backend);
    QFETCH(QString, operatorCode);
    QFETCH(QString, method);
    QFETCH(QString, branch);
    QFETCH(QString, fault);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    TestClient client(f.port(), helloOf(operatorCode));
    const protocol::Reply reply = client.call(method, argsFor(method, branch));
    if (fault.isEmpty()) {
        QVERIFY2(!reply.failed(), qPrintable(reply.fault));
        // the rules of the data may still refuse it, but never for the operator's sake
        const QString error = reply.value.metaType().id() == QMetaType::QString ? reply.value.toString()
                                                                                : protocol::resultErrorText(reply.value);
        QVERIFY2(!error.contains(QStringLiteral("Operador")), qPrintable(error));
    } else {
        QCOMPARE(reply.fault, fault);
    }
    // a refusal is one call's: the connection stays open for the branches the operator may use
    QVERIFY(serving(client, operatorCode));
}

// A change log that touches one allowed and one forbidden branch stores neither.
void TestServerAccess::refusedLogWritesNothing()
{
    QFETCH(QString, backend);
    SKIP_UNLESS_BACKEND(backend);
    Fixture f(backend);
    TestClient client(f.port(), helloOf(QStringLiteral("OPER1")));
    const qint64 before = storedRows(f.db());
    QVariantMap ours = newDish(QStringLiteral("0000000100"), QStringLiteral("0000101"), QStringLiteral("001"),
                               QStringLiteral("1010010001"));
    QVariantMap theirs = ours;
    theirs[QStringLiteral("CDFILIAL")] = QStringLiteral("0002");
    const protocol::Reply reply = client.call(
        QStringLiteral("SetServTran"),
        {dishDelta({{protocol::RowChange::Inserted, ours, {}}, {protocol::RowChange::Inserted, theirs, {}}})});
    QCOMPARE(reply.fault, kOtherBranchFault);
    QCOMPARE(storedRows(f.db()), before);
    // the same row alone is stored: it was the other branch that was refused
    QCOMPARE(client.text(QStringLiteral("SetServTran"), {dishDelta({{protocol::RowChange::Inserted, ours, {}}})}),
             QString());
    QCOMPARE(storedRows(f.db()), before + 1);
}

void TestServerAccess::hello_data()
{
    QTest::addColumn<QString>("serverToken");
    QTest::addColumn<QByteArray>("first");     // the first frame's payload
    QTest::addColumn<QString>("fault");        // empty: taken
    const auto hello = [](const char *op, const char *token, const char *password = server::kDemoPassword) {
        return protocol::encodeHello({QString::fromUtf8(op), QString::fromUtf8(token), QString::fromUtf8(password)});
    };
    const QByteArray call = protocol::encodeRequest({serverName(), QStringLiteral("GetDados"), argsFor(QStringLiteral("GetDados"), QStringLiteral("0001"))});
    const QString noHello = QStringLiteral("Conexão sem identificação: a primeira mensagem deve identificar o operador.");
    const QString badToken = QStringLiteral("Chave de acesso recusada pelo servidor de aplicação.");
    QTest::newRow("missing hello") << QString() << call << noHello;
    QTest::newRow("missing hello, server with a token") << QStringLiteral("s3gredo") << call << noHello;
    QTest::newRow("right token") << QStringLiteral("s3gredo") << hello("OPER1", "s3gredo") << QString();
    QTest::newRow("wrong token") << QStringLiteral("s3gredo") << hello("OPER1", "s3gredo!") << badToken;
    QTest::newRow("no token") << QStringLiteral("s3gredo") << hello("OPER1", "") << badToken;
    QTest::newRow("server without a token") << QString() << hello("OPER1", "qualquer") << QString();
    QTest::newRow("no operator") << QString() << hello("  ", "") << QStringLiteral("A conexão não informou o operador.");
    QTest::newRow("operator too long") << QString() << hello("OPERADOR1", "") << noHello;
    // the operator is the one whose password the hello shows, never one merely named
    const QString badPassword = QStringLiteral("Operador ou senha inválidos.");
    QTest::newRow("operator named without a password") << QString() << hello("ADMIN", "", "") << badPassword;
    QTest::newRow("wrong password") << QString() << hello("ADMIN", "", "demo!") << badPassword;
    QTest::newRow("another operator's password") << QStringLiteral("s3gredo") << hello("ADMIN", "s3gredo", "outra") << badPassword;
    QTest::newRow("unknown operator") << QString() << hello("NINGUEM", "") << badPassword;
}

void TestServerAccess::hello()
{
    QFETCH(QString, serverToken);
    QFETCH(QByteArray, first);
    QFETCH(QString, fault);
    server::ServerSettings settings;
    settings.accessToken = serverToken;
    Fixture f(QStringLiteral("sqlite"), settings);
    TestClient client(f.port(), std::nullopt);
    client.send(protocol::frame(first));
    const protocol::Reply reply = client.receive();
    if (fault.isEmpty()) {
        QVERIFY2(!reply.failed(), qPrintable(reply.fault));
        QVERIFY(serving(client, QStringLiteral("OPER1")));
        return;
    }
    QCOMPARE(reply.fault, fault);
    QVERIFY(client.closedByPeer());
    // the server goes on serving the others
    QVERIFY(serving(f.client(), QStringLiteral("ADMIN")));
}

void TestServerAccess::hostRoleReadsOnlyReferenceTables_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("allowed");
    for (const char *table : {"FILIAL", "SERVICO", "PRATO", "CLIENTE", "OPERADOR", "OPERFILI"})
        QTest::newRow(qPrintable(QStringLiteral("read %1").arg(QLatin1String(table))))
            << QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table)) << true;
    for (const char *table : {"SERVTRAN", "ETIQSERVTRAN", "HISTSERVTRAN", "COMESERV", "DESTFILI", "PRATOSERV", "SENHAOPER",
                              "CHAVELINK", "RECESERVTRAN"})
        QTest::newRow(qPrintable(QStringLiteral("read %1").arg(QLatin1String(table))))
            << QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table)) << false;
    QTest::newRow("insert a branch") << "INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDSITUFILI) VALUES ('0009', 'X', 'A')" << false;
    QTest::newRow("rename a client") << "UPDATE CLIENTE SET NMRAZSOCCLIE = 'X'" << false;
    QTest::newRow("delete an operator's branches") << "DELETE FROM OPERFILI" << false;
    QTest::newRow("write a dish row") << "DELETE FROM SERVTRAN" << false;
    QTest::newRow("make a table") << "CREATE TABLE INTRUSO (X INTEGER)" << false;
    QTest::newRow("leave read-only") << "SET default_transaction_read_only = off; INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDSITUFILI) VALUES ('0009', 'X', 'A')" << false;
}

// The PostgreSQL role of db/host-role-postgres.sql, the hosts' own connection: it reads the
// reference tables and nothing else, and writes nothing.
void TestServerAccess::hostRoleReadsOnlyReferenceTables()
{
    QFETCH(QString, sql);
    QFETCH(bool, allowed);
    SKIP_UNLESS_BACKEND(QStringLiteral("postgres"));
    QTemporaryDir dir;
    const QString owner = freshDemoDatabase(QStringLiteral("postgres"), dir);
    {
        server::Database db(owner);
        QFile script(QStringLiteral(SERVTRAN_DB_DIR "/host-role-postgres.sql"));
        QVERIFY(script.open(QIODevice::ReadOnly));
        for (const QString &statement : QString::fromUtf8(script.readAll()).split(QLatin1Char('\n'))) {
            if (!statement.trimmed().isEmpty() && !statement.startsWith(QLatin1String("--")))
                db.execute(statement.trimmed().chopped(1));
        }
    }
    QString host = owner;
    host.replace(QRegularExpression(QStringLiteral("user=\\S+")), QStringLiteral("user=servtran_host"));
    server::Database db(host);
    QSqlQuery query(db.handle());
    bool done = true;
    for (const QString &statement : sql.split(QStringLiteral("; ")))
        done = done && query.exec(statement);
    QVERIFY2(done == allowed, qPrintable(query.lastError().text()));
}

void TestServerAccess::dishOfAnotherBranch_data()
{
    QTest::addColumn<QString>("operatorCode");
    QTest::addColumn<QString>("fault");
    QTest::newRow("operator of branch 0001 only") << "OPER1" << kOtherBranchFault;
    QTest::newRow("operator of every branch") << "ADMIN" << QString();
}

// Branch 0002's own dish asked for under branch 0001: its data go only to an operator of 0002.
void TestServerAccess::dishOfAnotherBranch()
{
    QFETCH(QString, operatorCode);
    QFETCH(QString, fault);
    Fixture f(QStringLiteral("sqlite"));
    TestClient client(f.port(), helloOf(operatorCode));
    const protocol::Reply reply = client.call(QStringLiteral("getDadosPrato"), {QStringLiteral("0001"), QStringLiteral("00001"),
                                                                                  QStringLiteral("5010010001"), QStringLiteral("0002")});
    QCOMPARE(reply.fault, fault);
    if (fault.isEmpty())
        QCOMPARE(table(protocol::resultPayload(reply.value).toList().value(1)).rows.size(), 1);
}

void TestServerAccess::failedSignInsAreSlowedAndLimited_data()
{
    QTest::addColumn<int>("perOperator");
    QTest::addColumn<int>("perAddress");
    QTest::addColumn<QStringList>("guessed");   // operators whose password is guessed wrong, in turn
    QTest::addColumn<QString>("blocked");       // then signs in with the right password, refused
    QTest::addColumn<QString>("free");          // and this one is still taken
    QTest::newRow("per operator") << 3 << 100 << QStringList{"OPER1", "OPER1", "OPER1"} << "OPER1" << "ADMIN";
    QTest::newRow("per address") << 100 << 3 << QStringList{"OPER1", "NINGUEM", "ADMIN"} << "ADMIN" << QString();
}

// Each wrong password is answered only after the delay, the password never shows in the log,
// and past the limit even the right password is refused.
void TestServerAccess::failedSignInsAreSlowedAndLimited()
{
    QFETCH(int, perOperator);
    QFETCH(int, perAddress);
    QFETCH(QStringList, guessed);
    QFETCH(QString, blocked);
    QFETCH(QString, free);
    server::ServerSettings settings;
    settings.failedSignInDelayMs = 300;
    settings.maxFailedSignInsPerOperator = perOperator;
    settings.maxFailedSignInsPerAddress = perAddress;
    Fixture f(QStringLiteral("sqlite"), settings);
    static QMutex logMutex;
    static QStringList log;
    log.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) {
        QMutexLocker lock(&logMutex);
        log << message;
    });
    const auto signIn = [&](const QString &op, const QString &password) {
        TestClient client(f.port(), std::nullopt);
        client.send(protocol::frame(protocol::encodeHello({op, QString(), password})));
        return client.receive().fault;
    };
    for (const QString &op : guessed) {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(signIn(op, QStringLiteral("palpite-errado")), QStringLiteral("Operador ou senha inválidos."));
        QVERIFY2(clock.elapsed() >= 300, qPrintable(QString::number(clock.elapsed())));
    }
    QVERIFY(signIn(blocked, QString::fromLatin1(server::kDemoPassword)).startsWith(QStringLiteral("Entrada bloqueada")));
    if (!free.isEmpty())
        QCOMPARE(signIn(free, QString::fromLatin1(server::kDemoPassword)), QString());
    qInstallMessageHandler(previous);
    QMutexLocker lock(&logMutex);
    QVERIFY(log.join(QLatin1Char('\n')).contains(QStringLiteral("sign-in of operator %1 from 127.0.0.1 refused").arg(guessed.first())));
    QVERIFY(!log.join(QLatin1Char('\n')).contains(QStringLiteral("palpite-errado")));
}

QTEST_GUILESS_MAIN(TestServerAccess)
#include "tst_serveraccess.moc"
