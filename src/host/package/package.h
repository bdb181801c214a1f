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

// Opens the export screen, or brings the open one to the front.
void IniProc();
// Runs the initialisation of every unit (once per load).
void Initialize();
// Runs the finalisation of every unit, in reverse order; destroys an open screen.
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
