#include "platform/common/exact_integer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace kve {
namespace {

TEST(ExactInteger, TakesWholeNumbersInRangeAndNamesWhatItRefuses) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double v;
    std::optional<int64_t> as64;
    std::optional<int32_t> as32;
    std::optional<uint16_t> asU16;
    const char* error;  // ExactInteger<int32_t>'s text after "QT: "
  };
  const Case cases[] = {
      {0.0, 0, 0, 0, nullptr},
      {-0.0, 0, 0, 0, nullptr},
      {-1.0, -1, -1, std::nullopt, nullptr},
      {65535.0, 65535, 65535, 65535, nullptr},
      {65536.0, 65536, 65536, std::nullopt, nullptr},
      {2147483647.0, 2147483647, 2147483647, std::nullopt, nullptr},
      {2147483648.0, 2147483648LL, std::nullopt, std::nullopt, "2147483648 is out of range"},
      {-2147483648.0, -2147483648LL, INT32_MIN, std::nullopt, nullptr},
      {-2147483649.0, -2147483649LL, std::nullopt, std::nullopt, "-2147483649 is out of range"},
      {-9223372036854775808.0, INT64_MIN, std::nullopt, std::nullopt, "-9.223372036854776e+18 is out of range"},
      {9223372036854775808.0, std::nullopt, std::nullopt, std::nullopt, "9.223372036854776e+18 is out of range"},
      {1e20, std::nullopt, std::nullopt, std::nullopt, "1e+20 is out of range -2147483648 to 2147483647"},
      {-1e20, std::nullopt, std::nullopt, std::nullopt, "-1e+20 is out of range"},
      {0.5, std::nullopt, std::nullopt, std::nullopt, "0.5 is not a whole number"},
      {-2.25, std::nullopt, std::nullopt, std::nullopt, "-2.25 is not a whole number"},
      {nan, std::nullopt, std::nullopt, std::nullopt, "nan is not a number"},
      {inf, std::nullopt, std::nullopt, std::nullopt, "inf is out of range"},
      {-inf, std::nullopt, std::nullopt, std::nullopt, "-inf is out of range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.v);
    EXPECT_EQ(ToExactInteger<int64_t>(c.v), c.as64);
    EXPECT_EQ(ToExactInteger<int32_t>(c.v), c.as32);
    EXPECT_EQ(ToExactInteger<uint16_t>(c.v), c.asU16);
    if (c.error) {
      try {
        ExactInteger<int32_t>(c.v, "QT");
        ADD_FAILURE() << "accepted";
      } catch (const ValueError& e) {
        EXPECT_THAT(e.what(), ::testing::StartsWith(std::string("QT: ") + c.error));
      }
    } else {
      EXPECT_EQ(ExactInteger<int32_t>(c.v, "QT"), *c.as32);
    }
  }
}

}  // namespace
}  // namespace kve
