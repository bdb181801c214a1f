// The host's real file system behind Windows-form paths.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/fs/file_sink.h"
#include "platform/fs/file_system.h"
#include "platform/fs/win_path.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

// Closes a descriptor on every exit.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool IsDir(const stdfs::path& p) {
  std::error_code ec;
  return stdfs::is_directory(p, ec);
}

bool IsFile(const stdfs::path& p) {
  std::error_code ec;
  return stdfs::is_regular_file(p, ec);
}

class PosixFileSystem final : public FileSystem {
 public:
  explicit PosixFileSystem(PathMapping m) : m_(std::move(m)) {
    for (auto& [letter, dir] : m_.drives) {
      if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    }
  }

  bool FileExists(std::string_view path) override {
    auto p = Resolve(Parse(path));
    return p && IsFile(*p);
  }

  bool DirectoryExists(std::string_view path) override {
    auto p = Resolve(Parse(path));
    return p && IsDir(*p);
  }

  void CreateDir(std::string_view path) override {
    WinPath w = Parse(path);
    stdfs::path p = Need(path, w);
    if (IsDir(p)) return;
    if (w.IsRoot()) throw IoError(std::string(path) + ": drive or share not reachable", ErrorKind::kUnavailable);
    if (!IsDir(p.parent_path())) throw IoError(std::string(path) + ": the folder above does not exist", ErrorKind::kNotFound);
    if (::mkdir(p.c_str(), 0777) != 0 && !(errno == EEXIST && IsDir(p))) {
      ThrowIoError(path, "create the folder", errno);
    }
  }

  std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask) override {
    stdfs::path p = Need(dir, Parse(dir));
    if (!IsDir(p)) throw IoError(std::string(dir) + ": folder not found", ErrorKind::kNotFound);
    std::vector<std::string> names;
    std::error_code ec;
    for (stdfs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
      std::string name = it->path().filename().string();
      if (IsFile(it->path()) && MatchesMask(name, mask)) names.push_back(name);
    }
    if (ec) throw IoError(std::string(dir) + ": cannot list the folder: " + ec.message());
    SortNamesWithoutCase(names);
    return names;
  }

  std::string ReadFile(std::string_view path) override {
    return ReadWholeFile(Need(path, Parse(path)), path);
  }

  void WriteFile(std::string_view path, std::string_view data) override {
    AtomicFileSink out = Sink(path);
    out.Write(data);
    out.Commit();
  }

  void CopyFile(std::string_view from, std::string_view to) override {
    stdfs::path src = Need(from, Parse(from));
    if (!IsFile(src)) throw IoError(std::string(from) + ": file not found", ErrorKind::kNotFound);
    Fd in{::open(src.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) ThrowIoError(from, "open", errno);
    AtomicFileSink out = Sink(to);
    char buf[65536];
    for (;;) {
      ssize_t n = ::read(in.fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ThrowIoError(from, "read", errno);
      if (n == 0) break;
      out.Write(buf, static_cast<size_t>(n));
    }
    out.Commit();
  }

  void RenameFile(std::string_view from, std::string_view to) override {
    stdfs::path src = Need(from, Parse(from));
    if (!IsFile(src)) throw IoError(std::string(from) + ": file not found", ErrorKind::kNotFound);
    WinPath w = Parse(to);
    if (w.IsRoot()) throw IoError(std::string(to) + ": is a folder, not a file");
    stdfs::path target = Need(to, w);
    if (IsDir(target)) throw IoError(std::string(to) + ": is a folder, not a file");
    if (::rename(src.c_str(), target.c_str()) != 0) ThrowIoError(to, "replace", errno);
    if (FolderSync* later = folders_.Open()) later->Add(target.parent_path(), to);
  }

  bool DeleteFile(std::string_view path) override {
    auto p = Resolve(Parse(path));
    if (!p || !IsFile(*p)) return false;
    if (::unlink(p->c_str()) != 0) {
      if (errno == ENOENT) return false;
      ThrowIoError(path, "delete", errno);
    }
    return true;
  }

  std::optional<std::chrono::system_clock::time_point> FileTime(std::string_view path) override {
    auto p = Resolve(Parse(path));
    struct stat st;
    if (!p || ::stat(p->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    auto since = std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(since));
  }

  std::optional<stdfs::path> HostPath(std::string_view path) override { return Resolve(Parse(path)); }

  void BeginFolderBatch() override { folders_.Begin(); }
  void SyncFolderBatch() override { folders_.SyncBatch(); }
  void EndFolderBatch() noexcept override { folders_.End(); }

 private:
  WinPath Parse(std::string_view path) const { return ParseWinPath(path, m_.currentDrive); }

  // The host path of `w`, each name found without regard to case; nothing when its drive is
  // not mapped or no shares folder is configured.
  std::optional<stdfs::path> Resolve(const WinPath& w) const {
    stdfs::path p;
    std::vector<std::string> names;
    if (w.root == WinPath::Root::Drive) {
      auto it = std::find_if(m_.drives.begin(), m_.drives.end(),
                             [&](const auto& d) { return d.first == w.drive; });
      if (it == m_.drives.end()) return std::nullopt;
      p = it->second;
    } else {
      if (m_.shares.empty()) return std::nullopt;
      p = m_.shares;
      names = {w.host, w.share};
    }
    names.insert(names.end(), w.parts.begin(), w.parts.end());
    for (const std::string& n : names) p = Child(p, n);
    return p;
  }

  static stdfs::path Child(const stdfs::path& dir, const std::string& name) {
    stdfs::path exact = dir / name;
    std::error_code ec;
    if (stdfs::symlink_status(exact, ec).type() != stdfs::file_type::not_found || !IsDir(dir)) {
      return exact;
    }
    const std::string key = AsciiLowered(name);
    for (stdfs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      if (AsciiLowered(it->path().filename().string()) == key) return it->path();
    }
    return exact;
  }

  stdfs::path Need(std::string_view path, const WinPath& w) const {
    if (auto p = Resolve(w)) return *p;
    if (w.root == WinPath::Root::Drive) {
      throw IoError(std::string(path) + ": drive " + std::string(1, w.drive) +
                    ": is not mapped to a folder of this host");
    }
    throw IoError(std::string(path) + ": no shares folder is configured");
  }

  // A sink that replaces the file at `path` whole; errors name `path` as given.
  AtomicFileSink Sink(std::string_view path) {
    WinPath w = Parse(path);
    if (w.IsRoot()) throw IoError(std::string(path) + ": is a folder, not a file");
    stdfs::path target = Need(path, w);
    if (!IsDir(target.parent_path())) throw IoError(std::string(path) + ": the folder does not exist", ErrorKind::kNotFound);
    return AtomicFileSink(target, path, folders_.Open());
  }

  PathMapping m_;
  FolderSync folders_;  // the folders changed within a batch, flushed when it syncs
};

}  // namespace

std::unique_ptr<FileSystem> NewPosixFileSystem(PathMapping mapping) {
  return std::make_unique<PosixFileSystem>(std::move(mapping));
}

}  // namespace kve
