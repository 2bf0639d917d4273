#include "moduleloader.h"

#include <toolkit/error.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QMdiSubWindow>
#include <QPointer>
#include <QWidget>

#include <dlfcn.h>

namespace framework {

void InitializePackage(const PackageInfoTable *table)
{
    if (!table)
        return;
    for (int i = 0; i < table->unitCount; ++i) {
        const PackageUnitInfo &unit = table->units[i];
        if (unit.initCount && (*unit.initCount)++ > 0)
            continue;
        if (unit.initialization)
            unit.initialization();
    }
}

void FinalizePackage(const PackageInfoTable *table)
{
    if (!table)
        return;
    for (int i = table->unitCount - 1; i >= 0; --i) {
        const PackageUnitInfo &unit = table->units[i];
        if (unit.initCount) {
            if (*unit.initCount == 0 || --(*unit.initCount) > 0)
                continue;
        }
        if (unit.finalization)
            unit.finalization();
    }
}

LoadedModule::LoadedModule(const QString &screenCode, const QString &path)
    : m_code(screenCode), m_path(path), m_library(std::make_unique<QLibrary>(path))
{
    if (!QFileInfo::exists(path))
        throw toolkit::Error(QStringLiteral("Módulo %1 não encontrado (%2).").arg(screenCode, path));
    if (!m_library->load())
        throw toolkit::Error(QStringLiteral("Não foi possível carregar o módulo %1: %2").arg(screenCode, m_library->errorString()));
    auto initialize = reinterpret_cast<InitializeProc>(symbol("Initialize"));
    if (!initialize || !symbol("Finalize") || !symbol("GetPackageInfoTable")) {
        m_library->unload();
        throw toolkit::Error(QStringLiteral("%1 não é um módulo do sistema: faltam Initialize, Finalize ou GetPackageInfoTable.").arg(path));
    }
    initialize();
    m_initialized = true;
}

LoadedModule::~LoadedModule()
{
    destroyForms();
    if (m_initialized) {
        if (auto finalize = reinterpret_cast<FinalizeProc>(symbol("Finalize")))
            finalize();
    }
    // Objects the module's code queued for deletion must go while their code is still mapped.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_library->unload();
}

void *LoadedModule::symbol(const char *name) const
{
    return reinterpret_cast<void *>(m_library->resolve(name));
}

void *LoadedModule::required(const char *name) const
{
    void *address = symbol(name);
    if (!address)
        throw toolkit::Error(QStringLiteral("O módulo %1 não exporta %2.").arg(m_code, QString::fromLatin1(name)));
    return address;
}

void LoadedModule::destroyForms()
{
    if (!qApp)
        return;
    void *anchor = symbol("Initialize");
    Dl_info moduleInfo{};
    if (!anchor || !dladdr(anchor, &moduleInfo))
        return;
    // A widget belongs to the module when its class's virtual table lives in the module's image.
    QList<QPointer<QWidget>> doomed;
    const QWidgetList all = QApplication::allWidgets();
    for (QWidget *w : all) {
        void *vtable = *reinterpret_cast<void **>(w);
        Dl_info info{};
        if (dladdr(vtable, &info) && info.dli_fbase == moduleInfo.dli_fbase)
            doomed.append(w);
    }
    for (const QPointer<QWidget> &w : std::as_const(doomed)) {
        if (!w)
            continue;
        if (auto *sub = qobject_cast<QMdiSubWindow *>(w->parentWidget()))
            delete sub;
        else
            delete w.data();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

ModuleLoader::ModuleLoader() = default;

ModuleLoader::~ModuleLoader()
{
    unloadAll();
}

QString ModuleLoader::pluginDir() const
{
    if (!m_dir.isEmpty())
        return m_dir;
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
}

QString ModuleLoader::libraryPath(const QString &screenCode) const
{
    return QDir(pluginDir()).filePath(QStringLiteral("lib%1.so").arg(screenCode.trimmed().toLower()));
}

LoadedModule &ModuleLoader::load(const QString &screenCode)
{
    const QString code = screenCode.trimmed().toUpper();
    if (code.isEmpty())
        throw toolkit::Error(QStringLiteral("Código de tela não informado."));
    if (LoadedModule *m = find(code))
        return *m;
    auto module = std::make_unique<LoadedModule>(code, libraryPath(code));
    LoadedModule &ref = *module;
    m_modules.emplace(code, std::move(module));
    m_order.append(code);
    return ref;
}

LoadedModule *ModuleLoader::find(const QString &screenCode) const
{
    const auto it = m_modules.find(screenCode.trimmed().toUpper());
    return it == m_modules.end() ? nullptr : it->second.get();
}

void ModuleLoader::open(const QString &screenCode)
{
    LoadedModule &module = load(screenCode);
    module.entry<IniProcProc>("IniProc")();
}

void ModuleLoader::unload(const QString &screenCode)
{
    const QString code = screenCode.trimmed().toUpper();
    const auto it = m_modules.find(code);
    if (it == m_modules.end())
        return;
    std::unique_ptr<LoadedModule> module = std::move(it->second);
    m_modules.erase(it);
    m_order.removeAll(code);
    module.reset();
}

void ModuleLoader::unloadAll()
{
    while (!m_order.isEmpty())
        unload(m_order.last());
}

} // namespace framework
