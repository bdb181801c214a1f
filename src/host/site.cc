#include "host/site.h"

#include "platform/fs/smb_fs.h"

namespace kve {

namespace {

NetLinkSettings LinkSettingsOf(const maker::HostConfig& config) {
  NetLinkSettings s;
  s.token = config.server_token;
  s.maxAnswerBytes = static_cast<uint64_t>(config.server_max_answer_mb) << 20;
  s.tls = config.server_tls;
  s.caFile = config.server_ca_file;
  s.pinSha256 = config.server_pin_sha256;
  return s;
}

}  // namespace

PathMapping MappingOf(const maker::HostConfig& config) {
  PathMapping m;
  for (const auto& [letter, folder] : config.drives) m.drives.emplace_back(letter, folder);
  if (!config.shares_over_smb) m.shares = config.shares_dir;
  return m;
}

namespace {

SmbSettings SmbSettingsOf(const maker::HostConfig& config) {
  SmbSettings smb;
  if (!config.smb_credentials_file.empty()) smb.credentials = ReadSmbCredentials(config.smb_credentials_file);
  smb.port = config.smb_port;
  smb.timeoutSeconds = config.smb_timeout_s;
  smb.hosts = config.smb_hosts;
  return smb;
}

// The file system of a PC's share holding the HotSync root, when the site's own does not
// reach shares over SMB already; null otherwise.
std::unique_ptr<FileSystem> QueueShareFileSystem(const maker::HostConfig& config) {
  if (config.shares_over_smb || !ShareQueueRootOf(config.hotsync_root)) return nullptr;
  return NewSmbShareFileSystem(NewPosixFileSystem({}), SmbSettingsOf(config));
}

// The queue under hotsync_root: a host folder, or a PC's share over SMB through `queue`.
std::unique_ptr<InstallAide> SiteInstallAide(const maker::HostConfig& config, FileSystem& queue, FileSystem& files) {
  const std::optional<std::string> share = ShareQueueRootOf(config.hotsync_root);
  if (!share) return NewFolderInstallAide(config.hotsync_root, files);
  return NewShareInstallAide(*share, queue, files);
}

}  // namespace

std::unique_ptr<FileSystem> SiteFileSystem(const maker::HostConfig& config) {
  auto local = NewPosixFileSystem(MappingOf(config));
  if (!config.shares_over_smb) return local;
  return NewSmbShareFileSystem(std::move(local), SmbSettingsOf(config));
}

Site::Site(maker::HostConfig config)
    : maker(std::move(config)),
      db(Database::Open(maker.Config().database_url)),
      server(NewNetServerLink(LinkSettingsOf(maker.Config()))),
      files(SiteFileSystem(maker.Config())),
      registry(NewRegFileRegistry(maker.Config().registry_file)),
      queueShare(QueueShareFileSystem(maker.Config())),
      installAide(SiteInstallAide(maker.Config(), QueueFiles(), *files)) {}

ExpDadosServices Site::Services(Dialogs& dialogs, BusyView& busy) {
  return ExpDadosServices{*db, *server, dialogs, *files, *registry, busy, *installAide, {}};
}

}  // namespace kve
