#include "platform/net/net_connection.h"

#include <httplib.h>

#include <nlohmann/json.hpp>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <signal.h>

#include <array>
#include <charconv>
#include <mutex>
#include <cstdio>
#include <exception>
#include <optional>

#include "platform/common/error.h"
#include "platform/net/protocol.h"

namespace kve {
namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

std::string Seconds(std::chrono::milliseconds ms) {
  auto s = std::chrono::duration<double>(ms).count();
  std::string text = std::to_string(s);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text + " s";
}

// "2048 MB", or the bytes when the limit is no whole number of megabytes.
std::string LimitText(uint64_t bytes) {
  constexpr uint64_t kMb = uint64_t{1} << 20;
  return bytes % kMb == 0 ? std::to_string(bytes / kMb) + " MB" : std::to_string(bytes) + " bytes";
}

// The JSON-RPC message of an error body, if the body is one.
std::string RpcMessage(const std::string& body) {
  if (body.size() > (size_t{1} << 20)) return {};  // no error message is that long
  auto j = nlohmann::json::parse(body, nullptr, false);
  if (j.is_object() && j.contains("error") && j["error"].is_object() &&
      j["error"].contains("message") && j["error"]["message"].is_string())
    return j["error"]["message"].get<std::string>();
  return {};
}

// "0123ab...", with or without ':' between bytes, 32 bytes; false when it is not.
bool ParsePin(std::string_view text, std::array<unsigned char, 32>& out) {
  size_t n = 0;
  int half = -1;
  for (char c : text) {
    if (c == ':') continue;
    int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (v < 0 || n >= out.size()) return false;
    if (half < 0) {
      half = v;
    } else {
      out[n++] = static_cast<unsigned char>(half * 16 + v);
      half = -1;
    }
  }
  return n == out.size() && half < 0;
}

}  // namespace

// The certificate chain verified as OpenSSL does, then, with a pin, the server's own
// certificate compared with it. The outcome is kept so that a failure can be named.
int TNetConnection::VerifyServer(X509_STORE_CTX* store, void* arg) {
  auto* check = static_cast<TlsCheck*>(arg);
  check->verifyError = X509_V_OK;  // of this handshake, not an earlier one
  check->pinMismatch = false;
  int ok = X509_verify_cert(store);
  if (ok != 1) {
    check->verifyError = X509_STORE_CTX_get_error(store);
    return ok;
  }
  if (!check->pinned) return ok;
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  X509* leaf = X509_STORE_CTX_get0_cert(store);
  if (leaf == nullptr || X509_digest(leaf, EVP_sha256(), md, &n) != 1 || n != check->pin.size() ||
      CRYPTO_memcmp(md, check->pin.data(), n) != 0) {
    check->pinMismatch = true;
    X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
    return 0;
  }
  return 1;
}

std::string TNetConnection::NewIdempotencyKey() {
  unsigned char raw[16];
  if (RAND_bytes(raw, sizeof raw) != 1) throw Error("no source of random bytes for a call's key");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string key;
  for (unsigned char b : raw) {
    key += kHex[b >> 4];
    key += kHex[b & 15];
  }
  return key;
}

void IgnoreBrokenPipes() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction now {};
    if (sigaction(SIGPIPE, nullptr, &now) == 0 && now.sa_handler == SIG_DFL) signal(SIGPIPE, SIG_IGN);
  });
}

struct TNetConnection::Client {
  Client(const std::string& host, int port) : http(host, port) {}
  explicit Client(const std::string& schemeHostPort) : http(schemeHostPort) {}
  httplib::Client http;
  TlsCheck check;  // the verification's outcome, read when a handshake fails
};

TNetConnection::TNetConnection() : serverName_(rpc::kServerName), maxAnswer_(rpc::kDefaultMaxAnswerBytes) {}
TNetConnection::~TNetConnection() = default;

std::string TNetConnection::Endpoint() const { return host_ + ":" + std::to_string(port_); }

void TNetConnection::Fail(const std::string& what, const std::string& detail, ErrorKind kind) const {
  std::string text = "application server " + Endpoint() + ": ";
  if (!what.empty()) text += what + ": ";
  throw Error(text + detail, kind);
}

void TNetConnection::SetConnected(bool on) {
  if (!on) {
    client_.reset();
    connected_ = false;
    return;
  }
  if (connected_) return;
  if (OnBeforeConnect) OnBeforeConnect(*this);
  if (host_.empty()) Fail("connect", "no server address configured");
  if (port_ <= 0 || port_ > 65535) Fail("connect", "port " + std::to_string(port_) + " is not valid");

  std::unique_ptr<Client> c;
  if (tls_.on) {
    IgnoreBrokenPipes();
    // Never plain HTTP when TLS is asked for: a server that does not speak it fails the
    // connect, naming why.
    const std::string host = host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_;
    c = std::make_unique<Client>("https://" + host + ":" + std::to_string(port_));
    if (!c->http.is_valid()) Fail("connect", "TLS is not available in this build");
    if (!tls_.caFile.empty()) {
      if (FILE* f = std::fopen(tls_.caFile.c_str(), "rb")) {
        std::fclose(f);
      } else {
        Fail("connect", "ca_file " + tls_.caFile + " cannot be read");
      }
      c->http.set_ca_cert_path(tls_.caFile.c_str());
    }
    if (!tls_.pinSha256.empty()) {
      if (!ParsePin(tls_.pinSha256, c->check.pin))
        Fail("connect", "pin_sha256 is not 64 hexadecimal digits");
      c->check.pinned = true;
    }
    c->http.enable_server_certificate_verification(true);
    SSL_CTX* ctx = c->http.ssl_context();
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_cert_verify_callback(ctx, &TNetConnection::VerifyServer, &c->check);
  } else {
    c = std::make_unique<Client>(host_, port_);
  }
  c->http.set_keep_alive(true);
  // A call goes out as a header write and a body write: with Nagle's algorithm the body waits
  // for the server's delayed acknowledgement of the header, some 40 ms per call.
  c->http.set_tcp_nodelay(true);
  c->http.set_connection_timeout(connectTimeout_);
  c->http.set_read_timeout(timeout_);
  c->http.set_write_timeout(timeout_);
  if (!token_.empty()) c->http.set_bearer_token_auth(token_);

  // The server describes itself at its path: this proves it is there and takes our token.
  // A description is a few dozen bytes; whatever else comes is not read whole.
  constexpr size_t kMaxDescription = size_t{64} << 10;
  std::string description;
  auto res = c->http.Get(("/" + serverName_).c_str(), [&](const char* data, size_t n) {
    if (description.size() + n > kMaxDescription) return false;
    description.append(data, n);
    return true;
  });
  if (!res && res.error() == httplib::Error::Canceled)
    Fail("connect", "malformed answer: a description over " + std::to_string(kMaxDescription) + " bytes");
  if (!res) {
    if (res.error() == httplib::Error::SSLConnection || res.error() == httplib::Error::SSLServerVerification ||
        res.error() == httplib::Error::SSLLoadingCerts) {
      client_ = std::move(c);  // FailTls reads its verification's outcome
      try {
        FailTls("connect", res.error());
      } catch (...) {
        client_.reset();
        throw;
      }
    }
    if (res.error() == httplib::Error::ConnectionTimeout)
      Fail("connect", "unreachable (no answer within " + Seconds(connectTimeout_) + ")",
           ErrorKind::kUnavailable);
    Fail("connect", "unreachable (" + httplib::to_string(res.error()) + ")",
           ErrorKind::kUnavailable);
  }
  if (res->status == 401)
    Fail("connect", token_.empty() ? "a token is required (401)" : "token refused (401)",
         ErrorKind::kPermissionDenied);
  if (res->status == 404) Fail("connect", "does not serve " + serverName_ + " (404)", ErrorKind::kNotFound);
  if (res->status == 429)
    Fail("connect", "too many refused tokens from this workstation's address; wait a minute (429)",
         ErrorKind::kPermissionDenied);
  if (res->status != 200) {
    // A TLS port answers a plain request with a line saying so.
    std::string why = description.substr(0, std::min<size_t>(description.find('\n'), 200));
    Fail("connect", "HTTP status " + std::to_string(res->status) + (why.empty() ? "" : ": " + why));
  }
  auto info = nlohmann::json::parse(description, nullptr, false);
  if (!info.is_object() || info.value("server", std::string()) != serverName_)
    Fail("connect", "malformed answer: not a description of " + serverName_);
  client_ = std::move(c);
  connected_ = true;
}

RemoteValue TNetConnection::Call(const std::string& method, std::vector<RemoteArg>& args) {
  if (!connected_) Fail(method, "not connected");
  int64_t id = nextId_++;
  std::string body;
  try {
    body = rpc::EncodeCall(id, method, args);
  } catch (const Error& e) {
    Fail(method, e.what());
  }
  CallStats stats;
  stats.requestBytes = body.size();
  // One key for the call and its retry: a server that served the first try answers the
  // retry as it did then, and writes nothing twice (InsHistPalm).
  const std::string key = NewIdempotencyKey();
  // Images come as frames, without base64; a server that does not know them answers JSON.
  // Frames are read as they arrive, each image straight into the answer, so the body is never
  // held whole beside them; any other body (JSON, an error) is kept and read at its end.
  std::optional<rpc::FramedReplyReader> frames;
  std::string whole;
  std::exception_ptr malformed;  // what the frame reader raised, which ended the transfer
  size_t received = 0;
  double readingMs = 0;  // decoding frames while they came
  // An answer over the limit is refused by its Content-Length before its body is read, or,
  // chunked, once its bytes pass the limit: returning false ends the transfer.
  uint64_t tooLarge = 0;  // the Content-Length refused, or the bytes received past the limit
  bool answered = false;  // the answer's head arrived
  httplib::Result res(nullptr, httplib::Error::Unknown);
  Clock::time_point t0;
  for (int attempt = 0;; ++attempt) {
    frames.reset();
    whole.clear();
    received = 0;
    readingMs = 0;
    answered = false;
    httplib::Request req;
    req.method = "POST";
    req.path = "/" + serverName_;
    req.headers = {{"Accept", std::string(rpc::kFramesType) + ", application/json"},
                   {"Content-Type", "application/json"},
                   {"Idempotency-Key", key}};
    req.body = body;
    req.response_handler = [&](const httplib::Response& r) {
      answered = true;
      uint64_t most = maxAnswer_;
      if (r.has_header("Content-Length")) {
        const std::string text = r.get_header_value("Content-Length");
        uint64_t length = 0;
        const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), length);
        if (ec == std::errc() && p == text.data() + text.size()) {
          if (length > maxAnswer_) {
            tooLarge = length;
            return false;
          }
          most = length;
        }
      }
      if (r.status == 200 && r.get_header_value("Content-Type").starts_with(rpc::kFramesType))
        frames.emplace(id, most);
      return true;
    };
    req.content_receiver = [&](const char* data, size_t n, uint64_t, uint64_t) {
      received += n;
      if (received > maxAnswer_) {
        tooLarge = received;
        return false;
      }
      if (!frames) {
        whole.append(data, n);
        return true;
      }
      const auto t = Clock::now();
      try {
        frames->Feed(std::string_view(data, n));
      } catch (const Error&) {
        malformed = std::current_exception();
        return false;
      }
      readingMs += MsSince(t);
      return true;
    };
    t0 = Clock::now();
    res = client_->http.send(req);
    stats.roundTripMs = MsSince(t0);
    // The connection dropped before any answer (a server restarted, a proxy switched to
    // another server, a kept-alive connection closed as the call went out): one more try on
    // a fresh connection. Every call may be repeated: the reads change nothing, and
    // InsHistPalm's key makes its repeat answer without writing.
    const bool dropped = !res && !answered && (res.error() == httplib::Error::Connection ||
                                               res.error() == httplib::Error::Write ||
                                               (res.error() == httplib::Error::Read &&
                                                stats.roundTripMs < static_cast<double>(timeout_.count())));
    // A proxy in front of several servers that answers for a server gone under the call
    // (502, 503, 504) is no answer of the server's either.
    const bool gatewayFailed = res && (res->status == 502 || res->status == 503 || res->status == 504);
    if (attempt == 0 && (dropped || gatewayFailed)) {
      client_->http.stop();
      continue;
    }
    break;
  }
  if (tooLarge > 0) {
    // the connection holds the rest of the answer: the next call needs a fresh one
    client_->http.stop();
    if (received > maxAnswer_)
      Fail(method, "answer over the limit of " + LimitText(maxAnswer_) + " ([server] max_answer_mb)");
    Fail(method, "answer of " + std::to_string(tooLarge) + " bytes is over the limit of " +
                     LimitText(maxAnswer_) + " ([server] max_answer_mb)");
  }
  if (malformed) {
    try {
      std::rethrow_exception(malformed);
    } catch (const Error&) {
      RethrowWithContext("application server " + Endpoint() + ": " + method);
    }
  }
  if (!res) {
    switch (res.error()) {
      case httplib::Error::Connection:
      case httplib::Error::ConnectionTimeout:
        Fail(method, "unreachable (" + httplib::to_string(res.error()) + ")",
           ErrorKind::kUnavailable);
      case httplib::Error::Read:
        if (stats.roundTripMs >= static_cast<double>(timeout_.count()))
          Fail(method, "timed out after " + Seconds(timeout_), ErrorKind::kUnavailable);
        Fail(method, "connection lost while waiting for the answer", ErrorKind::kUnavailable);
      case httplib::Error::Write:
        if (body.size() > rpc::kMaxRequestBytes)
          Fail(method, "request too large (" + std::to_string(body.size()) + " bytes)");
        Fail(method, "connection lost while sending the request", ErrorKind::kUnavailable);
      case httplib::Error::SSLConnection:
      case httplib::Error::SSLServerVerification:
      case httplib::Error::SSLLoadingCerts:
        FailTls(method, res.error());
      default:
        Fail(method, "transport failure (" + httplib::to_string(res.error()) + ")");
    }
  }
  stats.replyBytes = received;
  switch (res->status) {
    case 200: break;
    case 401: Fail(method, token_.empty() ? "a token is required (401)" : "token refused (401)",
         ErrorKind::kPermissionDenied);
    case 413:
      Fail(method, "request too large (" + std::to_string(body.size()) + " bytes, 413)");
    case 429:
      Fail(method, "too many refused tokens from this workstation's address; wait a minute (429)",
           ErrorKind::kPermissionDenied);
    default: {
      std::string msg = RpcMessage(whole);
      Fail(method, "HTTP status " + std::to_string(res->status) + (msg.empty() ? "" : ": " + msg));
    }
  }
  auto t1 = Clock::now();
  RemoteValue answer;
  try {
    if (frames)
      answer = frames->Finish(args);
    else
      answer = rpc::DecodeReply(whole, id, args);
  } catch (const Error&) {
    // the server's error keeps its code, a malformed reply stays a FormatError
    RethrowWithContext("application server " + Endpoint() + ": " + method);
  }
  stats.decodeMs = MsSince(t1) + readingMs;
  last_ = stats;
  return answer;
}

void TNetConnection::FailTls(const std::string& what, httplib::Error error) const {
  const TlsCheck& check = client_->check;
  if (error == httplib::Error::SSLLoadingCerts)
    Fail(what, tls_.caFile.empty() ? std::string("the system's certificate authorities could not be loaded")
                                   : "ca_file " + tls_.caFile + " could not be loaded");
  if (check.pinMismatch)
    Fail(what, "certificate not trusted: it is not the one pin_sha256 names", ErrorKind::kNotTrusted);
  if (check.verifyError != X509_V_OK)
    Fail(what, std::string("certificate not trusted: ") + X509_verify_cert_error_string(check.verifyError),
         ErrorKind::kNotTrusted);
  if (error == httplib::Error::SSLServerVerification)
    Fail(what, "certificate not trusted: it was not issued for " + host_, ErrorKind::kNotTrusted);
  Fail(what, "TLS handshake failed (does the server serve TLS 1.2 or later on this port?)");
}

}  // namespace kve
