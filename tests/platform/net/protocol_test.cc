#include "platform/net/protocol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/dataset/dataset.h"

namespace kve::rpc {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

std::string SmallPacket() {
  TClientDataSet t("T");
  t.FieldDefs() = {StringField("CDFILIAL", 4)};
  t.CreateDataSet();
  return t.Data();
}

TEST(Protocol, CallCarriesPositionalTextsByRefValuesAndIsoDates) {
  std::string lista = "_0002_0003";
  std::vector<RemoteArg> args = {RemoteArg::Value("0001"), RemoteArg::ByRef(lista),
                                 RemoteArg::OfDate(TDateTime::FromDate({2026, 3, 9}, {13, 5}))};
  json call = json::parse(EncodeCall(42, "GetTabelas", args));
  EXPECT_EQ(call, json::parse(R"({"jsonrpc":"2.0","id":42,"method":"GetTabelas",
                                   "params":["0001","_0002_0003","2026-03-09"]})"));
}

TEST(Protocol, ReplyRewritesByRefArgumentsAndKeepsTheOthers) {
  std::string lista, nr = "5";
  std::vector<RemoteArg> args = {RemoteArg::Value("0001"), RemoteArg::ByRef(lista),
                                 RemoteArg::ByRef(nr)};
  RemoteValue v;
  v.value = std::vector<std::string>{SmallPacket(), SmallPacket()};
  std::string body = EncodeResponse(7, EncodeResult(v, {{2, "_0002"}}));
  RemoteValue got = DecodeReply(body, 7, args);
  EXPECT_EQ(lista, "_0002");
  EXPECT_EQ(nr, "5");
  EXPECT_EQ(std::get<std::vector<std::string>>(got.value), std::get<std::vector<std::string>>(v.value));
}

TEST(Protocol, TextAndSingleImageAreToldApart) {
  std::vector<RemoteArg> none;
  RemoteValue text;
  text.value = std::string("Filial não encontrada");
  RemoteValue got = DecodeReply(EncodeResponse(1, EncodeResult(text, {})), 1, none);
  EXPECT_TRUE(got.isText());
  EXPECT_EQ(std::get<std::string>(got.value), "Filial não encontrada");

  RemoteValue image;
  image.value = SmallPacket();
  image.isPacket = true;
  got = DecodeReply(EncodeResponse(1, EncodeResult(image, {})), 1, none);
  EXPECT_TRUE(got.isPacket);
  EXPECT_EQ(std::get<std::string>(got.value), SmallPacket());
}

TEST(Protocol, ReplyWithoutKindIsReadByItsShape) {
  std::vector<RemoteArg> none;
  json image = {{"value", EncodeResult(RemoteValue{SmallPacket(), true}, {})["value"]}};
  EXPECT_TRUE(DecodeReply(EncodeResponse(1, image), 1, none).isPacket);
  // Base64-looking text that is not a packet stays a text.
  RemoteValue got = DecodeReply(EncodeResponse(1, json{{"value", "Zm9vYmFy"}}), 1, none);
  EXPECT_TRUE(got.isText());
  got = DecodeReply(EncodeResponse(1, json{{"value", json::array()}}), 1, none);
  EXPECT_TRUE(std::get<std::vector<std::string>>(got.value).empty());
}

TEST(Protocol, ErrorObjectRaisesItsCodeAndMessage) {
  std::vector<RemoteArg> none;
  try {
    DecodeReply(EncodeErrorResponse(3, kMethodNotFound, "unknown method \"X\""), 3, none);
    FAIL() << "no error raised";
  } catch (const RpcError& e) {
    EXPECT_EQ(e.code(), kMethodNotFound);
    EXPECT_STREQ(e.what(), "unknown method \"X\"");
  }
}

TEST(Protocol, MalformedRepliesAreRefusedWithoutTouchingByRefArguments) {
  std::string lista = "_0002", nr = "1";
  std::vector<RemoteArg> args = {RemoteArg::ByRef(lista), RemoteArg::Value("x"),
                                 RemoteArg::ByRef(nr)};
  auto refused = [&](const std::string& body, const std::string& why) {
    EXPECT_THAT([&] { DecodeReply(body, 9, args); }, ThrowsMessage<FormatError>(HasSubstr(why)))
        << body;
    EXPECT_EQ(lista, "_0002");
    EXPECT_EQ(nr, "1");
  };
  refused("<html>", "not JSON");
  refused(R"([1])", "not a JSON object");
  refused(R"({"jsonrpc":"2.0","id":8,"result":{"value":"x"}})", "another request");
  refused(R"({"jsonrpc":"2.0","id":9})", "no result");
  refused(R"({"jsonrpc":"2.0","id":9,"result":{}})", "no value");
  refused(R"({"jsonrpc":"2.0","id":9,"result":{"value":["@@@@"]}})", "image 0");
  refused(R"({"jsonrpc":"2.0","id":9,"result":{"value":"x","kind":"blob"}})", "unknown kind");
  refused(R"({"jsonrpc":"2.0","id":9,"result":{"value":"x","byref":{"3":"7","2":"y"}}})",
          "byref \"2\" is not a by-reference argument");
  refused(R"({"jsonrpc":"2.0","id":9,"result":{"value":"x","byref":{"1":"_0003","3":7}}})",
          "byref \"3\" is not a text");
  refused(R"({"jsonrpc":"2.0","id":9,"error":{"code":1}})", "error without a message");
}

}  // namespace
}  // namespace kve::rpc

namespace kve::rpc {
namespace {

// A framed answer is believed only whole: cut anywhere, it is an error, never fewer tables.
TEST(Frames, AnAnswerCutShortIsRefusedWhereverItStops) {
  std::string body;
  ImagesWriter out(true, 7, [&](std::string_view piece) {
    body += piece;
    return true;
  });
  out.Begin({{2, "_0002"}}, 2);
  out.Image(std::string("\x96\x19\xE0\xBD packet one", 15));
  out.Image(std::string("\x96\x19\xE0\xBD packet two", 15));
  out.End();
  std::string lista = "_0002_0003";
  std::vector<RemoteArg> args = {RemoteArg::Value("0001"), RemoteArg::ByRef(lista)};
  RemoteValue v = DecodeFramedReply(body, 7, args);
  ASSERT_EQ(std::get<std::vector<std::string>>(v.value).size(), 2u);
  EXPECT_EQ(lista, "_0002");
  // Read as it arrives, a byte or a few at a time, it is the same answer.
  for (size_t piece : {1, 3, 7}) {
    lista = "kept";
    FramedReplyReader reader(7);
    for (size_t at = 0; at < body.size(); at += piece) reader.Feed(body.substr(at, piece));
    EXPECT_EQ(reader.Finish(args).value, v.value) << piece;
    EXPECT_EQ(lista, "_0002");
  }
  for (size_t cut = 0; cut < body.size(); ++cut) {
    lista = "kept";
    EXPECT_THROW(DecodeFramedReply(body.substr(0, cut), 7, args), FormatError) << cut;
    EXPECT_EQ(lista, "kept");
  }
  // An error frame after the head is the answer's error.
  std::string failed;
  ImagesWriter bad(true, 7, [&](std::string_view piece) {
    failed += piece;
    return true;
  });
  bad.Begin({}, 2);
  bad.Image("x");
  bad.Error(kInternalError, "GetTabelas: 14_SOLICITA: no such table");
  EXPECT_THROW(DecodeFramedReply(failed, 7, args), RpcError);
}

}  // namespace
}  // namespace kve::rpc
