// Share paths over SMB through libsmbclient, one library context per file system, so that
// its connections, credentials and timeout are this object's alone.

#include "platform/fs/smb_fs.h"

#include <libsmbclient.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/fs/leftovers.h"
#include "platform/fs/win_path.h"

namespace kve {
namespace {

namespace stdfs = std::filesystem;

// What one read asks the server for. libsmbclient reads a file in 1 MB requests several
// times faster than in 8 MB ones (a 20 MB file on loopback: 30-50 ms against 300-390 ms), and
// no faster in smaller ones.
constexpr size_t kShareReadPiece = size_t{1} << 20;

// A listing longer than this is no eeePC's folder; a server that sends it is not believed.
constexpr size_t kMaxListing = 100000;

std::string Trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return std::string(s.substr(b, e - b));
}

// Names the server hands over become parts of our paths: one that is no plain name (a
// separator, "." or "..") would lead somewhere else than where it was listed.
bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

// A host or address as it may stand in an smb:// address: letters, digits, '.', '-' and '_'
// only, so that nothing in it is read as a user, a port or a path.
bool IsPlainHost(std::string_view host) {
  return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
  });
}

// libsmbclient decodes %XX in an address, so every byte but the unreserved ones is encoded.
void AppendEncoded(std::string& url, std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
}

class SmbShareFileSystem final : public FileSystem {
 public:
  SmbShareFileSystem(std::unique_ptr<FileSystem> local, SmbSettings settings)
      : local_(std::move(local)), s_(std::move(settings)) {
    for (const auto& [name, address] : s_.hosts) {
      if (!IsPlainHost(address))
        throw ValueError("smb.hosts." + name + ": \"" + address + "\" is no host name or IPv4 address");
      hosts_[AsciiLowered(name)] = address;
    }
    ctx_ = smbc_new_context();
    if (!ctx_) throw IoError(std::string("SMB: cannot create a client context: ") + std::strerror(errno));
    smbc_setDebug(ctx_, 0);
    smbc_setOptionUserData(ctx_, this);
    smbc_setFunctionAuthDataWithContext(ctx_, &SmbShareFileSystem::Auth);
    smbc_setPort(ctx_, static_cast<uint16_t>(s_.port));
    smbc_setTimeout(ctx_, s_.timeoutSeconds * 1000);
    smbc_setOptionUseKerberos(ctx_, false);
    smbc_setOptionUseCCache(ctx_, false);
    // With credentials given, a refused password must not become a guest session.
    smbc_setOptionNoAutoAnonymousLogin(ctx_, !s_.credentials.username.empty());
    if (!smbc_init_context(ctx_)) {
      const int err = errno;
      smbc_free_context(ctx_, 1);
      throw IoError(std::string("SMB: cannot start the client library: ") + std::strerror(err));
    }
    // SMB 1 is off on current Windows and insecure; the eeePCs speak 2 and 3.
    smbc_setOptionProtocols(ctx_, "SMB2_02", "SMB3");
  }

  ~SmbShareFileSystem() override { smbc_free_context(ctx_, 1); }

  bool FileExists(std::string_view path) override {
    WinPath w = ParseWinPath(path);
    if (!IsShare(w)) return local_->FileExists(path);
    if (w.IsRoot()) return false;
    struct stat st;
    return Stat(w, st) && S_ISREG(st.st_mode);
  }

  bool DirectoryExists(std::string_view path) override {
    WinPath w = ParseWinPath(path);
    if (!IsShare(w)) return local_->DirectoryExists(path);
    if (w.IsRoot()) return ShareListed(w);
    struct stat st;
    return Stat(w, st) && S_ISDIR(st.st_mode);
  }

  void CreateDir(std::string_view path) override {
    WinPath w = ParseWinPath(path);
    if (!IsShare(w)) return local_->CreateDir(path);
    if (w.IsRoot()) {
      if (ShareListed(w)) return;
      throw IoError(std::string(path) + ": share not reachable", ErrorKind::kUnavailable);
    }
    struct stat st;
    if (Stat(w, st)) {
      if (S_ISDIR(st.st_mode)) return;
      throw IoError(std::string(path) + ": cannot create the folder: a file has that name");
    }
    const int err = errno;
    if (err != ENOENT) ThrowIoError(path, "create the folder", err);
    if (!IsFolder(w.Parent())) throw IoError(std::string(path) + ": the folder above does not exist", ErrorKind::kNotFound);
    const std::string url = Url(w);
    if (Retried([&] { return smbc_getFunctionMkdir(ctx_)(ctx_, url.c_str(), 0755); }) != 0) {
      const int e = errno;
      if (e == EEXIST && IsFolder(w)) return;
      ThrowIoError(path, "create the folder", e);
    }
  }

  std::vector<std::string> ListFiles(std::string_view dir, std::string_view mask) override {
    WinPath w = ParseWinPath(dir);
    if (!IsShare(w)) return local_->ListFiles(dir, mask);
    SMBCFILE* d = OpenListing(w, dir);
    std::vector<std::string> names;
    size_t seen = 0;
    bool tooLong = false;
    errno = 0;
    while (struct smbc_dirent* e = smbc_getFunctionReaddir(ctx_)(ctx_, d)) {
      if (++seen > kMaxListing) {
        tooLong = true;
        break;
      }
      std::string name(e->name, strnlen(e->name, e->namelen ? e->namelen : sizeof e->name));
      if (e->smbc_type == SMBC_FILE && IsPlainName(name) && MatchesMask(name, mask)) names.push_back(std::move(name));
    }
    CloseListing(d, dir, tooLong);
    SortNamesWithoutCase(names);
    return names;
  }

  // The server shows what a link on its disk points at (if it lets it be reached at all), so
  // no entry is a link here.
  std::vector<FolderEntry> ListEntries(std::string_view dir) override {
    WinPath w = ParseWinPath(dir);
    if (!IsShare(w)) return local_->ListEntries(dir);
    SMBCFILE* d = OpenListing(w, dir);
    constexpr uint16_t kDirectory = 0x10, kDevice = 0x40;  // DOS attributes
    std::vector<FolderEntry> out;
    bool tooLong = false;
    errno = 0;
    while (const libsmb_file_info* i = smbc_getFunctionReaddirPlus(ctx_)(ctx_, d)) {
      if (out.size() >= kMaxListing) {
        tooLong = true;
        break;
      }
      if (i->name == nullptr || !IsPlainName(i->name)) continue;
      FolderEntry e;
      e.name = i->name;
      if (i->attrs & kDirectory) {
        e.kind = FolderEntry::Kind::kFolder;
      } else if (!(i->attrs & kDevice)) {
        e.kind = FolderEntry::Kind::kFile;
        e.bytes = i->size;
        // A file written anew is born anew: its birth and last change tell copies apart.
        auto ns = [](const timespec& t) {
          return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
        };
        e.identity[1] = ns(i->btime_ts);
        e.identity[2] = ns(i->mtime_ts);
      }
      out.push_back(std::move(e));
    }
    CloseListing(d, dir, tooLong);
    return out;
  }

  std::string ReadFile(std::string_view path) override {
    WinPath w = ParseWinPath(path);
    if (!IsShare(w)) return local_->ReadFile(path);
    if (w.IsRoot()) throw IoError(std::string(path) + ": cannot read: Is a directory");
    const std::string url = Url(w);
    SMBCFILE* f = Retried([&] { return smbc_getFunctionOpen(ctx_)(ctx_, url.c_str(), O_RDONLY, 0); });
    if (!f) ThrowIoError(path, "read", errno);
    // The file is asked for a piece at a time straight into the string, reserved for what the
    // server says the file holds. That size is only a hint: a file that grows or a server that
    // lies is read to its end all the same, and the hint never reserves more than kMaxHint.
    constexpr size_t kMaxHint = size_t{64} << 20;
    struct stat st {};
    std::string data;
    if (smbc_getFunctionFstat(ctx_)(ctx_, f, &st) == 0 && st.st_size >= 0)
      data.reserve(std::min(static_cast<size_t>(st.st_size), kMaxHint) + kShareReadPiece);
    size_t used = 0;
    for (;;) {
      if (data.size() - used < kShareReadPiece) data.resize(used + kShareReadPiece);
      ssize_t n = smbc_getFunctionRead(ctx_)(ctx_, f, data.data() + used, kShareReadPiece);
      if (n < 0) {
        const int err = errno;
        smbc_getFunctionClose(ctx_)(ctx_, f);
        ThrowIoError(path, "read", err == EISDIR ? EISDIR : err);
      }
      if (n == 0) break;
      used += static_cast<size_t>(n);
    }
    data.resize(used);
    smbc_getFunctionClose(ctx_)(ctx_, f);
    return data;
  }

  std::string ReadFileHead(std::string_view path, size_t n) override {
    WinPath w = ParseWinPath(path);
    if (!IsShare(w)) return local_->ReadFileHead(path, n);
    if (w.IsRoot()) throw IoError(std::string(path) + ": cannot read: Is a directory");
    const std::string url = Url(w);
    SMBCFILE* f = Retried([&] { return smbc_getFunctionOpen(ctx_)(ctx_, url.c_str(), O_RDONLY, 0); });
    if (!f) ThrowIoError(path, "read", errno);
    std::string data(n, '\0');
    size_t got = 0;
    while (got < n) {
      ssize_t r = smbc_getFunctionRead(ctx_)(ctx_, f, data.data() + got, std::min(n - got, kShareReadPiece));
      if (r < 0) {
        const int err = errno;
        smbc_getFunctionClose(ctx_)(ctx_, f);
        ThrowIoError(path, "read", err);
      }
      if (r == 0) break;
      got += static_cast<size_t>(r);
    }
    smbc_getFunctionClose(ctx_)(ctx_, f);
    data.resize(got);
    return data;
  }

  // On a share the bytes are gathered and written whole on Commit, as WriteFile writes them
  // (a temporary beside the file, renamed over it): the share's one atomic replacement.
  std::unique_ptr<WriteStream> OpenForWrite(std::string_view path, Durability durability) override {
    WinPath w = ParseWinPath(path);
    if (!IsShare(w)) return local_->OpenForWrite(path, durability);
    if (w.IsRoot() || IsFolder(w)) throw IoError(std::string(path) + ": is a folder, not a file");
    if (!IsFolder(w.Parent())) throw IoError(std::string(path) + ": the folder does not exist", ErrorKind::kNotFound);
    return std::make_unique<BufferedWriteStream>(
        [this, p = std::string(path)](std::string_view data) { WriteFile(p, data); });
  }

  void WriteFile(std::string_view path, std::string_view data) override {
    WinPath w = ParseWinPath(path);
    if (!IsShare(w)) return local_->WriteFile(path, data);
    if (w.IsRoot()) throw IoError(std::string(path) + ": is a folder, not a file");
    RemoveOrphans(w);
    // A staged copy is read by no one under its name: it needs no temporary of its own, whose
    // rename would cost three more round trips. Cut off half-way, it is removed, or written
    // again whole by the next run before anything renames it.
    if (IsStagedCopyName(w.parts.back())) {
      try {
        WriteNew(w, path, data, O_TRUNC);
      } catch (...) {
        if (smbc_getFunctionUnlink(ctx_)(ctx_, Url(w).c_str()) != 0 && errno != ENOENT) orphans_.push_back(w);
        throw;
      }
      std::erase_if(orphans_, [&](const WinPath& o) { return o.Key() == w.Key(); });  // whole now
      return;
    }
    WinPath temp = w;
    temp.parts.back() = "." + w.parts.back() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++counter_);
    try {
      WriteNew(temp, path, data, O_EXCL);
      Replace(temp, w, path);
    } catch (...) {
      if (smbc_getFunctionUnlink(ctx_)(ctx_, Url(temp).c_str()) != 0 && errno != ENOENT) orphans_.push_back(temp);
      throw;
    }
  }

  void CopyFile(std::string_view from, std::string_view to) override {
    WinPath f = ParseWinPath(from), t = ParseWinPath(to);
    if (!IsShare(f) && !IsShare(t)) return local_->CopyFile(from, to);
    if (!FileExists(from)) throw IoError(std::string(from) + ": file not found", ErrorKind::kNotFound);
    WriteFile(to, ReadFile(from));
  }

  void RenameFile(std::string_view from, std::string_view to) override {
    WinPath f = ParseWinPath(from), t = ParseWinPath(to);
    if (!IsShare(f) && !IsShare(t)) return local_->RenameFile(from, to);
    if (!IsShare(f) || !IsShare(t) || AsciiLowered(f.host) != AsciiLowered(t.host) ||
        AsciiLowered(f.share) != AsciiLowered(t.share)) {
      throw IoError(std::string(from) + ": cannot rename to " + std::string(to) + ": not on the same share");
    }
    if (f.IsRoot()) throw IoError(std::string(from) + ": file not found", ErrorKind::kNotFound);
    if (t.IsRoot()) throw IoError(std::string(to) + ": is a folder, not a file");
    // Neither name is asked about beforehand (each question is a round trip): a missing
    // `from` fails the rename before anything is deleted, and only then is it asked about.
    try {
      Replace(f, t, to);
    } catch (const IoError& e) {
      if (e.kind() == ErrorKind::kNotFound && !FileExists(from))
        throw IoError(std::string(from) + ": file not found", ErrorKind::kNotFound);
      // A folder under the target name refuses both the rename and the deletion.
      if (IsFolder(t)) throw IoError(std::string(to) + ": is a folder, not a file");
      throw;
    }
  }

  bool DeleteFile(std::string_view path) override {
    WinPath w = ParseWinPath(path);
    if (!IsShare(w)) return local_->DeleteFile(path);
    if (!FileExists(path)) return false;
    if (smbc_getFunctionUnlink(ctx_)(ctx_, Url(w).c_str()) != 0) {
      if (errno == ENOENT) return false;
      ThrowIoError(path, "delete", errno);
    }
    return true;
  }

  std::optional<std::chrono::system_clock::time_point> FileTime(std::string_view path) override {
    WinPath w = ParseWinPath(path);
    if (!IsShare(w)) return local_->FileTime(path);
    struct stat st;
    if (w.IsRoot() || !Stat(w, st) || !S_ISREG(st.st_mode)) return std::nullopt;
    auto since = std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec);
    return std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(since));
  }

  std::optional<stdfs::path> HostPath(std::string_view path) override {
    WinPath w = ParseWinPath(path);
    if (!IsShare(w)) return local_->HostPath(path);
    return std::nullopt;
  }

  void BeginFolderBatch() override { local_->BeginFolderBatch(); }
  void SyncFolderBatch() override { local_->SyncFolderBatch(); }
  void EndFolderBatch() noexcept override { local_->EndFolderBatch(); }

 private:
  // A folder's listing, opened and closed; closing tells what went wrong while reading it (a
  // listing longer than any folder of an export is not believed).
  SMBCFILE* OpenListing(const WinPath& w, std::string_view dir) {
    const std::string url = Url(w);
    SMBCFILE* d = Retried([&] { return smbc_getFunctionOpendir(ctx_)(ctx_, url.c_str()); });
    if (!d) {
      const int err = errno;
      if (err == ENOENT || err == ENOTDIR) throw IoError(std::string(dir) + ": folder not found", ErrorKind::kNotFound);
      ThrowIoError(dir, "list the folder", err);
    }
    return d;
  }
  void CloseListing(SMBCFILE* d, std::string_view dir, bool tooLong) {
    const int err = errno;
    smbc_getFunctionClosedir(ctx_)(ctx_, d);
    if (tooLong) {
      throw IoError(std::string(dir) + ": the server lists more than " + std::to_string(kMaxListing) +
                    " entries in the folder; not believed");
    }
    if (err != 0 && err != ENOENT) ThrowIoError(dir, "list the folder", err);
  }

  static void Auth(SMBCCTX* c, const char*, const char*, char* wg, int wglen, char* un, int unlen,
                   char* pw, int pwlen) {
    auto* self = static_cast<SmbShareFileSystem*>(smbc_getOptionUserData(c));
    const SmbCredentials& cr = self->s_.credentials;
    auto put = [](char* out, int len, const std::string& v) {
      if (len <= 0) return;
      const size_t n = std::min(v.size(), static_cast<size_t>(len - 1));
      std::memcpy(out, v.data(), n);
      out[n] = '\0';
    };
    if (!cr.domain.empty()) put(wg, wglen, cr.domain);
    put(un, unlen, cr.username);
    put(pw, pwlen, cr.password);
  }

  static bool IsShare(const WinPath& w) { return w.root == WinPath::Root::Share; }

  // libsmbclient keeps a connection per server and share, and finds out that the server went
  // away (and came back) only when a request fails on it. Such a request is made once more on
  // a new connection; a request that fails so again, or for any other reason, fails.
  template <typename F>
  auto Retried(F call) -> decltype(call()) {
    auto r = call();
    if (!Failed(r)) return r;
    const int err = errno;
    if (err != ECONNABORTED && err != ECONNRESET && err != EPIPE && err != ENOTCONN) return r;
    smbc_getFunctionPurgeCachedServers(ctx_)(ctx_);
    return call();
  }
  static bool Failed(int r) { return r != 0; }
  static bool Failed(SMBCFILE* f) { return f == nullptr; }

  std::string Server(const WinPath& w) const {
    auto it = hosts_.find(AsciiLowered(w.host));
    const std::string& host = it != hosts_.end() ? it->second : w.host;
    if (!IsPlainHost(host)) throw ValueError("\\\\" + w.host + ": not a host name SMB can reach");
    return host;
  }

  // smb://SERVER/SHARE/a/b, each name encoded.
  std::string Url(const WinPath& w) const {
    std::string url = "smb://" + Server(w) + "/";
    AppendEncoded(url, w.share);
    for (const std::string& p : w.parts) {
      url += '/';
      AppendEncoded(url, p);
    }
    return url;
  }

  // errno is the library's when this answers false.
  bool Stat(const WinPath& w, struct stat& st) {
    std::memset(&st, 0, sizeof st);
    const std::string url = Url(w);
    return Retried([&] { return smbc_getFunctionStat(ctx_)(ctx_, url.c_str(), &st); }) == 0;
  }

  bool IsFolder(const WinPath& w) {
    if (w.IsRoot()) return ShareListed(w);
    struct stat st;
    return Stat(w, st) && S_ISDIR(st.st_mode);
  }

  // Whether the server's list of shares has this one (letter case ignored). A server that
  // does not answer within the timeout lists nothing. A server that refuses the session is
  // an error of its own (kPermissionDenied): the cure is the credentials, not the share.
  bool ShareListed(const WinPath& w) {
    const std::string url = "smb://" + Server(w) + "/";
    SMBCFILE* d = Retried([&] { return smbc_getFunctionOpendir(ctx_)(ctx_, url.c_str()); });
    if (!d) {
      if (errno == EACCES || errno == EPERM)
        throw IoError("\\\\" + w.host + "\\" + w.share + ": the server refused the credentials of user \"" +
                          s_.credentials.username + "\"",
                      ErrorKind::kPermissionDenied);
      return false;
    }
    const std::string key = AsciiLowered(w.share);
    bool found = false;
    size_t seen = 0;
    while (struct smbc_dirent* e = smbc_getFunctionReaddir(ctx_)(ctx_, d)) {
      if (++seen > kMaxListing) break;
      if (e->smbc_type == SMBC_FILE_SHARE && AsciiLowered(std::string(e->name, strnlen(e->name, e->namelen ? e->namelen : sizeof e->name))) == key) {
        found = true;
        break;
      }
    }
    smbc_getFunctionClosedir(ctx_)(ctx_, d);
    return found;
  }

  // Every request is a round trip to the eeePC, so the folder is not asked about beforehand:
  // only a file that cannot be created makes the folder (or the share's answer) the question.
  // `how`: O_EXCL for a temporary of our own, O_TRUNC for a file written in place.
  void WriteNew(const WinPath& temp, std::string_view label, std::string_view data, int how) {
    const std::string url = Url(temp);
    SMBCFILE* f = Retried([&] { return smbc_getFunctionOpen(ctx_)(ctx_, url.c_str(), O_WRONLY | O_CREAT | how, 0644); });
    if (!f) {
      const int err = errno;
      if (!IsFolder(temp.Parent()))
        throw IoError(std::string(label) + ": the folder does not exist", ErrorKind::kNotFound);
      ThrowIoError(label, "write", err);
    }
    size_t done = 0;
    while (done < data.size()) {
      const size_t piece = std::min<size_t>(data.size() - done, size_t{8} << 20);
      ssize_t n = smbc_getFunctionWrite(ctx_)(ctx_, f, data.data() + done, piece);
      if (n <= 0) {
        const int err = n < 0 ? errno : EIO;
        smbc_getFunctionClose(ctx_)(ctx_, f);
        ThrowIoError(label, "write", err);
      }
      done += static_cast<size_t>(n);
    }
    // A server that fails to close the file may not have all of it.
    if (smbc_getFunctionClose(ctx_)(ctx_, f) != 0) ThrowIoError(label, "write", errno);
  }

  // Gives `from` the name `to`. The library renames only onto a free name, so an existing
  // `to` is deleted first (see the header for what a reader may see meanwhile).
  void Replace(const WinPath& from, const WinPath& to, std::string_view label) {
    const std::string src = Url(from), dst = Url(to);
    if (Retried([&] { return smbc_getFunctionRename(ctx_)(ctx_, src.c_str(), ctx_, dst.c_str()); }) == 0) return;
    int err = errno;
    if (err == EEXIST) {
      if (smbc_getFunctionUnlink(ctx_)(ctx_, dst.c_str()) != 0 && errno != ENOENT) ThrowIoError(label, "replace", errno);
      if (smbc_getFunctionRename(ctx_)(ctx_, src.c_str(), ctx_, dst.c_str()) == 0) return;
      err = errno;
    }
    ThrowIoError(label, "replace", err);
  }

  // Temporaries of this object whose removal failed; tried again at the next write to the
  // same server, once it answers.
  void RemoveOrphans(const WinPath& w) {
    const std::string server = Server(w);
    std::erase_if(orphans_, [&](const WinPath& o) {
      if (Server(o) != server) return false;
      const std::string url = Url(o);
      return Retried([&] { return smbc_getFunctionUnlink(ctx_)(ctx_, url.c_str()); }) == 0 || errno == ENOENT;
    });
  }

  std::unique_ptr<FileSystem> local_;
  SmbSettings s_;
  std::map<std::string, std::string> hosts_;  // lower-case name -> address
  SMBCCTX* ctx_ = nullptr;
  std::vector<WinPath> orphans_;
  unsigned counter_ = 0;
};

}  // namespace

SmbCredentials ReadSmbCredentials(const stdfs::path& file) {
  struct stat st;
  if (::stat(file.c_str(), &st) != 0) ThrowIoError(file.string(), "read the credentials file", errno);
  if (st.st_mode & (S_IRGRP | S_IROTH)) {
    throw IoError(file.string() + ": the credentials file can be read by " +
                      ((st.st_mode & S_IROTH) ? "others" : "its group") +
                      "; refused (chmod 600 it)",
                  ErrorKind::kPermissionDenied);
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) ThrowIoError(file.string(), "read the credentials file", errno);
  SmbCredentials c;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    std::string t = Trimmed(line);
    if (t.empty() || t[0] == '#') continue;
    const size_t eq = t.find('=');
    if (eq == std::string::npos) {
      throw ValueError(file.string() + ": line " + std::to_string(n) + ": expected KEY=VALUE");
    }
    const std::string key = AsciiLowered(Trimmed(std::string_view(t).substr(0, eq)));
    // The password is taken as written: blanks may belong to it.
    std::string value = line.substr(line.find('=') + 1);
    if (!value.empty() && value.back() == '\r') value.pop_back();
    if (key == "username" || key == "user") {
      c.username = Trimmed(value);
    } else if (key == "password" || key == "pass") {
      c.password = value;
    } else if (key == "domain" || key == "dom" || key == "workgroup") {
      c.domain = Trimmed(value);
    } else {
      throw ValueError(file.string() + ": line " + std::to_string(n) + ": unknown key \"" + key + "\"");
    }
  }
  if (c.username.empty()) throw ValueError(file.string() + ": no username= line");
  return c;
}

std::unique_ptr<FileSystem> NewSmbShareFileSystem(std::unique_ptr<FileSystem> local, SmbSettings settings) {
  return std::make_unique<SmbShareFileSystem>(std::move(local), std::move(settings));
}

}  // namespace kve
