#include "platform/maker/config.h"

#include "platform/fs/file_system.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <toml++/toml.h>

#include "platform/common/error.h"

namespace kve::maker {
namespace {

namespace fs = std::filesystem;

std::string JoinPath(const std::string& dir, const std::string& leaf) {
  return (fs::path(dir) / leaf).lexically_normal().string();
}

// Walks one TOML document, checking every key against what it knows. Errors name the file
// and the dotted key.
class Reader {
 public:
  Reader(const std::string& name, std::string base) : name_(name), base_(std::move(base)) {}

  [[noreturn]] void Fail(const std::string& key, const std::string& what) const {
    throw FormatError(name_ + ": " + key + ": " + what);
  }
  [[noreturn]] void Bad(const std::string& key, const std::string& what) const {
    throw ValueError(name_ + ": " + key + ": " + what);
  }

  std::string Str(const toml::node& n, const std::string& key) const {
    auto v = n.value_exact<std::string>();
    if (!v) Fail(key, "expected a string");
    return *v;
  }
  int64_t Int(const toml::node& n, const std::string& key) const {
    auto v = n.value_exact<int64_t>();
    if (!v) Fail(key, "expected an integer");
    return *v;
  }
  bool Bool(const toml::node& n, const std::string& key) const {
    auto v = n.value_exact<bool>();
    if (!v) Fail(key, "expected true or false");
    return *v;
  }
  const toml::table& Table(const toml::node& n, const std::string& key) const {
    const toml::table* t = n.as_table();
    if (!t) Fail(key, "expected a table");
    return *t;
  }
  char OneChar(const toml::node& n, const std::string& key) const {
    std::string s = Str(n, key);
    if (s.size() != 1) Bad(key, "expected exactly one character, got \"" + s + "\"");
    return s[0];
  }
  // A path relative to the configuration file's folder.
  std::string Path(const toml::node& n, const std::string& key) const {
    std::string s = Str(n, key);
    if (s.empty()) Bad(key, "empty path");
    fs::path p(s);
    return p.is_absolute() ? p.lexically_normal().string() : JoinPath(base_, s);
  }
  std::string DatabaseUrl(const toml::node& n, const std::string& key) const {
    std::string s = Str(n, key);
    const std::string sqlite = "sqlite:";
    if (s.rfind(sqlite, 0) == 0) {
      std::string file = s.substr(sqlite.size());
      if (file.empty() || file == ":memory:" || fs::path(file).is_absolute()) return s;
      return sqlite + JoinPath(base_, file);
    }
    if (s.rfind("postgresql://", 0) == 0 || s.rfind("postgres://", 0) == 0) return s;
    Bad(key, "expected a \"sqlite:FILE\" or \"postgresql://...\" URL, got \"" + s + "\"");
  }

 private:
  const std::string& name_;
  std::string base_;
};

void ReadHost(const Reader& r, const toml::table& t, HostConfig& c) {
  for (const auto& [k, n] : t) {
    std::string key = "host." + std::string(k.str());
    if (k == "branch") {
      c.branch = r.Str(n, key);
    } else if (k == "operator") {
      c.operator_code = r.Str(n, key);
    } else if (k == "language") {
      c.language = r.Str(n, key);
      if (c.language.empty()) r.Bad(key, "empty language");
    } else {
      r.Fail(key, "unknown key");
    }
  }
}

void ReadMasks(const Reader& r, const toml::table& t, HostConfig& c) {
  for (const auto& [k, n] : t) {
    std::string key = "masks." + std::string(k.str());
    if (k == "product") {
      c.product_mask = r.Str(n, key);
      if (c.product_mask.empty()) r.Bad(key, "empty mask");
    } else if (k == "product_levels") {
      int64_t v = r.Int(n, key);
      if (v < 1 || v > 32) r.Bad(key, "expected 1 to 32 levels, got " + std::to_string(v));
      c.product_levels = static_cast<int>(v);
    } else if (k == "person") {
      for (const auto& [pk, pn] : r.Table(n, key)) {
        std::string pkey = key + "." + std::string(pk.str());
        if (pk.str().size() != 1) r.Bad(pkey, "a person type is one character");
        c.person_masks[std::string(pk.str())] = r.Str(pn, pkey);
      }
    } else {
      r.Fail(key, "unknown key");
    }
  }
}

void ReadServer(const Reader& r, const toml::table& t, HostConfig& c) {
  for (const auto& [k, n] : t) {
    std::string key = "server." + std::string(k.str());
    if (k == "host") {
      c.server_host = r.Str(n, key);
    } else if (k == "port") {
      int64_t v = r.Int(n, key);
      if (v < 1 || v > 65535) r.Bad(key, "port out of range: " + std::to_string(v));
      c.server_port = static_cast<int>(v);
    } else if (k == "token") {
      c.server_token = r.Str(n, key);
    } else if (k == "max_answer_mb") {
      int64_t v = r.Int(n, key);
      if (v < 1 || v > 1048576) r.Bad(key, "expected 1 to 1048576 MB, got " + std::to_string(v));
      c.server_max_answer_mb = static_cast<int>(v);
    } else if (k == "tls") {
      c.server_tls = r.Bool(n, key);
    } else if (k == "ca_file") {
      c.server_ca_file = r.Path(n, key);
    } else if (k == "pin_sha256") {
      std::string pin = r.Str(n, key);
      size_t digits = 0;
      bool hex = true;
      for (char ch : pin) {
        if (ch == ':') continue;
        hex = hex && std::isxdigit(static_cast<unsigned char>(ch));
        ++digits;
      }
      if (!pin.empty() && (!hex || digits != 64))
        r.Bad(key, "expected the certificate's SHA-256 as 64 hexadecimal digits (':' between bytes allowed)");
      c.server_pin_sha256 = pin;
    } else {
      r.Fail(key, "unknown key");
    }
  }
}

void ReadPaths(const Reader& r, const toml::table& t, HostConfig& c) {
  for (const auto& [k, n] : t) {
    std::string key = "paths." + std::string(k.str());
    if (k == "registry_file") {
      c.registry_file = r.Path(n, key);
    } else if (k == "hotsync_root") {
      const std::string v = r.Str(n, key);  // a folder, or a share: "smb://PC/Palm[/FOLDER]"
      const size_t share = v.rfind("smb://", 0) == 0 ? v.find('/', 6) : 0;
      if (share == 6 || share == std::string::npos || share + 1 == v.size()) r.Bad(key, "expected smb://HOST/SHARE");
      c.hotsync_root = v.rfind("smb://", 0) == 0 ? v : r.Path(n, key);
    } else if (k == "shares") {
      if (r.Str(n, key).rfind("smb:", 0) == 0) {
        if (r.Str(n, key) != "smb://") r.Bad(key, "expected a folder or \"smb://\" (the hosts are the shares' own)");
        c.shares_over_smb = true;
      } else {
        c.shares_dir = r.Path(n, key);
      }
    } else if (k == "drives") {
      c.drives.clear();
      for (const auto& [dk, dn] : r.Table(n, key)) {
        std::string dkey = key + "." + std::string(dk.str());
        std::string_view letter = dk.str();
        if (letter.size() != 1 || !std::isalpha(static_cast<unsigned char>(letter[0])))
          r.Bad(dkey, "a drive is one letter");
        char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
        c.drives[up] = r.Path(dn, dkey);
      }
    } else {
      r.Fail(key, "unknown key");
    }
  }
}

void ReadSmb(const Reader& r, const toml::table& t, HostConfig& c) {
  for (const auto& [k, n] : t) {
    std::string key = "smb." + std::string(k.str());
    if (k == "credentials_file") {
      c.smb_credentials_file = r.Path(n, key);
    } else if (k == "port") {
      int64_t v = r.Int(n, key);
      if (v < 1 || v > 65535) r.Bad(key, "port out of range: " + std::to_string(v));
      c.smb_port = static_cast<int>(v);
    } else if (k == "timeout_s") {
      int64_t v = r.Int(n, key);
      if (v < 1 || v > 600) r.Bad(key, "expected 1 to 600 seconds, got " + std::to_string(v));
      c.smb_timeout_s = static_cast<int>(v);
    } else if (k == "hosts") {
      c.smb_hosts.clear();
      for (const auto& [hk, hn] : r.Table(n, key)) {
        std::string hkey = key + "." + std::string(hk.str());
        std::string address = r.Str(hn, hkey);
        if (address.empty()) r.Bad(hkey, "empty address");
        c.smb_hosts[std::string(hk.str())] = address;
      }
    } else {
      r.Fail(key, "unknown key");
    }
  }
}

void ReadLocale(const Reader& r, const toml::table& t, HostConfig& c) {
  for (const auto& [k, n] : t) {
    std::string key = "locale." + std::string(k.str());
    if (k == "decimal_separator") {
      c.decimal_separator = r.OneChar(n, key);
    } else if (k == "thousand_separator") {
      c.thousand_separator = r.OneChar(n, key);
    } else if (k == "short_date_format") {
      c.short_date_format = r.Str(n, key);
    } else {
      r.Fail(key, "unknown key");
    }
  }
  if (c.decimal_separator == c.thousand_separator)
    r.Bad("locale", "decimal and thousand separators are the same character");
}

void ReadSingle(const Reader& r, const toml::table& t, const char* section, const char* name,
                std::string& out, bool is_url) {
  for (const auto& [k, n] : t) {
    std::string key = std::string(section) + "." + std::string(k.str());
    if (k != name) r.Fail(key, "unknown key");
    out = is_url ? r.DatabaseUrl(n, key) : r.Str(n, key);
  }
}

}  // namespace

std::string DefaultDataDir() {
  if (const char* d = std::getenv("KVE_DATA_DIR"); d && *d) return d;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return JoinPath(x, "kve");
  if (const char* h = std::getenv("HOME"); h && *h) return JoinPath(h, ".local/share/kve");
  return ".kve";
}

HostConfig DefaultConfig(std::string data_dir) {
  HostConfig c;
  c.data_dir = data_dir.empty() ? DefaultDataDir() : std::move(data_dir);
  c.database_url = "sqlite:" + JoinPath(c.data_dir, "kve.db");
  c.registry_file = JoinPath(c.data_dir, "registry.reg");
  c.hotsync_root = JoinPath(c.data_dir, "hotsync");
  c.shares_dir = JoinPath(c.data_dir, "shares");
  c.drives['C'] = JoinPath(c.data_dir, "drive_c");
  return c;
}

HostConfig ParseConfig(std::string_view text, const std::string& name,
                       const std::string& base_dir) {
  toml::table doc;
  try {
    doc = toml::parse(text, name);
  } catch (const toml::parse_error& e) {
    throw FormatError(name + ": line " + std::to_string(e.source().begin.line) + ": " +
                      std::string(e.description()));
  }
  Reader r(name, base_dir);

  // The data folder decides the other defaults, so it is read first.
  std::string data_dir;
  if (const toml::node* n = doc.get("data_dir")) data_dir = r.Path(*n, "data_dir");
  HostConfig c = DefaultConfig(data_dir);

  for (const auto& [k, n] : doc) {
    std::string key(k.str());
    if (k == "data_dir") continue;
    if (k == "host") {
      ReadHost(r, r.Table(n, key), c);
    } else if (k == "masks") {
      ReadMasks(r, r.Table(n, key), c);
    } else if (k == "database") {
      ReadSingle(r, r.Table(n, key), "database", "url", c.database_url, true);
    } else if (k == "server") {
      ReadServer(r, r.Table(n, key), c);
    } else if (k == "paths") {
      ReadPaths(r, r.Table(n, key), c);
    } else if (k == "security") {
      ReadSingle(r, r.Table(n, key), "security", "site_key", c.site_key, false);
    } else if (k == "smb") {
      ReadSmb(r, r.Table(n, key), c);
    } else if (k == "locale") {
      ReadLocale(r, r.Table(n, key), c);
    } else if (k == "ledger") {
      for (const auto& [lk, ln] : r.Table(n, key)) {
        std::string lkey = "ledger." + std::string(lk.str());
        if (lk != "keep") r.Fail(lkey, "unknown key");
        int64_t v = r.Int(ln, lkey);
        if (v < 0 || v > 1000) r.Bad(lkey, "expected 0 to 1000 exports, got " + std::to_string(v));
        c.ledger_keep = static_cast<int>(v);
      }
    } else {
      r.Fail(key, "unknown key");
    }
  }
  return c;
}

HostConfig LoadConfig(const std::string& path) { return LoadConfig(*NewHostFileSystem(), path); }

HostConfig LoadConfig(FileSystem& files, const std::string& path) {
  std::string text;
  try {
    text = files.ReadFile(path);
  } catch (const IoError& e) {
    throw IoError(path + ": cannot read the configuration file", e.kind());
  }
  std::string base = fs::path(path).parent_path().string();
  return ParseConfig(text, path, base.empty() ? "." : base);
}

namespace {
Services* g_current = nullptr;
}  // namespace

Services& CurrentServices() {
  if (!g_current)
    throw Error("the maker's services are not installed (the host installs them at start-up)");
  return *g_current;
}

bool HasServices() { return g_current != nullptr; }

ServicesScope::ServicesScope(Services& services) : previous_(g_current) { g_current = &services; }

ServicesScope::~ServicesScope() { g_current = previous_; }

}  // namespace kve::maker
