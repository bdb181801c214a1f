// kve-hotsync: the HotSync install queue of this workstation, for support staff. It works on
// the same folders as the export screen (<hotsync_root>/<user>/Install/) and queues and
// removes files through the same Install Aide.
//
//   kve-hotsync --config site/kve.toml list
//   kve-hotsync --root var/hotsync add-user "PALM 01"
//   kve-hotsync --config site/kve.toml queue "PALM 01" C:\Palm\Kve\Exp\EXPFILIAL.pdb
//   kve-hotsync --config site/kve.toml remove "PALM 01" EXPFILIAL.pdb
//   kve-hotsync --config site/kve.toml clear "PALM 01"
//
// Exit status: 0 done, 1 something was refused (each refusal is printed), 2 wrong usage or
// configuration.

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "host/site.h"
#include "platform/common/error.h"
#include "platform/fs/file_system.h"
#include "platform/instaide/install_aide.h"
#include "platform/instaide/queue_admin.h"
#include "platform/maker/config.h"

namespace {

namespace stdfs = std::filesystem;
using namespace kve;

// A Windows-form path ("C:\...", "\\HOST\SHARE\...") is found through the configuration's
// drives and shares; anything else is a path of this host.
bool IsWindowsPath(const std::string& p) {
  return (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) ||
         p.rfind("\\\\", 0) == 0;
}

int List(const stdfs::path& root) {
  const std::vector<UserQueue> users = ListQueues(root);
  if (users.empty()) std::cout << "no HotSync users under " << root.string() << '\n';
  int number = 0;
  for (const UserQueue& u : users) {
    if (!u.refused.empty()) {
      std::cout << "[-] " << u.user << "  (" << u.refused << ")\n";
      continue;
    }
    std::cout << '[' << number++ << "] " << u.user;
    if (HotSyncNamePrefix(u.user).size() < u.user.size())
      std::cout << "  (longer than " << kHotSyncNameMax << " characters: read cut, no Palm matches it)";
    std::cout << '\n';
    if (!u.hasInstallFolder) std::cout << "    no Install folder (made when something is queued)\n";
    else if (u.entries.empty()) std::cout << "    nothing queued\n";
    for (const QueuedFile& f : u.entries) std::cout << "    " << f.name << "  " << f.bytes << " bytes\n";
    for (const std::string& t : u.leftovers)
      std::cout << "    " << t << "  unfinished copy (clear removes it)\n";
    for (const std::string& o : u.others)
      std::cout << "    " << o << "  not a queue entry (a folder or a link; left alone)\n";
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"The HotSync install queue of this workstation: <hotsync_root>/<user>/Install/."};
  app.require_subcommand(1);
  std::string configFile, rootOption;
  app.add_option("--config", configFile, "configuration file (TOML); its hotsync_root is the queue");
  app.add_option("--root", rootOption, "the queue's root folder (instead of the configuration's)");

  std::string user;
  std::vector<std::string> files;
  CLI::App* list = app.add_subcommand("list", "each HotSync user, numbered as the screen reads them, and what is queued");
  CLI::App* addUser = app.add_subcommand("add-user", "make a HotSync user's folder");
  addUser->add_option("user", user, "the user's name, exactly as the Palm is registered")->required();
  CLI::App* queue = app.add_subcommand("queue", "copy files into a user's queue");
  queue->add_option("user", user)->required();
  queue->add_option("files", files, "paths of this host, or C:\\... and \\\\HOST\\SHARE\\... paths")->required();
  CLI::App* remove = app.add_subcommand("remove", "take entries out of a user's queue by name");
  remove->add_option("user", user)->required();
  remove->add_option("names", files, "entry names (letter case aside) or paths ending in them")->required();
  CLI::App* clear = app.add_subcommand("clear", "empty a user's queue, unfinished copies included");
  clear->add_option("user", user)->required();
  CLI11_PARSE(app, argc, argv);

  maker::HostConfig config = maker::DefaultConfig();
  try {
    if (!configFile.empty()) config = maker::LoadConfig(configFile);
  } catch (const Error& e) {
    std::cerr << "kve-hotsync: " << e.what() << '\n';
    return 2;
  }
  if (configFile.empty() && rootOption.empty()) {
    std::cerr << "kve-hotsync: give --config FILE or --root FOLDER\n";
    return 2;
  }
  const stdfs::path root = rootOption.empty() ? stdfs::path(config.hotsync_root) : stdfs::path(rootOption);
  // A queue on a PC's share is that PC's: its own tools list and clear it. Said plainly rather
  // than as a folder that does not exist.
  if (root.string().starts_with("smb://")) {
    std::cerr << "kve-hotsync: " << root.string()
              << " is a PC's share; kve-hotsync works on a queue in a folder of this workstation\n";
    return 1;
  }

  try {
    if (*list) return List(root);
    if (*addUser) {
      AddHotSyncUser(root, user);
      std::cout << "HotSync user '" << user << "' at " << (root / user / "Install").string() << '\n';
      return 0;
    }
    if (*clear) {
      const ClearedQueue cleared = ClearQueue(root, user);
      std::cout << "removed from the queue of '" << user << "': " << cleared.removed << " files\n";
      for (const std::string& k : cleared.kept)
        std::cout << "kept " << k << ": not a queue entry (no Palm database, application or leftover)\n";
      return 0;
    }
    // Queuing and removing: the Install Aide's own calls.
    auto configured = NewPosixFileSystem(MappingOf(config));
    auto local = NewPosixFileSystem(PathMapping{{{'L', "/"}}, {}, 'L'});
    auto viaConfig = NewFolderInstallAide(root, *configured);
    auto viaHost = NewFolderInstallAide(root, *local);
    int status = 0;
    for (const std::string& f : files) {
      const bool windows = IsWindowsPath(f);
      const std::string path = windows || !*queue ? f : stdfs::absolute(f).lexically_normal().string();
      InstallAide& aide = windows ? *viaConfig : *viaHost;
      const int r = *queue ? aide.PltInstallFile(user.c_str(), path.c_str())
                           : aide.PltRemoveInstallFile(user.c_str(), path.c_str());
      std::cout << (*queue ? "queue " : "remove ") << f << ": " << PltResultText(r) << '\n';
      if (r != kPltOk) status = 1;
    }
    return status;
  } catch (const Error& e) {
    std::cerr << "kve-hotsync: " << e.what() << '\n';
    return 1;
  }
}
