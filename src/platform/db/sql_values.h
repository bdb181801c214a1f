#pragma once
// Parameters with their values, for statements the code writes itself (the ledger, the
// server's own tables), where a query component's ParamByName would be a detour.

#include <cstdint>
#include <string>
#include <utility>

#include "platform/db/database.h"

namespace kve {

inline SqlParam TextParam(std::string name, std::string value) {
  SqlParam p;
  p.name = std::move(name);
  p.kind = SqlParam::Kind::Text;
  p.text = std::move(value);
  return p;
}

inline SqlParam IntegerParam(std::string name, int64_t value) {
  SqlParam p;
  p.name = std::move(name);
  p.kind = SqlParam::Kind::Integer;
  p.integer = value;
  return p;
}

inline SqlParam DateTimeParam(std::string name, TDateTime when) {
  SqlParam p;
  p.name = std::move(name);
  p.kind = SqlParam::Kind::DateTime;
  p.when = when;
  return p;
}

}  // namespace kve
