#pragma once
// What a screen test stands on: a temporary SQLite database with the schema and a small seeded
// world, the application server core serving it on a loopback port (its own thread), the shared
// database connection, the login session, the host's main window and module loader, and the
// scripted presenter that answers the framework's dialogs.

#include <framework/application.h>
#include <framework/moduleloader.h>
#include <framework/testing/scriptedpresenter.h>
#include <framework/zandrix.h>
#include <server/database.h>
#include <server/serverthread.h>

#include <toolkit/clientdataset.h>
#include <toolkit/dbgrid.h>

#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace screentest {

inline QDate seededDay() { return QDate(2026, 12, 8); }

// The tests' own small world, or the demo data set a new user meets first.
enum class World { Seeded, Demo };

class ScreenFixture {
public:
    explicit ScreenFixture(World world = World::Seeded);
    ~ScreenFixture();

    // Runs SQL on the test's own connection to the database ("?" placeholders, in order).
    void exec(const QString &sql, const QVariantList &values = {});
    int count(const QString &sql, const QVariantList &values = {});
    // The dish's registered data (quantities, sample, minimum fill) for a service of branch 0001.
    void registerDish(const QString &dish, const QString &owner, const QVariant &perPerson, const QVariant &perContainer,
                      const QVariant &sample, const QVariant &percent, const QString &service = QStringLiteral("00001"));
    // A column of the stored dish row with that number (invalid when there is none).
    QVariant stored(const QString &number, const QString &column);
    // Adds a dish row of the seeded day (and its labels) the way the server stores them.
    void addDish(const QString &client, const QString &point, const QString &number, const QString &dish,
                 double diners, int labels, QDate day = seededDay(), const QString &service = QStringLiteral("00001"));

    // The session the screen reads at its first activation.
    framework::SessionValues &session() { return m_session; }
    void applySession() { framework::setSession(m_session); }

    // Server control: a stopped server makes every call fail.
    void stopServer() { m_server.reset(); }
    // A new server on the same port, as after a restart of the application server.
    void restartServer();
    quint16 port() const { return m_port; }

    framework::MainWindow *mainWindow() { return m_window.get(); }
    framework::testing::ScriptedPresenter &presenter() { return *m_presenter; }
    framework::LoadedModule &module();

    // IniProc, then the screen as the MDI area shows it (nullptr when none).
    QWidget *openScreen();
    QWidget *screen() const;
    bool screenExists();
    // Closes the screen as the user would and lets the framework destroy it.
    void closeScreen();

    // The calculation dialog entry of the module.
    bool criaCalcMultiServ(const QString &branch, const QString &service, const QDateTime &date);

    const QString &databasePath() const { return m_path; }

private:
    void seed();

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<server::Database> m_db;
    std::unique_ptr<server::ServerThread> m_server;
    quint16 m_port = 0;
    framework::SessionValues m_session;
    std::unique_ptr<framework::MainWindow> m_window;
    std::unique_ptr<framework::testing::ScriptedPresenter> m_presenter;
    std::unique_ptr<framework::ModuleLoader> m_loader;
};

// Components of a screen by their names.
template <typename T = QWidget>
T *part(QObject *screen, const char *name)
{
    T *found = screen->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no component %s", name);
    return found;
}

inline toolkit::ClientDataSet *dataSet(QObject *screen, const char *name)
{
    return part<toolkit::ClientDataSet>(screen, name);
}

// The values of one field over the rows a dataset shows now.
QStringList column(toolkit::ClientDataSet *ds, const QString &field);

// Gives a widget the keyboard focus, as a click or Tab would, and lets the handlers run.
void focus(QWidget *widget);
// Types text into the focused editor the way a user would.
void type(QWidget *widget, const QString &text);
// Types into a cell of a grid, the focus taken there first unless it is in the grid already
// (its cell editor included), then leaves the cell with Tab when asked to.
void typeInCell(toolkit::DBGrid *grid, int column, const QString &text, bool leave = true);

} // namespace screentest
