#include "hostwindow.h"

#include <framework/packageinfo.h>
#include <framework/presenter.h>
#include <framework/zandrix.h>
#include <toolkit/designmetrics.h>
#include <toolkit/error.h>

#include <QInputDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

namespace hostapp {

HostWindow::HostWindow(const QString &pluginDir, QWidget *parent) : framework::MainWindow(parent)
{
    setWindowTitle(QStringLiteral("Sistema de Produção — Serviços Transportados"));
    if (!pluginDir.isEmpty())
        m_loader.setPluginDir(pluginDir);

    // Alt+M belongs to the screens' own "Manutenção" menu: the host's menu takes Alt+D.
    QMenu *modules = menuBar()->addMenu(QStringLiteral("Mó&dulos"));
    modules->setObjectName(QStringLiteral("mnuModulos"));
    const auto addModule = [this, modules](const QString &name, const QString &code, const QString &caption) {
        QAction *a = modules->addAction(code + QStringLiteral(" — ") + caption);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, [this, code] { openModule(code); });
    };
    addModule(QStringLiteral("mnuServTran"), QStringLiteral("PLA04100"), QStringLiteral("&Serviços Transportados"));
    addModule(QStringLiteral("mnuEtiquetas"), QStringLiteral("PLA04101"), QStringLiteral("&Etiquetas"));
    QAction *calc = modules->addAction(QStringLiteral("&Calcular Serviços Transportados"));
    calc->setObjectName(QStringLiteral("mnuCalcular"));
    connect(calc, &QAction::triggered, this, [this] { calculateServices(); });
    modules->addSeparator();
    QAction *byCode = modules->addAction(QStringLiteral("&Abrir tela pelo código..."));
    byCode->setObjectName(QStringLiteral("mnuAbrirCodigo"));
    connect(byCode, &QAction::triggered, this, [this] {
        bool ok = false;
        const QString code = QInputDialog::getText(this, QStringLiteral("Abrir tela"), QStringLiteral("Código da tela:"),
                                                   QLineEdit::Normal, QString(), &ok);
        if (ok && !code.trimmed().isEmpty())
            openModule(code);
    });
    modules->addSeparator();
    QAction *quit = modules->addAction(QStringLiteral("Sai&r"));
    quit->setObjectName(QStringLiteral("mnuSair"));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu *windows = menuBar()->addMenu(QStringLiteral("&Janela"));
    windows->setObjectName(QStringLiteral("mnuJanela"));
    connect(windows->addAction(QStringLiteral("&Cascata")), &QAction::triggered, mdiArea(), &QMdiArea::cascadeSubWindows);
    connect(windows->addAction(QStringLiteral("&Lado a lado")), &QAction::triggered, mdiArea(), &QMdiArea::tileSubWindows);

    m_branch = new QLabel(this);
    m_branch->setObjectName(QStringLiteral("lblFilial"));
    m_operator = new QLabel(this);
    m_operator->setObjectName(QStringLiteral("lblOperador"));
    m_date = new QLabel(this);
    m_date->setObjectName(QStringLiteral("lblData"));
    statusBar()->addWidget(m_branch, 1);
    statusBar()->addWidget(m_operator);
    statusBar()->addWidget(m_date);
    refreshStatus();

    framework::setModuleOpener([this](const QString &code) { m_loader.open(code); });
    // Designed for a smaller font, and never larger than the screen it opens on.
    QSize size = toolkit::scaled(QSize(1100, 760), this);
    if (const QScreen *screen = this->screen())
        size = size.boundedTo(screen->availableSize());
    resize(size);
}

HostWindow::~HostWindow()
{
    framework::setModuleOpener({});
    // The modules' forms go with their modules, while the main window is still whole.
    m_loader.unloadAll();
}

void HostWindow::refreshStatus()
{
    const QString branch = framework::FiliProc();
    m_branch->setText(QStringLiteral("Filial: %1 - %2").arg(branch, framework::NomeFiliProc()));
    m_operator->setText(QStringLiteral("Operador: %1").arg(framework::Operador()));
    m_date->setText(QStringLiteral("Data: %1").arg(framework::DataProc(branch).toString(QStringLiteral("dd/MM/yyyy"))));
}

void HostWindow::openModule(const QString &screenCode)
{
    toolkit::guarded([&] { m_loader.open(screenCode); });
}

void HostWindow::calculateServices()
{
    toolkit::guarded([this] {
        framework::LoadedModule &module = m_loader.load(QStringLiteral("PLA04100"));
        if (!module.has("criaCalcMultiServ"))
            throw toolkit::Error(QStringLiteral("O módulo PLA04100 não oferece o cálculo de serviços transportados."));
        const QString branch = framework::FiliProc();
        const QDateTime date(framework::DataProc(branch), QTime(0, 0));
        module.entry<CriaCalcMultiServProc>("criaCalcMultiServ")(branch, QString(), date);
    });
}

} // namespace hostapp
