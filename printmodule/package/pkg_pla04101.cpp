// The module unit of the label print module: what the host calls to load, unload and open it.
// Units, in table order: the module unit, then the window's unit.

#include "window/labelprintwindow.h"

#include <framework/packageinfo.h>

namespace {

int pkgCount = 0, windowCount = 0;

const PackageUnitInfo kUnits[] = {
    {"Pkg_pla04101", nullptr, nullptr, &pkgCount},
    {"Cli_pla04101", &forgetLabelPrintWindow, nullptr, &windowCount},
};
const PackageInfoTable kTable = {int(std::size(kUnits)), kUnits};

} // namespace

extern "C" {

Q_DECL_EXPORT const PackageInfoTable *GetPackageInfoTable() { return &kTable; }
Q_DECL_EXPORT void Initialize() { framework::InitializePackage(&kTable); }
Q_DECL_EXPORT void Finalize() { framework::FinalizePackage(&kTable); }
Q_DECL_EXPORT void IniProc() { openLabelPrintWindow(); }

} // extern "C"
