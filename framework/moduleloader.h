#pragma once
// Loads modules by screen code, runs their Initialize once per load and Finalize at unload,
// resolves their entries by name, and destroys their forms before the library goes away.

#include "framework_export.h"
#include "packageinfo.h"

#include <QString>

#include <map>
#include <memory>

class QLibrary;

namespace framework {

class FRAMEWORK_EXPORT LoadedModule {
public:
    LoadedModule(const QString &screenCode, const QString &path);   // loads and initializes
    ~LoadedModule();                                                 // forms, Finalize, unload

    const QString &screenCode() const { return m_code; }
    const QString &path() const { return m_path; }

    // The entry's address, or nullptr when the module does not export it.
    void *symbol(const char *name) const;
    bool has(const char *name) const { return symbol(name) != nullptr; }
    // The entry as a function of type F; toolkit::Error when the module does not export it.
    template <typename F>
    F entry(const char *name) const
    {
        return reinterpret_cast<F>(required(name));
    }

    // Destroys every widget whose class the module defines (and the MDI windows holding them).
    void destroyForms();

    LoadedModule(const LoadedModule &) = delete;
    LoadedModule &operator=(const LoadedModule &) = delete;

private:
    void *required(const char *name) const;

    QString m_code;
    QString m_path;
    std::unique_ptr<QLibrary> m_library;
    bool m_initialized = false;
};

class FRAMEWORK_EXPORT ModuleLoader {
public:
    ModuleLoader();
    ~ModuleLoader();   // unloads every module, last loaded first

    // Where modules are looked for; by default the host executable's folder.
    QString pluginDir() const;
    void setPluginDir(const QString &dir) { m_dir = dir; }
    // "PLA04100" -> <dir>/libpla04100.so
    QString libraryPath(const QString &screenCode) const;

    // The module of that screen code, loaded (and initialized) on first use.
    // toolkit::Error when the library is missing or is not a module.
    LoadedModule &load(const QString &screenCode);
    LoadedModule *find(const QString &screenCode) const;
    bool isLoaded(const QString &screenCode) const { return find(screenCode) != nullptr; }
    // Loads the module and calls its IniProc.
    void open(const QString &screenCode);
    void unload(const QString &screenCode);
    void unloadAll();

    ModuleLoader(const ModuleLoader &) = delete;
    ModuleLoader &operator=(const ModuleLoader &) = delete;

private:
    QString m_dir;
    std::map<QString, std::unique_ptr<LoadedModule>> m_modules;
    QStringList m_order;
};

} // namespace framework
