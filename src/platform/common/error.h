#pragma once
// Failures travel as exceptions. Every error carries its context in its text, outermost first
// ("PRODUTO.xml: row 12: CDARVPROD: value too long"), so the one place that shows errors to
// the operator needs nothing but what().

#include <stdexcept>
#include <string>
#include <string_view>

namespace kve {

// What a caller decides by, whatever the error's class: whether a retry may help, whether to
// tell the operator the disk is full, a file is missing or a right is lacking. The text keeps
// the technical detail; the kind chooses the answer. Rethrowing with context keeps it.
enum class ErrorKind {
  kOther,
  kNotFound,          // a file, folder, share, user or record that is not there
  kUnavailable,       // a server or share that does not answer now; a retry may help
  kPermissionDenied,  // refused for want of a right: permissions, a read-only medium, a token
  kNoSpace,           // the disk or the quota is full
  kNotTrusted,        // a server whose certificate does not verify (expired, unknown issuer, pin)
};

// Base of every error this program raises on purpose.
class Error : public std::runtime_error {
 public:
  // what() is read as a C string: a NUL inside the text (a field name read from a file)
  // would end the message there, so it is spelled "\0".
  explicit Error(const std::string& what, ErrorKind kind = ErrorKind::kOther)
      : std::runtime_error(SpellOutNul(what)), kind_(kind) {}
  explicit Error(const char* what, ErrorKind kind = ErrorKind::kOther)
      : std::runtime_error(what), kind_(kind) {}

  ErrorKind kind() const { return kind_; }

  // Throws an error of this one's class, kind and data with the text `what`. Every error
  // class that callers tell apart overrides it, so adding context never changes the class.
  [[noreturn]] virtual void ThrowSameKind(const std::string& what) const { throw Error(what, kind_); }

 private:
  static std::string SpellOutNul(const std::string& s) {
    if (s.find('\0') == std::string::npos) return s;
    std::string out;
    for (char c : s) c == '\0' ? out += "\\0" : out += c;
    return out;
  }

  ErrorKind kind_;
};

// Input from outside (a file, a packet, a server reply) is not what its format says.
class FormatError : public Error {
 public:
  using Error::Error;
  [[noreturn]] void ThrowSameKind(const std::string& what) const override { throw FormatError(what, kind()); }
};

// A value does not fit the column it is meant for (width, type, code page).
class ValueError : public Error {
 public:
  using Error::Error;
  [[noreturn]] void ThrowSameKind(const std::string& what) const override { throw ValueError(what, kind()); }
};

// The file system, a share or a device refused an operation.
class IoError : public Error {
 public:
  using Error::Error;
  [[noreturn]] void ThrowSameKind(const std::string& what) const override { throw IoError(what, kind()); }
};

// The operation was abandoned after its own message was shown; dispatchers swallow it.
class EAbort : public Error {
 public:
  EAbort() : Error("Operation aborted") {}
};

// REQUIRES: called inside a catch block. Rethrows the exception being handled with
// "context: " before its text and of the same kind (an IoError stays an IoError, a server's
// error keeps its code). EAbort, which carries no text worth extending, and exceptions that
// are not kve::Error pass unchanged.
[[noreturn]] void RethrowWithContext(std::string_view context);

// The one wording of a failed system call on a file: "PATH: cannot ACTION: REASON", as in
// "C:\Palm\Kve\Exp\FILIAL.xml: cannot write: No space left on device". `action` is the verb
// phrase ("read", "write", "create", "replace", "delete", "open", "sync the folder").
// Its kind follows from `err` (ENOENT not found, ENOSPC no space, EACCES permission denied,
// a host or share gone unavailable).
IoError IoErrorOf(std::string_view path, std::string_view action, int err);
[[noreturn]] void ThrowIoError(std::string_view path, std::string_view action, int err);

// The kind of a failed system call's errno.
ErrorKind ErrorKindOfErrno(int err);

}  // namespace kve
