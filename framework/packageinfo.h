#pragma once
// The plug-in ABI between the host and a module (a shared library named after its screen code:
// "PLA04100" -> libpla04100.so). A module exports, with C linkage:
//
//   void Initialize();                         runs its units' initialization, in table order
//   void Finalize();                           runs their finalization, in reverse order
//   const PackageInfoTable *GetPackageInfoTable();
//   void IniProc();                            opens the module's screen
//
// and may export further entries the host looks up by name (criaCalcMultiServ ...).
// Each unit keeps an initialization counter: InitializePackage runs a unit's initialization
// only when its counter goes from 0 to 1, FinalizePackage its finalization only when the
// counter comes back to 0. A second Initialize therefore does nothing, and a Finalize matched
// to it neither.

#include "framework_export.h"

#include <QDateTime>
#include <QString>

extern "C" {

typedef void (*PackageUnitProc)();

struct PackageUnitInfo {
    const char *name;
    PackageUnitProc initialization;   // may be null
    PackageUnitProc finalization;     // may be null
    int *initCount;                   // the unit's counter, owned by the module
};

struct PackageInfoTable {
    int unitCount;
    const PackageUnitInfo *units;
};

typedef void (*InitializeProc)();
typedef void (*FinalizeProc)();
typedef const PackageInfoTable *(*GetPackageInfoTableProc)();
typedef void (*IniProcProc)();
}

// Entry of the transported-services module that opens the calculation dialog: branch, service
// (may be empty) and date (a null date-time keeps the dialog's own); true when it closed with OK.
using CriaCalcMultiServProc = bool (*)(const QString &branch, const QString &service, const QDateTime &date);

namespace framework {

// What a module's Initialize and Finalize do with their table.
FRAMEWORK_EXPORT void InitializePackage(const PackageInfoTable *table);
FRAMEWORK_EXPORT void FinalizePackage(const PackageInfoTable *table);

} // namespace framework
