#include "platform/net/json_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/error.h"
#include "platform/net/protocol.h"

namespace kve::rpc {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(JsonReader, ReadsWhatTheGeneralLibraryReads) {
  const char* docs[] = {
      R"({"jsonrpc":"2.0","id":-12,"result":{"value":["QUJD","",null],"byref":{"2":"_0002"}}})",
      R"( [ true , false , null , 0 , -0.5 , 1e3 , 2.5E-2 , 9223372036854775807 ] )",
      R"({"t":"a\"b\\c\/d\b\f\n\r\t","u":"\u00e3\u20ac\ud83d\ude00","raw":"São João ✓"})",
      R"({"nested":[[[{"a":[]}]]],"empty":{},"big":1e308})",
      R"("just a text")",
  };
  for (const char* d : docs) EXPECT_EQ(ReadJson(d), json::parse(d)) << d;
}

TEST(JsonReader, RefusesWhatIsNotJsonNamingTheOffset) {
  struct Case {
    const char* text;
    const char* why;
  } cases[] = {
      {"", "offset 0: value expected"},
      {"{\"a\":1,}", "member name expected"},
      {"[1 2]", "']' or ',' expected"},
      {"\"abc", "unterminated text"},
      {"\"a\nb\"", "offset 2: control character"},
      {"\"\\x\"", "unknown escape"},
      {"\"\\ud800x\"", "lone surrogate"},
      {"\"\\u12zz\"", "bad \\u escape"},
      {"\"\\u12\"", "short \\u escape"},
      {"01", "offset 1: text after the value"},
      {"1.", "digit expected after '.'"},
      {"-", "value expected"},
      {"1e", "exponent"},
      {"tru", "unknown word"},
      {"{} x", "text after the value"},
      {"1e999", "out of range"},
  };
  for (const Case& c : cases)
    EXPECT_THAT([&] { ReadJson(c.text); }, ThrowsMessage<FormatError>(HasSubstr(c.why))) << c.text;
  std::string deep(100, '[');
  EXPECT_THAT([&] { ReadJson(deep); }, ThrowsMessage<FormatError>(HasSubstr("nested too deeply")));
}

// Two bytes of text make some fifty of memory: the count of values is what bounds it.
TEST(JsonReader, HoldsAtMostTheValuesAnAnswerMayHave) {
  const auto zeros = [](size_t n) {  // an array and n values in it
    std::string t = "[0";
    for (size_t i = 1; i < n; ++i) t += ",0";
    return t + "]";
  };
  EXPECT_EQ(ReadJson(zeros(kMaxJsonValues - 1)).size(), kMaxJsonValues - 1);
  EXPECT_THAT([&] { ReadJson(zeros(kMaxJsonValues)); },
              ThrowsMessage<FormatError>(HasSubstr("more values than an answer holds")));
}

TEST(JsonReader, DirectAnswerEncodingMatchesTheGeneralOne) {
  RemoteValue images;
  images.value = std::vector<std::string>{std::string("\x96\x19\xE0\xBD\x01", 5), "", "ab"};
  std::map<int, std::string> byref = {{2, "_0002\"x"}, {10, "7"}};
  for (json id : {json(5), json("call-9")}) {
    EXPECT_EQ(ReadJson(EncodeAnswer(id, images, byref)),
              json::parse(EncodeResponse(id, EncodeResult(images, byref))));
  }
  RemoteValue text{std::string("erro: \"aspas\""), false};
  EXPECT_EQ(EncodeAnswer(1, text, {}), EncodeResponse(1, EncodeResult(text, {})));
}

}  // namespace
}  // namespace kve::rpc
