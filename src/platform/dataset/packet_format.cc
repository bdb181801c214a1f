#include "platform/dataset/packet_format.h"

#include <fmt/format.h>

namespace kve::packet {

bool DecodeRowState(unsigned code, RowStatus& status, bool& keep) {
  if (code > 0x0F) return false;
  keep = true;
  if (code & 2) {
    status = RowStatus::Deleted;
    keep = false;
  } else if (code & 4) {
    status = RowStatus::Inserted;  // inserted, perhaps edited since: still an insertion
  } else if (code & 8) {
    status = RowStatus::Modified;
  } else if (code & 1) {
    status = RowStatus::Original;
    keep = false;
  } else {
    status = RowStatus::Unchanged;
  }
  return true;
}

std::string CellContext(const TClientDataSet& ds, int row, int field) {
  return fmt::format("{} row {}: {}", ds.Name().empty() ? "dataset" : ds.Name(), row,
                     ds.FieldDefs()[field].name);
}

bool IsXmlRowName(std::string_view name) {
  if (name.empty()) return false;
  const auto letter = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  };
  if (!letter(name[0])) return false;
  for (char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
  return true;
}

}  // namespace kve::packet
