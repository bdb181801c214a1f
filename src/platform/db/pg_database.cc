#include "platform/db/pg_database.h"

#include <libpq-fe.h>

#include <exception>

#include <cctype>
#include <memory>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/db/engine_util.h"
#include "platform/db/result_builder.h"
#include "platform/db/sql_text.h"

namespace kve::db_internal {
namespace {

// Type OIDs a parameter is sent as. Texts go as "unknown", so the server types them from
// where they stand (a text compared with an integer column still works).
Oid ParamType(SqlParam::Kind k) {
  switch (k) {
    case SqlParam::Kind::Integer: return 20;    // int8
    case SqlParam::Kind::Float: return 701;     // float8
    case SqlParam::Kind::Date: return 1082;     // date
    case SqlParam::Kind::DateTime: return 1114; // timestamp
    default: return 0;
  }
}

std::string Trimmed(const char* s) {
  std::string m = s ? s : "";
  while (!m.empty() && std::isspace(static_cast<unsigned char>(m.back()))) m.pop_back();
  return m;
}

// Unquoted names come back folded to lower case; the system's names are upper case.
std::string ColumnName(const char* raw) {
  std::string n = raw;
  for (char c : n)
    if (std::isupper(static_cast<unsigned char>(c))) return n;
  return AsciiUppered(n);
}

// A result that is cleared on every way out.
struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// A text with its :NAME parameters numbered as the server wants them.
struct Rewritten {
  std::string text;
  std::vector<std::string> names;  // by number - 1
};

void AppendCopyText(std::string_view v, std::string* out) {
  for (char ch : v) {
    switch (ch) {
      case '\\': *out += "\\\\"; break;
      case '\t': *out += "\\t"; break;
      case '\n': *out += "\\n"; break;
      case '\r': *out += "\\r"; break;
      default: *out += ch;
    }
  }
}

struct Prepared {
  std::string name;                 // server-side statement name
  std::vector<std::string> params;  // parameter names by number
};

class PgDatabase final : public Database {
 public:
  explicit PgDatabase(const std::string& url) : url_(RedactUrl(url)) {
    // An unreachable host must fail in bounded time; a connect_timeout in the URL wins,
    // as later parameters override earlier ones.
    const char* keys[] = {"connect_timeout", "dbname", nullptr};
    const char* values[] = {"10", url.c_str(), nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (conn_ == nullptr || PQstatus(conn_) != CONNECTION_OK) {
      const std::string msg = Trimmed(conn_ ? PQerrorMessage(conn_) : "out of memory");
      PQfinish(conn_);
      conn_ = nullptr;
      throw IoError(fmt::format("postgresql: cannot connect to {}: {}", url_, msg));
    }
    PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
    Exec("SET client_encoding TO 'UTF8'; SET DateStyle TO 'ISO, YMD'", "postgresql: session set-up");
    std::string_view settings = PgSessionSettings();
    while (!settings.empty()) {
      const size_t end = settings.find('\n');
      const std::string line(settings.substr(0, end));
      settings.remove_prefix(end == std::string_view::npos ? settings.size() : end + 1);
      PQclear(PQexec(conn_, line.c_str()));  // an older server lacks plan_cache_mode: keep going
    }
  }

  ~PgDatabase() override { PQfinish(conn_); }

  std::string_view Dialect() const override { return "postgresql"; }

  void ExecuteScript(std::string_view sql) override {
    // A script may change the tables that prepared statements were planned against.
    DropPrepared();
    Exec(std::string(sql), fmt::format("postgresql: {}", FirstLine(sql)));
  }

  void Run(std::string_view sql, const std::vector<SqlParam>& params, TClientDataSet* into) override {
    if (into == nullptr) return Query(sql, params, nullptr);
    DatasetReceiver rows;
    Query(sql, params, &rows);
    rows.Finish(*into);
  }

  // The rows are fetched one at a time (single-row mode), so that neither the client library
  // nor the receiver holds the whole result of a large statement.
  void RunRows(std::string_view sql, const std::vector<SqlParam>& params, RowReceiver& rows) override {
    Query(sql, params, &rows, /*oneByOne=*/true);
  }

  void Query(std::string_view sql, const std::vector<SqlParam>& params, RowReceiver* rows,
             bool oneByOne = false) {
    const std::string context = fmt::format("postgresql: {}", FirstLine(sql));
    const std::string source(sql);
    const Rewritten* rw = rewrites_.Find(source);
    if (rw == nullptr) {
      Rewritten fresh;
      fresh.text = NumberParams(sql, &fresh.names);
      rw = &rewrites_.Add(source, std::move(fresh), [](Rewritten&) {});
    }
    const std::string& text = rw->text;
    const std::vector<std::string>& names = rw->names;

    std::vector<const SqlParam*> bound;
    const ParamIndex index(params);
    std::string key = text;
    key += '\0';
    for (const std::string& n : names) {
      bound.push_back(&index.Require(n, context, bound.size()));
      key += static_cast<char>('0' + static_cast<int>(bound.back()->kind));
    }

    Prepared* prep = cache_.Find(key);
    if (prep == nullptr) {
      std::vector<Oid> types;
      for (const SqlParam* p : bound) types.push_back(ParamType(p->kind));
      Prepared fresh{fmt::format("kve_{}", ++serial_), names};
      Result r(PQprepare(conn_, fresh.name.c_str(), text.c_str(), static_cast<int>(types.size()),
                         types.empty() ? nullptr : types.data()));
      Check(r.get(), context);
      prep = &cache_.Add(key, std::move(fresh), [this](Prepared& p) { Deallocate(p.name); });
    }

    std::vector<std::string> values(bound.size());
    std::vector<const char*> ptrs(bound.size());
    for (size_t i = 0; i < bound.size(); ++i) {
      const SqlParam& p = *bound[i];
      switch (p.kind) {
        case SqlParam::Kind::Null: ptrs[i] = nullptr; continue;
        case SqlParam::Kind::Text: ptrs[i] = p.text.c_str(); continue;
        case SqlParam::Kind::Integer: values[i] = std::to_string(p.integer); break;
        case SqlParam::Kind::Float: values[i] = fmt::format("{}", p.real); break;
        case SqlParam::Kind::Date: values[i] = SqlDateText(p.when); break;
        case SqlParam::Kind::DateTime: values[i] = SqlDateTimeText(p.when); break;
      }
      ptrs[i] = values[i].c_str();
    }
    if (oneByOne && rows != nullptr) return FetchOneByOne(prep->name, ptrs, *rows, context);
    Result owner(PQexecPrepared(conn_, prep->name.c_str(), static_cast<int>(ptrs.size()),
                                ptrs.empty() ? nullptr : ptrs.data(), nullptr, nullptr, 0));
    PGresult* r = owner.get();
    Check(r, context);
    if (PQresultStatus(r) != PGRES_TUPLES_OK || rows == nullptr) return;

    const int ncol = PQnfields(r);
    std::vector<ColumnInfo> cols;
    for (int i = 0; i < ncol; ++i)
      cols.push_back(ColumnFromPgType(ColumnName(PQfname(r, i)), PQftype(r, i), PQfmod(r, i)));
    rows->Begin(std::move(cols), context);
    const int nrow = PQntuples(r);
    for (int row = 0; row < nrow; ++row) {
      for (int i = 0; i < ncol; ++i) {
        if (PQgetisnull(r, row, i)) rows->Null(i);
        else rows->Text(i, std::string_view(PQgetvalue(r, row, i), PQgetlength(r, row, i)));
      }
      rows->EndRow();
    }
  }

  void FetchOneByOne(const std::string& statement, const std::vector<const char*>& ptrs,
                     RowReceiver& rows, const std::string& context) {
    if (!PQsendQueryPrepared(conn_, statement.c_str(), static_cast<int>(ptrs.size()),
                             ptrs.empty() ? nullptr : ptrs.data(), nullptr, nullptr, 0))
      Check(nullptr, context);
    PQsetSingleRowMode(conn_);
    // However it ends, the connection is left with no result pending: a receiver that gives
    // up stops the statement rather than reading the rest of it.
    struct Drain {
      PGconn* conn;
      ~Drain() {
        if (std::uncaught_exceptions() > 0) {
          if (PGcancel* c = PQgetCancel(conn)) {
            char err[256];
            PQcancel(c, err, sizeof err);
            PQfreeCancel(c);
          }
        }
        while (PGresult* r = PQgetResult(conn)) PQclear(r);
      }
    } drain{conn_};
    bool begun = false;
    while (PGresult* raw = PQgetResult(conn_)) {
      Result owner(raw);
      const ExecStatusType st = PQresultStatus(raw);
      if (st != PGRES_SINGLE_TUPLE && st != PGRES_TUPLES_OK) {
        Check(raw, context);
        continue;
      }
      const int ncol = PQnfields(raw);
      if (!begun) {
        std::vector<ColumnInfo> cols;
        for (int i = 0; i < ncol; ++i)
          cols.push_back(ColumnFromPgType(ColumnName(PQfname(raw, i)), PQftype(raw, i), PQfmod(raw, i)));
        rows.Begin(std::move(cols), context);
        begun = true;
      }
      for (int row = 0; row < PQntuples(raw); ++row) {
        for (int i = 0; i < ncol; ++i) {
          if (PQgetisnull(raw, row, i)) rows.Null(i);
          else rows.Text(i, std::string_view(PQgetvalue(raw, row, i), PQgetlength(raw, row, i)));
        }
        rows.EndRow();
      }
    }
  }

  void InsertRows(std::string_view table, const std::vector<std::string>& columns,
                  const std::vector<std::vector<SqlParam>>& rows) override {
    RequireIdentifier(table, table);
    for (const std::string& c : columns) RequireIdentifier(c, table);
    if (rows.empty()) return;
    const std::string context = fmt::format("postgresql: COPY {}", table);
    Result start(PQexec(conn_, fmt::format("COPY {} ({}) FROM STDIN", table, fmt::join(columns, ", ")).c_str()));
    if (PQresultStatus(start.get()) != PGRES_COPY_IN) Check(start.get(), context);

    // COPY's text form: tab between values, \N for null, backslash escapes.
    std::string buf;
    std::string failure;
    for (size_t r = 0; r < rows.size() && failure.empty(); ++r) {
      if (rows[r].size() != columns.size()) {
        failure = fmt::format("row {} has {} values for {} columns", r + 1, rows[r].size(), columns.size());
        break;
      }
      for (size_t c = 0; c < columns.size(); ++c) {
        if (c) buf += '\t';
        const SqlParam& p = rows[r][c];
        switch (p.kind) {
          case SqlParam::Kind::Null: buf += "\\N"; break;
          case SqlParam::Kind::Text: AppendCopyText(p.text, &buf); break;
          case SqlParam::Kind::Integer: buf += std::to_string(p.integer); break;
          case SqlParam::Kind::Float: buf += fmt::format("{}", p.real); break;
          case SqlParam::Kind::Date: buf += SqlDateText(p.when); break;
          case SqlParam::Kind::DateTime: buf += SqlDateTimeText(p.when); break;
        }
      }
      buf += '\n';
      if (buf.size() >= (1 << 20) || r + 1 == rows.size()) {
        if (PQputCopyData(conn_, buf.data(), static_cast<int>(buf.size())) != 1) failure = Trimmed(PQerrorMessage(conn_));
        buf.clear();
      }
    }
    // Ending the copy with an error message makes the server reject everything sent.
    PQputCopyEnd(conn_, failure.empty() ? nullptr : failure.c_str());
    Result end(PQgetResult(conn_));
    while (PGresult* extra = PQgetResult(conn_)) PQclear(extra);
    if (!failure.empty()) throw Error(fmt::format("{}: {}", context, failure));
    Check(end.get(), context);
  }

  void Begin() override { Exec("BEGIN", "postgresql: BEGIN"); }
  // A plain transaction would let each statement see the rows committed meanwhile.
  void BeginReadOnly() override {
    Exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", "postgresql: BEGIN READ ONLY");
  }
  void Commit() override { Exec("COMMIT", "postgresql: COMMIT"); }
  void Rollback() override {
    if (PQtransactionStatus(conn_) != PQTRANS_IDLE) Exec("ROLLBACK", "postgresql: ROLLBACK");
  }

 private:
  // Raises the engine's message; a lost connection is an IoError naming the server.
  void Check(const PGresult* r, const std::string& context) {
    const ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK || st == PGRES_EMPTY_QUERY) return;
    const std::string msg = Trimmed(r ? PQresultErrorMessage(r) : PQerrorMessage(conn_));
    if (PQstatus(conn_) != CONNECTION_OK)
      throw IoError(fmt::format("{}: connection to {} lost: {}", context, url_, msg));
    // The server's medium refused the work, as SQLite's disk errors: a full disk (53100), a
    // system or I/O error (class 58), a read-only database (25006).
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    const std::string_view code = state ? state : "";
    if (code == "53100" || code.substr(0, 2) == "58" || code == "25006")
      throw IoError(fmt::format("{}: {}", context, msg));
    throw Error(fmt::format("{}: {}", context, msg));
  }

  void Exec(const std::string& sql, const std::string& context) {
    Result r(PQexec(conn_, sql.c_str()));
    Check(r.get(), context);
  }

  void Deallocate(const std::string& name) {
    // Inside a failed transaction nothing runs; the statement then stays until the session
    // ends, which costs only its memory on the server.
    if (PQtransactionStatus(conn_) == PQTRANS_INERROR) return;
    PQclear(PQexec(conn_, fmt::format("DEALLOCATE {}", name).c_str()));
  }

  void DropPrepared() {
    cache_.Clear([](Prepared&) {});
    if (PQtransactionStatus(conn_) != PQTRANS_INERROR) PQclear(PQexec(conn_, "DEALLOCATE ALL"));
  }

  std::string url_;  // without password, for messages
  PGconn* conn_ = nullptr;
  StatementCache<Rewritten> rewrites_{64};
  StatementCache<Prepared> cache_{64};
  int serial_ = 0;
};

}  // namespace

// Statements are prepared once per connection and run many times. After five runs the
// server would switch to a generic plan, costed without the values: it takes any date range
// for a sliver of the table, and plans the request items of a two-month export (300,000 rows)
// as if they were 1,500, without a parallel scan. A plan for the values at hand costs about
// a millisecond against statements that run for seconds. The sort of those items in key
// order (some 60 MB) fits in memory instead of spilling to disk.
const char* PgSessionSettings() {
  return "SET plan_cache_mode TO force_custom_plan\n"
         "SET work_mem TO '64MB'";
}

std::unique_ptr<Database> OpenPostgres(const std::string& url) {
  return std::make_unique<PgDatabase>(url);
}

}  // namespace kve::db_internal
