#pragma once
// The link to the application server: a connection that calls remote methods by name with
// positional arguments of three kinds, and returns one answer value.

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/dataset/datetime.h"

namespace kve {

// One positional argument. A by-reference text is read before the call and overwritten with
// the value the server returns for it.
struct RemoteArg {
  enum class Kind { Text, TextByRef, Date };
  Kind kind = Kind::Text;
  std::string text;            // Text
  std::string* ref = nullptr;  // TextByRef: the caller's variable
  TDateTime date;              // Date (no time of day travels)

  static RemoteArg Value(std::string v) { return {Kind::Text, std::move(v), nullptr, {}}; }
  static RemoteArg ByRef(std::string& v) { return {Kind::TextByRef, {}, &v, {}}; }
  static RemoteArg OfDate(TDateTime d) { return {Kind::Date, {}, nullptr, d}; }
};

// The answer of a remote call: a text, one table image (a binary data packet), or an array
// of table images.
struct RemoteValue {
  std::variant<std::string, std::vector<std::string>> value;
  bool isText() const { return std::holds_alternative<std::string>(value) && !isPacket; }
  bool isPacket = false;  // a single table image held in the string alternative
};

// Where remote calls go. The real one speaks to the server; tests use canned doubles.
class RemoteCaller {
 public:
  virtual ~RemoteCaller() = default;
  // Calls `method` of the remote data module; raises Error naming the server on transport
  // failure, refused token, timeout or malformed answer.
  virtual RemoteValue Call(const std::string& method, std::vector<RemoteArg>& args) = 0;
};

}  // namespace kve
