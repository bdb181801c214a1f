// Feeds bytes to the version-resource reader, as an executable copied from an installation
// folder or another computer's share. Anything malformed must be "no version" or a
// FormatError, never a crash or a read out of bounds; a version read is four numbers.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/common/error.h"
#include "platform/fs/file_system.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const std::string v = kve::FileVersionOfImage(bytes);
    int dots = 0;
    for (char c : v) {
      if (c == '.') ++dots;
      else if (c < '0' || c > '9') std::abort();
    }
    if (!v.empty() && dots != 3) std::abort();
  } catch (const kve::FormatError&) {
  }
  return 0;
}
