// What TLS costs the link: the same server database served by two servers in this process,
// one plain and one over TLS (throw-away certificates made at start), and the same client.
//
//   tls_bench [--scale N] [--runs R] [--calls C]
//
// Prints, plain and TLS side by side in the same run, and TLS as a ratio to plain:
//   gettabelas   median wall time of R GetTabelas calls of the demo central at scale N
//                (default 100), after one warm-up, each on a fresh connection (the
//                handshake counts)
//   keep-alive   calls per second of C GetHistPalm calls on one kept-alive connection
//                (best of R rounds)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <spdlog/spdlog.h>
#include <unistd.h>

#include "platform/net/net_connection.h"
#include "server/app_server.h"
#include "server/tls_fixture.h"
#include "support/demo_query.h"
#include "support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;
const kve::TDateTime kToday = kve::TDateTime::FromDate({2026, 12, 7});

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void Link(kve::TNetConnection& link, int port, bool tls, const std::string& ca) {
  link.SetHost("127.0.0.1");
  link.SetPort(port);
  link.SetTimeout(std::chrono::minutes(10));
  link.SetTls({tls, ca, {}});
  link.SetConnected(true);
}

// Seconds of one GetTabelas on a fresh connection.
double GetTabelas(int port, bool tls, const std::string& ca, size_t& bytes) {
  using namespace kve;
  auto t0 = Clock::now();
  TNetConnection link;
  Link(link, port, tls, ca);
  std::string lista, nrSolic = "0", status = "T";
  auto from = RemoteArg::OfDate(TDateTime::FromDate({2026, 11, 1}));
  auto to = RemoteArg::OfDate(TDateTime::FromDate({2026, 12, 31}));
  std::vector<RemoteArg> args = {RemoteArg::Value("0001"), RemoteArg::ByRef(lista), from, to, from, to, from, to,
                                 RemoteArg::Value("3"), RemoteArg::ByRef(nrSolic), RemoteArg::ByRef(status),
                                 RemoteArg::Value(""), RemoteArg::Value("000000000007")};
  link.Call("GetTabelas", args);
  bytes = link.LastCall().replyBytes;
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Calls per second of `calls` GetHistPalm on one kept-alive connection.
double KeepAlive(int port, bool tls, const std::string& ca, int calls) {
  using namespace kve;
  TNetConnection link;
  Link(link, port, tls, ca);
  auto t0 = Clock::now();
  for (int i = 0; i < calls; ++i) {
    std::vector<RemoteArg> args = {RemoteArg::Value("0001"), RemoteArg::Value("P01")};
    link.Call("GetHistPalm", args);
  }
  return calls / std::chrono::duration<double>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kve;
  int scale = 100, runs = 3, calls = 2000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--scale")) scale = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--calls")) calls = std::atoi(argv[i + 1]);
  }
  spdlog::set_level(spdlog::level::warn);  // a log line per call would be timed too
  testing::TempFolder dir;
  const std::string url = "sqlite:" + (dir / "bench.db").string();
  try {
    auto t0 = Clock::now();
    testing::FillDemo(url, scale, kToday);
    std::printf("demo at scale %d filled in %.1f s\n", scale,
                std::chrono::duration<double>(Clock::now() - t0).count());
    testing_tls::TestCertificates certs(dir.path());
    const auto files = certs.Server("server");
    server::AppServerOptions o;
    o.dbUrl = url;
    server::AppServer plain(o);
    plain.Start();
    o.tlsCert = files.cert;
    o.tlsKey = files.key;
    server::AppServer tls(o);
    tls.Start();
    const std::string ca = certs.CaFile();

    size_t bytes = 0;
    GetTabelas(plain.Port(), false, ca, bytes);  // warm-up: the file's pages in memory
    GetTabelas(tls.Port(), true, ca, bytes);
    std::vector<double> p, t;
    for (int r = 0; r < runs; ++r) {  // interleaved, so a busy moment of the machine hits both
      p.push_back(GetTabelas(plain.Port(), false, ca, bytes));
      t.push_back(GetTabelas(tls.Port(), true, ca, bytes));
    }
    std::printf("gettabelas  (%zu bytes, median of %d)  plain %.3f s  tls %.3f s  tls/plain %.3f\n", bytes,
                runs, Median(p), Median(t), Median(t) / Median(p));

    double bestPlain = 0, bestTls = 0;
    for (int r = 0; r < runs; ++r) {
      bestPlain = std::max(bestPlain, KeepAlive(plain.Port(), false, ca, calls));
      bestTls = std::max(bestTls, KeepAlive(tls.Port(), true, ca, calls));
    }
    std::printf("keep-alive  (%d GetHistPalm, best of %d)  plain %.0f calls/s  tls %.0f calls/s  tls/plain %.3f\n",
                calls, runs, bestPlain, bestTls, bestTls / bestPlain);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tls_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
