// The server's HTTP side under clients that misbehave: silent sockets, oversized chunked
// bodies, a second server on the same port, a stop while calls wait.
#include "server/app_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include <fmt/format.h>

#include "platform/common/error.h"
#include "platform/db/migrate.h"
#include "support/temp_folder.h"
#include "server/server_fixture.h"

namespace kve::server {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kHist = R"({"jsonrpc":"2.0","id":1,"method":"GetHistPalm","params":["0001","B01"]})";

class Socket {
 public:
  explicit Socket(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~Socket() { close(fd_); }
  bool Connected() const { return connected_; }
  // Sends what the peer takes; false once it refuses more.
  bool Send(const std::string& s) {
    size_t sent = 0;
    while (sent < s.size()) {
      pollfd p{fd_, POLLOUT, 0};
      if (poll(&p, 1, 5000) <= 0) return false;
      ssize_t n = send(fd_, s.data() + sent, s.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }
  // Everything until the peer closes, or until `limitMs` passes without a byte.
  std::string ReadAll(int limitMs = 20000) {
    std::string out;
    char buf[65536];
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, limitMs) <= 0) return out;
      ssize_t n = recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) return out;
      out.append(buf, static_cast<size_t>(n));
    }
  }

 private:
  int fd_;
  bool connected_ = false;
};

std::string Request(const std::string& body, const std::string& extra = "Connection: close\r\n") {
  return "POST /Kve07000.rdmExpDados HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n"
         "Content-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

class AppServerTest : public ::testing::Test {
 protected:
  void StartServer(int port = 0) {
    AppServerOptions o;
    o.dbUrl = data_.Url();
    o.port = port;
    server_ = std::make_unique<AppServer>(o);
    server_->Start();
  }
  testing_server::ServerDb data_{"sqlite"};
  std::unique_ptr<AppServer> server_;
};

TEST_F(AppServerTest, NormalCallsGoOnWhileManySilentSocketsAreOpen) {
  StartServer();
  std::vector<std::unique_ptr<Socket>> silent;
  for (int i = 0; i < 64; ++i) {
    silent.push_back(std::make_unique<Socket>(server_->Port()));
    ASSERT_TRUE(silent.back()->Connected());
    silent.back()->Send("POST /Kve07000.rdmExpDados HTTP/1.1\r\nHo");
  }
  // Each call within a generous limit, far below what a silent socket may hold a thread.
  for (int i = 0; i < 3; ++i) {
    Socket s(server_->Port());
    ASSERT_TRUE(s.Send(Request(kHist)));
    EXPECT_THAT(s.ReadAll(4000), StartsWith("HTTP/1.1 200")) << "call " << i;
  }
}

TEST_F(AppServerTest, BodyOverTheLimitIsRefusedWhateverTheTransferEncoding) {
  StartServer();
  // 3 chunks of 1 MiB: the limit is 1 MiB.
  Socket big(server_->Port());
  std::string head = "POST /Kve07000.rdmExpDados HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n";
  std::string chunk = "100000\r\n" + std::string(1 << 20, ' ') + "\r\n";
  big.Send(head);
  for (int i = 0; i < 3 && big.Send(chunk); ++i) {
  }
  big.Send("0\r\n\r\n");
  EXPECT_THAT(big.ReadAll(), StartsWith("HTTP/1.1 413"));

  // A chunked request within the limit is served.
  Socket small(server_->Port());
  std::string body = kHist;
  small.Send(head.substr(0, head.size() - 2) + "Connection: close\r\n\r\n" +
             fmt::format("{:x}\r\n{}\r\n0\r\n\r\n", body.size(), body));
  std::string reply = small.ReadAll();
  EXPECT_THAT(reply, StartsWith("HTTP/1.1 200"));
  EXPECT_THAT(reply, HasSubstr("\"kind\":\"image\""));
}

// The library keeps every header line it reads: a head of any length is refused past 64 KiB,
// however it is made up, and the server goes on serving.
TEST_F(AppServerTest, HeadOverTheLimitIsRefused) {
  StartServer();
  std::string manyLines;
  for (int i = 0; i < 1000; ++i) manyLines += fmt::format("X-Line-{}: {}\r\n", i, std::string(80, 'h'));
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"one long header", "POST /Kve07000.rdmExpDados HTTP/1.1\r\nX-Pad: " + std::string(70000, 'p') + "\r\n\r\n"},
      {"many headers", "POST /Kve07000.rdmExpDados HTTP/1.1\r\n" + manyLines + "\r\n"},
      {"a request line without end", "GET /" + std::string(70000, 'a')},
  };
  for (const auto& c : cases) {
    Socket s(server_->Port());
    s.Send(c.bytes);
    const std::string reply = s.ReadAll();
    EXPECT_THAT(reply, StartsWith("HTTP/1.1 413")) << c.what;
    EXPECT_THAT(reply, HasSubstr("request head over 65536 bytes")) << c.what;
  }
  Socket fine(server_->Port());
  ASSERT_TRUE(fine.Send(Request(kHist, "Connection: close\r\n" + manyLines.substr(0, manyLines.find("X-Line-300:")))));
  EXPECT_THAT(fine.ReadAll(), StartsWith("HTTP/1.1 200"));
}

TEST_F(AppServerTest, PortInUseIsAnErrorNamingTheAddress) {
  StartServer();
  AppServerOptions o;
  o.dbUrl = data_.Url();
  o.port = server_->Port();
  AppServer second(o);
  std::string where = "127.0.0.1:" + std::to_string(o.port);
  EXPECT_THAT([&] { second.Bind(); }, ::testing::ThrowsMessage<IoError>(HasSubstr(where)));
}

TEST_F(AppServerTest, StopAnswersEveryCallAlreadyAccepted) {
  StartServer();
  // Sockets that opened a request and went quiet, more than a fixed set of workers.
  std::vector<std::unique_ptr<Socket>> quiet;
  for (int i = 0; i < 16; ++i) {
    quiet.push_back(std::make_unique<Socket>(server_->Port()));
    quiet.back()->Send("POST /Kve07000.rdmExpDados HTTP/1.1\r\n");
  }
  Socket call(server_->Port());
  ASSERT_TRUE(call.Send(Request(kHist)));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // accepted, maybe not yet read
  std::thread stopper([&] { server_->Stop(); });
  EXPECT_THAT(call.ReadAll(), StartsWith("HTTP/1.1 200"));
  quiet.clear();  // their requests never come: the stop need not wait for them
  stopper.join();
}

TEST(AppServerStart, RefusesWhatIsNotADatabaseOfItsSchemaAndCreatesOnlyWhenTold) {
  kve::testing::TempFolder dir;
  AppServerOptions o;
  const std::string typo = (dir / "typo.db").string();
  o.dbUrl = "sqlite:" + typo;
  EXPECT_THAT([&] { AppServer s(o); }, ::testing::ThrowsMessage<Error>(HasSubstr(typo)));
  EXPECT_FALSE(std::filesystem::exists(typo)) << "a mistyped path became a database file";

  const std::string other = (dir / "other.db").string();
  Database::Open("sqlite:" + other)->ExecuteScript("CREATE TABLE T (A INTEGER)");
  o.dbUrl = "sqlite:" + other;
  EXPECT_THAT([&] { AppServer s(o); }, ::testing::ThrowsMessage<Error>(HasSubstr("no schema of this program")));

  kve::testing::WriteBytes(dir / "garbage.db", std::string(4096, 'x'));
  o.dbUrl = "sqlite:" + (dir / "garbage.db").string();
  EXPECT_THAT([&] { AppServer s(o); }, ::testing::ThrowsMessage<Error>(HasSubstr("garbage.db")));

  o.dbUrl = "sqlite:" + typo;
  o.create = true;
  { AppServer created(o); }
  EXPECT_EQ(AppliedSchemaVersion(*Database::Open(o.dbUrl)), LatestSchemaVersion());
}

}  // namespace
}  // namespace kve::server
