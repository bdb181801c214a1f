// The host's real file system behind Windows-form paths.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>

#include <fmt/format.h>

#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/fs/file_system.h"
#include "platform/fs/win_path.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

[[noreturn]] void PosixError(std::string_view path, const std::string& what, int err) {
  throw IoError(std::string(path) + ": " + what + ": " + std::strerror(err));
}

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
    if (w.IsRoot()) throw IoError(std::string(path) + ": drive or share not reachable");
    if (!IsDir(p.parent_path())) throw IoError(std::string(path) + ": the folder above does not exist");
    if (::mkdir(p.c_str(), 0777) != 0 && !(errno == EEXIST && IsDir(p))) {
      PosixError(path, "cannot create the folder", errno);
    }
  }

  std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask) override {
    stdfs::path p = Need(dir, Parse(dir));
    if (!IsDir(p)) throw IoError(std::string(dir) + ": folder not found");
    std::vector<std::string> names;
    std::error_code ec;
    for (stdfs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
      std::string name = it->path().filename().string();
      if (IsFile(it->path()) && MatchesMask(name, mask)) names.push_back(name);
    }
    if (ec) throw IoError(std::string(dir) + ": cannot list the folder: " + ec.message());
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      std::string la = AsciiLowered(a), lb = AsciiLowered(b);
      return la != lb ? la < lb : a < b;
    });
    return names;
  }

  std::string ReadFile(std::string_view path) override {
    stdfs::path p = Need(path, Parse(path));
    if (IsDir(p)) throw IoError(std::string(path) + ": is a folder, not a file");
    Fd in{::open(p.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) PosixError(path, "cannot open", errno);
    std::string out;
    char buf[65536];
    for (;;) {
      ssize_t n = ::read(in.fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) PosixError(path, "cannot read", errno);
      if (n == 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }

  void WriteFile(std::string_view path, std::string_view data) override {
    AtomicWrite(path, [&](int fd, std::string_view target) { WriteAll(fd, target, data); });
  }

  void CopyFile(std::string_view from, std::string_view to) override {
    stdfs::path src = Need(from, Parse(from));
    if (!IsFile(src)) throw IoError(std::string(from) + ": file not found");
    Fd in{::open(src.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) PosixError(from, "cannot open", errno);
    AtomicWrite(to, [&](int fd, std::string_view target) {
      char buf[65536];
      for (;;) {
        ssize_t n = ::read(in.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) PosixError(from, "cannot read", errno);
        if (n == 0) break;
        WriteAll(fd, target, std::string_view(buf, static_cast<size_t>(n)));
      }
    });
  }

  void RenameFile(std::string_view from, std::string_view to) override {
    stdfs::path src = Need(from, Parse(from));
    if (!IsFile(src)) throw IoError(std::string(from) + ": file not found");
    WinPath w = Parse(to);
    if (w.IsRoot()) throw IoError(std::string(to) + ": is a folder, not a file");
    stdfs::path target = Need(to, w);
    if (IsDir(target)) throw IoError(std::string(to) + ": is a folder, not a file");
    if (::rename(src.c_str(), target.c_str()) != 0) PosixError(to, "cannot replace", errno);
  }

  bool DeleteFile(std::string_view path) override {
    auto p = Resolve(Parse(path));
    if (!p || !IsFile(*p)) return false;
    if (::unlink(p->c_str()) != 0) {
      if (errno == ENOENT) return false;
      PosixError(path, "cannot delete", errno);
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

  static void WriteAll(int fd, std::string_view target, std::string_view data) {
    while (!data.empty()) {
      ssize_t n = ::write(fd, data.data(), data.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) PosixError(target, "cannot write", errno);
      data.remove_prefix(static_cast<size_t>(n));
    }
  }

  // Writes a temporary file beside the target and renames it over the target, so the target
  // is replaced whole or not at all.
  void AtomicWrite(std::string_view path, const std::function<void(int, std::string_view)>& fill) {
    WinPath w = Parse(path);
    if (w.IsRoot()) throw IoError(std::string(path) + ": is a folder, not a file");
    stdfs::path target = Need(path, w);
    if (IsDir(target)) throw IoError(std::string(path) + ": is a folder, not a file");
    stdfs::path dir = target.parent_path();
    if (!IsDir(dir)) throw IoError(std::string(path) + ": the folder does not exist");
    static std::atomic<unsigned> counter{0};
    stdfs::path tmp = dir / fmt::format(".{}.tmp-{}-{}", target.filename().string(), ::getpid(),
                                        counter++);
    Fd out{::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)};
    if (out.fd < 0) PosixError(path, "cannot create", errno);
    try {
      fill(out.fd, path);
      if (::fsync(out.fd) != 0) PosixError(path, "cannot write", errno);
      int fd = out.fd;
      out.fd = -1;
      if (::close(fd) != 0) PosixError(path, "cannot write", errno);
      if (::rename(tmp.c_str(), target.c_str()) != 0) PosixError(path, "cannot replace", errno);
    } catch (...) {
      ::unlink(tmp.c_str());
      throw;
    }
  }

  PathMapping m_;
};

}  // namespace

std::unique_ptr<FileSystem> NewPosixFileSystem(PathMapping mapping) {
  return std::make_unique<PosixFileSystem>(std::move(mapping));
}

}  // namespace kve
