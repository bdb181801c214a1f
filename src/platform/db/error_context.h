#pragma once
// Adding context to an error on its way out without losing its kind: an IoError stays an
// IoError ("qryFilial: postgresql: ...: connection lost"), so callers can still tell an
// unreachable server from a bad statement.

#include <string_view>

namespace kve {

// REQUIRES: called inside a catch block. Rethrows the exception being handled with
// "prefix: " before its text; exceptions that are not kve::Error pass unchanged, and so
// does EAbort, which carries no text worth extending.
[[noreturn]] void RethrowWithContext(std::string_view prefix);

}  // namespace kve
