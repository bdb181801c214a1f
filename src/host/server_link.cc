#include "host/server_link.h"

#include "platform/net/net_connection.h"
#include "platform/net/protocol.h"

namespace kve {
namespace {

class NetServerLink final : public ServerLink {
 public:
  explicit NetServerLink(NetLinkSettings s) {
    conn_.SetServerName(std::string(rpc::kServerName));
    conn_.SetToken(std::move(s.token));
    conn_.SetMaxAnswerBytes(s.maxAnswerBytes);
    conn_.SetTls({s.tls, std::move(s.caFile), std::move(s.pinSha256)});
    conn_.OnBeforeConnect = [this](TNetConnection&) {
      if (OnBeforeConnect) OnBeforeConnect();
    };
  }
  void SetHost(std::string host) override { conn_.SetHost(std::move(host)); }
  void SetPort(int port) override { conn_.SetPort(port); }
  bool Connected() const override { return conn_.Connected(); }
  void SetConnected(bool on) override { conn_.SetConnected(on); }
  RemoteValue Call(const std::string& method, std::vector<RemoteArg>& args) override {
    return conn_.Call(method, args);
  }

 private:
  TNetConnection conn_;
};

}  // namespace

std::unique_ptr<ServerLink> NewNetServerLink(NetLinkSettings settings) {
  return std::make_unique<NetServerLink>(std::move(settings));
}

std::unique_ptr<ServerLink> NewNetServerLink(std::string token, uint64_t maxAnswerBytes) {
  NetLinkSettings s;
  s.token = std::move(token);
  s.maxAnswerBytes = maxAnswerBytes;
  return NewNetServerLink(std::move(s));
}

ServerLinkWrapper::ServerLinkWrapper(ServerLink& inner) : inner_(inner) {
  inner_.OnBeforeConnect = [this] {
    if (OnBeforeConnect) OnBeforeConnect();
  };
}

ServerLinkWrapper::~ServerLinkWrapper() { inner_.OnBeforeConnect = nullptr; }

}  // namespace kve
