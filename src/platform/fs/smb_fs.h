#pragma once
// The eeePCs' shares reached over SMB 2/3 (libsmbclient), as a Windows workstation reaches
// them, instead of through folders an administrator mounted on this host: "\\HOST\SHARE\x" is
// smb://ADDRESS/SHARE/x, ADDRESS being the host's entry in `hosts` or else its name as the
// system resolves it. Every other path (the drives) goes to the local file system below.
//
// What differs from the local file system, beside the contract of FileSystem:
// - A share exists when the server lists it: DirectoryExists("\\HOST\SHARE") asks the server
//   for its shares. A host that does not answer gives false within the timeout; a host that
//   refuses the credentials raises IoError of kind kPermissionDenied naming the share and user.
// - A file replaced by WriteFile, CopyFile or RenameFile is never seen half written: the
//   bytes go to a temporary ".NAME.tmp-PID-N" beside it, which then takes the name. But
//   libsmbclient cannot ask the server to replace an existing name in one step (the protocol
//   can; the library does not offer it), so a rename over an existing file is two requests:
//   delete the old file, then rename. Between the two a reader finds no file under that name,
//   and a connection lost between them leaves the name empty, with the new content under its
//   temporary name. The old content is never mixed with the new. A staged copy
//   (IsStagedCopyName) is written under its own name, no temporary: no one reads it there.
// - RenameFile asks nothing beforehand: a missing source fails the rename itself, before the
//   target is touched.
// - Durability is the server's: the data is on the server when the file is closed, and
//   libsmbclient offers no flush; folder batches concern only the local drives.
// - Temporaries whose removal failed (the server went away) are removed by a later write to
//   that server; RemoveLeftoversOfEndedRuns removes those of runs that were killed.
// - HostPath answers nothing for a share path: no host file stands for it.

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/fs/file_system.h"

namespace kve {

struct SmbCredentials {
  std::string username, password, domain;
};

// Reads a credentials file in the format mount.cifs reads: "username=", "password=" and
// "domain=" lines ("user", "pass", "dom" and "workgroup" accepted as well), blank lines and
// lines starting with '#' ignored. IoError naming the file when it cannot be read or can be
// read by its group or by others (a password there is no secret); ValueError naming the file
// and line for a line it does not understand, or when there is no user name.
SmbCredentials ReadSmbCredentials(const std::filesystem::path& file);

struct SmbSettings {
  SmbCredentials credentials;  // empty user name: an anonymous session
  int port = 445;
  int timeoutSeconds = 10;  // for each request, connecting included
  // Host name (compared without regard to case) -> address, for sites without name resolution.
  std::map<std::string, std::string> hosts;
};

// Share paths over SMB with `settings`, every other path on `local`.
std::unique_ptr<FileSystem> NewSmbShareFileSystem(std::unique_ptr<FileSystem> local, SmbSettings settings);

}  // namespace kve
