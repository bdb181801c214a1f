#pragma once
// Server links the batch face puts between the screen and the application server. Each passes
// every call on, but for the one call it exists for, and keeps the screen's before-connect
// step working through it.

#include <map>
#include <string>
#include <vector>

#include "host/server_link.h"

namespace kve::batch {

// Asks the server for GetTabelas once per distinct set of arguments and answers a later call
// with the same arguments from the kept reply (the tables and the by-reference texts), so
// that exports to many devices with the same parameters fetch the tables once. The reply is
// kept for the link's life.
class FetchOnceLink final : public ServerLinkWrapper {
 public:
  using ServerLinkWrapper::ServerLinkWrapper;
  RemoteValue Call(const std::string& method, std::vector<RemoteArg>& args) override;

 private:
  struct Kept {
    std::vector<std::string> refs;  // the by-reference texts the server returned, in order
    RemoteValue value;
  };
  std::map<std::string, Kept> kept_;
};

// Records no history: InsHistPalm is answered as the server answers a recorded event, and
// never sent. Every other call goes to the server.
class NoHistoryLink final : public ServerLinkWrapper {
 public:
  using ServerLinkWrapper::ServerLinkWrapper;
  RemoteValue Call(const std::string& method, std::vector<RemoteArg>& args) override;
};

}  // namespace kve::batch
