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
#include <string>
#include <vector>

#include "host/package/package.h"

namespace kve::host_app {

class ModuleList {
 public:
  struct Entry {
    const KveModule* module;
    std::string resourceFile;  // empty: none was found
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

  ~ModuleList();

 private:
  std::vector<Entry> entries_;
  std::vector<std::FILE*> resources_;  // beside entries_, index for index
  std::string language_ = "POR";
  std::function<void()> onChange_;
};

}  // namespace kve::host_app
