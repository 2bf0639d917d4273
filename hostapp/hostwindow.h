#pragma once
// The host's main window: the MDI area of the framework, a "Módulos" menu that opens modules by
// screen code, and a status bar with the session's branch, operator and date. It owns the
// module loader and installs it as the session's way to open a module (LoadBPL).

#include <framework/application.h>
#include <framework/moduleloader.h>

class QLabel;

namespace hostapp {

class HostWindow : public framework::MainWindow {
    Q_OBJECT
public:
    explicit HostWindow(const QString &pluginDir = QString(), QWidget *parent = nullptr);
    ~HostWindow() override;

    framework::ModuleLoader &loader() { return m_loader; }

    // Menu commands; failures go to the application's error handling.
    void openModule(const QString &screenCode);
    void calculateServices();
    void refreshStatus();

private:
    framework::ModuleLoader m_loader;
    QLabel *m_branch;
    QLabel *m_operator;
    QLabel *m_date;
};

} // namespace hostapp
