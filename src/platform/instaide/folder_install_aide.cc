// The install queue kept in folders: ROOT/<user>/Install/<file>.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/fs/file_sink.h"
#include "platform/fs/file_system.h"
#include "platform/instaide/install_aide.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

bool IsDir(const stdfs::path& p) {
  std::error_code ec;
  return stdfs::is_directory(p, ec);
}

// The file name a queue path ends with ("C:\Palm\Kve\Exp\FILIAL.pdb" -> "FILIAL.pdb"); empty
// when it names no file that could sit in a queue folder: not one safe component, or a name
// beginning with '.', which the queue keeps for its temporaries.
std::string QueuedName(std::string_view path) {
  const size_t cut = path.find_last_of("\\/");
  std::string name(cut == std::string_view::npos ? path : path.substr(cut + 1));
  if (!IsSafeHotSyncUserName(name) || name[0] == '.') return {};
  return name;
}

class FolderInstallAide final : public InstallAide {
 public:
  FolderInstallAide(stdfs::path root, FileSystem& files) : root_(std::move(root)), files_(files) {}

  int PltGetUserCount() override { return static_cast<int>(Users().size()); }

  int PltGetUser(unsigned int index, char* name, std::int16_t* size) override {
    if (size == nullptr) return kPltBufferTooSmall;
    const int given = name == nullptr ? 0 : std::max<int>(*size, 0);
    const std::vector<std::string> users = Users();
    if (index >= users.size()) {
      if (given > 0) name[0] = '\0';
      *size = 1;
      return kPltNoSuchUser;
    }
    const std::string& user = users[index];
    const size_t whole = HotSyncNamePrefix(user).size();
    *size = static_cast<std::int16_t>(whole + 1);
    if (given == 0) return kPltBufferTooSmall;
    const size_t n = FitUtf8(user, std::min<size_t>(whole, static_cast<size_t>(given - 1)));
    std::memcpy(name, user.data(), n);
    name[n] = '\0';
    return n < whole ? kPltBufferTooSmall : kPltOk;
  }

  int PltInstallFile(const char* user, const char* path) override {
    stdfs::path dir;
    std::string name;
    if (int r = Locate(user, path, dir, name); r != kPltOk) return r;
    try {
      std::optional<stdfs::path> host = files_.HostPath(path);
      std::string bytes;
      if (host) {
        std::error_code ec;
        if (!stdfs::is_regular_file(*host, ec)) return kPltNoSuchFile;
      } else {
        if (!files_.FileExists(path)) return kPltNoSuchFile;
        bytes = files_.ReadFile(path);
      }
      // The entry carries the file's own name as found, whatever case the path was typed in.
      if (host) name = host->filename().string();
      std::error_code ec;
      stdfs::create_directory(dir, ec);
      if (!IsDir(dir)) return kPltIoError;
      if (int r = Place(dir, name, host ? &*host : nullptr, bytes); r != kPltOk) return r;
      return DeleteEntries(dir, name, name);
    } catch (const ValueError&) {
      return kPltNoSuchFile;  // a path the file system cannot parse names no reachable file
    } catch (const std::exception&) {
      return kPltIoError;
    }
  }

  void BeginFolderBatch() override { folders_.Begin(); }
  void SyncFolderBatch() override { folders_.SyncBatch(); }
  void EndFolderBatch() noexcept override { folders_.End(); }

  int PltRemoveInstallFile(const char* user, const char* path) override {
    stdfs::path dir;
    std::string name;
    if (int r = Locate(user, path, dir, name); r != kPltOk) return r;
    return DeleteEntries(dir, name, "");
  }

 private:
  // Users in byte order of their names; a root that does not exist has none.
  std::vector<std::string> Users() const {
    std::vector<std::string> users;
    std::error_code ec;
    for (stdfs::directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
      std::string n = it->path().filename().string();
      if (IsSafeHotSyncUserName(n) && IsDir(it->path())) users.push_back(std::move(n));
    }
    std::sort(users.begin(), users.end());
    return users;
  }

  // The longest prefix of `s` of at most `max` bytes that ends before a character.
  static size_t FitUtf8(const std::string& s, size_t max) {
    if (s.size() <= max) return s.size();
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return n;
  }

  // The user's Install folder and the entry's name, or why there are none.
  int Locate(const char* user, const char* path, stdfs::path& dir, std::string& name) const {
    if (user == nullptr || !IsSafeHotSyncUserName(user)) return kPltBadUserName;
    if (path == nullptr) return kPltBadFileName;
    name = QueuedName(path);
    if (name.empty()) return kPltBadFileName;
    const stdfs::path home = root_ / user;
    if (!IsDir(home)) return kPltNoSuchUser;
    dir = home / "Install";
    return kPltOk;
  }

  // Deletes the entries named `name` without regard to case, as Windows matches names, but
  // `keep`. A folder that does not exist holds nothing to delete.
  static int DeleteEntries(const stdfs::path& dir, const std::string& name, const std::string& keep) {
    std::error_code ec;
    int result = kPltOk;
    for (stdfs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string entry = it->path().filename().string();
      if (entry == keep || !EqualsIgnoreCase(entry, name)) continue;
      if (::unlink(it->path().c_str()) != 0 && errno != ENOENT) result = kPltIoError;
    }
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
      return kPltIoError;
    return result;
  }

  // Writes the entry through the atomic sink, so a HotSync never finds part of a file and a
  // crash leaves the old entry.
  int Place(const stdfs::path& dir, const std::string& name, const stdfs::path* source,
            const std::string& bytes) {
    try {
      WriteFileAtomically(dir / name, source ? ReadWholeFile(*source) : bytes, {}, folders_.Open());
      return kPltOk;
    } catch (const Error&) {
      return kPltIoError;
    }
  }

  stdfs::path root_;
  FileSystem& files_;
  FolderSync folders_;  // queue folders changed within a batch, flushed when it syncs
};

}  // namespace

std::unique_ptr<InstallAide> NewFolderInstallAide(std::filesystem::path root, FileSystem& files) {
  return std::make_unique<FolderInstallAide>(std::move(root), files);
}

}  // namespace kve
