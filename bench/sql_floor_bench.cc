// The server's 26 GetTabelas statements against their floor: the engine's own shell (sqlite3,
// psql) running the same statements with the same parameters on the same data, in the same run.
//
//   sql_floor_bench [--scale N] [--runs R] [--pg URL] [--only sqlite|postgresql] [--plans]
//                   [--per-statement]
//
// Without --pg, KVE_TEST_PG_URL names the PostgreSQL server; with neither, SQLite alone runs.
// Per engine, after one warm-up round, each of R rounds times, one after the other:
//   statements  the server's database path: the 26 statements on one pooled connection in one
//               read-only transaction, as GetTabelas runs them, their rows handed over as the
//               server's image writer takes them (here only counted)
//   GetTabelas  the whole module call (statements and the table images)
//   shell       the shell running the same 26 statements, inside the same kind of transaction,
//               printing the rows unaligned to /dev/null; less the same shell started on an
//               empty transaction (its start-up and connection, which the pooled server does
//               not pay), whose fastest run is printed as "start-up"
// and prints min and median of each, and the ratios of the medians to the shell's. The machine
// may be shared, so each is given as wall time and as CPU time: the server thread's or the
// shell's, and on PostgreSQL (when its server runs on this machine) the database server's
// processes' too, read from /proc. SQLite's
// shell runs twice: as installed, and with the pragmas the server sets on its connections;
// psql likewise, without and with the server's session settings.
// The rows each shell printed are counted once and must equal the server's.
// --plans prints each statement's plan (EXPLAIN QUERY PLAN; EXPLAIN ANALYZE on PostgreSQL);
// --per-statement the server's median time of each statement.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "support/demo_query.h"
#include "platform/db/pg_database.h"
#include "platform/db/result_builder.h"
#include "platform/db/sqlite_database.h"
#include "server/image_layouts.h"
#include "server/rdm_exp_dados.h"
#include "server/sql_files.h"
#include "server/sql_params.h"

namespace {

using namespace kve;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}
double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}
double Min(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Wall and CPU time of one step, in ms.
struct Time {
  double wall = 0, cpu = 0;
};
struct Times {
  std::vector<double> wall, cpu;
  void Add(Time t) {
    wall.push_back(t.wall);
    cpu.push_back(t.cpu);
  }
};

const TDateTime kToday = TDateTime::FromDate({2026, 12, 7});
const std::vector<std::string> kArgs = {"0001", "", "2026-11-01", "2026-12-31", "2026-11-01",
                                        "2026-12-31", "2026-11-01", "2026-12-31", "3", "0", "T",
                                        "", "000000000007"};

// The values GetTabelas binds for kArgs: the central, three half-open date ranges, the product
// filter, and every aggregated branch of the central (the empty list).
server::SqlValues Values(Database& db, const server::SqlFiles& sql) {
  server::SqlValues v;
  v.SetText("P_CDFILIAL", kArgs[0]);
  const char* ranges[] = {"DTCARD", "DTSOLI", "DTAF"};
  for (int r = 0; r < 3; ++r) {
    TDateTime from = *ParseIsoDate(kArgs[2 + 2 * r]), to = *ParseIsoDate(kArgs[3 + 2 * r]);
    v.SetDate(fmt::format("P_{}INI", ranges[r]), from);
    v.SetDate(fmt::format("P_{}FIM", ranges[r]), to);
    v.SetDate(fmt::format("P_{}LIM", ranges[r]), TDateTime::FromMs(to.ms() + kMsPerDay));
  }
  v.SetInteger("P_NRNIVEIS", 3);
  v.SetInteger("P_NRSOLIC", 0);
  v.SetText("P_IDSTATUS", "T");
  v.SetText("P_CDGRUPPROD", "");
  v.SetText("P_CDOPERADOR", kArgs[12]);
  auto branches = v.Prepare(sql.Text("branches", db.Dialect()), "branches");
  TClientDataSet rows;
  db.Run(branches.sql, branches.params, &rows);
  std::vector<std::string> list;
  for (rows.First(); !rows.Eof(); rows.Next()) list.push_back(rows.FieldByName("CDFILIAL").AsString());
  v.SetList("P_LISTAAGREG", list);
  return v;
}

struct Statement {
  std::string table;
  server::SqlValues::Prepared prepared;
};

std::vector<Statement> Statements(Database& db) {
  server::SqlFiles sql = server::SqlFiles::BuiltIn();
  server::SqlValues v = Values(db, sql);
  std::vector<Statement> out;
  for (int slot = 0; slot < server::kTableSlots; ++slot) {
    const std::string& table = server::SlotLayout(slot).table;
    std::string file = fmt::format("{:02}_{}", slot, table);
    out.push_back({table, v.Prepare(sql.Text(file, db.Dialect()), file)});
  }
  return out;
}

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("''") : std::string(1, c);
  return q + "'";
}

// A parameter as a literal of the psql script, typed as the server binds it.
std::string PgLiteral(const SqlParam& p) {
  switch (p.kind) {
    case SqlParam::Kind::Null: return "NULL";
    case SqlParam::Kind::Integer: return std::to_string(p.integer);
    case SqlParam::Kind::Float: return fmt::format("{}", p.real);
    case SqlParam::Kind::Date: return "DATE " + Quoted(db_internal::SqlDateText(p.when));
    case SqlParam::Kind::DateTime: return "TIMESTAMP " + Quoted(db_internal::SqlDateTimeText(p.when));
    default: return Quoted(p.text);
  }
}

// The statement's text with its parameters as psql literals (psql 15 cannot bind them).
std::string PgText(const Statement& s) {
  std::string out, sql = s.prepared.sql;
  size_t i = 0;
  while (i < sql.size()) {
    if (sql[i] == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      size_t e = sql.find('\n', i);
      i = e == std::string::npos ? sql.size() : e;
      continue;
    }
    if (sql[i] == ':' && i + 1 < sql.size() && sql[i + 1] == 'P') {
      size_t e = i + 1;
      while (e < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[e])) || sql[e] == '_')) ++e;
      std::string name = sql.substr(i + 1, e - i - 1);
      auto p = std::find_if(s.prepared.params.begin(), s.prepared.params.end(),
                            [&](const SqlParam& q) { return q.name == name; });
      if (p == s.prepared.params.end()) throw std::runtime_error("no value for :" + name);
      out += PgLiteral(*p);
      i = e;
      continue;
    }
    out += sql[i++];
  }
  return out;
}

// The shell's script: the transaction, and the statements (or only their plans).
std::string SqliteScript(const std::vector<Statement>& st, bool pragmas, bool body, bool plans) {
  std::string out = ".bail on\n";
  if (pragmas) out += db_internal::SqliteConnectionPragmas() + std::string("\n");
  for (const auto& s : st)
    for (const auto& p : s.prepared.params) {
      std::string value = p.kind == SqlParam::Kind::Integer ? std::to_string(p.integer)
                          : p.kind == SqlParam::Kind::Null  ? "NULL"
                          : p.kind == SqlParam::Kind::Date  ? Quoted(db_internal::SqlDateText(p.when))
                          : p.kind == SqlParam::Kind::DateTime
                              ? Quoted(db_internal::SqlDateTimeText(p.when))
                              : Quoted(p.text);
      // The shell strips one level of quotes from a dot-command's arguments: a text literal
      // goes inside double quotes, or '0001' would be bound as the integer 1.
      std::string arg;
      for (char c : value) arg += (c == '"' || c == '\\') ? std::string{'\\', c} : std::string(1, c);
      out += fmt::format(".parameter set :{} \"{}\"\n", p.name, arg);
    }
  out += "BEGIN DEFERRED;\n";
  if (body)
    for (const auto& s : st) {
      if (plans) out += fmt::format(".print '-- {}'\nEXPLAIN QUERY PLAN ", s.table);
      out += s.prepared.sql + ";\n";
    }
  return out + "COMMIT;\n";
}

std::string PgScript(const std::vector<Statement>& st, bool settings, bool body, bool plans) {
  std::string out = "\\set ON_ERROR_STOP 1\n";
  if (settings) {
    std::istringstream lines(db_internal::PgSessionSettings());
    for (std::string line; std::getline(lines, line);) out += line + ";\n";
  }
  out += "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY;\n";
  if (body)
    for (const auto& s : st) {
      if (plans) out += fmt::format("\\echo '-- {}'\nEXPLAIN (ANALYZE, BUFFERS) ", s.table);
      out += PgText(s) + ";\n";
    }
  return out + "COMMIT;\n";
}

void Write(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

extern "C" char** environ;

// The CPU time of a local PostgreSQL server: its postmaster, the processes it runs now, and
// those it has reaped (a shell's backend, parallel workers). Zero when the server is not on
// this machine.
class PgServerCpu {
 public:
  explicit PgServerCpu(Database& db) {
    TClientDataSet r;
    db.Run("SELECT pg_backend_pid() AS PID", {}, &r);
    const long backend = r.FieldByName("PID").AsInteger();
    // A remote server's backend number may name some other process here.
    auto isPostgres = [](long pid) {
      std::ifstream in(fmt::format("/proc/{}/comm", pid));
      std::string comm;
      return std::getline(in, comm) && comm.rfind("postgres", 0) == 0;
    };
    if (isPostgres(backend)) postmaster_ = Field(fmt::format("/proc/{}/status", backend), "PPid:");
    if (postmaster_ > 0 && !isPostgres(postmaster_)) postmaster_ = 0;
    if (postmaster_ > 0) steady_ = Children();
  }
  bool Local() const { return postmaster_ > 0; }
  double Ms() {
    if (!Local()) return 0;
    // A shell's backend ends after the shell does: wait until the postmaster reaped every
    // process it started since (their time is then its children's).
    for (int i = 0; i < 200; ++i) {
      auto now = Children();
      if (std::all_of(now.begin(), now.end(), [&](long c) {
            return std::find(steady_.begin(), steady_.end(), c) != steady_.end();
          }))
        break;
      usleep(5000);
    }
    double ticks = Stat(postmaster_, true);
    for (long c : Children()) ticks += Stat(c, false);
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  }

 private:
  static long Field(const std::string& file, const char* key) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
      if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
    return 0;
  }
  std::vector<long> Children() const {
    std::vector<long> out;
    for (const auto& e : fs::directory_iterator("/proc")) {
      const std::string n = e.path().filename().string();
      if (!n.empty() && std::isdigit(static_cast<unsigned char>(n[0])) &&
          Field(e.path().string() + "/status", "PPid:") == postmaster_)
        out.push_back(std::atol(n.c_str()));
    }
    return out;
  }
  // utime + stime (and, for the postmaster, its reaped children's) in clock ticks.
  static double Stat(long pid, bool withChildren) {
    std::ifstream in(fmt::format("/proc/{}/stat", pid));
    std::string text((std::istreambuf_iterator<char>(in)), {});
    size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream f(text.substr(close + 2));
    std::vector<std::string> v;
    for (std::string x; f >> x && v.size() < 20;) v.push_back(x);
    if (v.size() < 15) return 0;
    // Fields 14-17 of the file (utime, stime, cutime, cstime) are 11-14 after the name.
    double t = std::atof(v[11].c_str()) + std::atof(v[12].c_str());
    if (withChildren) t += std::atof(v[13].c_str()) + std::atof(v[14].c_str());
    return t;
  }
  long postmaster_ = 0;
  std::vector<long> steady_;  // the server's own processes and our connection's backend
};

// Runs a shell command: its wall time, and the CPU time of the process and what it waited
// for (the database's work for a SQLite shell; psql's database work is the server's, which
// PgServerCpu reads). Fails the benchmark when the command fails.
Time Timed(const std::string& cmd) {
  auto t = Clock::now();
  const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
    throw std::runtime_error("cannot start /bin/sh");
  int status = 0;
  rusage ru{};
  if (wait4(pid, &status, 0, &ru) != pid) throw std::runtime_error("lost the shell: " + cmd);
  Time out{Ms(t), 0};
  auto ms = [](const timeval& v) { return v.tv_sec * 1e3 + v.tv_usec / 1e3; };
  out.cpu = ms(ru.ru_utime) + ms(ru.ru_stime);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("failed (" + std::to_string(status) + "): " + cmd);
  return out;
}

size_t Lines(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return static_cast<size_t>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
}

struct Shell {
  std::string name, run, empty;  // commands: the statements, and the empty transaction
  Times ms, startup;
  Times Net() const {
    Times n;
    for (size_t i = 0; i < ms.wall.size(); ++i)
      n.Add({ms.wall[i] - Min(startup.wall), ms.cpu[i] - Min(startup.cpu)});
    return n;
  }
};

void RunEngine(const std::string& engine, const std::string& url, int scale, int runs,
               bool plans, bool perStatement, const fs::path& work, const std::string& sqliteFile) {
  auto t0 = Clock::now();
  if (auto db = testing::FillDemo(url, scale, kToday); engine == "postgresql")
    db->ExecuteScript("VACUUM ANALYZE");
  std::printf("%s: demo at scale %d filled in %.1f s\n", engine.c_str(), scale, Ms(t0) / 1000);

  auto db = Database::Open(url, false);
  auto st = Statements(*db);
  const bool pg = engine == "postgresql";
  std::vector<Shell> shells;
  auto add = [&](std::string name, const std::string& stem, const std::string& full,
                 const std::string& empty, const std::string& launch) {
    Write(work / (stem + ".sql"), full);
    Write(work / (stem + "-empty.sql"), empty);
    shells.push_back({std::move(name),
                      fmt::format("{} < {} > /dev/null", launch, (work / (stem + ".sql")).string()),
                      fmt::format("{} < {} > /dev/null", launch, (work / (stem + "-empty.sql")).string()),
                      {},
                      {}});
  };
  if (pg) {
    std::string launch = fmt::format("psql -X -q -A -t -d '{}'", url);
    add("psql", "psql", PgScript(st, false, true, false), PgScript(st, false, false, false), launch);
    add("psql+settings", "psql-settings", PgScript(st, true, true, false),
        PgScript(st, true, false, false), launch);
    if (plans) {
      Write(work / "plans.sql", PgScript(st, true, true, true));
      std::fflush(stdout);
      Timed(fmt::format("{} < {}", launch, (work / "plans.sql").string()));
    }
  } else {
    std::string launch = fmt::format("sqlite3 -batch {}", sqliteFile);
    add("sqlite3", "sqlite", SqliteScript(st, false, true, false), SqliteScript(st, false, false, false),
        launch);
    add("sqlite3+pragmas", "sqlite-pragmas", SqliteScript(st, true, true, false),
        SqliteScript(st, true, false, false), launch);
    if (plans) {
      Write(work / "plans.sql", SqliteScript(st, false, true, true));
      std::fflush(stdout);
      Timed(fmt::format("{} < {}", launch, (work / "plans.sql").string()));
    }
  }

  std::unique_ptr<PgServerCpu> server_cpu;
  if (pg) server_cpu = std::make_unique<PgServerCpu>(*db);
  const bool cpu = !pg || server_cpu->Local();
  auto dbCpu = [&] { return server_cpu ? server_cpu->Ms() : 0.0; };

  // The server's path: one pooled connection, the module on it as the server builds it.
  server::SqlFiles files = server::SqlFiles::BuiltIn();
  server::RdmExpDados module(*db, files);
  // The rows as the engine hands them to the server's image writer, here only counted.
  struct Counter final : RowReceiver {
    size_t rows = 0, bytes = 0;
    void Begin(std::vector<ResultColumn>, std::string) override {}
    void Null(int) override {}
    void Int(int, int64_t) override { bytes += 8; }
    void Float(int, double) override { bytes += 8; }
    void Text(int, std::string_view v) override { bytes += v.size(); }
    void EndRow() override { ++rows; }
  } counter;
  Times statements, call;
  std::vector<Times> each(st.size());
  for (int r = 0; r <= runs; ++r) {
    counter.rows = 0;
    double d = dbCpu();  // read outside the timed steps: it walks /proc
    auto t = Clock::now();
    double c = ThreadCpuMs();
    db->BeginReadOnly();
    for (size_t i = 0; i < st.size(); ++i) {
      auto ti = Clock::now();
      double ci = ThreadCpuMs();
      db->RunRows(st[i].prepared.sql, st[i].prepared.params, counter);
      if (r > 0) each[i].Add({Ms(ti), ThreadCpuMs() - ci});
    }
    db->Commit();
    Time sm{Ms(t), ThreadCpuMs() - c};
    sm.cpu += dbCpu() - d;
    d = dbCpu();
    t = Clock::now();
    c = ThreadCpuMs();
    server::Answer a = module.GetTabelas(kArgs);
    Time cm{Ms(t), ThreadCpuMs() - c};
    cm.cpu += dbCpu() - d;
    if (a.failed) throw std::runtime_error(std::get<std::string>(a.value.value));
    for (auto& sh : shells) {
      d = dbCpu();
      Time ms = Timed(sh.run);
      ms.cpu += dbCpu() - d;
      d = dbCpu();
      Time empty = Timed(sh.empty);
      empty.cpu += dbCpu() - d;
      if (r == 0) continue;
      sh.ms.Add(ms);
      sh.startup.Add(empty);
    }
    if (r == 0) continue;  // warm-up
    statements.Add(sm);
    call.Add(cm);
  }
  // Every shell printed the server's rows: one line each (beyond what the empty transaction
  // prints, such as a pragma's answer).
  auto printed = [&](const std::string& cmd) {
    fs::path out = work / "rows.txt";
    Timed(cmd.substr(0, cmd.rfind("> /dev/null")) + "> " + out.string());
    return Lines(out);
  };
  for (const auto& sh : shells) {
    size_t lines = printed(sh.run) - printed(sh.empty);
    if (lines != counter.rows)
      throw std::runtime_error(
          fmt::format("{} printed {} rows, the server read {}", sh.name, lines, counter.rows));
  }

  std::printf("%s: %zu rows in the 26 statements\n", engine.c_str(), counter.rows);
  auto line = [&](const std::string& what, const Times& t) {
    std::printf("%s: %-24s wall min %8.1f median %8.1f ms", engine.c_str(), what.c_str(), Min(t.wall),
                Median(t.wall));
    if (cpu) std::printf("   cpu min %8.1f median %8.1f ms", Min(t.cpu), Median(t.cpu));
    std::printf("\n");
  };
  line("statements", statements);
  line("GetTabelas", call);
  for (const auto& sh : shells) {
    line(sh.name, sh.Net());
    line(sh.name + " start-up", sh.startup);
  }
  auto ratio = [&](const char* what, const std::vector<double>& ours, const std::vector<double>& floor) {
    return fmt::format("{} {:.2f}x (min {:.2f}x)", what, Median(ours) / Median(floor), Min(ours) / Min(floor));
  };
  for (const auto& sh : shells) {
    auto net = sh.Net();
    std::printf("%s: against %s: statements %s", engine.c_str(), sh.name.c_str(),
                ratio("wall", statements.wall, net.wall).c_str());
    if (cpu) std::printf(", %s", ratio("cpu", statements.cpu, net.cpu).c_str());
    std::printf("; GetTabelas %s", ratio("wall", call.wall, net.wall).c_str());
    if (cpu) std::printf(", %s", ratio("cpu", call.cpu, net.cpu).c_str());
    std::printf("\n");
  }
  if (perStatement)
    for (size_t i = 0; i < st.size(); ++i)
      std::printf("%s:   %-14s wall %8.1f ms  cpu %8.1f ms (medians; cpu of this process)\n", engine.c_str(),
                  st[i].table.c_str(), Median(each[i].wall), Median(each[i].cpu));
}

}  // namespace

int main(int argc, char** argv) {
  int scale = 100, runs = 3;
  bool plans = false, perStatement = false;
  std::string only;
  std::string pg = std::getenv("KVE_TEST_PG_URL") ? std::getenv("KVE_TEST_PG_URL") : "";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--plans") plans = true;
    else if (a == "--per-statement") perStatement = true;
    else if (i + 1 < argc && a == "--scale") scale = std::atoi(argv[++i]);
    else if (i + 1 < argc && a == "--runs") runs = std::atoi(argv[++i]);
    else if (i + 1 < argc && a == "--pg") pg = argv[++i];
    else if (i + 1 < argc && a == "--only") only = argv[++i];
    else {
      std::fprintf(stderr, "usage: sql_floor_bench [--scale N] [--runs R] [--pg URL] [--only sqlite|postgresql]\n"
                           "       [--plans] [--per-statement]\n");
      return 2;
    }
  }
  if (runs < 1 || scale < 1) {
    std::fprintf(stderr, "sql_floor_bench: --runs and --scale must be at least 1\n");
    return 2;
  }
  fs::path work = fs::temp_directory_path() / ("kve_sql_floor_" + std::to_string(getpid()));
  fs::create_directories(work);
  int status = 0;
  try {
    fs::path file = work / "demo.db";
    if (only != "postgresql")
      RunEngine("sqlite", "sqlite:" + file.string(), scale, runs, plans, perStatement, work, file.string());
    if (only == "sqlite") {
    } else if (!pg.empty()) RunEngine("postgresql", pg, scale, runs, plans, perStatement, work, "");
    else std::printf("postgresql: skipped (no --pg and no KVE_TEST_PG_URL)\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sql_floor_bench: %s\n", e.what());
    status = 1;
  }
  fs::remove_all(work);
  return status;
}
