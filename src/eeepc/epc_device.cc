#include "eeepc/epc_device.h"

#include <cassert>

namespace kve::eeepc {

const std::vector<std::string>& DeviceListSql() {
  static const std::vector<std::string> sql = {
      "SELECT",
      "   CDPALM,",
      "   NMPALM",
      "FROM PALM",
      "WHERE CDFILIAL = :P_CDFILIAL",
      "  AND IDTPPERIFEXPKVE = :P_IDTPPERIFEXPKVE",
      "ORDER BY CDPALM",
  };
  return sql;
}

const std::vector<std::string>& DeviceCheckSql() {
  static const std::vector<std::string> sql = {
      "SELECT ",
      "   CDPALM, ",
      "   NMPALM",
      "FROM",
      "   PALM",
      "WHERE",
      "   CDPALM = :P_CDPALM   AND",
      "   CDFILIAL = :P_CDFILIAL AND",
      "   IDTPPERIFEXPKVE = :P_IDTPPERIFEXPKVE   ",
  };
  return sql;
}

bool IsNetworkComputerName(std::string_view name) {
  if (name.empty() || name.find("..") != std::string_view::npos) return false;
  for (unsigned char c : name) {
    if (c == '\\' || c == '/' || c == ' ' || c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

std::string EpcSharedFolder(std::string_view name) {
  assert(IsNetworkComputerName(name));
  return "\\\\" + std::string(name) + "\\Orvanta Web";
}

std::string EpcExportFolder(std::string_view name) {
  return EpcSharedFolder(name) + "\\EeePc\\Kve\\Exp";
}

}  // namespace kve::eeepc
