#pragma once
// Failures travel as exceptions. Every error carries its context in its text, outermost first
// ("PRODUTO.xml: row 12: CDARVPROD: value too long"), so the one place that shows errors to
// the operator needs nothing but what().

#include <stdexcept>
#include <string>

namespace kve {

// Base of every error this program raises on purpose.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Input from outside (a file, a packet, a server reply) is not what its format says.
class FormatError : public Error {
 public:
  using Error::Error;
};

// A value does not fit the column it is meant for (width, type, code page).
class ValueError : public Error {
 public:
  using Error::Error;
};

// The file system, a share or a device refused an operation.
class IoError : public Error {
 public:
  using Error::Error;
};

// The operation was abandoned after its own message was shown; dispatchers swallow it.
class EAbort : public Error {
 public:
  EAbort() : Error("Operation aborted") {}
};

}  // namespace kve
