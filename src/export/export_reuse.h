#pragma once
// What several eeePC exports of one session share (kve-export --eeepc all): the files' bytes
// encoded once from the tables, kept by the first export for the next ones.

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kve::exporting {

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

}  // namespace kve::exporting
