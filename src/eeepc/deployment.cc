#include "eeepc/deployment.h"

#include <charconv>

#include "eeepc/epc_device.h"
#include "platform/common/error.h"

namespace kve::eeepc {

std::span<const DeployedFile> DeployedFiles() {
  static constexpr DeployedFile kFiles[] = {
      {"RDL.exe", "EXECRDL"}, {"_kas.bpl", "KAS"}, {"_kel.bpl", "KEL"}, {"_kin.bpl", "KIN"},
      {"_kor.bpl", "KOR"},    {"_kup.bpl", "KUP"}, {"_kav.bpl", "KAV"}, {"_kyt.bpl", "KYT"},
  };
  return kFiles;
}

EpcFolders EpcDeployFolders(std::string_view name) {
  EpcFolders f;
  f.share = EpcSharedFolder(name);
  f.eeepc = f.share + "\\EeePc";
  f.kve = f.eeepc + "\\Kve";
  f.bin = f.kve + "\\Bin";
  f.exp = f.kve + "\\Exp";
  f.dirExp = f.exp + "\\";
  return f;
}

std::string ClientFolder(std::string_view installFolder) {
  return std::string(installFolder) + "\\Bin\\Client";
}

bool CreateMissingFolders(FileSystem& fs, std::span<const std::string> folders) {
  for (const std::string& dir : folders) {
    if (fs.DirectoryExists(dir)) continue;
    try {
      fs.CreateDir(dir);
    } catch (const Error&) {
      return false;
    }
  }
  return true;
}

FileVersionNumber ParseFileVersion(std::string_view text, std::string_view file) {
  FileVersionNumber v{};
  if (text.empty()) return v;
  auto bad = [&] {
    return ValueError(std::string(file) + ": version \"" + std::string(text) +
                      "\" is not four numbers separated by points");
  };
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (size_t i = 0; i < v.size(); ++i) {
    if (i > 0) {
      if (p == end || *p != '.') throw bad();
      ++p;
    }
    if (p == end || *p < '0' || *p > '9') throw bad();
    auto [next, ec] = std::from_chars(p, end, v[i]);
    if (ec != std::errc()) throw bad();
    p = next;
  }
  if (p != end) throw bad();
  return v;
}

bool NeedsCopy(FileSystem& fs, std::string_view source, std::string_view destination) {
  if (!fs.FileExists(destination)) return true;
  const FileVersionNumber s = ParseFileVersion(GetFileVersion(fs, source), source);
  const FileVersionNumber d = ParseFileVersion(GetFileVersion(fs, destination), destination);
  return s > d;
}

}  // namespace kve::eeepc
