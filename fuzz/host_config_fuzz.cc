// The host's configuration file: any text must give a configuration or a kve::Error naming
// the file, never a crash, a hang or another exception.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/common/error.h"
#include "platform/maker/config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    kve::maker::ParseConfig(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.toml", "base");
  } catch (const kve::Error& e) {
    if (std::string_view(e.what()).find("fuzz.toml") == std::string_view::npos) __builtin_trap();
  }
  return 0;
}
