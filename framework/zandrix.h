#pragma once
// The login session's values, as the screens read them: branch, operator, processing dates,
// application server address, coded-field pictures, and the way to open another module.
// The host application fills them once at start-up (tests fill their own).

#include "framework_export.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>

namespace framework {

// The picture of a coded field: a three-section edit mask whose first section is digit groups
// separated by dots ("9.99.999.9999;0; "), one group per level of the code.
class FRAMEWORK_EXPORT TDBPicture {
public:
    TDBPicture() = default;
    explicit TDBPicture(const QString &mask);

    const QString &mask() const { return m_mask; }
    int GetTtNiveis() const { return int(m_levels.size()); }   // number of levels of the code
    int levelLength(int level) const;                         // digits of a level (1-based)
    int codeLength() const;                                   // digits of the whole code

private:
    QString m_mask;
    QList<int> m_levels;
};

struct FRAMEWORK_EXPORT SessionValues {
    QString branch;                        // FiliProc
    QString branchName;                    // NomeFiliProc
    bool boundBranch = false;              // ModuFili
    QString operatorCode;                  // Operador
    QString operatorPassword;              // shown in every connection's hello, never stored
    QString webUrl;                        // WebURL
    int webPort = 0;                       // WebPort
    // How the connections reach the application server beyond this machine: TLS (verifying the
    // server against serverCaFile, or the system's authorities when empty), the access token
    // their hello shows, and how long a call may take before it counts as failed (0: default).
    bool serverTls = false;
    QString serverCaFile;
    QString serverToken;
    int serverCallTimeoutMs = 0;
    QDate processingDate;                  // DataProc of a branch without a date of its own
    QHash<QString, QDate> branchDates;     // DataProc per branch code
    QHash<int, QString> pictures;          // DBPict per picture kind, over the defaults
};

FRAMEWORK_EXPORT void setSession(const SessionValues &values);
FRAMEWORK_EXPORT const SessionValues &session();

// The picture of kind 1 (the dish code) when the session does not set one.
inline constexpr const char *kDefaultDishPicture = "9.99.999.9999;0; ";

FRAMEWORK_EXPORT QString FiliProc();
FRAMEWORK_EXPORT QString NomeFiliProc();
FRAMEWORK_EXPORT bool ModuFili();
// The branch's processing date; the session's date for a branch without one; today without both.
FRAMEWORK_EXPORT QDate DataProc(const QString &branch);
FRAMEWORK_EXPORT QString Operador();
FRAMEWORK_EXPORT QString WebURL();
FRAMEWORK_EXPORT int WebPort();
// The edit mask of a coded field of that picture kind; empty for a kind nobody configured.
FRAMEWORK_EXPORT QString DBPict(int kind);
FRAMEWORK_EXPORT TDBPicture DBPictObj(int kind);

// Opening another module by its screen code goes through the host, which installs the opener.
using ModuleOpener = std::function<void(const QString &screenCode)>;
FRAMEWORK_EXPORT void setModuleOpener(ModuleOpener opener);
// Throws toolkit::Error when no host installed an opener or the module cannot be opened.
FRAMEWORK_EXPORT void LoadBPL(const QString &screenCode);

} // namespace framework

using framework::DataProc;
using framework::DBPict;
using framework::DBPictObj;
using framework::FiliProc;
using framework::LoadBPL;
using framework::ModuFili;
using framework::NomeFiliProc;
using framework::Operador;
using framework::TDBPicture;
using framework::WebPort;
using framework::WebURL;
