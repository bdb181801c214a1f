#pragma once
// The eeePC's side of an export: the client program and its runtime files that must run on
// the eeePC, the folders of its shared folder, and the rule by which a workstation's copy of
// a file replaces the eeePC's.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/fs/file_system.h"

namespace kve::eeepc {

// Registry location of the installation folder (local machine, read only).
inline constexpr std::string_view kInstallKey = "Software\\ORVANTA\\Sistemas Integrados Orvanta";
inline constexpr std::string_view kInstallValue = "UninstallPath";

struct DeployedFile {
  std::string_view file;     // "RDL.exe"
  std::string_view nameKey;  // catalogue key of the text naming it in the missing-file message
};
// The client program and its seven runtime files, in the order they are checked and copied.
std::span<const DeployedFile> DeployedFiles();

// The folders of an eeePC's shared folder, without a final backslash.
struct EpcFolders {
  std::string share;   // "\\NAME\Orvanta Web"
  std::string eeepc;   // share + "\EeePc"
  std::string kve;     // share + "\EeePc\Kve"
  std::string bin;     // share + "\EeePc\Kve\Bin": client program and runtime files
  std::string exp;     // share + "\EeePc\Kve\Exp": the export folder
  std::string dirExp;  // exp + "\"
};
// REQUIRES: IsNetworkComputerName(name).
EpcFolders EpcDeployFolders(std::string_view name);

// The folder of the files on the workstation: Inst + "\Bin\Client", without a final backslash.
std::string ClientFolder(std::string_view installFolder);

// Creates each folder that does not exist yet, in order; returns false at the first that
// cannot be created (its parent missing, the share refusing it), leaving the earlier ones.
bool CreateMissingFolders(FileSystem& fs, std::span<const std::string> folders);

// A file version as four numbers, compared field by field: 1.10.0.0 is newer than 1.9.0.10.
using FileVersionNumber = std::array<uint32_t, 4>;

// The version text of `file` (what GetFileVersion gives) as four numbers; the empty text (no
// version) reads as 0.0.0.0. Any other text that is not four dot-separated numbers of at most
// 32 bits raises ValueError naming the file.
FileVersionNumber ParseFileVersion(std::string_view text, std::string_view file);

// Whether the workstation's `source` must be copied over the eeePC's `destination`: always
// when the eeePC lacks the file (its client would not start without it, whatever the
// workstation's copy says of its version), else when the source's version is strictly newer.
bool NeedsCopy(FileSystem& fs, std::string_view source, std::string_view destination);

}  // namespace kve::eeepc
