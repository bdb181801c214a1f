#include "platform/net/base64.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "platform/common/error.h"

namespace kve {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(Base64, EncodesTheStandardVectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (auto [plain, coded] : vectors) {
    EXPECT_EQ(Base64Encode(plain), coded);
    EXPECT_EQ(Base64Decode(coded), plain);
  }
}

TEST(Base64, RoundTripsEveryByteAtEveryLength) {
  std::mt19937 rng(7);
  for (size_t n = 0; n < 200; ++n) {
    std::string bytes(n, '\0');
    for (auto& c : bytes) c = static_cast<char>(rng());
    ASSERT_EQ(Base64Decode(Base64Encode(bytes)), bytes) << n;
  }
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

TEST(Base64, RefusesWhatIsNotBase64NamingWhere) {
  EXPECT_THAT([] { Base64Decode("Zm9"); }, ThrowsMessage<FormatError>(HasSubstr("length 3")));
  EXPECT_THAT([] { Base64Decode("Zm9vY!Fy"); }, ThrowsMessage<FormatError>(HasSubstr("offset 5")));
  EXPECT_THAT([] { Base64Decode("Zm=vYmFy"); }, ThrowsMessage<FormatError>(HasSubstr("offset 2")));
  EXPECT_THAT([] { Base64Decode("Zm9v\nYmFy"); }, ThrowsMessage<FormatError>(HasSubstr("length")));
  EXPECT_THAT([] { Base64Decode("Zg=a"); }, ThrowsMessage<FormatError>(HasSubstr("offset")));
  EXPECT_THAT([] { Base64Decode("===="); }, ThrowsMessage<FormatError>(HasSubstr("offset")));
  // "Zh==" would decode like "Zg==": the unused low bits must be zero.
  EXPECT_THAT([] { Base64Decode("Zh=="); }, ThrowsMessage<FormatError>(HasSubstr("offset 1")));
}

}  // namespace
}  // namespace kve
