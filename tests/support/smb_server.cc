#include "support/smb_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace kve::testing {
namespace {

bool Listening(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

bool WaitFor(int port, bool listening) {
  for (int i = 0; i < 200; ++i) {
    if (Listening(port) == listening) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

std::optional<SmbTestServer> SmbTestServer::FromEnvironment() {
  const char* url = std::getenv("KVE_TEST_SMB_URL");
  const char* port = std::getenv("KVE_TEST_SMB_PORT");
  const char* cred = std::getenv("KVE_TEST_SMB_CREDENTIALS");
  const char* share = std::getenv("KVE_TEST_SMB_SHARE_DIR");
  const char* conf = std::getenv("KVE_TEST_SMB_CONF");
  if (!url || !*url || !port || !cred || !share || !conf) return std::nullopt;
  SmbTestServer s;
  s.port = std::atoi(port);
  s.credentialsFile = cred;
  s.shareDir = share;
  s.conf = conf;
  return s;
}

SmbSettings SmbTestServer::Settings(int timeoutSeconds) const {
  SmbSettings s;
  s.credentials = ReadSmbCredentials(credentialsFile);
  s.port = port;
  s.timeoutSeconds = timeoutSeconds;
  s.hosts[kSmbTestHost] = "127.0.0.1";
  return s;
}

namespace {
pid_t SmbdPid(const std::filesystem::path& conf) {
  std::ifstream in(conf.parent_path() / "pid" / "smbd.pid");
  long pid = 0;
  if (!(in >> pid) || pid <= 0) throw std::runtime_error("no pid file of the test smbd");
  return static_cast<pid_t>(pid);
}
}  // namespace

void SmbTestServer::Reload() const { ::kill(SmbdPid(conf), SIGHUP); }

void SmbTestServer::Stop() const {
  ::kill(SmbdPid(conf), SIGTERM);
  if (!WaitFor(port, false)) throw std::runtime_error("the test smbd did not stop");
}

void SmbTestServer::Start() const {
  // In a session of its own: smbd signals its whole process group when it stops.
  const std::string cmd = "setsid smbd --foreground --no-process-group --debug-stdout -s " + Quoted(conf.string()) +
                          " >>" + Quoted((conf.parent_path() / "log" / "smbd.out").string()) + " 2>&1 </dev/null &";
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot start the test smbd");
  if (!WaitFor(port, true)) throw std::runtime_error("the test smbd did not listen again");
}

}  // namespace kve::testing
