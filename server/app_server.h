#pragma once
// The application server process: serves "Kve07000.rdmExpDados" over HTTP (POST
// /Kve07000.rdmExpDados with a JSON-RPC body; GET on the same path describes the methods).
// Stateless: each call takes a database connection from a pool and leaves nothing behind, so
// several servers can run side by side behind a proxy.

#include <chrono>
#include <cstddef>
#include <functional>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace kve::server {

struct AppServerOptions {
  std::string dbUrl;               // "sqlite:PATH" or "postgresql://..."
  std::string host = "127.0.0.1";  // loopback unless told otherwise
  int port = 0;                    // 0: any free port (see Port())
  // A shared token: calls bearing it are let in (named "(--token)" in the log). Tokens stored
  // in the database (table KVEACESSO, `kve-appserver token add`) are let in by their name.
  // When neither is set every call is let in; otherwise one without a known token gets 401.
  std::string token;
  // Both or neither: serve HTTPS only, with this certificate chain and key (PEM).
  std::string tlsCert, tlsKey;
  // The clock of the failed-authentication throttle (tests step it).
  std::function<std::chrono::steady_clock::time_point()> clock = &std::chrono::steady_clock::now;
  std::optional<std::filesystem::path> sqlFolder;  // files replacing the built-in SQL by name
  size_t maxRequestBytes = size_t{1} << 20;         // larger bodies get 413
  // Create a missing SQLite file and apply the schema steps the database lacks. Otherwise a
  // database without this program's schema version is refused at start-up.
  bool create = false;
};

class AppServer {
 public:
  // Opens one database connection to prove the URL works and the schema is the one this
  // program knows; raises Error naming the database otherwise.
  explicit AppServer(AppServerOptions options);
  ~AppServer();  // stops
  AppServer(const AppServer&) = delete;
  AppServer& operator=(const AppServer&) = delete;

  // Binds the listening socket; raises IoError naming host and port when it cannot.
  void Bind();
  int Port() const;
  // Serves until Stop(); REQUIRES: Bind().
  void Serve();
  // Bind, then serve on a thread of its own (tests, embedding).
  void Start();
  // Safe from any thread and from a signal-waiting thread; calls under way finish first.
  void Stop();
  // Loads the certificate and key files again; connections from now on use them, those open
  // keep the old ones. Raises Error naming the file when they cannot be used: the server then
  // keeps serving with the ones it had.
  void ReloadTls();
  bool Tls() const;

  // Runs the bytes a client sent on one connection through the server without a socket,
  // handed over in pieces of at most `piece` bytes as the network may; returns what the
  // server wrote back. For tests and fuzzing.
  std::string ServeBytes(std::string_view bytes, size_t piece);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kve::server
