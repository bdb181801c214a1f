#include "palm/export_folders.h"

namespace kve::palm {

PalmFolders ResolvePalmFolders(std::string_view palmDir) {
  PalmFolders f;
  f.base = std::string(palmDir);
  if (f.base.empty() || f.base.back() != '\\') f.base += '\\';
  f.display = f.base + "Kve\\Exp";
  f.dirExp = f.display + "\\";
  f.dirBin = f.base + "Kve\\Bin\\";
  f.required = {f.base + "Kve", f.base + "Kve\\Exp", f.base + "Kve\\Bin"};
  return f;
}

std::optional<std::string> FirstMissingFolder(FileSystem& fs, const PalmFolders& folders) {
  for (const std::string& dir : folders.required) {
    if (!fs.DirectoryExists(dir)) return dir;
  }
  return std::nullopt;
}

}  // namespace kve::palm
