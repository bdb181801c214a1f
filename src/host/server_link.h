#pragma once
// The screen's connection to the application server (netExpDados): calls by name, plus the
// connected state with a before-connect step where the screen sets the endpoint. The real
// link wraps TNetConnection; tests give canned answers.

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

// The link over TNetConnection to the remote data module "Kve07000.rdmExpDados"; `token` is
// sent as a bearer token when not empty.
std::unique_ptr<ServerLink> NewNetServerLink(std::string token = {});

}  // namespace kve
