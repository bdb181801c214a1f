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
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "platform/fs/file_system.h"

namespace kve::ledger {

// How AddDelivered keeps a delivered file. kLinked (a second name of the delivered file,
// which changes with it) is there only for the benchmark that weighs what independence costs.
enum class KeptCopy { kIndependent, kLinked };

class ArchiveWriter {
 public:
  // The copy's files are written through `files`, host paths (NewHostFileSystem when null).
  explicit ArchiveWriter(std::filesystem::path ledgerFolder, KeptCopy how = KeptCopy::kIndependent,
                         std::unique_ptr<FileSystem> files = nullptr);
  ~ArchiveWriter();  // removes a copy neither committed nor discarded; waits for the removals
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Adds one file of the export. After a failure, later files are skipped.
  void Add(const std::string& name, std::string_view bytes);
  // The same for a file the export delivered at `source` with these `bytes`. The copy is
  // independent of the delivered file, which a device's client may rewrite in place: a clone
  // sharing its blocks until either changes where the file system offers one (no writing),
  // else the bytes written anew.
  void AddDelivered(const std::string& name, const std::filesystem::path& source, std::string_view bytes);

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
  KeptCopy how_;
  std::unique_ptr<FileSystem> files_;
  bool started_ = false;
  std::thread remover_;  // removing the older copies
  std::string problem_;
};

// The folder of the copies of one device, relative to the ledger folder.
std::string DeviceArchive(std::string_view target, std::string_view device);

}  // namespace kve::ledger
