#pragma once
// What the server tells a monitoring system at GET /metrics, in the Prometheus text exposition
// format (version 0.0.4): calls per method and outcome, a call-duration histogram, bytes sent,
// calls in flight and the database pool's connections. Counters live from start-up; a
// scraper computes the rates.
//
// Method labels are limited to the methods the server knows (anything else counts as
// "unknown"), so a client cannot grow the output by inventing method names.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kve::server {

class Metrics {
 public:
  // Upper bounds of the duration buckets, in seconds: from a GetHistPalm on a warm
  // connection (milliseconds) to a GetTabelas of a large central (tens of seconds).
  static constexpr std::array<double, 12> kBuckets = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                                      0.5,   1,    2.5,   5,    10,  30};

  explicit Metrics(std::vector<std::string> methods);

  // A call under way: counted in flight from Begin() until End() or destruction.
  class Call {
   public:
    explicit Call(Metrics& m);
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    // `failed`: a JSON-RPC error or a method's failure answer.
    void End(std::string_view method, bool failed, double seconds, size_t bytesSent);

   private:
    Metrics* m_;
  };
  Call Begin() { return Call(*this); }

  // A call made with the token of that name (the name only: never the token).
  void CountCaller(std::string_view tokenName);

  struct PoolUse {
    size_t inUse = 0;
    size_t idle = 0;
  };
  std::string Render(PoolUse pool) const;

 private:
  struct PerMethod {
    uint64_t ok = 0;
    uint64_t failed = 0;
    std::array<uint64_t, kBuckets.size()> buckets{};  // not cumulative; summed when rendered
    double seconds = 0;
    uint64_t bytes = 0;
  };

  mutable std::mutex mu_;
  std::map<std::string, PerMethod, std::less<>> methods_;  // the known ones and "unknown"
  int64_t inFlight_ = 0;
  std::map<std::string, uint64_t, std::less<>> callers_;  // token name -> calls
};

}  // namespace kve::server
