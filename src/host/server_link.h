#pragma once
// The screen's connection to the application server (netExpDados): calls by name, plus the
// connected state with a before-connect step where the screen sets the endpoint. The real
// link wraps TNetConnection; tests give canned answers.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/net/connection.h"

namespace kve {

class ServerLink : public RemoteCaller {
 public:
  virtual void SetHost(std::string host) = 0;
  virtual void SetPort(int port) = 0;
  virtual bool Connected() const = 0;
  // true: runs OnBeforeConnect, then connects; raises Error naming the server when it cannot.
  // false: drops the connection; never fails.
  virtual void SetConnected(bool on) = 0;

  std::function<void()> OnBeforeConnect;
};

// A link that passes every call to `inner`, which must outlive it, and the inner link's
// before-connect step to its own: a double or a decorator derives from it and overrides only
// what it changes.
class ServerLinkWrapper : public ServerLink {
 public:
  explicit ServerLinkWrapper(ServerLink& inner);
  ~ServerLinkWrapper() override;
  void SetHost(std::string host) override { inner_.SetHost(std::move(host)); }
  void SetPort(int port) override { inner_.SetPort(port); }
  bool Connected() const override { return inner_.Connected(); }
  void SetConnected(bool on) override { inner_.SetConnected(on); }
  RemoteValue Call(const std::string& method, std::vector<RemoteArg>& args) override {
    return inner_.Call(method, args);
  }

 protected:
  ServerLink& inner_;
};

// How the link reaches the server ([server] of the configuration).
struct NetLinkSettings {
  std::string token;                            // sent as a bearer token when not empty
  uint64_t maxAnswerBytes = uint64_t{2048} << 20;  // a larger answer fails its call
  bool tls = false;                             // HTTPS only, never plain HTTP
  std::string caFile;                           // authorities to verify the server; the system's when empty
  std::string pinSha256;                        // the server's certificate itself, when set
};

// The link over TNetConnection to the remote data module "Kve07000.rdmExpDados".
std::unique_ptr<ServerLink> NewNetServerLink(NetLinkSettings settings);
std::unique_ptr<ServerLink> NewNetServerLink(std::string token = {},
                                             uint64_t maxAnswerBytes = uint64_t{2048} << 20);

}  // namespace kve
