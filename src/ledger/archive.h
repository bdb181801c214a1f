#pragma once
// The copies of the last exports' files that the ledger keeps for each device:
// <ledger folder>/files/<target>-<device>/<id>/. A copy is first gathered in a staging folder
// and takes its entry's id only when whole, so a copy under an id is always complete.
//
// Keeping a copy is a courtesy to support staff, never a condition of the export: nothing here
// raises; a failure (a full disk) is kept as a text for the log and the summary, and the
// partial copy is removed. Copies are not synced to the disk: their SHA-256 is in the ledger,
// so a copy spoiled by a crash is told from a good one.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>

namespace kve::ledger {

class ArchiveWriter {
 public:
  explicit ArchiveWriter(std::filesystem::path ledgerFolder);
  ~ArchiveWriter();  // removes a copy neither committed nor discarded; waits for the removals
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Adds one file of the export. After a failure, later files are skipped.
  void Add(const std::string& name, std::string_view bytes);
  // The same for a file the export wrote at `source` with these `bytes`: where the ledger is
  // on the same file system, the copy is a second name of that file, which costs no writing.
  // An export never rewrites a file in place (each is written anew and renamed over the
  // earlier one), so the name keeps the bytes as written; elsewhere the bytes are written.
  void AddLinked(const std::string& name, const std::filesystem::path& source, std::string_view bytes);

  // Gives the copy its place, <target>-<device>/<id>, and removes all but the newest `keep`
  // copies of that device (none kept when `keep` is 0), and the staging folders of runs that
  // died before their copy took its place. The older copies leave their place at once; their
  // files are removed on a thread of their own, which the destructor waits for. Returns the
  // copy's folder relative to the ledger folder, or "" when no copy was kept (see Problem()).
  std::string Commit(int64_t id, std::string_view target, std::string_view device, int keep);

  // Whatever went wrong, for the log and the summary; "" when nothing did.
  const std::string& Problem() const { return problem_; }

 private:
  void Fail(const std::string& what);
  void RemoveStaging();

  std::filesystem::path ledger_, staging_;
  bool started_ = false;
  std::thread remover_;  // removing the older copies
  std::string problem_;
};

// The folder of the copies of one device, relative to the ledger folder.
std::string DeviceArchive(std::string_view target, std::string_view device);

}  // namespace kve::ledger
