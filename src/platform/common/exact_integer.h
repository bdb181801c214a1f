#pragma once
// A double as an integer type, only when it holds exactly such an integer. Casting a double
// outside the target's range (or NaN, or an infinity) is undefined behaviour, and a value that
// comes from a file, a server or an edited table may be anything.

#include <cmath>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>

#include <fmt/format.h>

#include "platform/common/error.h"

namespace kve {

// `v` as T when it is a whole number within T's range; nothing for NaN, an infinity, a
// fraction or a value out of range.
template <class T>
std::optional<T> ToExactInteger(double v) {
  static_assert(std::is_integral_v<T> && !std::is_same_v<T, bool>);
  // T's range as doubles: [-2^digits, 2^digits) for signed types, [0, 2^digits) unsigned;
  // both bounds are powers of two, so exact.
  constexpr int digits = std::numeric_limits<T>::digits;
  const double upper = std::ldexp(1.0, digits);
  const double lower = std::is_signed_v<T> ? -upper : 0.0;
  if (!(v >= lower && v < upper) || v != std::trunc(v)) return std::nullopt;
  return static_cast<T>(v);
}

// The same, raising ValueError "WHAT: VALUE is not a whole number" (or "... is out of range
// MIN to MAX", "... is not a number") when it cannot.
template <class T>
T ExactInteger(double v, std::string_view what) {
  if (auto r = ToExactInteger<T>(v)) return *r;
  if (std::isnan(v)) throw ValueError(fmt::format("{}: {} is not a number", what, v));
  if (std::isfinite(v) && v != std::trunc(v))
    throw ValueError(fmt::format("{}: {} is not a whole number", what, v));
  throw ValueError(fmt::format("{}: {} is out of range {} to {}", what, v,
                               std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

}  // namespace kve
