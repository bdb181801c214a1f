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
  // what() is read as a C string: a NUL inside the text (a field name read from a file)
  // would end the message there, so it is spelled "\0".
  explicit Error(const std::string& what) : std::runtime_error(SpellOutNul(what)) {}
  explicit Error(const char* what) : std::runtime_error(what) {}

 private:
  static std::string SpellOutNul(const std::string& s) {
    if (s.find('\0') == std::string::npos) return s;
    std::string out;
    for (char c : s) c == '\0' ? out += "\\0" : out += c;
    return out;
  }
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
