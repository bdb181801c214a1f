#include "screen_package.h"

#include <dlfcn.h>

#include "platform/common/error.h"

namespace kve::host_app {
namespace {

template <typename F>
void Resolve(void* lib, const std::string& path, const char* name, F& entry) {
  entry = reinterpret_cast<F>(dlsym(lib, name));
  if (!entry) throw Error(path + ": not a screen package (no entry " + name + ")");
}

}  // namespace

ScreenPackage::ScreenPackage(const std::string& path) {
  // Local binding: the package keeps its own copy of the screen's code and of its globals.
  lib_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib_) throw Error(path + ": cannot load the screen package: " + dlerror());
  try {
    Resolve(lib_, path, "IniProc", iniProc_);
    Resolve(lib_, path, "Initialize", initialize_);
    Resolve(lib_, path, "Finalize", finalize_);
    Resolve(lib_, path, "GetPackageInfoTable", getPackageInfoTable_);
    Resolve(lib_, path, "SetExpDadosHost", setHost_);
    Resolve(lib_, path, "GetExpDadosForm", getForm_);
  } catch (...) {
    dlclose(lib_);
    throw;
  }
  initialize_();
}

void ScreenPackage::Finalize() {
  if (finalized_) return;
  finalized_ = true;
  finalize_();
  setHost_(nullptr, nullptr);
}

ScreenPackage::~ScreenPackage() {
  Finalize();
  dlclose(lib_);
}

}  // namespace kve::host_app
