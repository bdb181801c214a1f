#pragma once
// Server links the batch face puts between the screen and the application server. Each passes
// every call on, but for the one call it exists for, and keeps the screen's before-connect
// step working through it.

#include <map>
#include <string>
#include <vector>

#include "host/server_link.h"

namespace kve::batch {

// Passes everything on to `inner`, which must outlive it.
class ForwardingLink : public ServerLink {
 public:
  explicit ForwardingLink(ServerLink& inner);
  ~ForwardingLink() override;
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

// Asks the server for GetTabelas once per distinct set of arguments and answers a later call
// with the same arguments from the kept reply (the tables and the by-reference texts), so
// that exports to many devices with the same parameters fetch the tables once. The reply is
// kept for the link's life.
class FetchOnceLink final : public ForwardingLink {
 public:
  using ForwardingLink::ForwardingLink;
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
class NoHistoryLink final : public ForwardingLink {
 public:
  using ForwardingLink::ForwardingLink;
  RemoteValue Call(const std::string& method, std::vector<RemoteArg>& args) override;
};

}  // namespace kve::batch
