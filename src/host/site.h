#pragma once
// The real outside world of a workstation, built from the host's configuration: the host
// database, the application-server link, the file system with its drive and share mapping,
// the registry file, the HotSync install queue and the maker services. The host application and the batch driver both
// build one and hand its parts to the screen, adding the dialogs and busy view of their face.

#include <memory>

#include "host/expdados_services.h"
#include "platform/maker/config.h"

namespace kve {

// Where the configuration's drive letters and shares lie on this host.
PathMapping MappingOf(const maker::HostConfig& config);
// The file system of the configuration: the mapped folders, and the shares over SMB when
// `[paths] shares` is "smb://". Raises IoError or ValueError for an unusable credentials file.
std::unique_ptr<FileSystem> SiteFileSystem(const maker::HostConfig& config);

class Site {
 public:
  // Opens the database named by the configuration; raises Error naming the URL when it
  // cannot. The server is not contacted here: the screen connects at start-up.
  explicit Site(maker::HostConfig config);
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;

  const maker::HostConfig& Config() const { return maker.Config(); }

  // The screen's services over this site; valid while the site and both faces live. The
  // host reads its database directly, so there is no local cache to refresh.
  ExpDadosServices Services(Dialogs& dialogs, BusyView& busy);

  maker::Services maker;
  std::unique_ptr<Database> db;
  std::unique_ptr<ServerLink> server;
  std::unique_ptr<FileSystem> files;
  std::unique_ptr<Registry> registry;
  // A PC's share holding the HotSync root ("smb://PC/Palm") when `files` does not reach
  // shares over SMB; null otherwise.
  std::unique_ptr<FileSystem> queueShare;
  std::unique_ptr<InstallAide> installAide;  // the queue under the configured HotSync root

  // The file system the HotSync root lies on.
  FileSystem& QueueFiles() { return queueShare ? *queueShare : *files; }
};

}  // namespace kve
