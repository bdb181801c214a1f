#include "demo/demo_site.h"

#include "demo/client_files.h"
#include "platform/fs/file_sink.h"
#include "platform/instaide/queue_admin.h"

namespace kve::demo {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  WriteFileAtomically(file, bytes);
}

// A TOML basic string.
std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The configuration reads relative paths from its own folder; the database URL given on the
// command line is relative to the working folder, so it is rewritten from the site's folder.
std::string ConfigDatabaseUrl(const std::string& url, const fs::path& folder) {
  const std::string sqlite = "sqlite:";
  if (url.rfind(sqlite, 0) != 0 || url == "sqlite::memory:") return url;
  fs::path file = fs::absolute(url.substr(sqlite.size()));
  return sqlite + fs::relative(file, fs::absolute(folder)).generic_string();
}

}  // namespace

fs::path WriteDemoSite(const DemoSiteOptions& o) {
  fs::remove_all(o.folder);
  fs::create_directories(o.folder);

  const fs::path config = o.folder / "kve.toml";
  Write(config,
        "# The demo workstation of central kitchen 0001 (written by kve-demo).\n"
        "data_dir = \".\"\n"
        "[host]\n"
        "branch = \"0001\"\n"
        "operator = \"000000000007\"\n"
        "language = \"POR\"\n"
        "[masks]\n"
        "product = \"99.99.9999;0;_\"\n"
        "[database]\n"
        "url = " + Quoted(ConfigDatabaseUrl(o.databaseUrl, o.folder)) + "\n"
        "[server]\n"
        "host = " + Quoted(o.serverHost) + "\n"
        "port = " + std::to_string(o.serverPort) + "\n"
        "[paths]\n"
        "registry_file = \"registry.reg\"\n"
        "hotsync_root = \"hotsync\"\n"
        "shares = \"shares\"\n"
        "[paths.drives]\n"
        "C = \"drive_c\"\n"
        "[security]\n"
        "site_key = \"demo site key, not for production\"\n");

  Write(o.folder / "registry.reg",
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\ORVANTA\\Sistemas Integrados Orvanta]\r\n"
        "\"UninstallPath\"=\"C:\\\\Orvanta\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\ORVANTA\\Sistemas Integrados Orvanta\\WebCli]\r\n"
        "\"PALMDir\"=\"C:\\\\Palm\"\r\n");

  // The Palm side: export folder, and the two application files queued with every export.
  const fs::path palm = o.folder / "drive_c" / "Palm" / "Kve";
  fs::create_directories(palm / "Exp");
  Write(palm / "Bin" / "KVE.prc", PalmApplication("KVE", "RKVE"));
  Write(palm / "Bin" / "Relaybox.prc", PalmApplication("Relaybox", "RLBX"));

  // The eeePC client and its runtime packages, as the installation left them.
  const fs::path client = o.folder / "drive_c" / "Orvanta" / "Bin" / "Client";
  Write(client / "RDL.exe", WindowsImage(ImageKind::Program, {4, 2, 0, 7}));
  for (const char* name : {"_kas.bpl", "_kel.bpl", "_kin.bpl", "_kor.bpl", "_kup.bpl",
                           "_kav.bpl", "_kyt.bpl"}) {
    Write(client / name, WindowsImage(ImageKind::Library, {4, 2, 0, 1}));
  }

  // The HotSync Manager's user of Palm "001".
  AddHotSyncUser(o.folder / "hotsync", kDemoHotSyncUser);

  // The eeePC's shared folder, holding an older client that the export replaces.
  const fs::path share = o.folder / "shares" / kDemoEeepc / "Orvanta Web";
  Write(share / "EeePc" / "Kve" / "Bin" / "RDL.exe", WindowsImage(ImageKind::Program, {4, 1, 0, 3}));
  return config;
}

}  // namespace kve::demo
