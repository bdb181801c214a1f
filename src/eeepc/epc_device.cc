#include "eeepc/epc_device.h"

#include <cassert>

#include "platform/common/error.h"
#include "platform/maker/consiste.h"

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

void OpenDeviceList(TADOIBQuery& q, const std::string& central, std::string_view type) {
  q.Close();
  q.ParamByName("P_CDFILIAL").SetAsString(central);
  q.ParamByName("P_IDTPPERIFEXPKVE").SetAsString(type);
  q.Open();
}

std::optional<std::string> FindDevice(TADOIBQuery& q, const std::string& code,
                                      const std::string& central, std::string_view type) {
  q.Close();
  q.ParamByName("P_CDPALM").SetAsString(code);
  q.ParamByName("P_CDFILIAL").SetAsString(central);
  q.ParamByName("P_IDTPPERIFEXPKVE").SetAsString(type);
  q.Open();
  if (q.Eof()) return std::nullopt;
  return q.FieldByName("NMPALM").AsString();
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

std::string CheckEpcShare(FileSystem& fs, const TMessages& messages, Dialogs& dialogs,
                          std::string_view name) {
  const std::string shown = "\\\\" + std::string(name) + "\\Orvanta Web";
  if (IsNetworkComputerName(name)) {
    std::string folder = EpcSharedFolder(name);
    try {
      if (fs.DirectoryExists(folder)) return folder;
    } catch (const IoError& e) {
      // Over SMB the eeePC may refuse this workstation's user and password: saying the
      // folder is not shared would send the operator to the wrong cure.
      if (e.kind() != ErrorKind::kPermissionDenied) throw;
      Consiste::MensErro(dialogs, Format(std::string(kMsgEpcCredentialsRefused), {std::string(name), shown}), false);
      throw EAbort();
    }
  }
  Consiste::MensErro(dialogs, Format(messages.Msg("DirKVE_ePc"), {shown}), false);
  throw EAbort();
}

}  // namespace kve::eeepc
