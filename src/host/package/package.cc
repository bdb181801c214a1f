// The loadable screen package: the entry the host's menu calls and the load and unload
// entries its package loader uses, all with C linkage so the host finds them by name.

#include <dlfcn.h>

#include <memory>
#include <string>

#include "host/package/package.h"
#include "platform/maker/config.h"
#include "screen/expdados_instance.h"

namespace {

std::unique_ptr<kve::maker::ServicesScope> g_makerScope;

void InitUnit() { kve::InitExpDadosUnit(); }

void FinalizeUnit() {
  kve::FinalizeExpDadosUnit();
  kve::InstallExpDadosServices(nullptr);
  g_makerScope.reset();
}

const KvePackageUnit kUnits[] = {
    {"Cli_kve07000", &InitUnit, &FinalizeUnit},
};

bool g_initialized = false;

// The host's registration entries, looked up in the program that loaded the package.
template <typename F>
F HostEntry(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

// This package's record in its host's module list: its file as the loader found it.
const KveModule& ThisModule() {
  static const std::string file = [] {
    Dl_info info{};
    return dladdr(reinterpret_cast<void*>(&Initialize), &info) && info.dli_fname ? std::string(info.dli_fname)
                                                                                  : std::string();
  }();
  static const KveModule module = {"Pkg_kve07000", "Exportação de Dados (KVE07000)", file.c_str(), &IniProc};
  return module;
}

}  // namespace

extern "C" {

void IniProc() { kve::IniProc(); }

void Initialize() {
  if (g_initialized) return;
  g_initialized = true;
  for (const KvePackageUnit& u : kUnits) u.initialize();
  if (auto reg = HostEntry<void (*)(const KveModule*)>("KveRegisterModule")) reg(&ThisModule());
}

void Finalize() {
  if (!g_initialized) return;
  g_initialized = false;
  if (auto unreg = HostEntry<void (*)(const KveModule*)>("KveUnregisterModule")) unreg(&ThisModule());
  for (auto it = std::rbegin(kUnits); it != std::rend(kUnits); ++it) it->finalize();
}

const KvePackageInfo* GetPackageInfoTable() {
  static const KvePackageInfo info = {"Pkg_kve07000", sizeof(kUnits) / sizeof(kUnits[0]), kUnits};
  return &info;
}

kve::TfrmExpDados* GetExpDadosForm() { return kve::frmExpDados; }

void SetExpDadosHost(kve::ExpDadosServices* services, kve::maker::Services* maker) {
  kve::InstallExpDadosServices(services);
  g_makerScope.reset();
  if (maker) g_makerScope = std::make_unique<kve::maker::ServicesScope>(*maker);
}

}  // extern "C"
