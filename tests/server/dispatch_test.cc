#include "server/dispatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "platform/net/protocol.h"

namespace kve::server {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

// Dispatch without a database: any call that gets as far as the module fails the test.
json Send(const std::string& body, CallRecord* rec = nullptr) {
  CallRecord local;
  std::string reply = Dispatch(
      body,
      [](const std::function<Answer(RdmExpDados&)>&) -> Answer {
        ADD_FAILURE() << "a malformed call reached the module";
        return {};
      },
      rec ? *rec : local);
  return json::parse(reply);
}

TEST(Dispatch, MalformedRequestsGetTheirJsonRpcError) {
  struct Case {
    const char* body;
    int code;
    const char* text;
  } cases[] = {
      {"{oops", rpc::kParseError, "not JSON"},
      {R"([{"jsonrpc":"2.0","id":1,"method":"GetHistPalm","params":["a","b"]}])",
       rpc::kInvalidRequest, "batches"},
      {R"({"jsonrpc":"2.0","method":"GetHistPalm","params":["a","b"]})", rpc::kInvalidRequest,
       "no id"},
      {R"({"jsonrpc":"1.0","id":1,"method":"GetHistPalm","params":["a","b"]})",
       rpc::kInvalidRequest, "not JSON-RPC 2.0"},
      {R"({"jsonrpc":"2.0","id":1,"params":[]})", rpc::kInvalidRequest, "no method"},
      {R"({"jsonrpc":"2.0","id":1,"method":"Shutdown","params":[]})", rpc::kMethodNotFound,
       "unknown method \"Shutdown\""},
      {R"({"jsonrpc":"2.0","id":1,"method":"GetHistPalm","params":{"a":1}})",
       rpc::kInvalidParams, "params must be an array"},
      {R"({"jsonrpc":"2.0","id":1,"method":"GetHistPalm","params":["0001"]})",
       rpc::kInvalidParams, "takes 2 arguments, got 1"},
      {R"({"jsonrpc":"2.0","id":1,"method":"GetHistPalm","params":["0001",1]})",
       rpc::kInvalidParams, "argument 2 is not a text"},
      {R"({"jsonrpc":"2.0","id":"x","method":"GetTabelas","params":["0001","","2026-13-01","2026-03-01","2026-03-01","2026-03-01","2026-03-01","2026-03-01","3","0","T","","7"]})",
       rpc::kInvalidParams, "argument 3: \"2026-13-01\" is not a date"},
  };
  for (const Case& c : cases) {
    CallRecord rec;
    json reply = Send(c.body, &rec);
    ASSERT_TRUE(reply.contains("error")) << c.body;
    EXPECT_EQ(reply["error"]["code"], c.code) << c.body;
    EXPECT_THAT(reply["error"]["message"].get<std::string>(), HasSubstr(c.text)) << c.body;
    EXPECT_TRUE(rec.failed);
  }
}

TEST(Dispatch, ErrorRepliesEchoTheRequestId) {
  EXPECT_EQ(Send(R"({"jsonrpc":"2.0","id":"abc","method":"Nope","params":[]})")["id"], "abc");
  EXPECT_EQ(Send(R"({"jsonrpc":"2.0","id":17,"method":"Nope","params":[]})")["id"], 17);
  EXPECT_TRUE(Send("{oops")["id"].is_null());
}

TEST(Dispatch, WellFormedCallRunsTheMethodAndAnswersItsResult) {
  CallRecord rec;
  std::string reply = Dispatch(
      R"({"jsonrpc":"2.0","id":5,"method":"GetAgrupProd","params":["","T"]})",
      [](const std::function<Answer(RdmExpDados&)>&) {
        Answer a;
        a.value.value = std::string("GetAgrupProd: database is locked");
        a.failed = true;
        return a;
      },
      rec);
  json r = json::parse(reply);
  EXPECT_EQ(r["id"], 5);
  EXPECT_EQ(r["result"]["kind"], "text");
  EXPECT_EQ(r["result"]["value"], "GetAgrupProd: database is locked");
  EXPECT_EQ(rec.method, "GetAgrupProd");
  EXPECT_TRUE(rec.failed);
}

TEST(Dispatch, LogLinesEscapeWhatTheRequestSentAndQuoteItInPart) {
  CallRecord rec;
  Send(R"({"jsonrpc":"2.0","id":1,"method":"Get\n[info] forged\u001b[2J","params":[]})", &rec);
  rec.error += std::string(1 << 20, 'x');
  std::string line = CallLogLine(rec, 1.5, 100, 200);
  EXPECT_THAT(line, HasSubstr("Get\\n[info] forged\\x1b[2J"));
  EXPECT_EQ(std::count_if(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }), 0);
  EXPECT_LT(line.size(), 1000u);
  EXPECT_THAT(line, HasSubstr("bytes)"));
}

}  // namespace
}  // namespace kve::server
