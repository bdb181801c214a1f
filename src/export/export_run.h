#pragma once
// The pieces of one export run that know nothing of the screen: the one server call that
// fetches every table, the aggregated-branch list, and the writing of the export's files in
// the target's format and order. The screen's Exportacao strings them together.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "export/catalogue.h"
#include "platform/dataset/dataset.h"
#include "platform/db/database.h"
#include "platform/fs/file_system.h"
#include "platform/net/connection.h"

namespace kve::exporting {

// The arguments of GetTabelas. The three references are sent and then replaced by what the
// server returns for them.
struct GetTabelasRequest {
  std::string central;
  std::string& listaAgreg;
  TDateTime cardIni, cardFim, soliCompIni, soliCompFim, afIni, afFim;
  std::string productLevels;  // levels of the product-tree picture, in decimal
  std::string& nrSolic;
  std::string& productStatus;  // "T" or "A"
  std::string grouping;
  std::string operatorCode;
};

// The arguments of `request` as they would be sent, as one text: two requests give the same
// text exactly when their arguments are the same.
std::string RequestKey(const GetTabelasRequest& request);

// Calls GetTabelas with its 13 arguments in order; the answer is the server's (a text is its
// error, to be raised by the caller when it loads the tables).
RemoteValue CallGetTabelas(RemoteCaller& server, GetTabelasRequest& request);

// Records an event in the device's history (InsHistPalm, five texts) and checks the answer;
// a text answer is the server's error and is raised with it.
void RecordHistory(RemoteCaller& server, const std::string& central, const std::string& device,
                   const std::string& message, const std::string& kind, const std::string& error);

// The aggregated-branch list of the open query's rows: "_" and CDFILIAL for each, in the
// query's order ("_0002_0003"); empty without rows.
std::string AggregatedList(TADOIBQuery& query);

// The dataset that holds a catalogue table.
using TableOf = std::function<TClientDataSet&(const TableSpec&)>;

// Told before each file is written: its 1-based place among `count` files and its name.
using FileProgress = std::function<void(int done, int count, std::string_view file)>;

// Writes the 35 XML files of a Palm export into `dirExp` (a folder path ending with a
// backslash), in order, each replacing a file of the same name whole. The first failure stops
// the writing; the files written before it stay.
void WritePalmXmlFiles(FileSystem& fs, std::string_view dirExp, const TableOf& table,
                       const FileProgress& progress);

// Writes the 34 binary files of an eeePC export, then builds the settings table with
// `buildSettings` and writes DADOS_EEPC.CDS. The eeePC reads these files as one export, so
// none replaces the earlier export's file until all are written: each is written under a
// temporary name in `dirExp` first, and only then renamed into place, the settings file last.
// On failure the temporaries are removed and the earlier export stays whole (unless the
// failure strikes between two renames, where the files already renamed are the new ones).
void WriteEeepcFiles(FileSystem& fs, std::string_view dirExp, const TableOf& table,
                     const std::function<void()>& buildSettings, const FileProgress& progress);

// The same from the files' bytes: `bytes(i)` gives those of EeepcFiles()[i], valid until the
// next call; `settings()` builds those of the settings file, after the other files are written.
void WriteEeepcBytes(FileSystem& fs, std::string_view dirExp,
                     const std::function<std::string_view(size_t i)>& bytes,
                     const std::function<std::string()>& settings, const FileProgress& progress);

// A table as the bytes of a binary file, its errors naming `path`.
std::string BinaryPacket(const TClientDataSet& ds, std::string_view path);

// What an eeePC export writes that depends on its tables alone, kept by the first export of a
// session for the next ones with the same GetTabelas arguments (other eeePCs, same
// parameters): they write the same bytes without fetching, loading, deriving and encoding the
// tables again. Only the settings file, which names the device's folder, is built per device,
// from the two tables kept as packets.
struct EeepcFilesOfTables {
  std::vector<std::string> refs;   // the by-reference texts GetTabelas returned, in order
  std::string afBlock;             // "S" when the supply-authorisation warning closes the export
  std::vector<std::string> files;  // the bytes of EeepcFiles(), in order
  std::string filial, operador;    // the branch and operator tables, as packets
};

// The kept files of a session, by RequestKey. Kept for the session's life.
class ExportReuse {
 public:
  const EeepcFilesOfTables* Find(const std::string& key) const {
    auto it = kept_.find(key);
    return it == kept_.end() ? nullptr : &it->second;
  }
  void Keep(const std::string& key, EeepcFilesOfTables files) { kept_.insert_or_assign(key, std::move(files)); }

 private:
  std::map<std::string, EeepcFilesOfTables> kept_;
};

// The temporary name under which an eeePC file is staged in its folder.
std::string StagedName(std::string_view file);

}  // namespace kve::exporting
