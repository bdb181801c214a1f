#include "platform/dataset/field.h"

namespace kve {

std::string_view FieldTypeName(FieldType t) {
  switch (t) {
    case FieldType::String: return "string";
    case FieldType::Int16: return "i2";
    case FieldType::Int32: return "i4";
    case FieldType::Int64: return "i8";
    case FieldType::Float: return "r8";
    case FieldType::Boolean: return "boolean";
    case FieldType::Date: return "date";
    case FieldType::Time: return "time";
    case FieldType::DateTime: return "dateTime";
  }
  return "unknown";
}

}  // namespace kve
