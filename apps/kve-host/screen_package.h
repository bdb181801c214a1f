#pragma once
// The screen package as the host loads it: the shared library opened by path, its entries
// found by name, Initialize on load and Finalize on unload.

#include <string>

#include "host/package/package.h"

namespace kve::host_app {

class ScreenPackage {
 public:
  // Loads the library and runs Initialize; raises Error naming the file when it cannot be
  // loaded or lacks an entry.
  explicit ScreenPackage(const std::string& path);
  // Finalize (when not run yet), then unloads.
  ~ScreenPackage();
  ScreenPackage(const ScreenPackage&) = delete;
  ScreenPackage& operator=(const ScreenPackage&) = delete;

  const KvePackageInfo& Info() const { return *getPackageInfoTable_(); }
  void SetHost(ExpDadosServices* services, maker::Services* maker) { setHost_(services, maker); }
  void IniProc() { iniProc_(); }
  TfrmExpDados* Form() { return getForm_(); }
  // Runs the package's finalisation, which destroys any screen still open.
  void Finalize();

 private:
  void* lib_ = nullptr;
  bool finalized_ = false;
  void (*iniProc_)() = nullptr;
  void (*initialize_)() = nullptr;
  void (*finalize_)() = nullptr;
  const KvePackageInfo* (*getPackageInfoTable_)() = nullptr;
  void (*setHost_)(ExpDadosServices*, maker::Services*) = nullptr;
  TfrmExpDados* (*getForm_)() = nullptr;
};

}  // namespace kve::host_app
