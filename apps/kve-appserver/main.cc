// kve-appserver: serves "Kve07000.rdmExpDados" to the export screens.
//   kve-appserver --db URL --listen 127.0.0.1:PORT [--token T] [--sql DIR] [--create]
// Port 0 takes a free port; the log line "serving ... on HOST:PORT" names it.

#include <atomic>
#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <thread>

#include <CLI/CLI.hpp>
#include <spdlog/spdlog.h>

#include "platform/common/error.h"
#include "server/app_server.h"

namespace {

// "HOST:PORT", the host possibly a bracketed IPv6 address.
bool ParseListen(const std::string& text, std::string& host, int& port) {
  auto colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  std::string p = text.substr(colon + 1);
  if (p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos) return false;
  port = std::stoi(p);
  return port >= 0 && port <= 65535;  // 0: a free port, named in the "serving" line
}

}  // namespace

int main(int argc, char** argv) {
  // Every thread that allocates would get a malloc arena of its own, and an arena keeps the
  // pages of the largest answer its thread ever built: held memory would grow with each
  // connection thread that served an export. Two arenas are enough for two cores' worth of
  // work; the answers are written as they are made, so what a call holds is small anyway.
  mallopt(M_ARENA_MAX, 2);
  CLI::App app{"Application server of the data-export screen (Kve07000.rdmExpDados)"};
  kve::server::AppServerOptions options;
  std::string listen = "127.0.0.1:8211";
  std::string sqlDir;
  app.add_option("--db", options.dbUrl, "database: sqlite:PATH or postgresql://...")->required();
  app.add_option("--listen", listen, "address and port to listen on (default 127.0.0.1:8211; port 0: a free "
                 "one, named in the log line \"serving ... on HOST:PORT\")");
  app.add_option("--token", options.token,
                 "require this bearer token on every call (or set KVE_APPSERVER_TOKEN, which "
                 "keeps it out of the process list)");
  app.add_option("--sql", sqlDir, "folder of SQL files replacing the built-in ones by name");
  app.add_flag("--create", options.create,
               "create a missing SQLite database file and apply the schema steps the database "
               "lacks (otherwise a database without the schema is refused)");
  bool verbose = false;
  app.add_flag("--verbose", verbose, "also log each table of GetTabelas: rows, query and image time");
  CLI11_PARSE(app, argc, argv);

  if (verbose) spdlog::set_level(spdlog::level::debug);
  if (!ParseListen(listen, options.host, options.port)) {
    std::fprintf(stderr, "kve-appserver: --listen \"%s\" is not HOST:PORT\n", listen.c_str());
    return 2;
  }
  if (!sqlDir.empty()) options.sqlFolder = sqlDir;
  if (options.token.empty() && getenv("KVE_APPSERVER_TOKEN")) options.token = getenv("KVE_APPSERVER_TOKEN");

  // SIGTERM and SIGINT are taken by one thread that stops the server; every other thread,
  // the request threads included, has them blocked.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    kve::server::AppServer server(options);
    server.Bind();
    std::atomic<bool> signalled{false};
    std::thread stopper([&] {
      int sig = 0;
      sigwait(&stopSignals, &sig);
      if (!signalled.exchange(true)) {
        spdlog::info("signal {}: stopping", sig);
        server.Stop();
      }
    });
    spdlog::info("serving Kve07000.rdmExpDados on {}:{}{}", options.host, server.Port(),
                 options.token.empty() ? "" : " (token required)");
    server.Serve();
    // Serve also returns if the listening socket fails; then the stopper is still waiting.
    if (!signalled.exchange(true)) pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    spdlog::info("stopped");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kve-appserver: %s\n", e.what());
    return 1;
  }
}
