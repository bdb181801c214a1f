// The server on a shared network: TLS only on its listener, a token per workstation, failed
// tokens throttled per address, and InsHistPalm calls that a retry never doubles.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <httplib.h>

#include "demo/demo_data.h"
#include "platform/common/error.h"
#include "platform/net/net_connection.h"
#include "server/access.h"
#include "server/app_server.h"
#include "server/server_fixture.h"
#include "server/tls_fixture.h"
#include "support/temp_folder.h"

namespace kve::server {
namespace {

using ::testing::HasSubstr;
using testing_tls::CertFiles;
using testing_tls::TestCertificates;

// A listening loopback socket on a free port.
int Listen(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(fd, 16);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

int Connect(int port, const char* from = "127.0.0.1") {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in src{};
  src.sin_family = AF_INET;
  inet_pton(AF_INET, from, &src.sin_addr);
  bind(fd, reinterpret_cast<sockaddr*>(&src), sizeof src);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// One plain request from the address `from`; the whole answer.
std::string Exchange(int port, const std::string& request, const char* from = "127.0.0.1") {
  int fd = Connect(port, from);
  if (fd < 0) return {};
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string out;
  char buf[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) break;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return out;
}

std::string Describe(const std::string& token) {
  return "GET /Kve07000.rdmExpDados HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + token +
         "\r\nConnection: close\r\n\r\n";
}

std::vector<RemoteArg> HistoryArgs(const char* message) {
  return {RemoteArg::Value("0001"), RemoteArg::Value("P01"), RemoteArg::Value(message),
          RemoteArg::Value("0"), RemoteArg::Value("0")};
}

int64_t HistoryRows(const testing_server::ServerDb& data) {
  TClientDataSet n;
  data.Open()->Run("SELECT COUNT(*) AS N FROM HISTPALM WHERE CDPALM = 'P01'", {}, &n);
  n.First();
  return n.FieldByName("N").AsLargeInt();
}

// Serves one TLS handshake with the given certificate, whatever it is: what a server whose
// certificate expired while it ran, or a stranger, shows a client.
class OneHandshakeServer {
 public:
  explicit OneHandshakeServer(const CertFiles& f) : ctx_(SSL_CTX_new(TLS_server_method())) {
    SSL_CTX_use_certificate_file(ctx_, f.cert.c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_use_PrivateKey_file(ctx_, f.key.c_str(), SSL_FILETYPE_PEM);
    fd_ = Listen(port_);
    thread_ = std::thread([this] {
      int c = accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      SSL* ssl = SSL_new(ctx_);
      SSL_set_fd(ssl, c);
      SSL_accept(ssl);
      SSL_free(ssl);
      close(c);
    });
  }
  ~OneHandshakeServer() {
    shutdown(fd_, SHUT_RDWR);
    thread_.join();
    close(fd_);
    SSL_CTX_free(ctx_);
  }
  int Port() const { return port_; }

 private:
  SSL_CTX* ctx_;
  int fd_, port_ = 0;
  std::thread thread_;
};

class TlsServerTest : public ::testing::Test {
 protected:
  void Start(const CertFiles& f) {
    AppServerOptions o;
    o.dbUrl = data_.Url();
    o.tlsCert = f.cert;
    o.tlsKey = f.key;
    server_ = std::make_unique<AppServer>(o);
    server_->Start();
  }
  // A link to the server over TLS, verifying against the test authority.
  void Link(TNetConnection& link, int port, std::string pin = {}, bool tls = true) {
    link.SetHost("127.0.0.1");
    link.SetPort(port);
    link.SetTls({tls, certs_.CaFile(), std::move(pin)});
  }

  testing::TempFolder dir_;
  TestCertificates certs_{dir_.path()};
  testing_server::ServerDb data_{"sqlite"};
  std::unique_ptr<AppServer> server_;
};

TEST_F(TlsServerTest, CallsGoOverTlsAndPlainHttpIsNeverServed) {
  Start(certs_.Server("server"));
  TNetConnection link;
  Link(link, server_->Port());
  link.SetConnected(true);
  auto args = HistoryArgs("over TLS");
  EXPECT_NO_THROW(link.Call("InsHistPalm", args));
  EXPECT_EQ(HistoryRows(data_), 1);

  // Plain HTTP to the TLS port: a plain answer saying why, and nothing served.
  std::string answer = Exchange(server_->Port(), Describe(""));
  EXPECT_THAT(answer, ::testing::StartsWith("HTTP/1.1 400"));
  EXPECT_THAT(answer, HasSubstr("HTTPS only"));
  TNetConnection plain;
  Link(plain, server_->Port(), {}, /*tls=*/false);
  try {
    plain.SetConnected(true);
    ADD_FAILURE() << "a plain link connected to the TLS port";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("HTTPS only"));
  }

  // And a TLS link never falls back to plain HTTP against a plain server.
  AppServerOptions o;
  o.dbUrl = data_.Url();
  AppServer plainServer(o);
  plainServer.Start();
  TNetConnection tls;
  Link(tls, plainServer.Port());
  try {
    tls.SetConnected(true);
    ADD_FAILURE() << "a TLS link connected to a plain server";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("TLS handshake failed"));
  }
}

TEST_F(TlsServerTest, AnExportOverTlsCarriesTheSameTablesAsOverPlainHttp) {
  demo::DemoOptions demo;
  demo.today = TDateTime::FromDate({2026, 12, 7});
  demo::FillDemoDatabase(*data_.Open(), demo);
  Start(certs_.Server("server"));
  AppServerOptions o;
  o.dbUrl = data_.Url();
  AppServer plainServer(o);
  plainServer.Start();
  auto tables = [&](int port, bool tls) {
    TNetConnection link;
    Link(link, port, {}, tls);
    link.SetConnected(true);
    std::string lista, nrSolic = "0", status = "T";
    auto from = RemoteArg::OfDate(TDateTime::FromDate({2026, 11, 1}));
    auto to = RemoteArg::OfDate(TDateTime::FromDate({2026, 12, 31}));
    std::vector<RemoteArg> args = {RemoteArg::Value(demo::kDemoCentral), RemoteArg::ByRef(lista), from, to, from, to,
                                   from, to, RemoteArg::Value("3"), RemoteArg::ByRef(nrSolic), RemoteArg::ByRef(status),
                                   RemoteArg::Value(""), RemoteArg::Value("000000000007")};
    return std::get<std::vector<std::string>>(link.Call("GetTabelas", args).value);
  };
  const auto overTls = tables(server_->Port(), true);
  ASSERT_EQ(overTls.size(), 26u);
  size_t bytes = 0;
  for (const auto& image : overTls) bytes += image.size();
  EXPECT_GT(bytes, size_t{1} << 20);  // many TLS records' worth
  EXPECT_EQ(overTls, tables(plainServer.Port(), false));
}

TEST_F(TlsServerTest, AClientOfferingOnlyTls11IsRefused) {
  Start(certs_.Server("server"));
  auto handshake = [&](int maxVersion) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_security_level(ctx, 0);  // lets this client offer the old versions at all
    SSL_CTX_set_min_proto_version(ctx, TLS1_VERSION);
    SSL_CTX_set_max_proto_version(ctx, maxVersion);
    int fd = Connect(server_->Port());
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    bool ok = SSL_connect(ssl) == 1;
    SSL_free(ssl);
    close(fd);
    SSL_CTX_free(ctx);
    ERR_clear_error();
    return ok;
  };
  EXPECT_FALSE(handshake(TLS1_1_VERSION));
  EXPECT_TRUE(handshake(TLS1_2_VERSION));
}

TEST_F(TlsServerTest, ACertificateThatDoesNotVerifyIsNotTrusted) {
  const CertFiles good = certs_.Server("good");
  const struct {
    const char* what;
    CertFiles served;
    std::string pin;
    const char* says;
  } cases[] = {
      {"expired", certs_.Server("expired", -2 * 86400, -86400), "", "expired"},
      {"issued by a stranger", certs_.Server("stranger", -3600, 86400, /*selfSigned=*/true), "", "self-signed"},
      {"not the pinned one", good, TestCertificates::Fingerprint(certs_.Server("other").cert), "pin_sha256"},
  };
  for (const auto& c : cases) {
    OneHandshakeServer peer(c.served);
    TNetConnection link;
    Link(link, peer.Port(), c.pin);
    try {
      link.SetConnected(true);
      ADD_FAILURE() << c.what << ": connected";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kNotTrusted) << c.what << ": " << e.what();
      EXPECT_THAT(e.what(), HasSubstr(c.says)) << c.what;
    }
  }
  // The right pin is let in.
  Start(good);
  TNetConnection pinned;
  Link(pinned, server_->Port(), TestCertificates::Fingerprint(good.cert));
  EXPECT_NO_THROW(pinned.SetConnected(true));
}

TEST_F(TlsServerTest, ExpiredOrMismatchedFilesAreRefusedAndAReloadKeepsWhatWorks) {
  const CertFiles expired = certs_.Server("expired", -2 * 86400, -86400);
  AppServerOptions o;
  o.dbUrl = data_.Url();
  o.tlsCert = expired.cert;
  o.tlsKey = expired.key;
  try {
    AppServer refused(o);
    ADD_FAILURE() << "started with an expired certificate";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("expired on"));
  }

  // The files are replaced in place, as a renewal does, and the server told to reload.
  const CertFiles first = certs_.Server("first"), second = certs_.Server("second");
  const std::string live = (dir_ / "live.pem").string(), liveKey = (dir_ / "live.key").string();
  std::filesystem::copy_file(first.cert, live);
  std::filesystem::copy_file(first.key, liveKey);
  Start({live, liveKey});
  auto serves = [&](const std::string& certFile) {
    TNetConnection link;
    Link(link, server_->Port(), TestCertificates::Fingerprint(certFile));
    try {
      link.SetConnected(true);
      return true;
    } catch (const Error&) {
      return false;
    }
  };
  EXPECT_TRUE(serves(first.cert));
  using std::filesystem::copy_options;
  std::filesystem::copy_file(second.cert, live, copy_options::overwrite_existing);
  std::filesystem::copy_file(second.key, liveKey, copy_options::overwrite_existing);
  server_->ReloadTls();
  EXPECT_TRUE(serves(second.cert));
  EXPECT_FALSE(serves(first.cert));
  // A key of another certificate: the reload fails and the server keeps the second.
  std::filesystem::copy_file(first.key, liveKey, copy_options::overwrite_existing);
  EXPECT_THROW(server_->ReloadTls(), Error);
  EXPECT_TRUE(serves(second.cert));
}

class ServerAccessTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    data_ = std::make_unique<testing_server::ServerDb>(GetParam());
    if (data_->Skip()) GTEST_SKIP() << "KVE_TEST_PG_URL not set";
  }
  void Start() {
    AppServerOptions o;
    o.dbUrl = data_->Url();
    o.clock = [this] { return now_.load(); };
    server_ = std::make_unique<AppServer>(o);
    server_->Start();
  }
  void OpenLink(TNetConnection& link, const std::string& token) {
    link.SetHost("127.0.0.1");
    link.SetPort(server_->Port());
    link.SetToken(token);
    link.SetConnected(true);
  }

  std::unique_ptr<testing_server::ServerDb> data_;
  std::unique_ptr<AppServer> server_;
  std::atomic<std::chrono::steady_clock::time_point> now_{std::chrono::steady_clock::now()};
};

TEST_P(ServerAccessTest, StoredTokensLetTheirWorkstationsInByNameUntilRevoked) {
  std::string kitchen, office;
  {
    auto db = data_->Open();
    kitchen = AddToken(*db, "kitchen-01");
    office = AddToken(*db, "office");
    EXPECT_THROW(AddToken(*db, "office"), Error);
    EXPECT_THROW(AddToken(*db, "bad name\n"), ValueError);
    auto listed = ListTokens(*db);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].name, "kitchen-01");
    // Only the hash is stored.
    TClientDataSet stored;
    db->Run("SELECT DSHASHACESSO FROM KVEACESSO", {}, &stored);
    for (stored.First(); !stored.Eof(); stored.Next()) {
      EXPECT_NE(stored.FieldByName("DSHASHACESSO").AsString(), kitchen);
      EXPECT_NE(stored.FieldByName("DSHASHACESSO").AsString(), office);
    }
  }
  Start();
  TNetConnection link;
  OpenLink(link, kitchen);
  auto args = HistoryArgs("first");
  link.Call("InsHistPalm", args);

  // Revoked while the workstation's connection is open: its next call a second later is
  // refused (the server remembers what the database said for a second).
  ASSERT_TRUE(RevokeToken(*data_->Open(), "kitchen-01"));
  EXPECT_FALSE(RevokeToken(*data_->Open(), "kitchen-01"));
  now_ = now_.load() + std::chrono::seconds(2);
  try {
    auto again = HistoryArgs("after revoke");
    link.Call("InsHistPalm", again);
    ADD_FAILURE() << "a revoked token was let in";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kPermissionDenied);
    EXPECT_THAT(e.what(), HasSubstr("token refused (401)"));
  }
  EXPECT_EQ(HistoryRows(*data_), 1);

  // Calls are counted by the token's name, never by the token.
  httplib::Client http("127.0.0.1", server_->Port());
  http.set_bearer_token_auth(office);
  auto metrics = http.Get("/metrics");
  ASSERT_TRUE(metrics);
  EXPECT_THAT(metrics->body, HasSubstr("kve_appserver_token_calls_total{token=\"kitchen-01\"} 1"));
  EXPECT_THAT(metrics->body, ::testing::Not(HasSubstr(kitchen)));
}

TEST_P(ServerAccessTest, FailedTokensFromOneAddressAreThrottledAloneAndForAMinute) {
  const std::string token = AddToken(*data_->Open(), "kitchen-01");
  Start();
  const int port = server_->Port();
  // The slow clients of a busy network hold connections meanwhile, sending nothing whole.
  std::vector<int> slow;
  for (int i = 0; i < 64; ++i) {
    slow.push_back(Connect(port, "127.0.0.3"));
    send(slow.back(), "POST /Kve07000.rdmExpDados HTTP/1.1\r\nHo", 39, MSG_NOSIGNAL);
  }
  int refused = 0, throttled = 0;
  for (int i = 0; i < 1000; ++i) {
    std::string answer = Exchange(port, Describe("wrong-" + std::to_string(i)));
    refused += answer.starts_with("HTTP/1.1 401");
    throttled += answer.starts_with("HTTP/1.1 429");
  }
  EXPECT_EQ(refused, 10);
  EXPECT_EQ(throttled, 990);
  // Even the right token is throttled from that address, and not from another one.
  EXPECT_THAT(Exchange(port, Describe(token)), ::testing::StartsWith("HTTP/1.1 429"));
  EXPECT_THAT(Exchange(port, Describe(token), "127.0.0.2"), ::testing::StartsWith("HTTP/1.1 200"));
  // A minute later the address is heard again.
  now_ = now_.load() + std::chrono::seconds(61);
  EXPECT_THAT(Exchange(port, Describe(token)), ::testing::StartsWith("HTTP/1.1 200"));
  EXPECT_THAT(Exchange(port, Describe("wrong")), ::testing::StartsWith("HTTP/1.1 401"));
  for (int fd : slow) close(fd);
}

TEST_P(ServerAccessTest, ARepeatedKeyGetsTheFirstAnswerAndOtherArgumentsAreRefused) {
  Start();
  httplib::Client http("127.0.0.1", server_->Port());
  auto call = [&](const std::string& key, const std::string& message) {
    std::string body = R"({"jsonrpc":"2.0","id":1,"method":"InsHistPalm","params":["0001","P01",")" + message +
                       R"(","0","0"]})";
    auto res = http.Post("/Kve07000.rdmExpDados", {{"Idempotency-Key", key}}, body, "application/json");
    return res ? res->body : std::string("no answer");
  };
  const std::string first = call("key-1", "export done");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a later stamp, were it written again
  EXPECT_EQ(call("key-1", "export done"), first);
  EXPECT_EQ(HistoryRows(*data_), 1);
  const std::string other = call("key-1", "another export");
  EXPECT_THAT(other, HasSubstr("other arguments"));
  EXPECT_NE(other, first);
  EXPECT_EQ(HistoryRows(*data_), 1);
  call("key-2", "another export");
  EXPECT_EQ(HistoryRows(*data_), 2);
}

// Forwards connections to a server one after the other; the answer to the first POST is
// dropped with its connection after the server sent it, as a network that fails then would,
// or replaced by a 502, as a proxy whose server died under the call answers.
class DroppingProxy {
 public:
  DroppingProxy(int target, bool badGateway) : target_(target), badGateway_(badGateway) {
    fd_ = Listen(port_);
    thread_ = std::thread([this] {
      for (;;) {
        int c = accept(fd_, nullptr, nullptr);
        if (c < 0) return;
        Pump(c);
      }
    });
  }
  ~DroppingProxy() {
    shutdown(fd_, SHUT_RDWR);
    thread_.join();
    close(fd_);
  }
  int Port() const { return port_; }
  bool Dropped() const { return dropped_; }

 private:
  void Pump(int client) {
    int server = Connect(target_);
    bool postSent = false;
    char buf[65536];
    for (;;) {
      pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (poll(p, 2, 10000) <= 0) break;
      if (p[0].revents) {
        ssize_t n = recv(client, buf, sizeof buf, 0);
        if (n <= 0) break;
        postSent = postSent || std::string_view(buf, static_cast<size_t>(n)).starts_with("POST ");
        send(server, buf, static_cast<size_t>(n), MSG_NOSIGNAL);
      }
      if (p[1].revents) {
        ssize_t n = recv(server, buf, sizeof buf, 0);
        if (n <= 0) break;
        if (postSent && !dropped_) {
          dropped_ = true;
          if (badGateway_) {
            const std::string_view answer = "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n";
            send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
          }
          break;
        }
        send(client, buf, static_cast<size_t>(n), MSG_NOSIGNAL);
      }
    }
    close(server);
    close(client);
  }

  int target_;
  bool badGateway_;
  int fd_, port_ = 0;
  std::atomic<bool> dropped_{false};
  std::thread thread_;
};

TEST_P(ServerAccessTest, ACallWhoseAnswerIsLostIsRetriedOnceAndWritesOneRow) {
  Start();
  for (bool badGateway : {false, true}) {
    DroppingProxy proxy(server_->Port(), badGateway);
    TNetConnection link;
    link.SetHost("127.0.0.1");
    link.SetPort(proxy.Port());
    link.SetConnected(true);
    auto args = HistoryArgs(badGateway ? "after a 502" : "after a drop");
    RemoteValue answer = link.Call("InsHistPalm", args);
    EXPECT_TRUE(proxy.Dropped());
    EXPECT_EQ(testing_server::Column(std::get<std::string>(answer.value), "CDPALM"), std::vector<std::string>{"P01"});
  }
  EXPECT_EQ(HistoryRows(*data_), 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, ServerAccessTest, ::testing::ValuesIn(testing_server::Engines()));

}  // namespace
}  // namespace kve::server
