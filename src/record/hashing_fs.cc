#include "record/hashing_fs.h"

#include <system_error>
#include <thread>

#include "ledger/ledger.h"
#include "platform/common/error.h"
#include "platform/fs/win_path.h"

namespace kve::record {
namespace {

// Paths compare as the file system compares them: without regard to letter case.
std::string KeyOf(std::string_view path) {
  try {
    return ParseWinPath(path).Key();
  } catch (const Error&) {
    return std::string(path);  // refused by the file system below as well
  }
}

}  // namespace

void HashingFileSystem::WriteFile(std::string_view path, std::string_view data) {
  Forget(path);
  // A file no host file stands for is on a share: its bytes are kept for the ledger's copy,
  // which would otherwise read them back over the network.
  const bool keep = keepShareBytes_ && !base_.HostPath(path);
  WrittenFile file;
  std::thread hashing;
  try {
    hashing = std::thread([&] {
      try {
        file.sha256 = ledger::Sha256Hex(data);
        file.rows = RowsOfBytes(data);
        if (keep) file.bytes.emplace(data);
      } catch (...) {
        file.sha256.clear();  // the summary reads the file back and the ledger hashes it then
      }
    });
  } catch (const std::system_error&) {
    // No thread to be had: the file is written all the same, and read back for the summary.
    return base_.WriteFile(path, data);
  }
  try {
    base_.WriteFile(path, data);
  } catch (...) {
    hashing.join();
    throw;
  }
  const auto written = std::chrono::steady_clock::now();
  hashing.join();
  waited_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - written).count();
  const auto time = base_.FileTime(path);
  if (!time || file.sha256.empty()) return;
  file.size = data.size();
  written_[KeyOf(path)] = {std::move(file), *time};
}

void HashingFileSystem::CopyFile(std::string_view from, std::string_view to) {
  Forget(to);
  base_.CopyFile(from, to);
}

void HashingFileSystem::RenameFile(std::string_view from, std::string_view to) {
  Forget(to);
  base_.RenameFile(from, to);
  auto it = written_.find(KeyOf(from));
  if (it == written_.end()) return;
  Written w = std::move(it->second);
  written_.erase(it);
  written_[KeyOf(to)] = std::move(w);
}

bool HashingFileSystem::DeleteFile(std::string_view path) {
  Forget(path);
  return base_.DeleteFile(path);
}

void HashingFileSystem::Forget(std::string_view path) {
  if (!written_.empty()) written_.erase(KeyOf(path));
}

WrittenFile* HashingFileSystem::Recall(std::string_view path, uint64_t size,
                                       std::chrono::system_clock::time_point time) {
  auto it = written_.find(KeyOf(path));
  if (it == written_.end() || it->second.file.size != size || it->second.time != time) return nullptr;
  return &it->second.file;
}

}  // namespace kve::record
