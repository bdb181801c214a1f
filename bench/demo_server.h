#pragma once
// A demo central kitchen filled and served by a process of its own, so that what a benchmark
// measures in its own process (memory, the window's thread) is the client's. Fork it before
// any thread starts.

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/dataset/datetime.h"
#include "server/app_server.h"
#include "support/demo_query.h"

namespace kve::bench {

struct DemoServer {
  pid_t pid = -1;
  int port = 0;  // 0: it did not start
};

// Fills the SQLite demo at `url` at `scale` (telling how long it took, under `label`) and
// serves it until the caller ends the process.
inline DemoServer ForkDemoServer(const std::string& url, int scale, TDateTime today, const char* label) {
  int ports[2];
  std::fflush(stdout);
  if (::pipe(ports) != 0) return {};
  DemoServer s;
  s.pid = ::fork();
  if (s.pid == 0) {
    ::close(ports[0]);
    const auto t0 = std::chrono::steady_clock::now();
    testing::FillDemo(url, scale, today);
    std::printf("%s: demo at scale %d filled in %.1f s\n", label, scale,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    std::fflush(stdout);
    server::AppServerOptions so;
    so.dbUrl = url;
    server::AppServer srv(so);
    srv.Start();
    const int port = srv.Port();
    if (::write(ports[1], &port, sizeof port) != sizeof port) ::_exit(2);
    ::close(ports[1]);
    for (;;) ::pause();  // until the bench ends it
  }
  ::close(ports[1]);
  if (s.pid < 0 || ::read(ports[0], &s.port, sizeof s.port) != sizeof s.port) s.port = 0;
  ::close(ports[0]);
  return s;
}

}  // namespace kve::bench
