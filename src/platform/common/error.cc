#include "platform/common/error.h"

#include <cerrno>
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

ErrorKind ErrorKindOfErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return ErrorKind::kNotFound;
    case ENOSPC:
    case EDQUOT:
      return ErrorKind::kNoSpace;
    case EACCES:
    case EPERM:
    case EROFS:
      return ErrorKind::kPermissionDenied;
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case ECONNREFUSED:
    case ECONNRESET:
    case ECONNABORTED:
    case ETIMEDOUT:
    case ENOTCONN:
    case ESTALE:
      return ErrorKind::kUnavailable;
    default:
      return ErrorKind::kOther;
  }
}

IoError IoErrorOf(std::string_view path, std::string_view action, int err) {
  return IoError(fmt::format("{}: cannot {}: {}", path, action, std::strerror(err)), ErrorKindOfErrno(err));
}

void ThrowIoError(std::string_view path, std::string_view action, int err) {
  throw IoErrorOf(path, action, err);
}

}  // namespace kve
