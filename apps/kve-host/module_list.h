#pragma once
// The host's list of loaded modules: what every package registers when it is initialised and
// unregisters when it is finalised (KveRegisterModule, KveUnregisterModule, exported from
// this program for the packages it loads). The host's "Módulos" menu is built from it.
//
// Registering a module also loads its resource module: a file beside the package named after
// the package file and the host's interface language ("libkve07000.so.POR"), kept open while
// the module is registered and released when it is unregistered.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/package/package.h"

namespace kve::host_app {

class ModuleList {
 public:
  struct Entry {
    const KveModule* module;
    std::string resourceFile;  // empty: none was found
    // The resource module, open while the module is registered.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> resource{nullptr, &std::fclose};
  };

  // The program's one list, which the exported entries change.
  static ModuleList& Host();

  // The interface language whose resource modules are loaded ("POR", "ESP", ...).
  void SetLanguage(std::string language) { language_ = std::move(language); }
  // Told after every change (the menu rebuilds itself).
  void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

  void Register(const KveModule* module);
  void Unregister(const KveModule* module);
  const std::vector<Entry>& Entries() const { return entries_; }


 private:
  std::vector<Entry> entries_;
  std::string language_ = "POR";
  std::function<void()> onChange_;
};

}  // namespace kve::host_app
