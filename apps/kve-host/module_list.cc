#include "module_list.h"

#include <algorithm>

namespace kve::host_app {

ModuleList& ModuleList::Host() {
  static ModuleList list;
  return list;
}

void ModuleList::Register(const KveModule* module) {
  if (!module) return;
  // A package registers once per load; a second call changes nothing.
  for (const Entry& e : entries_)
    if (e.module == module) return;
  Entry entry{module, {}};
  if (module->file && *module->file) {
    const std::string candidate = std::string(module->file) + "." + language_;
    entry.resource.reset(std::fopen(candidate.c_str(), "rb"));
    if (entry.resource) entry.resourceFile = candidate;
  }
  entries_.push_back(std::move(entry));
  if (onChange_) onChange_();
}

void ModuleList::Unregister(const KveModule* module) {
  // Erasing the entry releases its resource module.
  if (std::erase_if(entries_, [&](const Entry& e) { return e.module == module; }) && onChange_) onChange_();
}

}  // namespace kve::host_app

// The entries every package looks up in the program that loaded it.
extern "C" {
__attribute__((visibility("default"))) void KveRegisterModule(const KveModule* module) {
  kve::host_app::ModuleList::Host().Register(module);
}
__attribute__((visibility("default"))) void KveUnregisterModule(const KveModule* module) {
  kve::host_app::ModuleList::Host().Unregister(module);
}
}
