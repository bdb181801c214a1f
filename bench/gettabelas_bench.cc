// GetTabelas on the scaled demo central kitchen, on SQLite and (when a server is named) on
// PostgreSQL: where the time of one call goes, and what travels.
//
//   gettabelas_bench [--scale N] [--runs R] [--pg URL] [--packet-only 1] [--client-peak 1]
//
// Without --pg, KVE_TEST_PG_URL names the PostgreSQL server; with neither, SQLite alone runs.
// Per engine it prints the median of R calls (after one warm-up) of:
//   server   the module alone: 26 queries and their table images (no HTTP, no JSON)
//   encode   the answer's JSON with base64 images (server side)
//   call     a whole call through TNetConnection, up to the last byte received
//   decode   the client's JSON and base64 decoding of the answer
//   load     loading the 26 images into the screen's tables (SetData)
// and the share of JSON and base64 (encode + decode) in the call (call + decode).
// Then, on SOLICOMP's rows as the engine handed them over (recorded once, replayed from
// memory, so the statement's own time is left out), min and median of R runs of:
//   rows>packet  the server's way: each value straight into the packet
//   rows>tables  the earlier way: the engine's dataset, the typed copy, then the packet
//   writer       WriteBinaryPacket alone on the same table, the same bytes
//   handover     the replay alone, into a receiver that does nothing (the engine's part)
// and each of the first two, less the handover, as a ratio to the writer.
// With --client-peak 1 (SQLite only, instead of the above) the server runs in a child process
// and this one is only the client: per call, min and median of R calls, its resident set's
// peak during the call over its size before it, beside the bytes of the images the answer
// holds, then the peak while the images are loaded into the screen's tables. The machine
// may be shared, so each figure is given as wall time and as CPU time (the thread's own, or
// for the call the whole process's: the server runs in it), and the share is taken on both.
#include <sys/resource.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/net/check_result.h"
#include "platform/net/net_connection.h"
#include "platform/net/protocol.h"
#include "server/app_server.h"
#include "server/rdm_exp_dados.h"
#include "platform/dataset/binary_packet.h"
#include "platform/db/result_builder.h"
#include "server/image_layouts.h"
#include "server/sql_files.h"
#include "server/sql_params.h"
#include "server/table_image.h"
#include "support/demo_query.h"

#include "measure.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}
double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}
double ProcessCpuMs() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(ru.ru_utime) + ms(ru.ru_stime);
}
// Wall and CPU time of one step.
struct Step {
  std::vector<double> wall, cpu;
  void Add(double w, double c) { wall.push_back(w); cpu.push_back(c); }
};
double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

const kve::TDateTime kToday = kve::TDateTime::FromDate({2026, 12, 7});

std::vector<std::string> Args() {
  return {"0001", "", "2026-11-01", "2026-12-31", "2026-11-01", "2026-12-31",
          "2026-11-01", "2026-12-31", "3", "0", "T", "", "000000000007"};
}

// A statement's rows as the engine handed them over, to hand over again.
class Recorded final : public kve::RowReceiver {
 public:
  void Begin(std::vector<kve::ResultColumn> columns, std::string context) override {
    columns_ = std::move(columns);
    context_ = std::move(context);
  }
  void Null(int i) override { cells_.push_back({'n', i, 0, 0, {}}); }
  void Int(int i, int64_t v) override { cells_.push_back({'i', i, v, 0, {}}); }
  void Float(int i, double v) override { cells_.push_back({'f', i, 0, v, {}}); }
  void Text(int i, std::string_view v) override { cells_.push_back({'t', i, 0, 0, std::string(v)}); }
  void EndRow() override { cells_.push_back({'e', 0, 0, 0, {}}); }
  void Replay(kve::RowReceiver& to) const {
    to.Begin(columns_, context_);
    for (const Cell& c : cells_) {
      switch (c.kind) {
        case 'n': to.Null(c.i); break;
        case 'i': to.Int(c.i, c.n); break;
        case 'f': to.Float(c.i, c.d); break;
        case 't': to.Text(c.i, c.s); break;
        default: to.EndRow();
      }
    }
  }

 private:
  struct Cell {
    char kind;
    int i;
    int64_t n;
    double d;
    std::string s;
  };
  std::vector<kve::ResultColumn> columns_;
  std::string context_;
  std::vector<Cell> cells_;
};

// Takes the values and does nothing with them.
class Discard final : public kve::RowReceiver {
 public:
  void Begin(std::vector<kve::ResultColumn>, std::string) override {}
  void Null(int) override {}
  void Int(int, int64_t v) override { sum_ += v; }
  void Float(int, double v) override { sum_ += static_cast<int64_t>(v); }
  void Text(int, std::string_view v) override { sum_ += static_cast<int64_t>(v.size()); }
  void EndRow() override { ++sum_; }
  int64_t Sum() const { return sum_; }

 private:
  int64_t sum_ = 0;
};

// SOLICOMP's packet three ways; see the header.
void PacketCase(const std::string& name, kve::Database& db, int runs) {
  using namespace kve;
  server::SqlFiles sql = server::SqlFiles::BuiltIn();
  server::SqlValues v = testing::DemoCentralValues(db, sql);
  const server::ImageLayout& layout = server::SlotLayout(13);
  auto p = v.Prepare(sql.Text("13_SOLICOMP", db.Dialect()), "13_SOLICOMP");
  Recorded rows;
  db.RunRows(p.sql, p.params, rows);

  std::vector<double> direct, tables, writer, handover;
  std::string a, b, c;
  int64_t sink = 0;
  for (int r = 0; r < runs; ++r) {
    auto t = Clock::now();
    {
      Discard d;
      rows.Replay(d);
      sink += d.Sum();
    }
    handover.push_back(Ms(t));
    t = Clock::now();
    {
      server::ImageWriter w(layout);
      rows.Replay(w);
      a.assign(w.Image("13_SOLICOMP"));
    }
    direct.push_back(Ms(t));
    t = Clock::now();
    {
      db_internal::DatasetReceiver gather;
      rows.Replay(gather);
      TClientDataSet ds(layout.table);
      gather.Finish(ds);
      b = server::BuildImage(ds, layout, "13_SOLICOMP");
    }
    tables.push_back(Ms(t));
    TClientDataSet typed;
    ReadBinaryPacket(a, typed);
    typed.SetName(layout.table);
    t = Clock::now();
    {
      std::string fresh;  // new memory, as the server's image is
      StringSink sink(fresh);
      WriteBinaryPacket(typed, sink);
    }
    writer.push_back(Ms(t));
  }
  {
    TClientDataSet typed;
    ReadBinaryPacket(a, typed);
    StringSink sink(c);
    WriteBinaryPacket(typed, sink);
  }
  if (a != b || a != c) {
    std::fprintf(stderr, "%s: SOLICOMP's packets differ between the ways\n", name.c_str());
    std::exit(1);
  }
  auto minOf = [](std::vector<double> x) { return *std::min_element(x.begin(), x.end()); };
  const double hMin = minOf(handover), hMed = Median(handover);
  std::printf("%s: SOLICOMP %.1f MB: rows>packet %.0f/%.0f ms, rows>tables %.0f/%.0f ms, writer "
              "%.0f/%.0f ms, handover %.0f/%.0f ms (min/median); less the handover, rows>packet "
              "%.2f/%.2fx the writer, rows>tables %.2f/%.2fx (%lld)\n",
              name.c_str(), a.size() / 1e6, minOf(direct), Median(direct), minOf(tables),
              Median(tables), minOf(writer), Median(writer), hMin, hMed,
              (minOf(direct) - hMin) / minOf(writer), (Median(direct) - hMed) / Median(writer),
              (minOf(tables) - hMin) / minOf(writer), (Median(tables) - hMed) / Median(writer),
              static_cast<long long>(sink % 10));
}

bool gPacketOnly = false;  // --packet-only: SOLICOMP's packet case alone
bool gClientPeak = false;  // --client-peak: the client's memory during a call alone

std::vector<kve::RemoteArg> RemoteArgs(std::vector<std::string>& args) {
  using namespace kve;
  std::vector<RemoteArg> remote;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i >= 2 && i <= 7) remote.push_back(RemoteArg::OfDate(*ParseIsoDate(args[i])));
    else if (i == 1 || i == 9 || i == 10) remote.push_back(RemoteArg::ByRef(args[i]));
    else remote.push_back(RemoteArg::Value(args[i]));
  }
  return remote;
}

// The server in a child process; this process only calls it, so its memory is the client's.
void ClientPeak(const std::string& url, int scale, int runs) {
  using namespace kve;
  testing::FillDemo(url, scale, kToday);
  int ready[2], stop[2];
  if (pipe(ready) != 0 || pipe(stop) != 0) std::exit(1);
  const pid_t child = fork();
  if (child == 0) {
    close(ready[0]);
    close(stop[1]);
    server::AppServerOptions so;
    so.dbUrl = url;
    server::AppServer srv(so);
    srv.Start();
    const int port = srv.Port();
    if (write(ready[1], &port, sizeof port) != sizeof port) _exit(1);
    char c;
    while (read(stop[0], &c, 1) > 0) {
    }
    srv.Stop();
    _exit(0);
  }
  close(ready[1]);
  close(stop[0]);
  int port = 0;
  if (read(ready[0], &port, sizeof port) != sizeof port) std::exit(1);
  // Each call in a fresh client process: memory freed by an earlier call would stay in this
  // one's heap and hide the next call's peak.
  std::vector<double> call, load;
  double images = 0, wire = 0;
  for (int r = 0; r < runs; ++r) {
    int out[2];
    if (pipe(out) != 0) std::exit(1);
    const pid_t client = fork();
    if (client == 0) {
      close(out[0]);
      TNetConnection link;
      link.SetHost("127.0.0.1");
      link.SetPort(port);
      link.SetTimeout(std::chrono::minutes(10));
      link.SetConnected(true);
      auto args = Args();
      auto remote = RemoteArgs(args);
      double got[4] = {};
      const long before = bench::StatusKib("VmRSS:");
      bench::ResetPeak();
      RemoteValue answer = link.Call("GetTabelas", remote);
      got[0] = (bench::StatusKib("VmHWM:") - before) / 1024.0;
      for (const auto& img : std::get<std::vector<std::string>>(answer.value))
        got[2] += static_cast<double>(img.size());
      got[3] = static_cast<double>(link.LastCall().replyBytes);
      std::vector<TClientDataSet> tables(26);
      std::vector<TClientDataSet*> slots;
      for (auto& tb : tables) slots.push_back(&tb);
      LoadTableImages(std::move(answer), slots);
      got[1] = (bench::StatusKib("VmHWM:") - before) / 1024.0;
      _exit(write(out[1], got, sizeof got) == sizeof got ? 0 : 1);
    }
    close(out[1]);
    double got[4] = {};
    const bool ok = read(out[0], got, sizeof got) == sizeof got;
    close(out[0]);
    int status = 0;
    waitpid(client, &status, 0);
    if (!ok || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "client: the call failed\n");
      std::exit(1);
    }
    call.push_back(got[0]);
    load.push_back(got[1]);
    images = got[2];
    wire = got[3];
  }
  close(stop[1]);
  waitpid(child, nullptr, 0);
  auto minOf = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
  std::printf("client: %.1f MB of images in the answer, %.1f MB on the wire\n", images / 1048576,
              wire / 1048576);
  std::printf("client: peak over the size before the call: during the call %.1f/%.1f MB "
              "(%.2f/%.2fx the images), with the tables loaded %.1f/%.1f MB (min/median of %d)\n",
              minOf(call), Median(call), minOf(call) / (images / 1048576),
              Median(call) / (images / 1048576), minOf(load), Median(load), runs);
}

void RunEngine(const std::string& name, const std::string& url, int scale, int runs) {
  using namespace kve;
  auto t0 = Clock::now();
  testing::FillDemo(url, scale, kToday);
  std::printf("%s: demo at scale %d filled in %.1f s\n", name.c_str(), scale, Ms(t0) / 1000);

  server::AppServerOptions so;
  so.dbUrl = url;
  server::AppServer srv(so);
  srv.Start();
  TNetConnection link;
  link.SetHost("127.0.0.1");
  link.SetPort(srv.Port());
  link.SetTimeout(std::chrono::minutes(10));
  link.SetConnected(true);

  auto db = Database::Open(url);
  PacketCase(name, *db, std::max(runs, 3));
  if (gPacketOnly) return;
  server::SqlFiles sql = server::SqlFiles::BuiltIn();
  server::RdmExpDados module(*db, sql);

  Step server, encode, call, decode, load;
  size_t wire = 0, packets = 0;
  for (int r = 0; r <= runs; ++r) {
    auto t = Clock::now();
    double c = ThreadCpuMs();
    server::Answer a = module.GetTabelas(Args());
    double sw = Ms(t), sc = ThreadCpuMs() - c;
    if (a.failed) {
      std::fprintf(stderr, "%s: %s\n", name.c_str(), std::get<std::string>(a.value.value).c_str());
      std::exit(1);
    }
    packets = 0;
    for (const auto& img : std::get<std::vector<std::string>>(a.value.value)) packets += img.size();
    t = Clock::now();
    c = ThreadCpuMs();
    std::string body = rpc::EncodeAnswer(1, a.value, a.byref);  // what the server sends
    double ew = Ms(t), ec = ThreadCpuMs() - c;

    auto args = Args();
    std::vector<RemoteArg> remote = RemoteArgs(args);
    t = Clock::now();
    c = ProcessCpuMs();
    RemoteValue answer = link.Call("GetTabelas", remote);
    double cw = Ms(t), cc = ProcessCpuMs() - c;
    wire = link.LastCall().replyBytes;

    // The client's decoding alone, on the same bytes as came over the wire.
    auto copy = remote;
    t = Clock::now();
    c = ThreadCpuMs();
    rpc::DecodeReply(body, 1, copy);
    double dw = Ms(t), dc = ThreadCpuMs() - c;

    std::vector<TClientDataSet> tables(26);
    std::vector<TClientDataSet*> slots;
    for (auto& tb : tables) slots.push_back(&tb);
    t = Clock::now();
    c = ThreadCpuMs();
    LoadTableImages(answer, slots);
    double lw = Ms(t), lc = ThreadCpuMs() - c;
    if (r == 0) continue;  // warm-up
    server.Add(sw, sc);
    encode.Add(ew, ec);
    call.Add(cw, cc);
    decode.Add(dw, dc);
    load.Add(lw, lc);
  }
  auto line = [&](const char* what, const Step& st) {
    std::printf("%s: %-7s %8.0f ms wall %8.0f ms cpu\n", name.c_str(), what, Median(st.wall),
                Median(st.cpu));
  };
  line("server", server);
  line("encode", encode);
  line("call", call);
  line("decode", decode);
  line("load", load);
  double shareWall = (Median(encode.wall) + Median(decode.wall)) / Median(call.wall);
  double shareCpu = (Median(encode.cpu) + Median(decode.cpu)) / Median(call.cpu);
  std::printf("%s: %.1f MB of packets, %.1f MB on the wire (x%.2f); JSON+base64 is %.0f%% of the "
              "call's wall time, %.0f%% of its CPU time\n",
              name.c_str(), packets / 1e6, wire / 1e6, double(wire) / double(packets),
              100 * shareWall, 100 * shareCpu);
}

}  // namespace

int main(int argc, char** argv) {
  int scale = 100, runs = 3;
  std::string pg = std::getenv("KVE_TEST_PG_URL") ? std::getenv("KVE_TEST_PG_URL") : "";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--scale")) scale = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--pg")) pg = argv[i + 1];
    else if (!std::strcmp(argv[i], "--packet-only")) gPacketOnly = std::atoi(argv[i + 1]) != 0;
    else if (!std::strcmp(argv[i], "--client-peak")) gClientPeak = std::atoi(argv[i + 1]) != 0;
  }
  auto file = std::filesystem::temp_directory_path() /
              ("kve_gettabelas_bench_" + std::to_string(getpid()) + ".db");
  try {
    if (gClientPeak) {
      ClientPeak("sqlite:" + file.string(), scale, std::max(runs, 1));
      std::filesystem::remove(file);
      return 0;
    }
    RunEngine("sqlite", "sqlite:" + file.string(), scale, runs);
    std::filesystem::remove(file);
    if (!pg.empty()) RunEngine("postgresql", pg, scale, runs);
    else std::printf("postgresql: skipped (no --pg and no KVE_TEST_PG_URL)\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gettabelas_bench: %s\n", e.what());
    std::filesystem::remove(file);
    return 1;
  }
  return 0;
}
