// The server beyond this machine: TLS with a certificate from files and the shared access token,
// met by the host's own connection (TNetConnection) with the CA and token it is configured with.
// The certificates are test-only ones made by tls/make-certificates.sh.

#include "testsupport.h"

#include <framework/netconnection.h>
#include <protocol/remoteresult.h>
#include <server/security.h>
#include <toolkit/error.h>

#include <QTest>

using namespace servertest;

namespace {

QString tlsFile(const char *name) { return QStringLiteral(SERVTRAN_TLS_DIR "/") + QLatin1String(name); }

const QString kToken = QStringLiteral("s3gredo-de-teste");

} // namespace

class TestServerTls : public QObject {
    Q_OBJECT
private slots:
    void connections_data();
    void connections();
};

void TestServerTls::connections_data()
{
    QTest::addColumn<QString>("serverCertificate");   // "": plain TCP
    QTest::addColumn<bool>("clientTls");
    QTest::addColumn<QString>("clientCa");            // "": the system's authorities
    QTest::addColumn<QString>("clientToken");
    QTest::addColumn<QString>("failure");             // in the error; empty: the call succeeds
    const QString tlsFailed = QStringLiteral("Falha na conexão segura (TLS) com o servidor de aplicação 127.0.0.1:");
    const QString refused = QStringLiteral("recusou a conexão: Chave de acesso recusada pelo servidor de aplicação.");
    QTest::newRow("right CA and token") << "server" << true << "ca.pem" << kToken << QString();
    QTest::newRow("wrong token") << "server" << true << "ca.pem" << QStringLiteral("s3gredo") << refused;
    QTest::newRow("no token") << "server" << true << "ca.pem" << QString() << refused;
    QTest::newRow("no TLS against a TLS server") << "server" << false << "" << kToken
                                                 << QStringLiteral("o servidor pode exigir conexão segura (TLS)");
    QTest::newRow("untrusted server certificate") << "untrusted" << true << "ca.pem" << kToken << tlsFailed;
    QTest::newRow("trusting another authority") << "server" << true << "untrusted.pem" << kToken << tlsFailed;
    QTest::newRow("the system's authorities only") << "server" << true << "" << kToken << tlsFailed;
    QTest::newRow("TLS against a plain server") << "" << true << "ca.pem" << kToken << tlsFailed;
    QTest::newRow("CA file that is no certificate") << "server" << true << "server.key" << kToken
                                                    << QStringLiteral("Certificado da autoridade (CA) do servidor de aplicação não encontrado");
}

void TestServerTls::connections()
{
    QFETCH(QString, serverCertificate);
    QFETCH(bool, clientTls);
    QFETCH(QString, clientCa);
    QFETCH(QString, clientToken);
    QFETCH(QString, failure);
    QTemporaryDir dir;
    server::ServerSettings settings;
    settings.accessToken = kToken;
    if (!serverCertificate.isEmpty())
        settings.tls = server::serverTls(tlsFile(qPrintable(serverCertificate + QStringLiteral(".pem"))),
                                         tlsFile(qPrintable(serverCertificate + QStringLiteral(".key"))));
    server::ServerThread server(freshDemoDatabase(QStringLiteral("sqlite"), dir), QHostAddress::LocalHost, 0, settings);

    TNetConnection net;
    net.setServerName(serverName());
    net.setHost(QStringLiteral("127.0.0.1"));
    net.setPort(server.port());
    net.setOperatorCode(QStringLiteral("ADMIN"));
    net.setPassword(QString::fromLatin1(server::kDemoPassword));
    net.setAccessToken(clientToken);
    net.setTls(clientTls);
    net.setCaFile(clientCa.isEmpty() ? QString() : tlsFile(qPrintable(clientCa)));
    net.setConnectTimeout(5000);
    const QVariantList dayArgs = {QStringLiteral("0001"), QStringLiteral("00001"), day()};
    try {
        const QVariant answer = net.call(QStringLiteral("GetPadrao"), dayArgs);
        QVERIFY2(failure.isEmpty(), "the call went through");
        QCOMPARE(table(protocol::resultPayload(answer)).rows.size(), 3);
        QVERIFY(net.Connected());
    } catch (const toolkit::Error &e) {
        qInfo().noquote() << e.message();   // what the user would read
        QVERIFY2(!failure.isEmpty() && e.message().contains(failure), qPrintable(e.message()));
        QVERIFY(!net.Connected());
    }
}

QTEST_GUILESS_MAIN(TestServerTls)
#include "tst_servertls.moc"
