// Requests to the application server as the network hands them over: the first byte sets the
// size of the pieces the connection's bytes arrive in, the rest is everything a client sent.
// Any bytes must end in answers or a closed connection, never in a crash or a hang; an
// answer must be a whole HTTP response.
#include <spdlog/spdlog.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "server/app_server.h"

namespace {

kve::server::AppServer& Server() {
  static std::unique_ptr<kve::server::AppServer> server = [] {
    spdlog::set_level(spdlog::level::off);
    auto file = std::filesystem::temp_directory_path() /
                ("kve-fuzz-server-" + std::to_string(getpid()) + ".db");
    std::filesystem::remove(file);
    kve::server::AppServerOptions o;
    o.dbUrl = "sqlite:" + file.string();
    o.create = true;
    o.maxRequestBytes = 4096;  // small, so that the fuzzer reaches the limit
    return std::make_unique<kve::server::AppServer>(o);
  }();
  return *server;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t piece = data[0] == 0 ? 4096 : data[0];
  std::string out = Server().ServeBytes(
      std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), piece);
  if (!out.empty() && out.rfind("HTTP/1.1 ", 0) != 0) __builtin_trap();
  return 0;
}
