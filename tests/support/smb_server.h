#pragma once
// The throw-away Samba server scripts/smb.sh starts for the tests (KVE_TEST_SMB_* in the
// environment), and what a test does with it: reach its share "Orvanta Web" as an eeePC's,
// look into the share's folder on this host, stop the server and start it again.

#include <filesystem>
#include <optional>
#include <string>

#include "platform/fs/smb_fs.h"

namespace kve::testing {

// The device name the tests give the server, mapped to its loopback address.
inline constexpr const char* kSmbTestHost = "NOTE-KITCHEN-01";

struct SmbTestServer {
  int port = 0;
  std::filesystem::path credentialsFile, shareDir, conf;

  // Nothing when the environment names no server (SkipReason says so).
  static std::optional<SmbTestServer> FromEnvironment();
  static const char* SkipReason() {
    return "no test Samba server (KVE_TEST_SMB_URL unset; ./kve test starts one as root)";
  }

  // kSmbTestHost -> 127.0.0.1 on the server's port, with its user, `timeoutSeconds` a request.
  SmbSettings Settings(int timeoutSeconds = 10) const;

  // Stops smbd (SIGTERM to the process of its pid file; its connections end with it) and
  // waits until the port refuses connections; Start runs it again on the same configuration
  // and waits until it listens. Both raise std::runtime_error on failure.
  void Stop() const;
  void Start() const;
  // Asks the running smbd to read its configuration again (SIGHUP), after a test changed it.
  void Reload() const;
};

}  // namespace kve::testing
