// The module unit: what the host calls to load, unload and open the module. Units, in table
// order: the module unit, then the two screen units (the dialog's before the screen's).

#include "calcmultiserv/frmcalcmultiserv.h"
#include "servtran/frmservtran.h"

#include <framework/packageinfo.h>

namespace {

int pkgCount = 0, cli04102Count = 0, cli04100Count = 0;

// Cli_pla04100: a fresh load of the module starts without a screen.
void cliPla04100Initialization() { boIdCriado = false; }

const PackageUnitInfo kUnits[] = {
    {"Pkg_pla04100", nullptr, nullptr, &pkgCount},
    {"Cli_pla04102", nullptr, nullptr, &cli04102Count},
    {"Cli_pla04100", &cliPla04100Initialization, nullptr, &cli04100Count},
};
const PackageInfoTable kTable = {int(std::size(kUnits)), kUnits};

} // namespace

extern "C" {

Q_DECL_EXPORT const PackageInfoTable *GetPackageInfoTable() { return &kTable; }
Q_DECL_EXPORT void Initialize() { framework::InitializePackage(&kTable); }
Q_DECL_EXPORT void Finalize() { framework::FinalizePackage(&kTable); }
Q_DECL_EXPORT void IniProc() { CriaServTran(); }

} // extern "C"
