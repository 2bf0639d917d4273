// The host application: its session settings, the module loader with a test module, and the
// main window's module menu.

#include "hostconfig.h"
#include "hostwindow.h"
#include "signindialog.h"

#include <framework/dtmdbgeral.h>
#include <framework/netconnection.h>
#include <framework/presenter.h>
#include <framework/testing/scriptedpresenter.h>
#include <framework/zandrix.h>
#include <toolkit/error.h>
#include <server/database.h>
#include <server/demo.h>
#include <server/schema.h>
#include <server/serverthread.h>

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using framework::testing::ScriptedPresenter;

namespace {

int counter(const char *key) { return qApp->property(key).toInt(); }

void resetCounters()
{
    for (const QByteArray &name : qApp->dynamicPropertyNames())
        if (name.startsWith("plugin."))
            qApp->setProperty(name.constData(), QVariant());
}

} // namespace

class TstHostApp : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void settingsErrors_data();
    void settingsErrors();
    void applyErrors_data();
    void applyErrors();
    void commandLineOverridesIni();
    void defaultsWithoutIni();
    void serverSecurityFromIni();
    void serverSecurityErrors_data();
    void serverSecurityErrors();

    void loaderInitializesOncePerLoad();
    void loaderDestroysFormsBeforeUnloading();
    void loaderRefusesMissingModule();

    void windowMenusAndStatus();
    void windowOpensModulesAndCalculates();
    void windowReportsModuleErrors();

    void executableReportsBadSettings();
    void signInAsksTheServer();

private:
    QString writeIni(const QString &text);
    QStringList args(const QStringList &more) const { return QStringList{QStringLiteral("servtran-host")} + more; }

    QTemporaryDir m_dir;
    QString m_db;
};

void TstHostApp::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_db = m_dir.filePath(QStringLiteral("host.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(m_db);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("CREATE TABLE FILIAL (CDFILIAL VARCHAR(4), NMFILIAL VARCHAR(30), IDSITUFILI VARCHAR(1))")));
        QVERIFY(q.exec(QStringLiteral("CREATE TABLE OPERFILI (CDOPERADOR VARCHAR(8), CDFILIAL VARCHAR(4))")));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO FILIAL VALUES ('0001','Cozinha Norte','A'), ('0002','Cozinha Sul','A'), "
                                      "('0003','Litoral','R')")));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO OPERFILI VALUES ('OPER1','0001')")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    QFile junk(m_dir.filePath(QStringLiteral("junk.db")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(2048, 'j'));
}

void TstHostApp::cleanup()
{
    framework::closeSharedDatabase();
    framework::setSession({});
    resetCounters();
}

QString TstHostApp::writeIni(const QString &text)
{
    static int n = 0;
    const QString path = m_dir.filePath(QStringLiteral("host%1.ini").arg(++n));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(text.toUtf8());
    return path;
}

void TstHostApp::settingsErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    const QString db = QStringLiteral("--database=") + QDir::tempPath();
    QTest::newRow("no branch") << QStringList{QStringLiteral("--operator=OPER1"), db} << "Filial não informada";
    QTest::newRow("no operator") << QStringList{QStringLiteral("--branch=0001"), db} << "Operador não informado";
    QTest::newRow("no database") << QStringList{QStringLiteral("--branch=0001"), QStringLiteral("--operator=X")}
                                 << "Banco de dados não informado";
    QTest::newRow("port out of range") << QStringList{QStringLiteral("--server-port=70000")}
                                       << "Porta do servidor de aplicação inválida: \"70000\"";
    QTest::newRow("port not a number") << QStringList{QStringLiteral("--server-port=abc")}
                                       << "Porta do servidor de aplicação inválida: \"abc\"";
    QTest::newRow("bad date") << QStringList{QStringLiteral("--date=31/02/2026")} << "Data inválida em --date";
    QTest::newRow("missing config") << QStringList{QStringLiteral("--config=/nonexistent/servtran.ini")}
                                    << "Arquivo de configuração não encontrado";
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--colour=red")} << "colour";
    QTest::newRow("stray argument") << QStringList{QStringLiteral("extra")} << "Argumento inesperado: extra";
    QTest::newRow("password file missing") << QStringList{QStringLiteral("--password-file=/nonexistent/senha")}
                                           << "Arquivo da senha ilegível: /nonexistent/senha";
    QTest::newRow("missing plugin dir") << QStringList{QStringLiteral("--branch=0001"), QStringLiteral("--operator=X"), db,
                                                       QStringLiteral("--plugin-dir=/nonexistent/plugins")}
                                        << "Pasta de módulos não encontrada";
}

void TstHostApp::settingsErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    try {
        hostapp::parseSettings(args(arguments));
        QFAIL("accepted");
    } catch (const toolkit::Error &e) {
        QVERIFY2(e.message().contains(error), qPrintable(e.message()));
    }
}

void TstHostApp::applyErrors_data()
{
    QTest::addColumn<QString>("branch");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown branch") << "0009" << "OPER1" << "host.db" << "Filial 0009 recusada: Filial não cadastrada.";
    QTest::newRow("rescinded branch") << "0003" << "ADMIN" << "host.db" << "Filial com contrato rescindido.";
    QTest::newRow("operator without access") << "0002" << "OPER1" << "host.db" << "Operador sem acesso à filial 0002.";
    QTest::newRow("database missing") << "0001" << "OPER1" << "missing.db" << "não encontrado ou ilegível";
    QTest::newRow("database unreadable") << "0001" << "OPER1" << "junk.db" << "Não foi possível abrir o banco de dados";
}

void TstHostApp::applyErrors()
{
    QFETCH(QString, branch);
    QFETCH(QString, op);
    QFETCH(QString, database);
    QFETCH(QString, error);
    hostapp::HostSettings settings = hostapp::parseSettings(
        args({QStringLiteral("--branch=") + branch, QStringLiteral("--operator=") + op,
              QStringLiteral("--database=") + m_dir.filePath(database)}));
    try {
        hostapp::applySettings(settings);
        QFAIL("accepted");
    } catch (const toolkit::Error &e) {
        QVERIFY2(e.message().contains(error), qPrintable(e.message()));
    }
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, framework::sharedDatabase());   // left closed
}

void TstHostApp::commandLineOverridesIni()
{
    const QString ini = writeIni(QStringLiteral("[session]\nbranch=0001\noperator=OPER1\ndate=01/12/2026\n"
                                                "[server]\nhost=app.local\nport=9000\n"
                                                "[database]\npath=host.db\n"
                                                "[dates]\n0002=2026-12-05\n0001=02/12/2026\n"
                                                "[pictures]\n1=\"9.99.99;0; \"\n"));
    hostapp::HostSettings s = hostapp::parseSettings(
        args({QStringLiteral("--config"), ini, QStringLiteral("--branch"), QStringLiteral("0002"), QStringLiteral("--operator"),
              QStringLiteral("ADMIN"), QStringLiteral("--server-port"), QStringLiteral("9100"), QStringLiteral("--bound-branch"),
              QStringLiteral("--open"), QStringLiteral("pla04100")}));
    QCOMPARE(s.database, m_db);   // relative to the INI file
    QCOMPARE(s.openScreen, QStringLiteral("PLA04100"));
    hostapp::applySettings(s);
    QCOMPARE(framework::FiliProc(), QStringLiteral("0002"));
    QCOMPARE(framework::NomeFiliProc(), QStringLiteral("Cozinha Sul"));
    QCOMPARE(framework::Operador(), QStringLiteral("ADMIN"));
    QCOMPARE(framework::WebURL(), QStringLiteral("app.local"));
    QCOMPARE(framework::WebPort(), 9100);
    QVERIFY(framework::ModuFili());
    QCOMPARE(framework::DataProc(QStringLiteral("0002")), QDate(2026, 12, 5));
    QCOMPARE(framework::DataProc(QStringLiteral("0001")), QDate(2026, 12, 2));
    QCOMPARE(framework::DataProc(QStringLiteral("0009")), QDate(2026, 12, 1));
    QCOMPARE(framework::DBPict(1), QStringLiteral("9.99.99;0; "));
    QCOMPARE(framework::DBPictObj(1).GetTtNiveis(), 3);

    // --date is the processing date of the session's branch too.
    hostapp::HostSettings dated = hostapp::parseSettings(
        args({QStringLiteral("--config"), ini, QStringLiteral("--date"), QStringLiteral("24/12/2026")}));
    QCOMPARE(dated.session.branchDates.value(QStringLiteral("0001")), QDate(2026, 12, 24));
    QCOMPARE(dated.session.branchDates.value(QStringLiteral("0002")), QDate(2026, 12, 5));
}

void TstHostApp::defaultsWithoutIni()
{
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(m_dir.path());   // no servtran-host.ini here
    hostapp::HostSettings s = hostapp::parseSettings(
        args({QStringLiteral("--branch=0001"), QStringLiteral("--operator=OPER1"), QStringLiteral("--database=host.db")}));
    QDir::setCurrent(cwd);
    QVERIFY(s.configFile.isEmpty());
    QCOMPARE(s.database, m_db);
    QCOMPARE(s.session.webUrl, QStringLiteral("127.0.0.1"));
    QCOMPARE(s.session.webPort, 8410);
    QVERIFY(!s.session.boundBranch);
    hostapp::applySettings(s);
    QCOMPARE(framework::DBPict(1), QStringLiteral("9.99.999.9999;0; "));
    QCOMPARE(framework::DBPictObj(1).GetTtNiveis(), 4);
    QCOMPARE(framework::DataProc(QStringLiteral("0001")), QDate::currentDate());
}

// The address, TLS, CA, token and call time limit the host's connections use, from the INI file
// (files relative to it) and the command line.
void TstHostApp::serverSecurityFromIni()
{
    QFile token(m_dir.filePath(QStringLiteral("token.txt")));
    QVERIFY(token.open(QIODevice::WriteOnly));
    token.write(" s3gredo \nsecond line ignored\n");
    token.close();
    QFile ca(m_dir.filePath(QStringLiteral("ca.pem")));
    QVERIFY(ca.open(QIODevice::WriteOnly));
    ca.close();
    QFile password(m_dir.filePath(QStringLiteral("senha")));
    QVERIFY(password.open(QIODevice::WriteOnly));
    password.write(" com espaços \nsecond line ignored\n");
    password.close();
    const QString ini = writeIni(QStringLiteral("[session]\nbranch=0001\noperator=OPER1\npassword-file=senha\n"
                                                "[server]\nhost=app.local\nport=8443\nca=ca.pem\ntoken-file=token.txt\n"
                                                "call-timeout=20\n[database]\npath=host.db\n"));
    hostapp::HostSettings s = hostapp::parseSettings(args({QStringLiteral("--config"), ini}));
    QVERIFY(s.session.serverTls);   // a CA means TLS
    QCOMPARE(s.session.serverCaFile, m_dir.filePath(QStringLiteral("ca.pem")));
    QCOMPARE(s.session.serverToken, QStringLiteral("s3gredo"));
    QCOMPARE(s.session.serverCallTimeoutMs, 20000);
    QCOMPARE(s.session.operatorPassword, QStringLiteral(" com espaços "));   // the line as it stands
    hostapp::applySettings(s);
    TNetConnection net;
    QVERIFY(net.usesTls());
    QCOMPARE(net.caFile(), m_dir.filePath(QStringLiteral("ca.pem")));
    QCOMPARE(net.accessToken(), QStringLiteral("s3gredo"));
    QCOMPARE(net.callTimeout(), 20000);

    // a token in the INI itself, TLS with the system's authorities; the command line wins
    const QString plain = writeIni(QStringLiteral("[session]\nbranch=0001\noperator=OPER1\n"
                                                  "[server]\ntls=true\ntoken=outro\n[database]\npath=host.db\n"));
    s = hostapp::parseSettings(args({QStringLiteral("--config"), plain}));
    QVERIFY(s.session.serverTls);
    QVERIFY(s.session.serverCaFile.isEmpty());
    QCOMPARE(s.session.serverToken, QStringLiteral("outro"));
    QCOMPARE(s.session.serverCallTimeoutMs, 0);
    s = hostapp::parseSettings(args({QStringLiteral("--config"), plain, QStringLiteral("--server-token-file"),
                                     m_dir.filePath(QStringLiteral("token.txt")), QStringLiteral("--server-ca"),
                                     m_dir.filePath(QStringLiteral("ca.pem"))}));
    QCOMPARE(s.session.serverToken, QStringLiteral("s3gredo"));
    QCOMPARE(s.session.serverCaFile, m_dir.filePath(QStringLiteral("ca.pem")));
}

void TstHostApp::serverSecurityErrors_data()
{
    QTest::addColumn<QString>("server");   // the [server] section
    QTest::addColumn<QString>("error");
    QTest::newRow("CA missing") << "ca=nowhere.pem" << "Certificado da autoridade (CA) do servidor de aplicação não encontrado";
    QTest::newRow("token file missing") << "token-file=nowhere.txt" << "Arquivo da chave de acesso ilegível";
    QTest::newRow("empty token file") << "token-file=empty.txt" << "Arquivo da chave de acesso vazio";
    QTest::newRow("tls not a flag") << "tls=talvez" << "Valor inválido para [server] tls";
    QTest::newRow("call time-out not a number") << "call-timeout=x" << "Valor inválido para [server] call-timeout";
    QTest::newRow("call time-out zero") << "call-timeout=0" << "Valor inválido para [server] call-timeout";
}

void TstHostApp::serverSecurityErrors()
{
    QFETCH(QString, server);
    QFETCH(QString, error);
    QFile empty(m_dir.filePath(QStringLiteral("empty.txt")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.write("\n");
    empty.close();
    const QString ini = writeIni(QStringLiteral("[session]\nbranch=0001\noperator=OPER1\n[server]\n%1\n[database]\npath=host.db\n")
                                     .arg(server));
    try {
        hostapp::parseSettings(args({QStringLiteral("--config"), ini}));
        QFAIL("accepted");
    } catch (const toolkit::Error &e) {
        QVERIFY2(e.message().contains(error), qPrintable(e.message()));
    }
}

void TstHostApp::loaderInitializesOncePerLoad()
{
    framework::ModuleLoader loader;
    loader.setPluginDir(QStringLiteral(TEST_PLUGIN_DIR));
    QCOMPARE(loader.libraryPath(QStringLiteral("TST04999")),
             QDir(QStringLiteral(TEST_PLUGIN_DIR)).filePath(QStringLiteral("libtst04999.so")));
    framework::LoadedModule &module = loader.load(QStringLiteral("tst04999"));
    QCOMPARE(counter("plugin.init.one"), 1);
    QCOMPARE(counter("plugin.init.two"), 1);
    QCOMPARE(qApp->property("plugin.order").toString(), QStringLiteral("12"));
    QCOMPARE(&loader.load(QStringLiteral("TST04999")), &module);   // loaded once
    QCOMPARE(counter("plugin.init.one"), 1);

    // Entries by name.
    QVERIFY(module.has("IniProc"));
    QVERIFY(!module.has("NoSuchEntry"));
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, module.entry<IniProcProc>("NoSuchEntry"));
    const PackageInfoTable *table = module.entry<GetPackageInfoTableProc>("GetPackageInfoTable")();
    QCOMPARE(table->unitCount, 2);
    QCOMPARE(QByteArray(table->units[0].name), QByteArrayLiteral("Tst_unit_one"));
    QVERIFY(module.entry<CriaCalcMultiServProc>("criaCalcMultiServ")(QStringLiteral("0001"), QString(), QDateTime()));

    // A second Initialize does nothing; the Finalize matched to it neither.
    module.entry<InitializeProc>("Initialize")();
    QCOMPARE(counter("plugin.init.one"), 1);
    module.entry<FinalizeProc>("Finalize")();
    QCOMPARE(counter("plugin.fini.one"), 0);

    loader.unload(QStringLiteral("TST04999"));
    QVERIFY(!loader.isLoaded(QStringLiteral("TST04999")));
    QCOMPARE(counter("plugin.fini.one"), 1);
    QCOMPARE(counter("plugin.fini.two"), 1);
    QCOMPARE(qApp->property("plugin.order").toString(), QStringLiteral("12-2"));   // finalized in reverse

    // Loaded again, the module starts afresh.
    framework::LoadedModule &again = loader.load(QStringLiteral("TST04999"));
    QCOMPARE(counter("plugin.init.one"), 2);
    QCOMPARE(*static_cast<bool *>(again.symbol("boIdCriado")), false);
}

void TstHostApp::loaderDestroysFormsBeforeUnloading()
{
    framework::MainWindow main;
    main.show();
    framework::ModuleLoader loader;
    loader.setPluginDir(QStringLiteral(TEST_PLUGIN_DIR));
    loader.open(QStringLiteral("TST04999"));
    QCOMPARE(counter("plugin.form.created"), 1);
    QCOMPARE(main.mdiArea()->subWindowList().size(), 1);
    QCOMPARE(*static_cast<bool *>(loader.find(QStringLiteral("TST04999"))->symbol("boIdCriado")), true);
    loader.open(QStringLiteral("TST04999"));   // the module keeps one screen
    QCOMPARE(counter("plugin.form.created"), 1);
    QPointer<QMdiSubWindow> sub = main.mdiArea()->subWindowList().constFirst();
    loader.unloadAll();
    QCOMPARE(counter("plugin.form.destroyed"), 1);
    QVERIFY(!sub);
    QCOMPARE(counter("plugin.fini.one"), 1);
}

void TstHostApp::loaderRefusesMissingModule()
{
    framework::ModuleLoader loader;
    loader.setPluginDir(QStringLiteral(TEST_PLUGIN_DIR));
    try {
        loader.load(QStringLiteral("PLA09999"));
        QFAIL("loaded");
    } catch (const toolkit::Error &e) {
        QVERIFY2(e.message().contains(QStringLiteral("Módulo PLA09999 não encontrado")), qPrintable(e.message()));
    }
    QVERIFY(!loader.isLoaded(QStringLiteral("PLA09999")));
}

void TstHostApp::windowMenusAndStatus()
{
    framework::SessionValues s;
    s.branch = QStringLiteral("0001");
    s.branchName = QStringLiteral("Cozinha Norte");
    s.operatorCode = QStringLiteral("OPER1");
    s.branchDates.insert(QStringLiteral("0001"), QDate(2026, 12, 8));
    framework::setSession(s);
    hostapp::HostWindow window(QStringLiteral(TEST_PLUGIN_DIR));
    QCOMPARE(window.windowTitle(), QStringLiteral("Sistema de Produção — Serviços Transportados"));
    QCOMPARE(framework::mainWindow(), &window);
    QStringList texts;
    for (QAction *a : window.findChild<QMenu *>(QStringLiteral("mnuModulos"))->actions())
        texts << a->text();
    QVERIFY(texts.contains(QStringLiteral("PLA04100 — &Serviços Transportados")));
    QVERIFY(texts.contains(QStringLiteral("PLA04101 — &Etiquetas")));
    QVERIFY(texts.contains(QStringLiteral("&Calcular Serviços Transportados")));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblFilial"))->text(), QStringLiteral("Filial: 0001 - Cozinha Norte"));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblOperador"))->text(), QStringLiteral("Operador: OPER1"));
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblData"))->text(), QStringLiteral("Data: 08/12/2026"));
}

void TstHostApp::windowOpensModulesAndCalculates()
{
    framework::SessionValues s;
    s.branch = QStringLiteral("0001");
    s.branchDates.insert(QStringLiteral("0001"), QDate(2026, 12, 8));
    framework::setSession(s);
    {
        hostapp::HostWindow window(QStringLiteral(TEST_PLUGIN_DIR));
        window.show();
        window.findChild<QAction *>(QStringLiteral("mnuServTran"))->trigger();
        QCOMPARE(counter("plugin.form.created"), 1);
        QCOMPARE(window.mdiArea()->subWindowList().size(), 1);
        window.findChild<QAction *>(QStringLiteral("mnuCalcular"))->trigger();
        QCOMPARE(qApp->property("plugin.calc").toStringList(),
                 (QStringList{QStringLiteral("0001"), QString(), QStringLiteral("2026-12-08T00:00:00")}));
        // A screen opens another module through the session.
        LoadBPL(QStringLiteral("TST04999"));
        QCOMPARE(counter("plugin.form.created"), 2);
        QCOMPARE(counter("plugin.init.one"), 2);   // two modules, one load each
    }
    // Closing the host unloads every module, forms first.
    QCOMPARE(counter("plugin.form.destroyed"), 2);
    QCOMPARE(counter("plugin.fini.one"), 2);
    QVERIFY_THROWS_EXCEPTION(toolkit::Error, LoadBPL(QStringLiteral("TST04999")));   // no host any more
}

void TstHostApp::windowReportsModuleErrors()
{
    ScriptedPresenter presenter;
    toolkit::setExceptionHandler([](const QString &message) { framework::presenter().error(message); });
    hostapp::HostWindow window(QStringLiteral(TEST_PLUGIN_DIR));
    window.findChild<QAction *>(QStringLiteral("mnuEtiquetas"))->trigger();   // PLA04101 is not there
    toolkit::setExceptionHandler({});
    QCOMPARE(presenter.errors().size(), 1);
    QVERIFY2(presenter.errors().constFirst().contains(QStringLiteral("PLA04101")), qPrintable(presenter.errors().constFirst()));
}

void TstHostApp::executableReportsBadSettings()
{
    QProcess host;
    host.setProgram(QStringLiteral(HOST_EXE));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    host.setProcessEnvironment(env);
    host.setWorkingDirectory(m_dir.path());
    host.setArguments({QStringLiteral("--branch=0009"), QStringLiteral("--operator=OPER1"), QStringLiteral("--database=") + m_db});
    host.start();
    QVERIFY(host.waitForFinished(30000));
    QCOMPARE(host.exitCode(), 2);
    QVERIFY2(QString::fromUtf8(host.readAllStandardError()).contains(QStringLiteral("Filial não cadastrada.")),
             "the reason is told");

    host.setArguments({QStringLiteral("--help")});
    host.start();
    QVERIFY(host.waitForFinished(30000));
    QCOMPARE(host.exitCode(), 0);
    QVERIFY(QString::fromUtf8(host.readAllStandardOutput()).contains(QStringLiteral("--server-port")));
}

// The sign-in dialog as the user meets it, against a server core on loopback: a wrong password
// is refused with the server's words and the dialog stays; the right one signs the operator in.
void TstHostApp::signInAsksTheServer()
{
    QTemporaryDir dir;
    const QString connection = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("servtran.db"));
    {
        server::Database db(connection);
        server::createSchema(db);
        server::loadDemoData(db);
    }
    server::ServerThread server(connection);
    framework::SessionValues session;
    session.webUrl = QStringLiteral("127.0.0.1");
    session.webPort = server.port();
    session.operatorCode = QStringLiteral("OPER1");
    QStringList shown;
    const auto type = [&](const QString &password) {
        auto *dialog = qobject_cast<hostapp::SignInDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("edtSenha"));
        QCOMPARE(QApplication::focusWidget(), edit);
        QTest::keyClicks(edit, password);
        QTest::keyClick(edit, Qt::Key_Return);
        shown << dialog->findChild<QLabel *>(QStringLiteral("lblMensagem"))->text();
    };
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        QApplication::activeModalWidget()->activateWindow();
        QTRY_VERIFY(QApplication::activeModalWidget()->isActiveWindow());
        type(QStringLiteral("errada"));
        type(QString::fromLatin1(server::kDemoPassword));
        if (QWidget *still = QApplication::activeModalWidget())
            still->close();   // a failure above must not leave the dialog waiting
    });
    QVERIFY(hostapp::signIn(session));
    QCOMPARE(shown.value(0).contains(QStringLiteral("Operador ou senha inválidos.")), true);
    QCOMPARE(session.operatorCode, QStringLiteral("OPER1"));
    QCOMPARE(session.operatorPassword, QString::fromLatin1(server::kDemoPassword));
}

QTEST_MAIN(TstHostApp)
#include "tst_hostapp.moc"
