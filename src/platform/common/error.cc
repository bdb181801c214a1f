#include "platform/common/error.h"

#include <cstring>

#include <fmt/format.h>

namespace kve {

void RethrowWithContext(std::string_view context) {
  try {
    throw;
  } catch (const EAbort&) {
    throw;
  } catch (const Error& e) {
    e.ThrowSameKind(fmt::format("{}: {}", context, e.what()));
  }
}

IoError IoErrorOf(std::string_view path, std::string_view action, int err) {
  return IoError(fmt::format("{}: cannot {}: {}", path, action, std::strerror(err)));
}

void ThrowIoError(std::string_view path, std::string_view action, int err) {
  throw IoErrorOf(path, action, err);
}

}  // namespace kve
