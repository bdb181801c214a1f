#include "ledger/archive.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "platform/common/error.h"

namespace kve::ledger {
namespace {

namespace fs = std::filesystem;

// A name safe as one folder: letters, digits, '-' and '_' as they are, anything else '_'.
std::string SafePart(std::string_view s) {
  std::string out;
  for (char c : s) out += std::isalnum(static_cast<unsigned char>(c)) || c == '-' ? c : '_';
  return out.empty() ? "_" : out;
}

// A clone of `source` at `kept`, a new name (a link planted there is not followed); false,
// leaving nothing at `kept`, where the file system cannot clone.
bool Clone(const fs::path& source, const fs::path& kept) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = ::open(kept.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  bool cloned = false;
  if (out >= 0) {
    cloned = ::ioctl(out, FICLONE, in) == 0;
    ::close(out);
    if (!cloned) ::unlink(kept.c_str());
  }
  ::close(in);
  return cloned;
}

bool IsId(const std::string& s) {
  return !s.empty() && s.size() < 19 && std::all_of(s.begin(), s.end(), ::isdigit);
}

}  // namespace

std::string DeviceArchive(std::string_view target, std::string_view device) {
  return "files/" + SafePart(target) + "-" + SafePart(device);
}

ArchiveWriter::ArchiveWriter(fs::path ledgerFolder, KeptCopy how, std::unique_ptr<FileSystem> files)
    : ledger_(std::move(ledgerFolder)), how_(how), files_(files ? std::move(files) : NewHostFileSystem()) {
  static std::atomic<int> serial{0};
  staging_ = ledger_ / "files" /
             (".staging-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
}

ArchiveWriter::~ArchiveWriter() {
  if (remover_.joinable()) remover_.join();
  RemoveStaging();
}

void ArchiveWriter::Fail(const std::string& what) {
  if (problem_.empty()) problem_ = "keeping a copy of the files: " + what;
  RemoveStaging();
}

void ArchiveWriter::RemoveStaging() {
  if (!started_) return;
  std::error_code ec;
  fs::remove_all(staging_, ec);
  started_ = false;
}

void ArchiveWriter::Add(const std::string& name, std::string_view bytes) {
  if (!problem_.empty()) return;
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    return Fail("\"" + name + "\" is not a file name");
  }
  std::error_code ec;
  if (!started_) {
    fs::create_directories(staging_, ec);
    if (ec) return Fail(staging_.string() + ": " + ec.message());
    started_ = true;
  }
  // Atomically, unsynced: a name never holds part of a copy, a link planted in the staging
  // folder is not followed, and a full disk reads as every other write error.
  try {
    std::unique_ptr<WriteStream> out = files_->OpenForWrite((staging_ / name).string(), Durability::kUnsynced);
    out->Write(bytes);
    out->Commit();
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}

void ArchiveWriter::AddDelivered(const std::string& name, const fs::path& source, std::string_view bytes) {
  if (!problem_.empty()) return;
  const bool plainName = !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
  if (plainName && !started_) {
    std::error_code ec;
    fs::create_directories(staging_, ec);
    started_ = !ec;
  }
  if (plainName && started_) {
    const fs::path kept = staging_ / name;
    if (how_ == KeptCopy::kLinked) {
      if (::link(source.c_str(), kept.c_str()) == 0) return;
    } else if (Clone(source, kept)) {
      return;
    }
  }
  // No clone (a file system without them, or another one): the bytes are written. Add names
  // what is wrong with the name or the folder.
  Add(name, bytes);
}

std::string ArchiveWriter::Commit(int64_t id, std::string_view target, std::string_view device, int keep) {
  if (!problem_.empty() || !started_) return {};
  const std::string rel = DeviceArchive(target, device);
  const fs::path deviceDir = ledger_ / rel;
  std::error_code ec;
  if (keep <= 0) {
    RemoveStaging();
  } else {
    fs::create_directories(deviceDir, ec);
    if (!ec) fs::rename(staging_, deviceDir / std::to_string(id), ec);
    if (ec) {
      Fail((deviceDir / std::to_string(id)).string() + ": " + ec.message());
      return {};
    }
    started_ = false;
  }
  // The newest `keep` copies stay; ids grow with time.
  std::vector<int64_t> ids;
  for (fs::directory_iterator it(deviceDir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string n = it->path().filename().string();
    if (IsId(n)) ids.push_back(std::stoll(n));
  }
  std::sort(ids.rbegin(), ids.rend());
  // Staging folders of runs that ended before their copy took its place, or before they had
  // removed the copies they had put out of the way.
  std::vector<fs::path> doomed;
  for (fs::directory_iterator it(ledger_ / "files", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string n = it->path().filename().string();
    if (!n.starts_with(".staging-")) continue;
    const long pid = std::atol(n.c_str() + 9);
    if (pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      doomed.push_back(it->path());
  }
  // Older copies leave their place at once, under a staging name of this run, and are removed
  // on a thread of their own: freeing their blocks can take longer than the export's own
  // writing (a file system that discards freed blocks), and nothing waits for it.
  for (size_t i = static_cast<size_t>(std::max(keep, 0)); i < ids.size(); ++i) {
    const fs::path old = deviceDir / std::to_string(ids[i]);
    const fs::path away = staging_.string() + "-old-" + std::to_string(ids[i]);
    fs::rename(old, away, ec);
    doomed.push_back(ec ? old : away);
  }
  auto remove = [](const std::vector<fs::path>& paths) {
    std::error_code ignored;
    for (const fs::path& p : paths) fs::remove_all(p, ignored);
  };
  if (!doomed.empty()) {
    try {
      remover_ = std::thread(remove, doomed);
    } catch (const std::system_error&) {
      remove(doomed);  // no thread to be had: here and now
    }
  }
  return keep > 0 ? rel + "/" + std::to_string(id) : std::string();
}

}  // namespace kve::ledger
