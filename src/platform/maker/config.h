#pragma once
// The host's configuration and how the maker's free functions reach it.
//
// One TOML file configures the host application and the batch driver alike. Every key is
// optional; a missing key keeps the default below. An unknown key or a value of the wrong type
// is an error naming the file and the key ("kve.toml: server.port: expected an integer"), so a
// typing mistake never silently falls back to a default. Relative paths in the file are taken
// relative to the file's own folder.
//
//   data_dir = "var"                      # folder for the defaults below
//   [host]
//   branch = "0001"                       # Corvane::FiliProc
//   operator = "ADMIN"                    # Corvane::Operador
//   language = "POR"                      # Trad_utl::RetornaIdioma ("POR", "ESP", "ING", ...)
//   [masks]
//   product = "99.99.999.9999;0;_"        # Corvane::DBPict(0), the product-tree edit mask
//   product_levels = 4                    # TDBPicture::GetTtNiveis; counted from the mask if absent
//   [masks.person]                        # Consiste::PictPess, by person type
//   F = "999.999.999-99;0;_"
//   J = "99.999.999/9999-99;0;_"
//   [database]
//   url = "sqlite:var/kve.db"             # or "postgresql://..."
//   [server]
//   host = "127.0.0.1"                    # Corvane::WebURL
//   port = 8211                           # Corvane::WebPort
//   token = ""
//   max_answer_mb = 2048                  # the most an answer may hold; a larger one fails
//   tls = false                           # HTTPS only; never falls back to plain HTTP
//   ca_file = "server-ca.pem"             # authorities the server's certificate must verify
//                                         # against (the system's when absent)
//   pin_sha256 = "ab:cd:..."              # optional: SHA-256 of the server's certificate
//   [paths]
//   registry_file = "var/registry.reg"
//   hotsync_root = "var/hotsync"          # or "smb://PC/Palm": a PC's share, over SMB
//   shares = "var/shares"                 # \\HOST\SHARE\x -> <shares>/HOST/SHARE/x
//                                         # or "smb://": \\HOST\SHARE\x -> smb://HOST/SHARE/x
//   [paths.drives]
//   C = "var/drive_c"                     # C:\x -> <folder>/x
//   [security]
//   site_key = "..."                      # Criptografa::CriptoPlus key; required for it
//   [locale]
//   decimal_separator = ","
//   thousand_separator = "."
//   short_date_format = "dd/mm/yyyy"
//   [smb]                                 # with shares = "smb://"
//   credentials_file = "smb-credentials"  # username=, password=, domain= lines (mount.cifs's
//                                         # format), readable by its owner only; none: anonymous
//   port = 445
//   timeout_s = 10                        # for each request; a host that does not answer fails
//   [smb.hosts]                           # device name -> address, instead of name resolution
//   "NOTE-KITCHEN-01" = "192.0.2.10"
//   [ledger]
//   keep = 3                              # exports whose files are kept, per device (0: none)
//
// The maker's functions (Corvane::FiliProc, Consiste::PictPess, ...) take no configuration
// argument, as the screen calls them. They read the `Services` currently installed: the host
// (or the batch driver, or a test) builds one from its configuration and installs it with a
// `ServicesScope` for as long as the screen package runs. There is exactly one user-interface
// thread, so installation is not synchronised.

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace kve {
class FileSystem;
}

namespace kve::maker {

struct HostConfig {
  std::string data_dir;  // where the default files live

  std::string branch = "0001";  // current branch (FiliProc)
  std::string operator_code;    // logged-in operator (Operador)
  std::string language = "POR";

  std::string product_mask = "99.99.999.9999;0;_";
  int product_levels = 0;  // 0: count the input groups of product_mask
  // Person type ("F", "J", ...) -> registration-number edit mask.
  std::map<std::string, std::string> person_masks = {
      {"F", "999.999.999-99;0;_"},
      {"J", "99.999.999/9999-99;0;_"},
  };

  std::string database_url;  // default "sqlite:" + data_dir + "/kve.db"

  std::string server_host = "127.0.0.1";
  int server_port = 8211;
  std::string server_token;
  int server_max_answer_mb = 2048;  // what one answer of the server may hold
  bool server_tls = false;
  std::string server_ca_file;       // empty: the system's authorities
  std::string server_pin_sha256;    // empty: no pin

  std::string registry_file;                 // default data_dir + "/registry.reg"
  std::string hotsync_root;                  // default data_dir + "/hotsync"
  std::string shares_dir;                    // default data_dir + "/shares"
  bool shares_over_smb = false;              // shares = "smb://": shares_dir is unused
  std::string smb_credentials_file;          // empty: an anonymous session
  int smb_port = 445;
  int smb_timeout_s = 10;
  std::map<std::string, std::string> smb_hosts;  // device name -> address
  std::map<char, std::string> drives;        // upper-case letter -> host folder
  std::string site_key;                      // empty: no password transform possible

  char decimal_separator = ',';
  char thousand_separator = '.';
  std::string short_date_format = "dd/mm/yyyy";

  int ledger_keep = 3;  // the last exports of each device whose files the ledger keeps
};

// The data folder used when the file names none: $KVE_DATA_DIR, else $XDG_DATA_HOME/kve, else
// $HOME/.local/share/kve, else ".kve" in the working folder.
std::string DefaultDataDir();

// Defaults, with every path derived from `data_dir` (DefaultDataDir() when empty).
HostConfig DefaultConfig(std::string data_dir = {});

// Parses TOML text; `name` is the file name that errors quote, `base_dir` the folder relative
// paths are taken from. Throws kve::FormatError on a syntax error, an unknown key or a wrong type,
// kve::ValueError on a value out of range.
HostConfig ParseConfig(std::string_view text, const std::string& name,
                       const std::string& base_dir = ".");

// Reads and parses a file; throws kve::IoError when it cannot be read.
HostConfig LoadConfig(const std::string& path);  // through the host's file system
HostConfig LoadConfig(FileSystem& fs, const std::string& path);

// What the maker's functions reach. Other maker parts (messages, dialogs, database) may add
// their members here; the configuration is fixed once the services are built.
class Services {
 public:
  explicit Services(HostConfig config) : config_(std::move(config)) {}
  virtual ~Services() = default;
  Services(const Services&) = delete;
  Services& operator=(const Services&) = delete;

  const HostConfig& Config() const { return config_; }

 private:
  HostConfig config_;
};

// The installed services. Throws kve::Error when none are installed, naming the need.
Services& CurrentServices();
bool HasServices();

// Installs `services` until destroyed, then restores whatever was installed before, so tests
// and nested hosts can stack their own.
class ServicesScope {
 public:
  explicit ServicesScope(Services& services);
  ~ServicesScope();
  ServicesScope(const ServicesScope&) = delete;
  ServicesScope& operator=(const ServicesScope&) = delete;

 private:
  Services* previous_;
};

}  // namespace kve::maker
