#include "server/app_server.h"

#include <httplib.h>
#include <sodium.h>
#include <spdlog/spdlog.h>

#include <malloc.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <optional>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/common/error.h"
#include "platform/dataset/dataset.h"
#include "platform/db/migrate.h"
#include "platform/db/sql_text.h"
#include "platform/net/protocol.h"
#include "server/access.h"
#include "server/db_pool.h"
#include "server/dispatch.h"
#include "server/http_front.h"
#include "server/metrics.h"
#include "server/sql_files.h"
#include "server/tls.h"

namespace kve::server {
namespace {

// Answers are sent as they are. The HTTP library would otherwise compress a JSON reply for a
// client that offers to decompress it, and its default compression takes seconds per
// megabyte: a GetTabelas answer runs to tens of megabytes. It only compresses bodies whose
// type is exactly "application/json", so the type carries its character set.
constexpr const char* kJson = "application/json; charset=utf-8";

// Compares in constant time, so the time taken tells nothing about the token's bytes (its
// length is no secret).
bool SameToken(std::string_view given, std::string_view token) {
  return !token.empty() && given.size() == token.size() &&
         sodium_memcmp(given.data(), token.data(), token.size()) == 0;
}

// Runs a trivial query on a pooled connection: "" when the database answers, else why not. A
// connection that fails is closed, so the next probe opens a fresh one.
std::string CheckDatabase(DatabasePool& pool) {
  try {
    auto db = pool.Acquire();
    try {
      TClientDataSet one;
      db->Run("SELECT 1", {}, &one);
    } catch (...) {
      db.Discard();
      throw;
    }
    return {};
  } catch (const std::exception& e) {
    return e.what()[0] != '\0' ? e.what() : "error";
  }
}

// The name the log and the metrics give calls made with the shared --token: no stored
// token's name can be written this way.
constexpr const char* kSharedTokenName = "(--token)";

// The token a request bears, if it bears one.
std::optional<std::string> BearerToken(const httplib::Request& req) {
  std::string auth = req.get_header_value("Authorization");
  constexpr std::string_view kBearer = "Bearer ";
  if (auth.size() < kBearer.size() || auth.compare(0, kBearer.size(), kBearer) != 0) return std::nullopt;
  return auth.substr(kBearer.size());
}

// An idempotency key is the client's: any visible ASCII, at most the column's width.
bool WellFormedKey(std::string_view key) {
  if (key.empty() || key.size() > 128) return false;
  for (unsigned char c : key)
    if (c < 0x21 || c > 0x7e) return false;
  return true;
}

// The token name of the request this thread serves, from its authentication to its answer.
thread_local std::string tCaller;

}  // namespace

struct AppServer::Impl {
  explicit Impl(AppServerOptions o)
      : options(std::move(o)),
        sql(options.sqlFolder ? SqlFiles::WithOverrides(*options.sqlFolder) : SqlFiles::BuiltIn()),
        pool(options.dbUrl),
        metrics(MethodNames()),
        throttle(options.clock) {}

  void Routes();
  bool StreamTabelas(const httplib::Request& req, httplib::Response& res, const Call& call,
                     std::shared_ptr<CallRecord> record, std::function<void(size_t)> finish);
  // The caller's token name ("" when no token is needed); nullopt when refused. Raises when
  // the database cannot be asked.
  std::optional<std::string> Authenticate(const httplib::Request& req);

  AppServerOptions options;
  SqlFiles sql;
  DatabasePool pool;
  Metrics metrics;
  AuthThrottle throttle;
  // What the database said of tokens, kept for a second: a call then costs no query of its
  // own, and a token added or revoked counts from a second later at the most.
  struct TokenMemory {
    std::mutex mu;
    bool known = false, anyStored = false;
    std::chrono::steady_clock::time_point at{};
    std::unordered_map<std::string, std::pair<std::string, std::chrono::steady_clock::time_point>> names;  // hash -> name
  } tokens;
  HttpFront http;
  int port = 0;
  std::thread thread;
  std::atomic<bool> stopping{false};
};

std::optional<std::string> AppServer::Impl::Authenticate(const httplib::Request& req) {
  constexpr auto kRemembered = std::chrono::seconds(1);
  constexpr size_t kMaxRemembered = 1024;
  const std::optional<std::string> given = BearerToken(req);
  if (given && SameToken(*given, options.token)) return kSharedTokenName;
  const auto now = options.clock();
  const std::string hash = given ? TokenHash(*given) : std::string();
  {
    std::lock_guard lock(tokens.mu);
    if (given) {
      auto it = tokens.names.find(hash);
      if (it != tokens.names.end() && now - it->second.second < kRemembered) return it->second.first;
    }
    if (options.token.empty() && tokens.known && !tokens.anyStored && now - tokens.at < kRemembered) return "";
  }
  TokenLookup found;
  {
    auto db = pool.Acquire();
    try {
      found = LookUpToken(*db, given.value_or(""));
    } catch (...) {
      db.Discard();
      throw;
    }
  }
  {
    std::lock_guard lock(tokens.mu);
    tokens.known = true;
    tokens.anyStored = found.anyStored;
    tokens.at = now;
    // Only tokens found are remembered: wrong ones cannot fill the memory.
    if (found.name) {
      if (tokens.names.size() >= kMaxRemembered) tokens.names.clear();
      tokens.names[hash] = {*found.name, now};
    }
  }
  if (found.name) return *found.name;
  if (options.token.empty() && !found.anyStored) return "";
  return std::nullopt;
}

void AppServer::Impl::Routes() {
  const std::string path = "/" + std::string(rpc::kServerName);
  http.set_payload_max_length(options.maxRequestBytes);
  http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    tCaller.clear();
    // A health probe carries no credentials and learns only up or down; see README.md.
    if (req.path == "/healthz") return httplib::Server::HandlerResponse::Unhandled;
    auto refuse = [&](int status, std::string text) {
      res.status = status;
      res.set_content(std::move(text), "text/plain");
      // The body was not read: what follows on the connection is not the next request.
      res.set_header("Connection", "close");
      HttpFront::CloseAfterThisAnswer();
      return httplib::Server::HandlerResponse::Handled;
    };
    if (long left = throttle.BlockedFor(req.remote_addr)) {
      res.set_header("Retry-After", std::to_string(left));
      spdlog::warn("{} {} from {} refused: too many failed authentications (429)", LogText(req.method),
                   LogText(req.path), LogText(req.remote_addr));
      return refuse(429, "too many failed authentications from this address; retry in " +
                             std::to_string(left) + " s\n");
    }
    std::optional<std::string> caller;
    try {
      caller = Authenticate(req);
    } catch (const std::exception& e) {
      spdlog::warn("{} {} refused: the token could not be checked: {}", LogText(req.method),
                   LogText(req.path), LogText(e.what()));
      return refuse(503, "the token could not be checked: database unreachable\n");
    }
    if (caller) {
      tCaller = std::move(*caller);
      return httplib::Server::HandlerResponse::Unhandled;
    }
    res.set_header("WWW-Authenticate", "Bearer");
    const bool blocked = throttle.Failed(req.remote_addr);
    spdlog::warn("{} {} from {} refused: token missing or wrong{}", LogText(req.method), LogText(req.path),
                 LogText(req.remote_addr), blocked ? "; the address is refused for a while" : "");
    return refuse(401, "token missing or refused\n");
  });
  http.Get(path, [](const httplib::Request&, httplib::Response& res) {
    res.set_content(Describe(), kJson);
  });
  http.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
    std::string fault = CheckDatabase(pool);
    res.status = fault.empty() ? 200 : 503;
    res.set_content(fault.empty() ? "ok\n" : "database unreachable\n", "text/plain");
    if (!fault.empty()) spdlog::warn("health check: database unreachable: {}", LogText(fault));
  });
  http.Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
    auto use = pool.CurrentUse();
    res.set_content(metrics.Render({use.inUse, use.idle}), "text/plain; version=0.0.4; charset=utf-8");
  });
  // The body is read here, piece by piece, so that the limit holds whatever the transfer
  // encoding: the library itself checks only a declared Content-Length, and would buffer a
  // chunked body of any size.
  http.Post(path, [this](const httplib::Request& req, httplib::Response& res,
                         const httplib::ContentReader& content) {
    std::string body;
    bool over = false;
    bool read = content([&](const char* data, size_t n) {
      if (body.size() + n > options.maxRequestBytes) {
        over = true;
        return false;
      }
      body.append(data, n);
      return true;
    });
    if (!read) {
      over = over || res.status == 413;
      res.status = over ? 413 : 400;
      res.set_content(over ? "request body over " + std::to_string(options.maxRequestBytes) + " bytes\n"
                           : std::string("request body could not be read\n"),
                      "text/plain");
      res.set_header("Connection", "close");
      HttpFront::CloseAfterThisAnswer();
      spdlog::warn("{} {} refused: {}", LogText(req.method), LogText(req.path),
                   over ? "body over the limit (413)" : "body could not be read");
      return;
    }
    auto t0 = std::chrono::steady_clock::now();
    auto counted = std::make_shared<Metrics::Call>(metrics);
    auto record = std::make_shared<CallRecord>();
    record->caller = tCaller;
    auto finish = [this, t0, counted, record, in = body.size()](size_t sent) {
      double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
      counted->End(record->method, record->failed, ms / 1000, sent);
      if (!record->caller.empty()) metrics.CountCaller(record->caller);
      if (record->failed)
        spdlog::warn("{}", CallLogLine(*record, ms, in, sent));
      else
        spdlog::info("{}", CallLogLine(*record, ms, in, sent));
    };
    Call call;
    if (auto fault = ReadCall(body, call, *record)) {
      finish(fault->size());
      res.set_content(std::move(*fault), kJson);
      return;
    }
    if (call.method == "GetTabelas" && StreamTabelas(req, res, call, record, finish)) return;
    std::string key = req.get_header_value("Idempotency-Key");
    if (req.has_header("Idempotency-Key") && !WellFormedKey(key)) {
      res.status = 400;
      res.set_content("Idempotency-Key: expected 1 to 128 visible ASCII characters\n", "text/plain");
      record->failed = true;
      record->error = "malformed Idempotency-Key header";
      finish(0);
      return;
    }
    std::string reply = Dispatch(
        body,
        [this, &key](const std::function<Answer(RdmExpDados&)>& run) {
          auto db = pool.Acquire();
          RdmExpDados module(*db, sql);
          module.SetIdempotencyKey(key);
          Answer a = run(module);
          if (a.failed) db.Discard();
          return a;
        },
        *record);
    finish(reply.size());
    res.set_content(std::move(reply), kJson);
  });
}

// GetTabelas answered as it is made: each table's image is written out as soon as it is read,
// so a call holds one image at a time rather than the whole answer several times over. A
// failure found before the answer begins (arguments, branches, the database) is answered as
// ever; after, it ends the answer as an error (see ImagesWriter). False: not streamed, the
// caller answers as usual (no database connection could be had).
bool AppServer::Impl::StreamTabelas(const httplib::Request& req, httplib::Response& res,
                                    const Call& call, std::shared_ptr<CallRecord> record,
                                    std::function<void(size_t)> finish) {
  std::optional<DatabasePool::Lease> lease;
  try {
    lease.emplace(pool.Acquire());
  } catch (const std::exception&) {
    return false;
  }
  struct Streamed {
    DatabasePool::Lease db;
    RdmExpDados module;
    RdmExpDados::TabelasPlan plan;
    Streamed(DatabasePool::Lease l, const SqlFiles& sql) : db(std::move(l)), module(*db, sql) {}
  };
  auto st = std::make_shared<Streamed>(std::move(*lease), sql);
  try {
    st->plan = st->module.PlanTabelas(call.args);
  } catch (const std::exception& e) {
    st->db.Discard();
    RemoteValue text;
    text.value = std::string("GetTabelas: ") + e.what();
    record->failed = true;
    record->error = std::get<std::string>(text.value);
    std::string reply = rpc::EncodeAnswer(call.id, text, RdmExpDados::TabelasReceived(call.args));
    finish(reply.size());
    res.set_content(std::move(reply), kJson);
    return true;
  }
  const bool frames = req.get_header_value("Accept").find(rpc::kFramesType) != std::string::npos;
  res.set_chunked_content_provider(
      frames ? std::string(rpc::kFramesType) : std::string(kJson),
      [st, record, finish, frames, id = call.id](size_t, httplib::DataSink& sink) {
        struct Gone {};
        rpc::ImagesWriter out(frames, id, [&](std::string_view piece) {
          return sink.write(piece.data(), piece.size());
        });
        try {
          out.Begin(st->plan.byref, kTableSlots);
          st->module.ReadTabelas(st->plan, [&](std::string_view image) {
            out.Image(image);
            if (out.ClientGone()) throw Gone{};
          });
          out.End();
        } catch (const Gone&) {
          record->failed = true;
          record->error = "the client went away during the answer";
          st->db.Discard();
        } catch (const std::exception& e) {
          record->failed = true;
          record->error = std::string("GetTabelas: ") + e.what();
          st->db.Discard();
          out.Error(rpc::kInternalError, record->error);
        }
        finish(out.Bytes());
        if (!out.ClientGone()) sink.done();
        // Give the freed pages of the images back to the system now rather than at the next
        // large call: the server's resident set then stays near what calls under way need.
        RowArena::ReleaseKeptChunks();
        malloc_trim(0);
        return !out.ClientGone();
      });
  return true;
}

AppServer::AppServer(AppServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
  const std::string& url = impl_->options.dbUrl;
  try {
    if (impl_->options.create) MigrateDatabase(*Database::Open(url, /*createFile=*/true));
    auto db = impl_->pool.Acquire();  // proves the URL; the connection stays in the pool
    const int have = AppliedSchemaVersion(*db), want = LatestSchemaVersion();
    if (have == 0)
      throw Error("it holds no schema of this program (apply it with kve-demo-data --schema-only, "
                  "or start the server with --create)");
    if (have != want)
      throw Error("its schema is version " + std::to_string(have) + ", this server needs " +
                  std::to_string(want) + (have < want ? " (start the server once with --create to bring it up to date)" : ""));
  } catch (const Error&) {
    RethrowWithContext("application server: database " + db_internal::RedactUrl(url));
  } catch (const std::exception& e) {
    throw Error("application server: database " + db_internal::RedactUrl(url) + ": " + e.what());
  }
  if (impl_->options.tlsCert.empty() != impl_->options.tlsKey.empty())
    throw Error("application server: TLS needs both a certificate (--tls-cert) and its key (--tls-key)");
  if (!impl_->options.tlsCert.empty()) ReloadTls();
  impl_->Routes();
}

void AppServer::ReloadTls() {
  impl_->http.SetTls(LoadServerTls(impl_->options.tlsCert, impl_->options.tlsKey));
}

bool AppServer::Tls() const { return !impl_->options.tlsCert.empty(); }

AppServer::~AppServer() { Stop(); }

void AppServer::Bind() {
  auto& o = impl_->options;
  std::string where = o.port == 0 ? o.host : o.host + ":" + std::to_string(o.port);
  errno = 0;
  if (o.port == 0) {
    impl_->port = impl_->http.BindExclusiveAnyPort(o.host);
  } else if (impl_->http.BindExclusive(o.host, o.port)) {
    impl_->port = o.port;
  }
  if (impl_->port <= 0) {
    int err = errno;
    throw IoError("application server: cannot listen on " + where +
                  (err != 0 ? std::string(": ") + std::strerror(err) : std::string()));
  }
}

int AppServer::Port() const { return impl_->port; }

std::string AppServer::ServeBytes(std::string_view bytes, size_t piece) {
  return kve::server::ServeBytes(impl_->http, bytes, piece);
}

void AppServer::Serve() {
  if (!impl_->stopping) impl_->http.listen_after_bind();
}

void AppServer::Start() {
  Bind();  // the socket listens from here on; calls wait in its queue until Serve runs
  impl_->thread = std::thread([this] { Serve(); });
}

void AppServer::Stop() {
  impl_->stopping = true;
  // Ends the accept loop at once, or makes Serve return as soon as it starts; Serve returns
  // when every accepted connection has been served.
  impl_->http.StopAccepting();
  if (impl_->thread.joinable()) impl_->thread.join();
}

}  // namespace kve::server
