#pragma once
// The host's login session: read from an INI file and the command line (which wins), checked,
// and applied (the shared database opened, the session values set).
//
// INI (every key optional; the command line may give them instead):
//   [session]   branch=0001  operator=ADMIN  date=08/12/2026  bound-branch=false
//               password-file=senha  (the operator's password, its first line; without it the
//                                     host asks for it in the sign-in dialog)
//   [server]    host=127.0.0.1  port=8410
//               tls=true  ca=ca.pem  (TLS verifying the server; ca relative to the INI file and
//                                     implying tls; without ca the system's authorities)
//               token-file=token.txt (or token=...: the server's access token)
//               call-timeout=300     (seconds a call may take)
//   [database]  path=servtran.db        (relative to the INI file's folder; or sqlite:FILE,
//                                        postgres:host=H port=P dbname=D user=U, postgresql://...)
//   [modules]   dir=plugins             (relative to the INI file's folder)
//   [dates]     0001=08/12/2026         (processing date of a branch)
//   [pictures]  1=9.99.999.9999;0;      (edit mask of a coded field by picture kind)
// Dates are dd/MM/yyyy or yyyy-MM-dd.

#include <framework/zandrix.h>

#include <QString>
#include <QStringList>

namespace hostapp {

struct HostSettings {
    framework::SessionValues session;   // branch name filled by applySettings
    QString database;
    QString pluginDir;                  // empty: beside the executable
    QString openScreen;                 // --open
    QString configFile;                 // the INI file read, if any
};

// Parses the arguments (the program name first) and the INI file they name or the default one
// (servtran-host.ini beside the executable, else in the working directory). Throws
// toolkit::Error with a clear text for a missing or bad setting. --help and --version are the
// caller's (see helpText()).
HostSettings parseSettings(const QStringList &arguments);
QString helpText();
bool wantsHelp(const QStringList &arguments);

// Opens the shared database, checks the branch (and the operator's access to it), reads its
// name and sets the session. Throws toolkit::Error.
void applySettings(HostSettings &settings);

// "08/12/2026" or "2026-12-08"; invalid QDate otherwise.
QDate parseDate(const QString &text);

} // namespace hostapp
