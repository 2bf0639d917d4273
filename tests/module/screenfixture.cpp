#include "screenfixture.h"

#include <framework/dtmdbgeral.h>
#include <framework/packageinfo.h>
#include <framework/presenter.h>
#include <toolkit/error.h>
#include <server/demo.h>
#include <server/passwords.h>
#include <server/schema.h>

#include <QApplication>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSqlError>
#include <QSqlQuery>

namespace screentest {

namespace {
QString sqlDate(QDate d) { return d.toString(Qt::ISODate); }
} // namespace

ScreenFixture::ScreenFixture(World world)
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    m_path = m_dir.filePath(QStringLiteral("servtran.db"));
    const QString connection = QStringLiteral("sqlite:") + m_path;
    m_db = std::make_unique<server::Database>(connection);
    server::createSchema(*m_db);
    if (world == World::Demo)
        server::loadDemoData(*m_db);
    else
        seed();
    m_server = std::make_unique<server::ServerThread>(connection);
    m_port = m_server->port();
    framework::openSharedDatabase(connection);

    m_session.branch = QStringLiteral("0001");
    m_session.branchName = world == World::Demo ? QStringLiteral("Cozinha Central Norte") : QStringLiteral("Cozinha Central");
    m_session.boundBranch = false;
    m_session.operatorCode = QStringLiteral("ADMIN");
    m_session.operatorPassword = QString::fromLatin1(server::kDemoPassword);
    m_session.webUrl = QStringLiteral("127.0.0.1");
    m_session.webPort = m_port;
    m_session.processingDate = seededDay();
    applySession();

    m_presenter = std::make_unique<framework::testing::ScriptedPresenter>();
    // The host's general error handling: what a handler lets through is shown to the user.
    toolkit::setExceptionHandler([](const QString &message) { framework::presenter().error(message); });
    m_window = std::make_unique<framework::MainWindow>();
    m_window->resize(1100, 800);
    m_window->show();
    m_window->activateWindow();
    if (!QTest::qWaitForWindowActive(m_window.get()))
        qWarning("the main window did not become active");
    m_loader = std::make_unique<framework::ModuleLoader>();
    m_loader->setPluginDir(QStringLiteral(SERVTRAN_PLUGIN_DIR));
    // Opening another module by its screen code, as the host does.
    framework::setModuleOpener([this](const QString &code) { m_loader->open(code); });
}

ScreenFixture::~ScreenFixture()
{
    framework::setModuleOpener({});
    m_loader.reset();   // destroys the module's forms, finalizes and unloads it
    m_window.reset();
    toolkit::setExceptionHandler({});
    m_presenter.reset();
    framework::closeSharedDatabase();
    m_server.reset();
    m_db.reset();
}

void ScreenFixture::exec(const QString &sql, const QVariantList &values)
{
    QSqlQuery q(m_db->handle());
    if (!q.prepare(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec())
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
}

int ScreenFixture::count(const QString &sql, const QVariantList &values)
{
    QSqlQuery q(m_db->handle());
    q.prepare(sql);
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q.value(0).toInt();
}

void ScreenFixture::seed()
{
    const auto rows = [this](const QString &sql, const QList<QVariantList> &values) {
        for (const QVariantList &v : values)
            exec(sql, v);
    };
    rows(QStringLiteral("INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDSITUFILI) VALUES (?, ?, ?)"),
         {{"0001", "Cozinha Central", "A"}, {"0002", "Filial Norte", "A"}, {"0003", "Filial Sul", "R"}});
    rows(QStringLiteral("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR) VALUES (?, ?)"),
         {{"ADMIN", "Administrador"}, {"OPER1", "Operador da Central"}});
    rows(QStringLiteral("INSERT INTO OPERFILI (CDOPERADOR, CDFILIAL) VALUES (?, ?)"),
         {{"ADMIN", "0001"}, {"ADMIN", "0002"}, {"ADMIN", "0003"}, {"OPER1", "0001"}});
    for (const char *code : {"ADMIN", "OPER1"})
        server::setOperatorPassword(*m_db, QLatin1String(code), QString::fromLatin1(server::kDemoPassword));
    rows(QStringLiteral("INSERT INTO SERVICO (CDFILIAL, CDSERVFILI, NMSERVICO, IDSERVTRAN, IDTIPOSERV) VALUES (?, ?, ?, ?, ?)"),
         {{"0001", "00001", "Almoço", "S", "N"},
          {"0001", "00002", "Jantar", "S", "N"},
          {"0001", "00003", "Café da manhã", "S", "A"},
          {"0001", "00004", "Lanche", "N", "N"},
          {"0001", "00005", "Merenda", "N", "N"},
          {"0002", "00001", "Almoço Norte", "S", "N"},
          {"0002", "00009", "Ceia Norte", "S", "N"}});
    rows(QStringLiteral("INSERT INTO CLIENTE (CDCLIENTE, NRINSJURCLIE, IDTPIJURCLIE, NMRAZSOCCLIE, NMFANTCLIE) VALUES (?, ?, ?, ?, ?)"),
         {{"0000123", "11222333000181", "J", "Alfa Indústria Ltda", "Alfa"},
          {"0000456", "12345678909", "F", "Beto Souza", "Beto"},
          {"0000789", "44555666000107", "J", "O'Hara Metalúrgica S.A.", "O'Hara"}});
    rows(QStringLiteral("INSERT INTO DESTFILI (CDFILIAL, CDDESTFILI, NMDESTFILI) VALUES (?, ?, ?)"),
         {{"0001", "001", "Portaria"}, {"0001", "002", "Refeitório A"}, {"0001", "003", "Refeitório B"}});
    rows(QStringLiteral("INSERT INTO PRATO (CDPRATO, CDFILAUXPRAT, NMPRATO, SGUNIDADE, CDNVPRATO, VRARREDTRANS) VALUES (?, ?, ?, ?, ?, ?)"),
         {{"1010010001", "P", "Arroz branco", "KG", "4", 0.5},
          {"1010010002", "P", "Feijão carioca", "KG", "4", 0.1},
          {"1010010003", "0001", "Frango assado", "KG", "4", QVariant()}});
    exec(QStringLiteral("INSERT INTO COMESERV (CDFILIAL, CDSERVFILI, DTSERVTRAN, QTCOMESTICAR) VALUES ('0001', '00001', ?, 400)"),
         {sqlDate(seededDay())});
    // The day: Alfa at two points, Beto at one; the rows come back ordered by client name.
    addDish(QStringLiteral("0000123"), QStringLiteral("001"), QStringLiteral("0000000001"), QStringLiteral("1010010001"), 70, 3);
    addDish(QStringLiteral("0000123"), QStringLiteral("001"), QStringLiteral("0000000002"), QStringLiteral("1010010002"), 70, 2);
    addDish(QStringLiteral("0000123"), QStringLiteral("002"), QStringLiteral("0000000003"), QStringLiteral("1010010001"), 30, 1);
    addDish(QStringLiteral("0000456"), QStringLiteral("003"), QStringLiteral("0000000004"), QStringLiteral("1010010002"), 20, 1);
}

void ScreenFixture::addDish(const QString &client, const QString &point, const QString &number, const QString &dish,
                            double diners, int labels, QDate day, const QString &service)
{
    const QString d = sqlDate(day);
    exec(QStringLiteral("INSERT INTO SERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, CDCLIENTE, CDDESTFILI, "
                        "CDPRATO, CDFILAUXPRAT, NMPRATO, SGUNIDADE, QTCOMECLIST, QTEFETCLIST, QTCOMESTIST, QTPADRAOST, "
                        "QTCONTAIST, QTTOTAPRATST, QTTOTACONTST, QTCONTCOMPST, QTPARCPRATST, VRPECONSST, QTAMOSTRAST, "
                        "QTCONTCOMPSTCAMOS, QTTOTACONTSTCAMOS) "
                        "SELECT '0001', ?, ?, 'XXXX', ?, ?, ?, CDPRATO, CDFILAUXPRAT, NMPRATO, SGUNIDADE, ?, NULL, ?, "
                        "0.25, 4, ?, ?, ?, 0, 0, 0, ?, ? FROM PRATO WHERE CDPRATO = ?"),
         {service, d, number, client, point, diners, diners, diners * 0.25, labels, labels, labels, labels, dish});
    for (int i = 1; i <= labels; ++i)
        exec(QStringLiteral("INSERT INTO ETIQSERVTRAN (CDFILIAL, CDSERVFILI, DTSERVTRAN, CDDIETPADST, NRSERVTRAN, CDCLIENTE, "
                            "CDDESTFILI, CDPRATO, CDFILAUXPRAT, NRSEQUETIQTR, QTPRATETIQTR) "
                            "SELECT '0001', ?, ?, 'XXXX', ?, ?, ?, CDPRATO, CDFILAUXPRAT, ?, 4 FROM PRATO WHERE CDPRATO = ?"),
             {service, d, number, client, point, QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0')), dish});
}

void ScreenFixture::registerDish(const QString &dish, const QString &owner, const QVariant &perPerson,
                                 const QVariant &perContainer, const QVariant &sample, const QVariant &percent,
                                 const QString &service)
{
    exec(QStringLiteral("INSERT INTO PRATOSERV (CDFILIAL, CDSERVFILI, CDPRATO, CDFILAUXPRAT, QTPADRAO, QTCONTAI, "
                        "QTAMOSTRAUN, PERCENTUAL) VALUES ('0001', ?, ?, ?, ?, ?, ?, ?)"),
         {service, dish, owner, perPerson, perContainer, sample, percent});
}

QVariant ScreenFixture::stored(const QString &number, const QString &column)
{
    QSqlQuery q(QSqlDatabase::database(QStringLiteral("dtmDBGeral")));
    q.prepare(QStringLiteral("SELECT %1 FROM SERVTRAN WHERE NRSERVTRAN = ?").arg(column));
    q.addBindValue(number);
    return q.exec() && q.next() ? q.value(0) : QVariant();
}

void ScreenFixture::restartServer()
{
    m_server.reset();
    m_server = std::make_unique<server::ServerThread>(QStringLiteral("sqlite:") + m_path, QHostAddress::LocalHost, m_port);
}

framework::LoadedModule &ScreenFixture::module()
{
    return m_loader->load(QStringLiteral("PLA04100"));
}

QWidget *ScreenFixture::openScreen()
{
    module().entry<IniProcProc>("IniProc")();
    QApplication::processEvents();
    return screen();
}

QWidget *ScreenFixture::screen() const
{
    return m_window->findChild<QWidget *>(QStringLiteral("frmServTran"));
}

bool ScreenFixture::screenExists()
{
    return *static_cast<bool *>(module().symbol("boIdCriado"));
}

void ScreenFixture::closeScreen()
{
    QWidget *s = screen();
    if (!s)
        return;
    for (QMdiSubWindow *sub : m_window->mdiArea()->subWindowList())
        if (sub->widget() == s)
            sub->close();
    QTRY_VERIFY(!screen());
}

bool ScreenFixture::criaCalcMultiServ(const QString &branch, const QString &service, const QDateTime &date)
{
    return module().entry<CriaCalcMultiServProc>("criaCalcMultiServ")(branch, service, date);
}

QStringList column(toolkit::ClientDataSet *ds, const QString &field)
{
    QStringList out;
    const int index = ds->fieldByName(field)->index();
    for (int i = 0; i < ds->recordCount(); ++i)
        out << ds->valueAt(i, index).toString();
    return out;
}

void focus(QWidget *widget)
{
    widget->window()->activateWindow();
    widget->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
}

void type(QWidget *widget, const QString &text)
{
    QTest::keyClicks(widget, text);
    QApplication::processEvents();
}

void typeInCell(toolkit::DBGrid *grid, int column, const QString &text, bool leave)
{
    QWidget *focused = QApplication::focusWidget();
    if (focused != grid && !grid->isAncestorOf(focused))
        focus(grid);
    grid->setSelectedIndex(column);
    if (!text.isEmpty())
        type(grid, text);
    if (leave) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QApplication::processEvents();
    }
}

} // namespace screentest
