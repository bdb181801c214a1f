#include "module_list.h"

#include <algorithm>

namespace kve::host_app {

ModuleList& ModuleList::Host() {
  static ModuleList list;
  return list;
}

ModuleList::~ModuleList() {
  for (std::FILE* f : resources_)
    if (f) std::fclose(f);
}

void ModuleList::Register(const KveModule* module) {
  if (!module) return;
  // A package registers once per load; a second call changes nothing.
  for (const Entry& e : entries_)
    if (e.module == module) return;
  Entry entry{module, {}};
  std::FILE* resource = nullptr;
  if (module->file && *module->file) {
    const std::string candidate = std::string(module->file) + "." + language_;
    if ((resource = std::fopen(candidate.c_str(), "rb"))) entry.resourceFile = candidate;
  }
  entries_.push_back(std::move(entry));
  resources_.push_back(resource);
  if (onChange_) onChange_();
}

void ModuleList::Unregister(const KveModule* module) {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].module != module) continue;
    if (resources_[i]) std::fclose(resources_[i]);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
    resources_.erase(resources_.begin() + static_cast<std::ptrdiff_t>(i));
    if (onChange_) onChange_();
    return;
  }
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
