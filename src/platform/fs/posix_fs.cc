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

// OpenForWrite's stream: the atomic sink itself.
class SinkStream final : public WriteStream {
 public:
  SinkStream(const stdfs::path& target, std::string_view label, FolderSync* later, Durability durability)
      : sink_(target, label, later, durability) {}
  void Write(std::string_view bytes) override { sink_.Write(bytes); }
  void WriteAt(uint64_t offset, std::string_view bytes) override { sink_.WriteAt(offset, bytes); }
  std::string ReadAt(uint64_t offset, size_t n) override { return sink_.ReadAt(offset, n); }
  void Restart() override { sink_.Restart(); }
  void Commit() override { sink_.Commit(); }

 private:
  AtomicFileSink sink_;
};

class PosixFileSystem final : public FileSystem {
 public:
  explicit PosixFileSystem(PathMapping m, FolderSync* later = nullptr) : m_(std::move(m)), later_(later) {
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

  std::vector<FolderEntry> ListEntries(std::string_view dir) override {
    stdfs::path p = Need(dir, Parse(dir));
    if (!IsDir(p)) throw IoError(std::string(dir) + ": folder not found", ErrorKind::kNotFound);
    std::vector<FolderEntry> out;
    std::error_code ec;
    for (stdfs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
      FolderEntry e;
      e.name = it->path().filename().string();
      struct stat st;
      if (::lstat(it->path().c_str(), &st) != 0) continue;  // gone since it was listed
      if (S_ISLNK(st.st_mode)) {
        e.kind = FolderEntry::Kind::kLink;
      } else if (S_ISDIR(st.st_mode)) {
        e.kind = FolderEntry::Kind::kFolder;
      } else if (S_ISREG(st.st_mode)) {
        e.kind = FolderEntry::Kind::kFile;
        e.bytes = static_cast<uint64_t>(st.st_size);
        e.identity[0] = static_cast<uint64_t>(st.st_dev);
        e.identity[1] = static_cast<uint64_t>(st.st_ino);
        e.identity[2] = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(st.st_mtim.tv_nsec);
      }
      out.push_back(std::move(e));
    }
    if (ec) throw IoError(std::string(dir) + ": cannot list the folder: " + ec.message());
    return out;
  }

  std::string ReadFile(std::string_view path) override {
    return ReadWholeFile(Need(path, Parse(path)), path);
  }

  std::string ReadFileHead(std::string_view path, size_t n) override {
    stdfs::path p = Need(path, Parse(path));
    if (IsDir(p)) throw IoError(std::string(path) + ": is a folder, not a file");
    Fd in{::open(p.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) ThrowIoError(path, "read", errno);
    std::string data(n, '\0');
    size_t got = 0;
    while (got < n) {
      ssize_t r = ::read(in.fd, data.data() + got, n - got);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) ThrowIoError(path, "read", errno);
      if (r == 0) break;
      got += static_cast<size_t>(r);
    }
    data.resize(got);
    return data;
  }

  void WriteFile(std::string_view path, std::string_view data) override {
    AtomicFileSink out = Sink(path);
    out.Write(data);
    out.Commit();
  }

  std::unique_ptr<WriteStream> OpenForWrite(std::string_view path, Durability durability) override {
    return std::make_unique<SinkStream>(Target(path), path, Later(), durability);
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
    if (FolderSync* later = Later()) later->Add(target.parent_path(), to);
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

  stdfs::path Child(const stdfs::path& dir, const std::string& name) const {
    stdfs::path exact = dir / name;
    std::error_code ec;
    if (m_.exactNames || stdfs::symlink_status(exact, ec).type() != stdfs::file_type::not_found || !IsDir(dir)) {
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
  AtomicFileSink Sink(std::string_view path) { return AtomicFileSink(Target(path), path, Later()); }

  // Where a write leaves its folder's flush: the caller's FolderSync, the open batch's, or
  // none (the write flushes it).
  FolderSync* Later() { return later_ ? later_ : folders_.Open(); }

  // The host path a new file at `path` goes to; IoError when its folder does not exist.
  stdfs::path Target(std::string_view path) const {
    WinPath w = Parse(path);
    if (w.IsRoot()) throw IoError(std::string(path) + ": is a folder, not a file");
    stdfs::path target = Need(path, w);
    if (!IsDir(target.parent_path())) throw IoError(std::string(path) + ": the folder does not exist", ErrorKind::kNotFound);
    return target;
  }

  PathMapping m_;
  FolderSync* later_;
  FolderSync folders_;  // the folders changed within a batch, flushed when it syncs
};

}  // namespace

std::unique_ptr<FileSystem> NewPosixFileSystem(PathMapping mapping) {
  return std::make_unique<PosixFileSystem>(std::move(mapping));
}

namespace {

// Host paths, made absolute, over the root of the host as drive C: the Windows-form parser
// takes "/a/b" as the root of the current drive, and every error names the path as given.
class HostFileSystem final : public FileSystemWrapper {
 public:
  explicit HostFileSystem(std::unique_ptr<FileSystem> root) : FileSystemWrapper(*root), root_(std::move(root)) {}
  // A relative path is from the working folder; its "." and ".." parts are resolved here,
  // which the Windows-form parser refuses.
  static std::string Absolute(std::string_view path) {
    if (!path.empty() && path[0] == '/' && path.find("/.") == std::string_view::npos) return std::string(path);
    std::error_code ec;
    return stdfs::absolute(stdfs::path(path), ec).lexically_normal().string();
  }
  bool FileExists(std::string_view p) override { return base_.FileExists(Absolute(p)); }
  bool DirectoryExists(std::string_view p) override { return base_.DirectoryExists(Absolute(p)); }
  void CreateDir(std::string_view p) override { Named(p, [&](const std::string& a) { base_.CreateDir(a); }); }
  std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask) override {
    std::vector<std::string> out;
    Named(dir, [&](const std::string& a) { out = base_.ListFiles(a, mask); });
    return out;
  }
  std::vector<FolderEntry> ListEntries(std::string_view dir) override {
    std::vector<FolderEntry> out;
    Named(dir, [&](const std::string& a) { out = base_.ListEntries(a); });
    return out;
  }
  std::string ReadFile(std::string_view p) override {
    std::string out;
    Named(p, [&](const std::string& a) { out = base_.ReadFile(a); });
    return out;
  }
  std::string ReadFileHead(std::string_view p, size_t n) override {
    std::string out;
    Named(p, [&](const std::string& a) { out = base_.ReadFileHead(a, n); });
    return out;
  }
  void WriteFile(std::string_view p, std::string_view data) override {
    Named(p, [&](const std::string& a) { base_.WriteFile(a, data); });
  }
  std::unique_ptr<WriteStream> OpenForWrite(std::string_view p, Durability d) override {
    std::unique_ptr<WriteStream> out;
    Named(p, [&](const std::string& a) { out = base_.OpenForWrite(a, d); });
    return out;
  }
  void CopyFile(std::string_view from, std::string_view to) override { base_.CopyFile(Absolute(from), Absolute(to)); }
  void RenameFile(std::string_view from, std::string_view to) override { base_.RenameFile(Absolute(from), Absolute(to)); }
  bool DeleteFile(std::string_view p) override { return base_.DeleteFile(Absolute(p)); }
  std::optional<std::chrono::system_clock::time_point> FileTime(std::string_view p) override {
    return base_.FileTime(Absolute(p));
  }
  std::optional<stdfs::path> HostPath(std::string_view p) override { return stdfs::path(Absolute(p)); }

 private:
  // Runs `f` on the absolute path; an error naming that path names `path` as given instead.
  template <typename F>
  static void Named(std::string_view path, F&& f) {
    const std::string a = Absolute(path);
    if (a == path) return f(a);
    try {
      f(a);
    } catch (const IoError& e) {
      std::string what = e.what();
      if (what.starts_with(a)) what.replace(0, a.size(), path);
      throw IoError(what, e.kind());
    }
  }

  std::unique_ptr<FileSystem> root_;
};

}  // namespace

std::unique_ptr<FileSystem> NewHostFileSystem(FolderSync* later) {
  PathMapping m;
  m.drives = {{'C', "/"}};
  m.exactNames = true;
  return std::make_unique<HostFileSystem>(std::make_unique<PosixFileSystem>(std::move(m), later));
}

}  // namespace kve
