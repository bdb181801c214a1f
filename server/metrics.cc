#include "server/metrics.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace kve::server {
namespace {

constexpr std::string_view kUnknown = "unknown";

// Prometheus reads floats in Go's syntax; "{}" gives the shortest text that reads back exact.
std::string Num(double v) { return fmt::format("{}", v); }

template <typename... T>
void Line(std::string& out, fmt::format_string<T...> format, T&&... args) {
  fmt::format_to(std::back_inserter(out), format, std::forward<T>(args)...);
}

// A label value as the text format quotes it.
std::string LabelValue(std::string_view v) {
  std::string out;
  for (char c : v) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out;
}

}  // namespace

void Metrics::CountCaller(std::string_view tokenName) {
  std::lock_guard lock(mu_);
  auto it = callers_.find(tokenName);
  if (it == callers_.end()) it = callers_.emplace(std::string(tokenName), 0).first;
  ++it->second;
}

Metrics::Metrics(std::vector<std::string> methods) {
  for (auto& m : methods) methods_[std::move(m)];
  methods_[std::string(kUnknown)];
}

Metrics::Call::Call(Metrics& m) : m_(&m) {
  std::lock_guard lock(m_->mu_);
  ++m_->inFlight_;
}

Metrics::Call::~Call() {
  if (m_ == nullptr) return;
  std::lock_guard lock(m_->mu_);
  --m_->inFlight_;
}

void Metrics::Call::End(std::string_view method, bool failed, double seconds, size_t bytesSent) {
  if (m_ == nullptr) return;  // counted once
  Metrics& m = *m_;
  m_ = nullptr;
  std::lock_guard lock(m.mu_);
  --m.inFlight_;
  auto it = m.methods_.find(method);
  if (it == m.methods_.end()) it = m.methods_.find(kUnknown);
  PerMethod& p = it->second;
  ++(failed ? p.failed : p.ok);
  auto bucket = std::lower_bound(kBuckets.begin(), kBuckets.end(), seconds);
  if (bucket != kBuckets.end()) ++p.buckets[static_cast<size_t>(std::distance(kBuckets.begin(), bucket))];
  p.seconds += seconds;
  p.bytes += bytesSent;
}

std::string Metrics::Render(PoolUse pool) const {
  std::lock_guard lock(mu_);
  std::string out;

  Line(out, "# HELP kve_appserver_calls_total JSON-RPC calls answered, by method and outcome.\n");
  Line(out, "# TYPE kve_appserver_calls_total counter\n");
  for (const auto& [name, p] : methods_) {
    Line(out, "kve_appserver_calls_total{{method=\"{}\",outcome=\"ok\"}} {}\n", name, p.ok);
    Line(out, "kve_appserver_calls_total{{method=\"{}\",outcome=\"failed\"}} {}\n", name, p.failed);
  }

  Line(out, "# HELP kve_appserver_call_duration_seconds Time from a call's request body to its answer.\n");
  Line(out, "# TYPE kve_appserver_call_duration_seconds histogram\n");
  for (const auto& [name, p] : methods_) {
    uint64_t cumulative = 0;
    for (size_t i = 0; i < kBuckets.size(); ++i) {
      cumulative += p.buckets[i];
      Line(out, "kve_appserver_call_duration_seconds_bucket{{method=\"{}\",le=\"{}\"}} {}\n", name,
           Num(kBuckets[i]), cumulative);
    }
    Line(out, "kve_appserver_call_duration_seconds_bucket{{method=\"{}\",le=\"+Inf\"}} {}\n", name,
         p.ok + p.failed);
    Line(out, "kve_appserver_call_duration_seconds_sum{{method=\"{}\"}} {}\n", name, Num(p.seconds));
    Line(out, "kve_appserver_call_duration_seconds_count{{method=\"{}\"}} {}\n", name, p.ok + p.failed);
  }

  Line(out, "# HELP kve_appserver_sent_bytes_total Bytes of JSON-RPC answer bodies sent, by method.\n");
  Line(out, "# TYPE kve_appserver_sent_bytes_total counter\n");
  for (const auto& [name, p] : methods_)
    Line(out, "kve_appserver_sent_bytes_total{{method=\"{}\"}} {}\n", name, p.bytes);

  Line(out, "# HELP kve_appserver_token_calls_total JSON-RPC calls answered, by the name of the token that made them.\n");
  Line(out, "# TYPE kve_appserver_token_calls_total counter\n");
  for (const auto& [name, n] : callers_)
    Line(out, "kve_appserver_token_calls_total{{token=\"{}\"}} {}\n", LabelValue(name), n);

  Line(out, "# HELP kve_appserver_calls_in_flight JSON-RPC calls being served now.\n");
  Line(out, "# TYPE kve_appserver_calls_in_flight gauge\n");
  Line(out, "kve_appserver_calls_in_flight {}\n", inFlight_);

  Line(out, "# HELP kve_appserver_db_connections Database connections of the pool, by state.\n");
  Line(out, "# TYPE kve_appserver_db_connections gauge\n");
  Line(out, "kve_appserver_db_connections{{state=\"in_use\"}} {}\n", pool.inUse);
  Line(out, "kve_appserver_db_connections{{state=\"idle\"}} {}\n", pool.idle);
  return out;
}

}  // namespace kve::server
