#include "platform/db/sqlite_database.h"

#include <sqlite3.h>

#include <string>

#include <fmt/format.h>

#include "platform/common/error.h"
#include "platform/db/engine_util.h"
#include "platform/db/result_builder.h"
#include "platform/db/sql_text.h"

namespace kve::db_internal {
namespace {

// Reads go through a memory map of the file (up to 256 MiB) rather than a read() of every
// page into the connection's own 2 MB cache: an export reads most of the database, which that
// cache cannot hold, and copying the pages in was about a fifth of the CPU time of its
// largest statement. Writes still go through the journal as before.
constexpr const char* kMapSizePragma = "PRAGMA mmap_size=268435456;";

// A prepared statement with its parameter names, which SQLite can only look up one by one
// in linear time.
struct Statement {
  sqlite3_stmt* stmt = nullptr;
  std::vector<std::string> params;  // by index - 1; without the colon
};

void Finalize(Statement& s) { sqlite3_finalize(s.stmt); }

// The medium refused the work (an I/O error, a full disk, a read-only or vanished file): an
// IoError, as callers tell a lost database from a bad statement. Anything else is an Error.
[[noreturn]] void ThrowSqlite(int rc, const std::string& text) {
  switch (rc & 0xff) {
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
      throw IoError(text);
    default:
      throw Error(text);
  }
}

class SqliteDatabase final : public Database {
 public:
  SqliteDatabase(std::string path, bool createFile) : path_(std::move(path)) {
    // A connection serves one thread at a time (database.h), so it goes without a mutex of
    // its own: the library would otherwise take one in every call, each value's included.
    const int rc = sqlite3_open_v2(
        path_.c_str(), &db_,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (createFile ? SQLITE_OPEN_CREATE : 0), nullptr);
    if (rc != SQLITE_OK) {
      std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      if (!createFile && (rc & 0xff) == SQLITE_CANTOPEN) msg += " (it does not exist or cannot be written)";
      sqlite3_close(db_);
      db_ = nullptr;
      throw IoError(fmt::format("sqlite: cannot open {}: {}", path_, msg));
    }
    sqlite3_extended_result_codes(db_, 1);
    // The host, the server and the demo loader may share one file: wait for a busy writer
    // instead of failing at once, and let readers run beside it.
    sqlite3_busy_timeout(db_, 10000);
    if (path_ != ":memory:" && !path_.empty())
      sqlite3_exec(db_, SqliteConnectionPragmas(), nullptr, nullptr, nullptr);
  }

  ~SqliteDatabase() override {
    cache_.Clear(Finalize);
    sqlite3_close_v2(db_);
  }

  std::string_view Dialect() const override { return "sqlite"; }

  // The map of the file is what an idle connection holds: every page an export read stays
  // mapped, and counts in the process's resident set once per connection. Without a map the
  // pages stay in the system's cache, and the next use maps them again without reading.
  void Idle() override { sqlite3_exec(db_, "PRAGMA mmap_size=0;", nullptr, nullptr, nullptr); }
  void Resume() override { sqlite3_exec(db_, kMapSizePragma, nullptr, nullptr, nullptr); }

  void ExecuteScript(std::string_view sql) override {
    // A script may change tables that cached statements were prepared against.
    cache_.Clear(Finalize);
    const std::string text(sql);
    char* err = nullptr;
    if (const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &err); rc != SQLITE_OK) {
      const std::string msg = err ? err : sqlite3_errmsg(db_);
      sqlite3_free(err);
      ThrowSqlite(rc, fmt::format("sqlite: {}: {}", FirstLine(sql), msg));
    }
  }

  void Run(std::string_view sql, const std::vector<SqlParam>& params, TClientDataSet* into) override {
    if (into == nullptr) return Query(sql, params, nullptr);
    DatasetReceiver rows;
    Query(sql, params, &rows);
    rows.Finish(*into);
  }

  void RunRows(std::string_view sql, const std::vector<SqlParam>& params, RowReceiver& rows) override {
    Query(sql, params, &rows);
  }

  void Query(std::string_view sql, const std::vector<SqlParam>& params, RowReceiver* rows) {
    const std::string context = fmt::format("sqlite: {}", FirstLine(sql));
    const Statement& prepared = Prepare(sql, context);
    sqlite3_stmt* stmt = prepared.stmt;
    // Leave the statement reset and unbound whatever happens, so the cache can reuse it.
    struct Reset {
      sqlite3_stmt* s;
      ~Reset() { sqlite3_reset(s); sqlite3_clear_bindings(s); }
    } reset{stmt};
    Bind(prepared, params, context);

    const int ncol = sqlite3_column_count(stmt);
    if (ncol > 0 && rows != nullptr) {
      std::vector<ColumnInfo> cols;
      for (int i = 0; i < ncol; ++i) {
        const char* decl = sqlite3_column_decltype(stmt, i);
        cols.push_back(ColumnFromDeclaration(sqlite3_column_name(stmt, i), decl ? decl : ""));
      }
      rows->Begin(std::move(cols), context);
    }
    for (;;) {
      const int rc = sqlite3_step(stmt);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) ThrowSqlite(rc, fmt::format("{}: {}", context, sqlite3_errmsg(db_)));
      if (ncol == 0 || rows == nullptr) continue;
      for (int i = 0; i < ncol; ++i) {
        switch (sqlite3_column_type(stmt, i)) {
          case SQLITE_NULL: rows->Null(i); break;
          case SQLITE_INTEGER: rows->Int(i, sqlite3_column_int64(stmt, i)); break;
          case SQLITE_FLOAT: rows->Float(i, sqlite3_column_double(stmt, i)); break;
          default: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            rows->Text(i, std::string_view(p ? p : "", sqlite3_column_bytes(stmt, i)));
          }
        }
      }
      rows->EndRow();
    }
  }

  void Begin() override { Exec("BEGIN IMMEDIATE"); }
  // The snapshot is taken at the first read; with the WAL journal, writers go on meanwhile.
  void BeginReadOnly() override { Exec("BEGIN DEFERRED"); }
  void Commit() override { Exec("COMMIT"); }
  void Rollback() override {
    if (!sqlite3_get_autocommit(db_)) Exec("ROLLBACK");
  }

 private:
  void Exec(const char* sql) {
    char* err = nullptr;
    if (const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &err); rc != SQLITE_OK) {
      const std::string msg = err ? err : sqlite3_errmsg(db_);
      sqlite3_free(err);
      ThrowSqlite(rc, fmt::format("sqlite: {}: {}", sql, msg));
    }
  }

  const Statement& Prepare(std::string_view sql, const std::string& context) {
    const std::string key(sql);
    if (const Statement* hit = cache_.Find(key)) return *hit;
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (const int rc = sqlite3_prepare_v3(db_, key.data(), static_cast<int>(key.size()),
                                          SQLITE_PREPARE_PERSISTENT, &stmt, &tail);
        rc != SQLITE_OK)
      ThrowSqlite(rc, fmt::format("{}: {}", context, sqlite3_errmsg(db_)));
    if (stmt == nullptr) throw Error(fmt::format("{}: no statement in the text", context));
    sqlite3_stmt* extra = nullptr;
    if (tail && *tail && sqlite3_prepare_v2(db_, tail, -1, &extra, nullptr) == SQLITE_OK && extra) {
      sqlite3_finalize(extra);
      sqlite3_finalize(stmt);
      throw Error(fmt::format("{}: more than one statement in the text", context));
    }
    Statement prepared{stmt, {}};
    const int n = sqlite3_bind_parameter_count(stmt);
    for (int i = 1; i <= n; ++i) {
      const char* raw = sqlite3_bind_parameter_name(stmt, i);
      if (raw == nullptr || raw[0] != ':') {
        sqlite3_finalize(stmt);
        throw Error(fmt::format("{}: only :NAME parameters are supported", context));
      }
      prepared.params.emplace_back(raw + 1);
    }
    return cache_.Add(key, std::move(prepared), Finalize);
  }

  static void Bind(const Statement& prepared, const std::vector<SqlParam>& params, const std::string& context) {
    sqlite3_stmt* stmt = prepared.stmt;
    const ParamIndex index(params);
    for (int i = 1; i <= static_cast<int>(prepared.params.size()); ++i) {
      const std::string& name = prepared.params[i - 1];
      const SqlParam& p = index.Require(name, context, static_cast<size_t>(i - 1));
      int rc = SQLITE_OK;
      switch (p.kind) {
        case SqlParam::Kind::Null: rc = sqlite3_bind_null(stmt, i); break;
        case SqlParam::Kind::Text:
          rc = sqlite3_bind_text(stmt, i, p.text.data(), static_cast<int>(p.text.size()), SQLITE_TRANSIENT);
          break;
        case SqlParam::Kind::Integer: rc = sqlite3_bind_int64(stmt, i, p.integer); break;
        case SqlParam::Kind::Float: rc = sqlite3_bind_double(stmt, i, p.real); break;
        case SqlParam::Kind::Date:
        case SqlParam::Kind::DateTime: {
          // Dates are stored as ISO text, which sorts and compares as the dates do: only
          // within years of four digits ("10000-01-01" sorts before "2026-01-01").
          const int year = p.when.date().year;
          if (year < 0 || year > 9999)
            throw Error(fmt::format("{}: parameter {}: year {} is outside 0000-9999, which SQLite cannot compare",
                                    context, name, year));
          const std::string t = p.kind == SqlParam::Kind::Date ? SqlDateText(p.when) : SqlDateTimeText(p.when);
          rc = sqlite3_bind_text(stmt, i, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
          break;
        }
      }
      if (rc != SQLITE_OK)
        throw Error(fmt::format("{}: parameter {}: {}", context, name, sqlite3_errstr(rc)));
    }
  }

  std::string path_;
  sqlite3* db_ = nullptr;
  StatementCache<Statement> cache_{64};
};

}  // namespace

const char* SqliteConnectionPragmas() {
  static const std::string pragmas = std::string("PRAGMA journal_mode=WAL;\n") + kMapSizePragma;
  return pragmas.c_str();
}

std::unique_ptr<Database> OpenSqlite(const std::string& path, bool createFile) {
  return std::make_unique<SqliteDatabase>(path, createFile);
}

}  // namespace kve::db_internal
