#include "export/export_run.h"

#include <vector>

#include "platform/common/error.h"
#include "platform/net/check_result.h"

namespace kve::exporting {
namespace {

void WritePacket(FileSystem& fs, const std::string& path, const TClientDataSet& ds, bool xml) {
  ds.SaveToFile(fs, path, xml ? DataPacketFormat::Xml : DataPacketFormat::Binary);
}

}  // namespace

std::string RequestKey(const GetTabelasRequest& r) {
  std::string key;
  auto add = [&key](std::string_view text) { key += std::to_string(text.size()) + ":" + std::string(text) + ";"; };
  for (const std::string* t : std::initializer_list<const std::string*>{
           &r.central, &r.listaAgreg, &r.productLevels, &r.nrSolic, &r.productStatus, &r.grouping, &r.operatorCode})
    add(*t);
  for (TDateTime d : {r.cardIni, r.cardFim, r.soliCompIni, r.soliCompFim, r.afIni, r.afFim}) add(std::to_string(d.ms()));
  return key;
}

RemoteValue CallGetTabelas(RemoteCaller& server, GetTabelasRequest& r) {
  std::vector<RemoteArg> args = {
      RemoteArg::Value(r.central),         RemoteArg::ByRef(r.listaAgreg),
      RemoteArg::OfDate(r.cardIni),        RemoteArg::OfDate(r.cardFim),
      RemoteArg::OfDate(r.soliCompIni),    RemoteArg::OfDate(r.soliCompFim),
      RemoteArg::OfDate(r.afIni),          RemoteArg::OfDate(r.afFim),
      RemoteArg::Value(r.productLevels),   RemoteArg::ByRef(r.nrSolic),
      RemoteArg::ByRef(r.productStatus),   RemoteArg::Value(r.grouping),
      RemoteArg::Value(r.operatorCode),
  };
  return server.Call("GetTabelas", args);
}

void RecordHistory(RemoteCaller& server, const std::string& central, const std::string& device,
                   const std::string& message, const std::string& kind, const std::string& error) {
  std::vector<RemoteArg> args = {RemoteArg::Value(central), RemoteArg::Value(device),
                                 RemoteArg::Value(message), RemoteArg::Value(kind),
                                 RemoteArg::Value(error)};
  Consiste::CheckResultServ(server.Call("InsHistPalm", args), true, 0);
}

std::string AggregatedList(TADOIBQuery& query) {
  std::string list;
  for (query.First(); !query.Eof(); query.Next()) list += "_" + query.FieldByName("CDFILIAL").AsString();
  return list;
}

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

void WriteEeepcFiles(FileSystem& fs, std::string_view dirExp, const TableOf& table,
                     const std::function<void()>& buildSettings, const FileProgress& progress) {
  const std::vector<FileEntry> files = EeepcFiles();
  const std::string dir(dirExp);
  std::string current;
  WriteEeepcBytes(
      fs, dirExp,
      [&](size_t i) -> std::string_view {
        current = BinaryPacket(table(*files[i].table), dir + StagedName(files[i].file));
        return current;
      },
      [&] {
        buildSettings();
        const TableSpec& settings = EeepcSettingsTable();
        return BinaryPacket(table(settings), dir + StagedName(settings.eeepcFile));
      },
      progress);
}

void WriteEeepcBytes(FileSystem& fs, std::string_view dirExp,
                     const std::function<std::string_view(size_t i)>& bytes,
                     const std::function<std::string()>& settings, const FileProgress& progress) {
  const std::vector<FileEntry> files = EeepcFiles();
  const std::string_view settingsFile = EeepcSettingsTable().eeepcFile;
  const int count = static_cast<int>(files.size()) + 1;
  const std::string dir(dirExp);
  std::vector<std::string> staged;  // temporaries written, in writing order
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
