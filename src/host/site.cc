#include "host/site.h"

namespace kve {

PathMapping MappingOf(const maker::HostConfig& config) {
  PathMapping m;
  for (const auto& [letter, folder] : config.drives) m.drives.emplace_back(letter, folder);
  m.shares = config.shares_dir;
  return m;
}

Site::Site(maker::HostConfig config)
    : maker(std::move(config)),
      db(Database::Open(maker.Config().database_url)),
      server(NewNetServerLink(maker.Config().server_token)),
      files(NewPosixFileSystem(MappingOf(maker.Config()))),
      registry(NewRegFileRegistry(maker.Config().registry_file)),
      installAide(NewFolderInstallAide(maker.Config().hotsync_root, *files)) {}

ExpDadosServices Site::Services(Dialogs& dialogs, BusyView& busy) {
  return ExpDadosServices{*db, *server, dialogs, *files, *registry, busy, *installAide, {}};
}

}  // namespace kve
