// kve-appserver: serves "Kve07000.rdmExpDados" to the export screens.
//   kve-appserver --db URL --listen 127.0.0.1:PORT [--token T] [--tls-cert FILE --tls-key FILE]
//                 [--sql DIR] [--create]
//   kve-appserver token add NAME --db URL | token list --db URL | token revoke NAME --db URL
// Port 0 takes a free port; the log line "serving ... on HOST:PORT" names it. SIGHUP loads
// the TLS certificate and key again.

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
#include "platform/dataset/value_text.h"
#include "platform/db/database.h"
#include "platform/db/migrate.h"
#include "platform/db/sql_text.h"
#include "server/access.h"
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

// The token commands: the database must carry the schema (the server's own check is not run).
int TokenCommand(const std::string& action, const std::string& name, const std::string& url) {
  try {
    auto db = kve::Database::Open(url, /*createFile=*/false);
    const int have = kve::AppliedSchemaVersion(*db), want = kve::LatestSchemaVersion();
    if (have < want)
      throw kve::Error("its schema is version " + std::to_string(have) + ", tokens need " + std::to_string(want) +
                       " (start the server once with --create, or apply it with kve-demo-data --schema-only)");
    if (action == "add") {
      std::string token = kve::server::AddToken(*db, name);
      std::printf("%s\n", token.c_str());
      std::fprintf(stderr, "token \"%s\" added; it is shown only this once: put it in the "
                   "workstation's [server] token\n", name.c_str());
    } else if (action == "list") {
      for (const auto& t : kve::server::ListTokens(*db))
        std::printf("%s\t%s\n", t.name.c_str(), kve::FormatDateTimeText(t.created).c_str());
    } else if (!kve::server::RevokeToken(*db, name)) {
      std::fprintf(stderr, "kve-appserver: no token is named \"%s\"\n", name.c_str());
      return 1;
    } else {
      std::fprintf(stderr, "token \"%s\" revoked: its calls are refused from now on\n", name.c_str());
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kve-appserver: token %s: database %s: %s\n", action.c_str(),
                 kve::db_internal::RedactUrl(url).c_str(), e.what());
    return 1;
  }
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
  app.add_option("--db", options.dbUrl, "database: sqlite:PATH or postgresql://...");
  app.add_option("--listen", listen, "address and port to listen on (default 127.0.0.1:8211; port 0: a free "
                 "one, named in the log line \"serving ... on HOST:PORT\")");
  app.add_option("--token", options.token,
                 "require this bearer token on every call (or set KVE_APPSERVER_TOKEN, which "
                 "keeps it out of the process list)");
  app.add_option("--sql", sqlDir, "folder of SQL files replacing the built-in ones by name");
  app.add_flag("--create", options.create,
               "create a missing SQLite database file and apply the schema steps the database "
               "lacks (otherwise a database without the schema is refused)");
  app.add_option("--tls-cert", options.tlsCert, "serve HTTPS only, with this certificate chain (PEM)");
  app.add_option("--tls-key", options.tlsKey, "the private key of --tls-cert (PEM)");
  bool verbose = false;
  app.add_flag("--verbose", verbose, "also log each table of GetTabelas: rows, query and image time");
  std::string tokenAction, tokenName, tokenDb;
  auto* token = app.add_subcommand("token", "workstation tokens kept in the database (their hash only)");
  token->require_subcommand(1);
  for (const char* action : {"add", "list", "revoke"}) {
    auto* sub = token->add_subcommand(action, std::string(action) == "add" ? "add a token; prints it once"
                                              : std::string(action) == "list" ? "list token names and creation times"
                                                                               : "revoke a token by name");
    if (std::string(action) != "list") sub->add_option("NAME", tokenName, "the workstation's name")->required();
    sub->add_option("--db", tokenDb, "database: sqlite:PATH or postgresql://...")->required();
    sub->callback([&tokenAction, action] { tokenAction = action; });
  }
  CLI11_PARSE(app, argc, argv);
  if (!tokenAction.empty()) return TokenCommand(tokenAction, tokenName, tokenDb);
  if (options.dbUrl.empty()) {
    std::fprintf(stderr, "kve-appserver: --db is required\n");
    return 2;
  }

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
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    kve::server::AppServer server(options);
    server.Bind();
    std::atomic<bool> signalled{false};
    std::thread stopper([&] {
      for (;;) {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        if (sig == SIGHUP) {
          if (!server.Tls()) continue;
          try {
            server.ReloadTls();
            spdlog::info("SIGHUP: TLS certificate loaded again from {}", options.tlsCert);
          } catch (const std::exception& e) {
            spdlog::error("SIGHUP: {}; serving on with the certificate loaded before", e.what());
          }
          continue;
        }
        if (!signalled.exchange(true)) {
          spdlog::info("signal {}: stopping", sig);
          server.Stop();
        }
        return;
      }
    });
    spdlog::info("serving Kve07000.rdmExpDados on {}:{}{}{}", options.host, server.Port(),
                 server.Tls() ? " over TLS" : "", options.token.empty() ? "" : " (token required)");
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
