// Registry export files as the deployment reads them: any bytes, in any of the three
// encodings, must parse or raise kve::FormatError, never crash or hang.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/common/error.h"
#include "platform/registry/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    kve::RegFile f = kve::ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.reg");
    for (const auto& [key, values] : f.keys)
      for (const auto& [name, value] : values)
        if (f.Find(key, name) == nullptr) __builtin_trap();  // what was read is found again
  } catch (const kve::Error&) {
  }
  return 0;
}
