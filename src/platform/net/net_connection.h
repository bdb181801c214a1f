#pragma once
// The real link to the application server: calls travel as JSON-RPC 2.0 over HTTP (see
// protocol.h). One connection serves one thread; calls block until the answer or the timeout.

#include <openssl/x509.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/error.h"
#include "platform/net/connection.h"

namespace httplib {
enum class Error;
}

namespace kve {

// TLS writes through OpenSSL's socket calls, which raise SIGPIPE on a peer that has gone,
// and SIGPIPE ends a process by default: a server going away under a workstation's export
// must be an error, not the end of the program. Ignores SIGPIPE unless the program already
// chose what it does with it. Called before any TLS connection is made.
void IgnoreBrokenPipes();

class TNetConnection final : public RemoteCaller {
 public:
  TNetConnection();
  ~TNetConnection() override;
  TNetConnection(const TNetConnection&) = delete;
  TNetConnection& operator=(const TNetConnection&) = delete;

  // The remote data module; the request path is "/" + this name.
  const std::string& ServerName() const { return serverName_; }
  void SetServerName(std::string name) { serverName_ = std::move(name); }
  const std::string& Host() const { return host_; }
  void SetHost(std::string host) { host_ = std::move(host); }
  int Port() const { return port_; }
  void SetPort(int port) { port_ = port; }
  // Sent as a bearer token when not empty.
  void SetToken(std::string token) { token_ = std::move(token); }
  // How long a call may wait for its answer, and a connect for the server to accept.
  void SetTimeout(std::chrono::milliseconds t) { timeout_ = t; }
  void SetConnectTimeout(std::chrono::milliseconds t) { connectTimeout_ = t; }
  // The most bytes an answer may hold ([server] max_answer_mb): a larger Content-Length fails
  // the call before the body is read, a chunked body as soon as it passes the limit.
  void SetMaxAnswerBytes(uint64_t n) { maxAnswer_ = n; }

  // TLS: never plain HTTP then. The server's certificate must verify against `caFile` (the
  // system's authorities when empty) and be issued for Host(); with `pinSha256` (hex, ':'
  // between bytes allowed) it must also be that very certificate. One that does not is an
  // Error of kind kNotTrusted.
  struct TlsSettings {
    bool on = false;
    std::string caFile;
    std::string pinSha256;
  };
  void SetTls(TlsSettings tls) { tls_ = std::move(tls); }

  // Runs just before each connect; the screen sets host and port there.
  std::function<void(TNetConnection&)> OnBeforeConnect;

  bool Connected() const { return connected_; }
  // true: runs OnBeforeConnect, then asks the server whether it serves ServerName(); raises
  // Error naming the server when it is unreachable, refuses the token or serves something
  // else. false: drops the connection (never fails).
  void SetConnected(bool on);

  // "host:port", as the error texts name the server.
  std::string Endpoint() const;

  // Raises Error naming the server and the method: not connected, unreachable, timeout,
  // refused token (401), request too large (413), answer over the limit, other HTTP status,
  // malformed answer, or the JSON-RPC error's message.
  //
  // Every call carries a random Idempotency-Key. A connection that drops before any answer
  // (not a timeout), or that a proxy answers 502, 503 or 504 for, is tried once more on a
  // fresh connection with the same key: a server that stores the key with what the call
  // wrote answers the repeat without writing again.
  RemoteValue Call(const std::string& method, std::vector<RemoteArg>& args) override;

  // What the last completed call cost, for diagnostics and the benchmark.
  struct CallStats {
    size_t requestBytes = 0;
    size_t replyBytes = 0;
    double roundTripMs = 0;  // send to last byte received
    double decodeMs = 0;     // JSON and base64 decoding of the reply
  };
  const CallStats& LastCall() const { return last_; }

 private:
  struct Client;
  struct TlsCheck {
    bool pinned = false;
    std::array<unsigned char, 32> pin{};
    bool pinMismatch = false;
    long verifyError = 0;  // X509_V_OK
  };
  static int VerifyServer(X509_STORE_CTX* store, void* arg);
  static std::string NewIdempotencyKey();
  [[noreturn]] void FailTls(const std::string& what, httplib::Error error) const;
  [[noreturn]] void Fail(const std::string& what, const std::string& detail,
                         ErrorKind kind = ErrorKind::kOther) const;

  std::string serverName_;
  std::string host_;
  int port_ = 0;
  std::string token_;
  TlsSettings tls_;
  std::chrono::milliseconds timeout_{std::chrono::minutes(2)};
  std::chrono::milliseconds connectTimeout_{std::chrono::seconds(5)};
  uint64_t maxAnswer_;
  bool connected_ = false;
  int64_t nextId_ = 1;
  std::unique_ptr<Client> client_;
  CallStats last_;
};

}  // namespace kve
