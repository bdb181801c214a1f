#include "export/export_files.h"

#include <vector>

#include "platform/common/error.h"
#include "platform/fs/leftovers.h"

namespace kve::exporting {
namespace {

void WritePacket(FileSystem& fs, const std::string& path, const TClientDataSet& ds, bool xml) {
  ds.SaveToFile(fs, path, xml ? DataPacketFormat::Xml : DataPacketFormat::Binary);
}

}  // namespace

void WritePalmXmlFiles(FileSystem& fs, std::string_view dirExp, const TableOf& table,
                       const FileProgress& progress) {
  const std::vector<FileEntry> files = PalmXmlFiles();
  int done = 0;
  for (const FileEntry& f : files) {
    if (progress) progress(++done, static_cast<int>(files.size()), f.file);
    WritePacket(fs, std::string(dirExp) + std::string(f.file), table(*f.table), true);
  }
}

std::string StagedName(std::string_view file) { return "~" + std::string(file) + ".kve-staged"; }

std::string BinaryPacket(const TClientDataSet& ds, std::string_view path) {
  try {
    return ds.Data();
  } catch (const Error&) {
    RethrowWithContext(path);
  }
}

void WriteEeepcBytes(FileSystem& fs, std::string_view dirExp,
                     const std::function<std::string_view(size_t i)>& bytes,
                     const std::function<std::string()>& settings, const FileProgress& progress) {
  const std::vector<FileEntry> files = EeepcFiles();
  const std::string_view settingsFile = EeepcSettingsTable().eeepcFile;
  const int count = static_cast<int>(files.size()) + 1;
  const std::string dir(dirExp);
  std::vector<std::string> staged;  // temporaries written, in writing order
  // A run killed while writing, or cut off from the share, left its write temporaries; the
  // staged copies it left are replaced below.
  RemoveLeftoversOfEndedRuns(fs, dirExp);
  try {
    int done = 0;
    for (size_t i = 0; i < files.size(); ++i) {
      if (progress) progress(++done, count, files[i].file);
      fs.WriteFile(dir + StagedName(files[i].file), bytes(i));
      staged.push_back(std::string(files[i].file));
    }
    if (progress) progress(++done, count, settingsFile);
    fs.WriteFile(dir + StagedName(settingsFile), settings());
    staged.push_back(std::string(settingsFile));
    // Everything is on the share: now the names, the settings file last.
    while (!staged.empty()) {
      fs.RenameFile(dir + StagedName(staged.front()), dir + staged.front());
      staged.erase(staged.begin());
    }
  } catch (...) {
    for (const std::string& f : staged) {
      try {
        fs.DeleteFile(dir + StagedName(f));
      } catch (const Error&) {
        // The share may be gone; the first failure is the one to report.
      }
    }
    throw;
  }
}

}  // namespace kve::exporting
