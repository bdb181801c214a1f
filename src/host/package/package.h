#pragma once
// Entries of the screen package (a shared library), found by name with C linkage.
//
// The host loads the library, calls Initialize, hands over its services with
// SetExpDadosHost, and calls IniProc from its menu; before unloading it calls Finalize.
// Errors of IniProc (a start-up that cannot reach the server, say) travel to the host as C++
// exceptions derived from kve::Error.

#include <cstddef>

namespace kve {
struct ExpDadosServices;
class TfrmExpDados;
namespace maker {
class Services;
}
}  // namespace kve

// One unit of the package, with its initialisation and finalisation.
struct KvePackageUnit {
  const char* name;
  void (*initialize)();
  void (*finalize)();
};

struct KvePackageInfo {
  const char* name;
  size_t unitCount;
  const KvePackageUnit* units;
};

extern "C" {

// A loaded package as it registers itself with its host.
struct KveModule {
  const char* name;     // the package's name, "Pkg_kve07000"
  const char* caption;  // the menu text of the screen it opens
  const char* file;     // the package file as the host loaded it
  void (*iniProc)();    // opens its screen
};

// The host's list of modules. A host program defines these two and exports them from its
// executable; Initialize registers the package and Finalize unregisters it. Registering also
// loads the module's resource module (localised resources) when one lies beside the package
// file, and unregistering releases it. A host without them (a program that only loads the
// package) keeps no list, and the package works all the same.
void KveRegisterModule(const KveModule* module);
void KveUnregisterModule(const KveModule* module);

// Opens the export screen, or brings the open one to the front.
void IniProc();
// Runs the initialisation of every unit (once per load), then registers the package with its
// host.
void Initialize();
// Unregisters the package, then runs the finalisation of every unit, in reverse order;
// destroys an open screen.
void Finalize();
// The package's unit table.
const KvePackageInfo* GetPackageInfoTable();
// The open screen (the package's frmExpDados), for the host to show in a window of its own;
// null when no screen is open.
kve::TfrmExpDados* GetExpDadosForm();
// Installs what the screen is built with, and the host's maker services for the package's
// own copy of the maker; null removes them. Both must outlive their installation.
void SetExpDadosHost(kve::ExpDadosServices* services, kve::maker::Services* maker);

}  // extern "C"
