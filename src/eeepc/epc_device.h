#pragma once
// The eeePC as a device of the central kitchen: its look-up texts, and the network folder
// its name leads to.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/database.h"
#include "platform/fs/file_system.h"
#include "platform/maker/messages.h"

namespace kve::eeepc {

// Device type values of table PALM.
inline constexpr std::string_view kTypePalm = "1";
inline constexpr std::string_view kTypeEpc = "2";

// Width of a device code as stored in CDPALM.
inline constexpr int kDeviceCodeWidth = 3;

// List of the central's devices of one type (P_CDFILIAL, P_IDTPPERIFEXPKVE).
const std::vector<std::string>& DeviceListSql();
// One device by code, central and type (P_CDPALM, P_CDFILIAL, P_IDTPPERIFEXPKVE).
const std::vector<std::string>& DeviceCheckSql();

// Reopens `qryPalm` (holding DeviceListSql) on the central's devices of one type.
void OpenDeviceList(TADOIBQuery& qryPalm, const std::string& central, std::string_view type);
// The name of device `code` of the central and type, or nothing when there is none.
// `qryVdPalm` holds DeviceCheckSql.
std::optional<std::string> FindDevice(TADOIBQuery& qryVdPalm, const std::string& code,
                                      const std::string& central, std::string_view type);

// True when `name` can stand as a computer name inside "\\NAME\...": not empty, and free of
// path separators, "..", blanks and control characters. Any other name would let the device
// table steer the screen's file operations to another folder than the device's share.
bool IsNetworkComputerName(std::string_view name);

// "\\NAME\Orvanta Web": the eeePC's shared folder.
// REQUIRES: IsNetworkComputerName(name).
std::string EpcSharedFolder(std::string_view name);
// "\\NAME\Orvanta Web\EeePc\Kve\Exp": the export folder on the eeePC, without a final
// backslash, as the folder display shows it. REQUIRES: IsNetworkComputerName(name).
std::string EpcExportFolder(std::string_view name);

// The eeePC refused this workstation's user and password for its share. %s: the eeePC's
// computer name, then its shared folder. A message of this system's own, not of the catalogue.
inline constexpr std::string_view kMsgEpcCredentialsRefused =
    "Operação bloqueada. O eeePC %s recusou o usuário e a senha desta estação para o diretório %s. "
    "Verifique o arquivo de credenciais do compartilhamento.";

// The first check of an eeePC deployment: the eeePC's shared folder "\\NAME\Orvanta Web",
// when the name can be a computer name and the folder is reachable. Otherwise the error
// "DirKVE_ePc" quoting that folder is shown and the running operation abandoned (EAbort);
// an unusable name is refused without any file-system call. An eeePC that refuses this
// workstation's credentials (the shares over SMB) gets kMsgEpcCredentialsRefused instead.
std::string CheckEpcShare(FileSystem& fs, const TMessages& messages, Dialogs& dialogs,
                          std::string_view name);

}  // namespace kve::eeepc
