#pragma once
// A small seeded generator (splitmix64): the same seed gives the same demo on every machine
// and standard library, which the standard distributions do not promise.

#include <cstdint>
#include <string_view>
#include <vector>

namespace kve::demo {

class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // In [lo, hi], both included. REQUIRES: lo <= hi.
  int Between(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1)); }
  bool Chance(int percent) { return Between(1, 100) <= percent; }
  // A value with `decimals` places in [lo, hi].
  double Amount(double lo, double hi, int decimals) {
    double scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    const auto steps = static_cast<int64_t>((hi - lo) * scale);
    return lo + static_cast<double>(static_cast<int64_t>(Next() % static_cast<uint64_t>(steps + 1))) / scale;
  }
  template <typename T>
  const T& Pick(const std::vector<T>& v) { return v[Next() % v.size()]; }

 private:
  uint64_t state_;
};

}  // namespace kve::demo
