// The Debian packages as an administrator meets them: built by CPack from this build tree,
// checked by lintian, installed with dpkg -i, the installed server run on a temporary database and
// called, the host's modules and the web front finding their libraries, the unit accepted by systemd-analyze, and
// everything removed again. Installing needs root: as another user the test is skipped.

#include "testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

using namespace servertest;

namespace {

struct Run {
    int exitCode = -1;
    QString output;
};

Run run(const QString &program, const QStringList &arguments, const QString &workingDirectory = {}, int timeoutMs = 300000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    Run result;
    if (process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.output = QString::fromUtf8(process.readAll());
    return result;
}

// dpkg refuses at once while another one (apt of another job) holds its lock: wait for it.
Run dpkg(const QStringList &arguments)
{
    Run result;
    for (int attempt = 0; attempt < 60; ++attempt) {
        result = run(QStringLiteral("dpkg"), arguments);
        if (result.exitCode == 0 || !result.output.contains(QStringLiteral("lock")))
            break;
        QThread::sleep(2);
    }
    return result;
}

const QStringList kPackages = {QStringLiteral("servtran-host"), QStringLiteral("servtran-web"), QStringLiteral("servtran-server")};

} // namespace

class TestPackages : public QObject {
    Q_OBJECT
private slots:
    void installRunRemove();
    void cleanup() { dpkg(QStringList{QStringLiteral("--purge")} + kPackages); }
};

void TestPackages::installRunRemove()
{
    if (::getuid() != 0)
        QSKIP("installing packages needs root");
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("fakeroot")).isEmpty())
        QSKIP("dpkg and fakeroot are needed");

    QTemporaryDir out;
    const Run cpack = run(QStringLiteral("fakeroot"), {QStringLiteral("cpack"), QStringLiteral("-G"), QStringLiteral("DEB"),
                                                       QStringLiteral("-B"), out.path()},
                          QStringLiteral(SERVTRAN_BUILD_DIR));
    QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
    QStringList debs;
    for (const QString &name : QDir(out.path()).entryList({QStringLiteral("*.deb")}, QDir::Files))
        debs << out.filePath(name);
    QCOMPARE(debs.size(), 3);
    for (const QString &deb : std::as_const(debs))
        qInfo("%s: %lld KiB", qPrintable(QFileInfo(deb).fileName()), QFileInfo(deb).size() / 1024);

    if (!QStandardPaths::findExecutable(QStringLiteral("lintian")).isEmpty()) {
        const Run lintian = run(QStringLiteral("lintian"), QStringList{QStringLiteral("--fail-on"), QStringLiteral("error")} + debs);
        QVERIFY2(lintian.exitCode == 0, qPrintable(lintian.output));
        qInfo("lintian: %s", lintian.output.trimmed().isEmpty() ? "nothing to say" : qPrintable(lintian.output.trimmed()));
    }

    const Run install = dpkg(QStringList{QStringLiteral("-i")} + debs);
    QVERIFY2(install.exitCode == 0, qPrintable(install.output));
    for (const char *path : {"/usr/bin/servtran-server", "/lib/systemd/system/servtran-server.service",
                             "/etc/servtran/servtran-server.conf", "/usr/share/doc/servtran-server/operations.md",
                             "/usr/bin/servtran-host", "/usr/lib/servtran-host/servtran-host",
                             "/usr/lib/servtran-host/libpla04100.so", "/usr/lib/servtran-host/libpla04101.so",
                             "/usr/share/applications/servtran-host.desktop",
                             "/usr/share/icons/hicolor/scalable/apps/servtran-host.svg", "/usr/bin/servtran-web",
                             "/lib/systemd/system/servtran-web.service", "/etc/servtran/servtran-web.ini",
                             "/usr/share/doc/servtran-web/web.md"})
        QVERIFY2(QFileInfo::exists(QString::fromLatin1(path)), path);
    QVERIFY2(::getpwnam("servtran"), "the user servtran was not created");

    // every library the host and its modules need is found where they are installed
    for (const char *binary : {"/usr/lib/servtran-host/servtran-host", "/usr/lib/servtran-host/libpla04100.so",
                               "/usr/lib/servtran-host/libpla04101.so", "/usr/bin/servtran-web"}) {
        const Run ldd = run(QStringLiteral("ldd"), {QString::fromLatin1(binary)});
        QVERIFY2(ldd.exitCode == 0 && !ldd.output.contains(QStringLiteral("not found")), qPrintable(ldd.output));
    }
    const Run webHelp = run(QStringLiteral("/usr/bin/servtran-web"), {QStringLiteral("--help")});
    QVERIFY2(webHelp.exitCode == 0 && webHelp.output.contains(QStringLiteral("--tls-cert")), qPrintable(webHelp.output));
    if (!QStandardPaths::findExecutable(QStringLiteral("systemd-analyze")).isEmpty()) {
        for (const char *unit : {"/lib/systemd/system/servtran-server.service", "/lib/systemd/system/servtran-web.service"}) {
            const Run verify = run(QStringLiteral("systemd-analyze"), {QStringLiteral("verify"), QString::fromLatin1(unit)});
            QVERIFY2(verify.exitCode == 0 && verify.output.trimmed().isEmpty(), qPrintable(verify.output));
        }
    }

    {
        QTemporaryDir dir;
        ServerProcess server(QStringLiteral("/usr/bin/servtran-server"),
                             serving(QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("servtran.db")),
                                     {QStringLiteral("--demo")}));
        const quint16 port = server.waitUntilServing();
        QVERIFY2(port != 0, qPrintable(server.log()));
        TestClient client(port);
        const QVariantList dayArgs = {QStringLiteral("0001"), QStringLiteral("00001"), day()};
        QCOMPARE(tables(client.payload(QStringLiteral("GetDados"), dayArgs)).value(1).rows.size(), 9);
        QCOMPARE(server.stop(), 0);
    }

    const Run purge = dpkg(QStringList{QStringLiteral("--purge")} + kPackages);
    QVERIFY2(purge.exitCode == 0, qPrintable(purge.output));
    for (const char *path : {"/usr/bin/servtran-server", "/usr/bin/servtran-host", "/usr/lib/servtran-host",
                             "/lib/systemd/system/servtran-server.service", "/etc/servtran/servtran-server.conf",
                             "/usr/bin/servtran-web", "/etc/servtran/servtran-web.ini"})
        QVERIFY2(!QFileInfo::exists(QString::fromLatin1(path)), path);
}

QTEST_GUILESS_MAIN(TestPackages)
#include "tst_packages.moc"
