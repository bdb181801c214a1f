#include "platform/db/error_context.h"

#include <fmt/format.h>

#include "platform/common/error.h"

namespace kve {

void RethrowWithContext(std::string_view prefix) {
  try {
    throw;
  } catch (const EAbort&) {
    throw;
  } catch (const FormatError& e) {
    throw FormatError(fmt::format("{}: {}", prefix, e.what()));
  } catch (const ValueError& e) {
    throw ValueError(fmt::format("{}: {}", prefix, e.what()));
  } catch (const IoError& e) {
    throw IoError(fmt::format("{}: {}", prefix, e.what()));
  } catch (const Error& e) {
    throw Error(fmt::format("{}: {}", prefix, e.what()));
  }
}

}  // namespace kve
