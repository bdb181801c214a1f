#include "record/hashing_fs.h"

#include <sys/stat.h>

#include <system_error>
#include <thread>

#include "ledger/ledger.h"

namespace kve::record {

void HashingFileSystem::WriteFile(std::string_view path, std::string_view data) {
  Forget(path);
  std::string sha;
  std::thread hashing;
  try {
    hashing = std::thread([&] {
      try {
        sha = ledger::Sha256Hex(data);
      } catch (...) {
        sha.clear();  // the ledger works it out again from the bytes read back
      }
    });
  } catch (const std::system_error&) {
    // No thread to be had: the file is written all the same, and hashed when read back.
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
  const std::optional<std::filesystem::path> host = base_.HostPath(path);
  const auto time = base_.FileTime(path);
  if (host && time && !sha.empty()) written_[*host] = {std::move(sha), data.size(), *time};
}

void HashingFileSystem::CopyFile(std::string_view from, std::string_view to) {
  Forget(to);
  base_.CopyFile(from, to);
}

void HashingFileSystem::RenameFile(std::string_view from, std::string_view to) {
  const std::optional<std::filesystem::path> source = base_.HostPath(from);
  Forget(to);
  base_.RenameFile(from, to);
  if (!source) return;
  auto it = written_.find(*source);
  if (it == written_.end()) return;
  Written w = std::move(it->second);
  written_.erase(it);
  if (const std::optional<std::filesystem::path> target = base_.HostPath(to)) written_[*target] = std::move(w);
}

bool HashingFileSystem::DeleteFile(std::string_view path) {
  Forget(path);
  return base_.DeleteFile(path);
}

void HashingFileSystem::Forget(std::string_view path) {
  if (written_.empty()) return;
  if (const std::optional<std::filesystem::path> host = base_.HostPath(path)) written_.erase(*host);
}

std::optional<std::string> HashingFileSystem::HashOf(const std::filesystem::path& hostPath, uint64_t size) {
  auto it = written_.find(hostPath);
  if (it == written_.end() || it->second.size != size) return std::nullopt;
  // The time as the file system gives it (nanoseconds on the disk).
  struct stat st;
  if (::stat(hostPath.c_str(), &st) != 0 || static_cast<uint64_t>(st.st_size) != size) return std::nullopt;
  const auto since = std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
  if (std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(since)) !=
      it->second.time)
    return std::nullopt;
  return it->second.sha256;
}

}  // namespace kve::record
