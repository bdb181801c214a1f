// The link against a real server on the loopback interface, and against small fake servers
// for the answers a good server never gives.
#include "platform/net/net_connection.h"

#include <httplib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <utility>
#include <thread>

#include "platform/common/error.h"
#include "platform/net/check_result.h"
#include "platform/net/protocol.h"
#include "server/app_server.h"
#include "server/server_fixture.h"

namespace kve {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    data_.FillSmallCentral();
  }

  void StartServer(std::string token = {}, size_t maxBody = size_t{1} << 20) {
    server::AppServerOptions o;
    o.dbUrl = data_.Url();
    o.token = std::move(token);
    o.maxRequestBytes = maxBody;
    server_ = std::make_unique<server::AppServer>(o);
    server_->Start();
  }

  // A connection whose before-connect handler points it at the server, as the screen does.
  std::unique_ptr<TNetConnection> Connection(std::string token = {}) {
    auto c = std::make_unique<TNetConnection>();
    c->SetToken(std::move(token));
    c->OnBeforeConnect = [this](TNetConnection& n) {
      n.SetHost("127.0.0.1");
      n.SetPort(server_->Port());
    };
    return c;
  }

  testing_server::ServerDb data_{"sqlite"};
  std::unique_ptr<server::AppServer> server_;
};

TEST_F(LinkTest, CallsByNameWithAllArgumentKindsAndReadsByRefBack) {
  StartServer();
  auto link = Connection();
  link->SetConnected(true);
  EXPECT_TRUE(link->Connected());
  EXPECT_EQ(link->Endpoint(), "127.0.0.1:" + std::to_string(server_->Port()));

  std::string lista, nrSolic = "02", status = "a";
  auto date = [](int d) { return RemoteArg::OfDate(TDateTime::FromDate({2026, 3, d})); };
  std::vector<RemoteArg> args = {
      RemoteArg::Value("0001"), RemoteArg::ByRef(lista), date(2),  date(6), date(1), date(5),
      date(1),                  date(31),                RemoteArg::Value("3"),
      RemoteArg::ByRef(nrSolic), RemoteArg::ByRef(status), RemoteArg::Value(""),
      RemoteArg::Value("000000000007")};
  RemoteValue answer = link->Call("GetTabelas", args);
  EXPECT_EQ(lista, "_0002_0003_0004");
  EXPECT_EQ(nrSolic, "2");
  EXPECT_EQ(status, "A");

  std::vector<std::unique_ptr<TClientDataSet>> tables;
  std::vector<TClientDataSet*> slots;
  for (int i = 0; i < 26; ++i) {
    tables.push_back(std::make_unique<TClientDataSet>());
    slots.push_back(tables.back().get());
  }
  LoadTableImages(answer, slots);
  EXPECT_EQ(slots[2]->RecordCount(), 3);  // FILIAL
  EXPECT_EQ(slots[8]->RecordCount(), 2);  // PRODUTO: active products of the latest 2 requests
  EXPECT_GT(link->LastCall().replyBytes, link->LastCall().requestBytes);
}

TEST_F(LinkTest, HistoryAndGroupingsGoThroughCheckResultServ) {
  StartServer();
  auto link = Connection();
  link->SetConnected(true);
  std::vector<RemoteArg> ins = {RemoteArg::Value("0001"), RemoteArg::Value("001"),
                                RemoteArg::Value("Exportação concluída"), RemoteArg::Value("0"),
                                RemoteArg::Value("0")};
  Consiste::CheckResultServ(link->Call("InsHistPalm", ins), true, 0);
  std::vector<RemoteArg> get = {RemoteArg::Value("0001"), RemoteArg::Value("001")};
  TClientDataSet hist;
  hist.SetData(Consiste::CheckResultServ(link->Call("GetHistPalm", get), true, 0));
  EXPECT_EQ(hist.RecordCount(), 1);
  EXPECT_EQ(hist.FieldByName("IDERROPALM").AsString(), "0");

  std::vector<RemoteArg> bad = {RemoteArg::Value("0001"), RemoteArg::Value("0001"),
                                RemoteArg::Value(""), RemoteArg::Value("0"), RemoteArg::Value("0")};
  EXPECT_THAT([&] { Consiste::CheckResultServ(link->Call("InsHistPalm", bad), true, 0); },
              ThrowsMessage<Error>(HasSubstr("InsHistPalm: device code")));
}

TEST_F(LinkTest, ConcurrentCallersEachGetTheirOwnAnswers) {
  StartServer();
  std::vector<std::thread> callers;
  std::vector<std::string> failures(4);
  for (int k = 0; k < 4; ++k) {
    callers.emplace_back([&, k] {
      try {
        auto link = Connection();
        link->SetConnected(true);
        std::string device = "00" + std::to_string(k);
        for (int n = 0; n < 10; ++n) {
          std::vector<RemoteArg> ins = {RemoteArg::Value("0001"), RemoteArg::Value(device),
                                        RemoteArg::Value("run " + std::to_string(n)),
                                        RemoteArg::Value("0"), RemoteArg::Value(n % 2 ? "1" : "0")};
          Consiste::CheckResultServ(link->Call("InsHistPalm", ins), true, 0);
        }
        std::vector<RemoteArg> get = {RemoteArg::Value("0001"), RemoteArg::Value(device)};
        TClientDataSet hist;
        hist.SetData(Consiste::CheckResultServ(link->Call("GetHistPalm", get), true, 0));
        if (hist.FieldByName("CDPALM").AsString() != device ||
            hist.FieldByName("IDERROPALM").AsString() != "1")
          failures[k] = "device " + device + ": wrong latest row";
      } catch (const std::exception& e) {
        failures[k] = e.what();
      }
    });
  }
  for (auto& t : callers) t.join();
  for (const auto& f : failures) EXPECT_EQ(f, "");
}

TEST_F(LinkTest, TokenIsRequiredWhenTheServerHasOne) {
  StartServer("s3cr3t");
  auto none = Connection();
  EXPECT_THAT([&] { none->SetConnected(true); },
              ThrowsMessage<Error>(HasSubstr(": connect: a token is required (401)")));
  EXPECT_FALSE(none->Connected());
  try {
    none->SetConnected(true);
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kPermissionDenied);
  }
  for (const char* token : {"s3cr3x", "s3cr3", "s3cr3ts3cr3t"}) {
    auto wrong = Connection(token);
    EXPECT_THAT([&] { wrong->SetConnected(true); },
                ThrowsMessage<Error>(HasSubstr("token refused (401)")))
        << token;
  }
  auto right = Connection("s3cr3t");
  right->SetConnected(true);
  std::vector<RemoteArg> args = {RemoteArg::Value(""), RemoteArg::Value("T")};
  EXPECT_TRUE(right->Call("GetAgrupProd", args).isPacket);
}

TEST_F(LinkTest, OversizedRequestIsRefused) {
  StartServer({}, 4096);
  auto link = Connection();
  link->SetConnected(true);
  std::vector<RemoteArg> args = {RemoteArg::Value(std::string(8000, 'x')), RemoteArg::Value("T")};
  EXPECT_THAT([&] { link->Call("GetAgrupProd", args); },
              ThrowsMessage<Error>(HasSubstr("GetAgrupProd: request too large")));
  // The connection still serves the next call.
  args[0] = RemoteArg::Value("");
  EXPECT_TRUE(link->Call("GetAgrupProd", args).isPacket);
}

TEST_F(LinkTest, DispatchFaultsArriveAsErrorsWithTheServersMessage) {
  StartServer();
  auto link = Connection();
  link->SetConnected(true);
  std::vector<RemoteArg> none;
  EXPECT_THAT([&] { link->Call("DropTables", none); },
              ThrowsMessage<Error>(HasSubstr(": DropTables: unknown method \"DropTables\"")));
  EXPECT_THAT([&] { link->Call("GetHistPalm", none); },
              ThrowsMessage<Error>(HasSubstr("GetHistPalm: takes 2 arguments, got 0")));
  // The context the link adds keeps the server's error an RpcError with its code.
  try {
    link->Call("DropTables", none);
    ADD_FAILURE() << "no error";
  } catch (const rpc::RpcError& e) {
    EXPECT_EQ(e.code(), -32601);
  }
}

TEST_F(LinkTest, AnswersTravelUncompressedWhateverTheClientOffers) {
  // Compressing a large answer at the library's default level costs seconds per megabyte.
  StartServer();
  httplib::Client raw("127.0.0.1", server_->Port());
  raw.set_decompress(false);
  httplib::Headers offer = {{"Accept-Encoding", "br, gzip, deflate"}};
  auto res = raw.Post("/Kve07000.rdmExpDados", offer,
                      R"({"jsonrpc":"2.0","id":1,"method":"GetAgrupProd","params":["","T"]})",
                      "application/json");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_FALSE(res->has_header("Content-Encoding")) << res->get_header_value("Content-Encoding");
  EXPECT_NE(res->body.find("\"kind\":\"image\""), std::string::npos);
}

TEST_F(LinkTest, UnreachableServerAndUnconnectedCallsAreNamed) {
  TNetConnection link;
  std::vector<RemoteArg> none;
  EXPECT_THAT([&] { link.Call("GetHistPalm", none); },
              ThrowsMessage<Error>(HasSubstr("GetHistPalm: not connected")));
  EXPECT_THAT([&] { link.SetConnected(true); },
              ThrowsMessage<Error>(HasSubstr("no server address configured")));
  // A port that was just free: bind without listening, note it, close.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  int port = ntohs(addr.sin_port);
  close(fd);
  link.SetHost("127.0.0.1");
  link.SetPort(port);
  EXPECT_THAT([&] { link.SetConnected(true); },
              ThrowsMessage<Error>(HasSubstr("application server 127.0.0.1:" +
                                             std::to_string(port) + ": connect: unreachable")));
  try {
    link.SetConnected(true);
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kUnavailable);  // a retry may help, unlike a refusal
  }
}

// A stand-in server answering every call with `reply` of `type` after `delay`.
class FakeServer {
 public:
  FakeServer(std::string reply, std::chrono::milliseconds delay = {},
             std::string type = "application/json") {
    http_.Get("/Kve07000.rdmExpDados", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(R"({"server":"Kve07000.rdmExpDados"})", "application/json");
    });
    http_.Post("/Kve07000.rdmExpDados",
               [reply, delay, type](const httplib::Request&, httplib::Response& res) {
                 std::this_thread::sleep_for(delay);
                 res.set_content(reply, type.c_str());
               });
    port_ = http_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { http_.listen_after_bind(); });
  }
  ~FakeServer() {
    while (!http_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    http_.stop();
    thread_.join();
  }
  int port() const { return port_; }

 private:
  httplib::Server http_;
  int port_ = 0;
  std::thread thread_;
};

TEST(LinkFake, SlowServerTimesOut) {
  FakeServer fake(R"({"jsonrpc":"2.0","id":1,"result":{"value":"x"}})",
                  std::chrono::milliseconds(900));
  TNetConnection link;
  link.SetHost("127.0.0.1");
  link.SetPort(fake.port());
  link.SetTimeout(std::chrono::milliseconds(200));
  link.SetConnected(true);
  std::vector<RemoteArg> none;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_THAT([&] { link.Call("GetHistPalm", none); },
              ThrowsMessage<Error>(HasSubstr("GetHistPalm: timed out after 0.2 s")));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(850));
}

TEST(LinkFake, MalformedAnswerIsNamed) {
  FakeServer fake("<html>oops</html>");
  TNetConnection link;
  link.SetHost("127.0.0.1");
  link.SetPort(fake.port());
  link.SetConnected(true);
  std::vector<RemoteArg> none;
  EXPECT_THAT([&] { link.Call("GetHistPalm", none); },
              ThrowsMessage<Error>(HasSubstr("GetHistPalm: malformed answer: not JSON")));
}

// Frames are read as they arrive: a fault is found there, the by-reference values stay.
TEST(LinkFake, FramesThatGoWrongOnTheWayAreMalformed) {
  std::string good;
  rpc::ImagesWriter out(true, 1, [&](std::string_view piece) {
    good += piece;
    return true;
  });
  out.Begin({{2, "_0002"}}, 2);
  out.Image(std::string(300000, 'x'));  // arrives in more than one piece
  const struct {
    std::string body, error;
  } cases[] = {
      {good + "Q0000", "malformed answer: unknown frame kind 81"},
      {good, "malformed answer: answer cut short after 1 of 2 images"},
      // the Content-Length says at the frame's header already that its bytes cannot all come
      {good.substr(0, good.size() - 10),
       "malformed answer: frame of 300000 bytes is longer than the 299990 bytes the answer may still hold"},
  };
  for (const auto& c : cases) {
    FakeServer fake(c.body, {}, std::string(rpc::kFramesType));
    TNetConnection link;
    link.SetHost("127.0.0.1");
    link.SetPort(fake.port());
    link.SetConnected(true);
    std::string lista = "kept";
    std::vector<RemoteArg> args = {RemoteArg::Value("0001"), RemoteArg::ByRef(lista)};
    EXPECT_THAT([&] { link.Call("GetTabelas", args); },
                ThrowsMessage<FormatError>(HasSubstr("GetTabelas: " + c.error)))
        << c.error;
    EXPECT_EQ(lista, "kept");
  }
}

// A server that describes itself as a good one does, and answers every call with `head`
// (status line and headers) and then the pieces `body` makes, until it returns false or the
// client stops reading: an answer as long, or as endless, as a test wants.
class HostileServer {
 public:
  using Body = std::function<bool(std::string& piece)>;
  HostileServer(std::string head, Body body) : head_(std::move(head)), body_(std::move(body)) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      throw std::runtime_error("hostile server: cannot listen");
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~HostileServer() {
    shutdown(fd_, SHUT_RDWR);
    thread_.join();
    close(fd_);
  }
  int port() const { return port_; }

 private:
  void Serve() {
    for (int c; (c = accept(fd_, nullptr, nullptr)) >= 0;) {
      timeval fiveSeconds{5, 0};  // a client that neither reads nor closes ends the test anyway
      setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, &fiveSeconds, sizeof fiveSeconds);
      setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &fiveSeconds, sizeof fiveSeconds);
      while (Answer(c)) {
      }
      close(c);
    }
  }
  bool Send(int c, std::string_view bytes) {
    return bytes.empty() || send(c, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // One request read and answered; false when the connection is to end.
  bool Answer(int c) {
    std::string in;
    char buf[4096];
    size_t end;
    while ((end = in.find("\r\n\r\n")) == std::string::npos) {
      const ssize_t n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) return false;
      in.append(buf, static_cast<size_t>(n));
    }
    size_t length = 0;
    if (const size_t at = in.find("Content-Length: "); at != std::string::npos && at < end)
      length = std::stoul(in.substr(at + 16));
    while (in.size() < end + 4 + length) {
      const ssize_t n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) return false;
      in.append(buf, static_cast<size_t>(n));
    }
    if (in.starts_with("GET")) {
      const std::string d = R"({"server":"Kve07000.rdmExpDados"})";
      return Send(c, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                         std::to_string(d.size()) + "\r\n\r\n" + d);
    }
    if (!Send(c, head_)) return false;
    std::string piece;
    while (body_(piece))
      if (!Send(c, piece)) return false;
    return false;
  }

  std::string head_;
  Body body_;
  int fd_ = -1, port_ = 0;
  std::thread thread_;
};

std::string Chunk(std::string_view bytes) {
  char size[20];
  std::snprintf(size, sizeof size, "%zx\r\n", bytes.size());
  return size + std::string(bytes) + "\r\n";
}

// The head frame of a framed answer to call 1 of `count` images.
std::string HeadFrame(size_t count) {
  const std::string head = R"({"jsonrpc":"2.0","id":1,"result":{"kind":"images","byref":{},"count":)" +
                           std::to_string(count) + "}}";
  return rpc::FrameHeader(rpc::Frame::Head, head.size()) + head;
}

// Answers a good server never gives, each of which would hold gigabytes if believed: the
// call fails naming the server and the limit, and stops reading at once.
TEST(LinkFake, AnswersOverTheLimitFailBeforeTheyAreHeld) {
  constexpr uint64_t kLimit = uint64_t{1} << 20;
  const std::string json = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
  const std::string frames = "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(rpc::kFramesType) + "\r\n";
  const std::string chunked = "Transfer-Encoding: chunked\r\n\r\n";
  const auto once = [](std::string bytes) {  // `bytes`, then endless filler
    return [bytes, sent = false](std::string& piece) mutable {
      piece = sent ? Chunk(std::string(65536, 'A')) : bytes;
      sent = true;
      return true;
    };
  };
  const std::string hugeFrame = HeadFrame(1) + rpc::FrameHeader(rpc::Frame::Image, 0xFFFFFFF0);
  const struct {
    const char* what;
    std::string head;
    HostileServer::Body body;
    std::string error;
  } cases[] = {
      {"a Content-Length of 8 GB", json + "Content-Length: 8589934592\r\n\r\n",
       [](std::string&) { return false; },
       "GetTabelas: answer of 8589934592 bytes is over the limit of 1 MB ([server] max_answer_mb)"},
      {"endless chunked JSON", json + chunked, once(Chunk(R"({"jsonrpc":"2.0","id":1,"result":{"value":")")),
       "GetTabelas: answer over the limit of 1 MB ([server] max_answer_mb)"},
      {"a frame of 4 GB", frames + chunked, once(Chunk(hugeFrame)),
       "GetTabelas: malformed answer: frame of 4294967280 bytes is longer than the"},
      {"a frame longer than the Content-Length",
       frames + "Content-Length: 2000\r\n\r\n",
       [&, sent = false](std::string& piece) mutable {
         piece = HeadFrame(1) + rpc::FrameHeader(rpc::Frame::Image, 5000);
         piece.resize(2000, 'x');
         return !std::exchange(sent, true);
       },
       "GetTabelas: malformed answer: frame of 5000 bytes is longer than the " +
           std::to_string(2000 - HeadFrame(1).size() - rpc::kFrameHeaderBytes) + " bytes the answer may still hold"},
      {"endless empty images", frames + chunked,
       [&, sent = false](std::string& piece) mutable {
         std::string frames = sent ? "" : HeadFrame(1);
         for (int i = 0; i < 1000; ++i) frames += rpc::FrameHeader(rpc::Frame::Image, 0);
         piece = Chunk(frames);
         sent = true;
         return true;
       },
       "GetTabelas: malformed answer: more frames than an answer of 1024 images has"},
  };
  for (const auto& c : cases) {
    HostileServer hostile(c.head, c.body);
    TNetConnection link;
    link.SetHost("127.0.0.1");
    link.SetPort(hostile.port());
    link.SetMaxAnswerBytes(kLimit);
    link.SetTimeout(std::chrono::seconds(20));
    link.SetConnected(true);
    std::vector<RemoteArg> none;
    EXPECT_THAT([&] { link.Call("GetTabelas", none); },
                ThrowsMessage<Error>(HasSubstr("application server 127.0.0.1:" + std::to_string(hostile.port()) +
                                               ": " + c.error)))
        << c.what;
  }
}

TEST(LinkFake, AnAnswerOfExactlyTheLimitIsRead) {
  const std::string reply = R"({"jsonrpc":"2.0","id":1,"result":{"kind":"text","value":"ok"}})";
  FakeServer fake(reply);
  for (const uint64_t limit : {uint64_t{reply.size()}, uint64_t{reply.size() - 1}}) {
    TNetConnection link;
    link.SetHost("127.0.0.1");
    link.SetPort(fake.port());
    link.SetMaxAnswerBytes(limit);
    link.SetConnected(true);
    std::vector<RemoteArg> none;
    if (limit == reply.size())
      EXPECT_EQ(std::get<std::string>(link.Call("GetHistPalm", none).value), "ok");
    else
      EXPECT_THAT([&] { link.Call("GetHistPalm", none); },
                  ThrowsMessage<Error>(HasSubstr("answer of " + std::to_string(reply.size()) +
                                                 " bytes is over the limit of " + std::to_string(limit) + " bytes")));
  }
}

TEST(LinkFake, ServerOfAnotherModuleIsRefusedAtConnect) {
  FakeServer fake("{}");
  TNetConnection link;
  link.SetServerName("Kve07001.rdmOutro");
  link.SetHost("127.0.0.1");
  link.SetPort(fake.port());
  EXPECT_THAT([&] { link.SetConnected(true); },
              ThrowsMessage<Error>(HasSubstr("does not serve Kve07001.rdmOutro (404)")));
}

}  // namespace
}  // namespace kve
