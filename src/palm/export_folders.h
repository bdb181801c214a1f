#pragma once
// The Palm export folders: where the workstation keeps the files of a Palm export and the
// handheld application files, under one base folder read from the registry.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/fs/file_system.h"

namespace kve::palm {

// Registry location of the base folder (local machine, read only).
inline constexpr std::string_view kPalmDirKey =
    "Software\\ORVANTA\\Sistemas Integrados Orvanta\\WebCli";
inline constexpr std::string_view kPalmDirValue = "PALMDir";

// Windows-form folder texts derived from one base folder. The texts are what the operator
// sees and what the messages quote; only the file system turns them into host paths.
struct PalmFolders {
  std::string base;     // the registry value, with a final backslash
  std::string display;  // the export folder without its final backslash
  std::string dirExp;   // export folder, ends with a backslash
  std::string dirBin;   // application files folder, ends with a backslash
  // Folders that must exist, in the order they are checked, without a final backslash.
  std::array<std::string, 3> required;
};

// A missing or empty value yields the base "\" (the root of the current drive), as the
// workstation would read it.
PalmFolders ResolvePalmFolders(std::string_view palmDir);

// The first of the required folders that does not exist, in checking order; nothing when all
// do. Creates nothing.
std::optional<std::string> FirstMissingFolder(FileSystem& fs, const PalmFolders& folders);

}  // namespace kve::palm
