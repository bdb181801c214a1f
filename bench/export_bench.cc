// A whole export, from the export button to the closing alert, on the screen model against the
// application server on a scaled demo (SQLite): the eeePC at scale 100, the Palm at the
// largest scale whose tables all fit a Palm database. The server's share (the calls' round
// trips) is taken apart; the client's share (decode, load, derive, write, convert, queue) is
// set beside a raw write, with an fsync per file, of the very bytes the export left on disk,
// in the same run. The eeePC export runs first in the process, so its peak memory is its own.
//
// Two more eeePC cases, as kve-export runs them: the export ledger (reading the export back
// with each file's SHA-256, keeping the files and appending the row) beside the export it
// follows; and ten eeePCs exported in turn with the tables fetched once and the files' bytes
// encoded once, beside one eeePC's export.
//
//   export_bench [--epc-scale N] [--palm-scale N] [--runs R] [--devices N] [--only ledger|fleet]
//
// --only runs the eeePC export and that one case after it (no Palm).
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <tuple>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "record/hashing_fs.h"
#include "record/history.h"
#include "batch/server_links.h"
#include "record/summary.h"
#include "demo/demo_data.h"
#include "eeepc/deployment.h"
#include "export/export_reuse.h"
#include "bench/demo_server.h"
#include "measure.h"
#include "platform/maker/config.h"
#include "platform/net/net_connection.h"
#include "platform/net/protocol.h"
#include "screen/frm_exp_dados.h"
#include "server/app_server.h"
#include "support/demo_query.h"
#include "support/scripted_dialogs.h"

namespace {

namespace fs = std::filesystem;
using namespace kve;
using Clock = std::chrono::steady_clock;

const TDateTime kToday = TDateTime::FromDate({2026, 12, 7});

// The server link of the screen, keeping the round-trip time of every call.
class TimedLink final : public ServerLink {
 public:
  TimedLink() {
    conn_.SetServerName(std::string(rpc::kServerName));
    conn_.SetTimeout(std::chrono::minutes(10));
    conn_.OnBeforeConnect = [this](TNetConnection&) {
      if (OnBeforeConnect) OnBeforeConnect();
    };
  }
  void SetHost(std::string host) override { conn_.SetHost(std::move(host)); }
  void SetPort(int port) override { conn_.SetPort(port); }
  bool Connected() const override { return conn_.Connected(); }
  void SetConnected(bool on) override { conn_.SetConnected(on); }
  RemoteValue Call(const std::string& method, std::vector<RemoteArg>& args) override {
    RemoteValue v = conn_.Call(method, args);
    roundTripMs += conn_.LastCall().roundTripMs;
    wireBytes += conn_.LastCall().replyBytes;
    return v;
  }
  double roundTripMs = 0;
  size_t wireBytes = 0;

 private:
  TNetConnection conn_;
};

void WriteFile(const fs::path& p, const std::string& bytes) {
  FILE* f = std::fopen(p.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::exit(2);
  std::fclose(f);
}

// The files of `dirs`, by path, with their bytes.
std::vector<std::pair<fs::path, std::string>> Output(const std::vector<fs::path>& dirs) {
  std::vector<std::pair<fs::path, std::string>> out;
  for (const fs::path& d : dirs) {
    for (const auto& e : fs::directory_iterator(d)) {
      std::string bytes(static_cast<size_t>(fs::file_size(e.path())), '\0');
      FILE* f = std::fopen(e.path().c_str(), "rb");
      if (!f || std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::exit(2);
      std::fclose(f);
      out.emplace_back(e.path(), std::move(bytes));
    }
  }
  return out;
}

// The same bytes written raw, one file each, every file fsynced: the least any export of
// them could cost on this disk.
double RawWriteMs(const std::vector<std::pair<fs::path, std::string>>& files, const fs::path& dir) {
  fs::create_directories(dir);
  auto t0 = Clock::now();
  int i = 0;
  for (const auto& [path, bytes] : files) {
    const fs::path p = dir / std::to_string(i++);
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
        ::fsync(fd) != 0 || ::close(fd) != 0)
      std::exit(2);
  }
  const double ms = bench::Seconds(t0) * 1000;
  fs::remove_all(dir);
  return ms;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Min(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

int devices = 10;
std::string only;  // "ledger" or "fleet": the eeePC export and that case alone

// What follows a successful export: its screen and the time it began.
using AfterExport = std::function<void(TfrmExpDados&, std::chrono::system_clock::time_point)>;

// Fills a fresh screen for eeePC `code` and presses Export, as kve-export does for each device.
// `then`, when given, follows a successful export.
bool ExportToEeepc(ExpDadosServices& svc, ScriptedDialogs& dialogs, const std::string& code,
                   const AfterExport& then = {}) {
  TfrmExpDados screen(svc);
  screen.FormCreate();
  screen.UserClick(screen.rbtEPc);
  screen.UserType(screen.medCdEPc, code);
  for (TDateEditPlus* d : {&screen.depCardIni, &screen.depSoliCompIni, &screen.depAFIni}) screen.UserType(*d, "01112026");
  for (TDateEditPlus* d : {&screen.depCardFim, &screen.depSoliCompFim, &screen.depAFFim}) screen.UserType(*d, "31122026");
  dialogs.Clear();
  dialogs.Answer(mrYes);  // the whole product tree
  const auto since = std::chrono::system_clock::now() - std::chrono::milliseconds(50);
  if (screen.UserClick(screen.sbtImportExport)) {
    if (then) then(screen, since);
    return true;
  }
  for (const auto& t : dialogs.Texts()) std::fprintf(stderr, "eeePC %s: %s\n", code.c_str(), t.c_str());
  return false;
}

// The export ledger beside the export it follows, as kve-export runs both. Each export writes
// through the file system that hashes each file while it goes to the disk; what that adds to
// the export is the time its writes waited for their hashes. After the export, its summary
// reads the files back without the ledger and with it (taking each file's hash, keeping the
// file, appending the row), the two in turn, first one then the other first: the ledger's
// share is both together, taken on the same export, apart from the export's own spread (the
// server's time). The older copies are removed beside whatever follows; that is shown apart.
void LedgerCase(ExpDadosServices& base, ScriptedDialogs& dialogs, FileSystem& files, const fs::path& data,
                const maker::HostConfig& config, int runs) {
  ledger::Ledger led(data);
  record::HashingFileSystem hashing(files);
  ExpDadosServices hashed{base.db, base.server, base.dialogs, hashing, base.registry, base.busy, base.installAide, {},
                          base.log};
  TfrmExpDados screen(hashed);
  screen.FormCreate();
  screen.UserClick(screen.rbtEPc);
  screen.UserType(screen.medCdEPc, "2");
  for (TDateEditPlus* d : {&screen.depCardIni, &screen.depSoliCompIni, &screen.depAFIni}) screen.UserType(*d, "01112026");
  for (TDateEditPlus* d : {&screen.depCardFim, &screen.depSoliCompFim, &screen.depAFFim}) screen.UserType(*d, "31122026");
  std::vector<double> exports, added, share, removal;
  for (int r = 0; r < runs; ++r) {
    dialogs.Clear();
    dialogs.Answer(mrYes);
    ::sync();
    const double waitedBefore = hashing.WaitedSeconds();
    const auto since = std::chrono::system_clock::now() - std::chrono::milliseconds(50);
    auto t = Clock::now();
    if (!screen.UserClick(screen.sbtImportExport)) std::exit(1);
    const double exportMs = bench::Seconds(t) * 1000, hashWaitMs = (hashing.WaitedSeconds() - waitedBefore) * 1000;
    exports.push_back(exportMs);
    double stepMs[2] = {0, 0};
    size_t count = 0;
    for (bool record : r % 2 ? std::vector<bool>{true, false} : std::vector<bool>{false, true}) {
      auto t1 = Clock::now();
      record::Summary s;
      s.target = "eeepc";
      s.deviceCode = "002";
      s.ending = record::Ending::Exported;
      auto copy = std::make_unique<ledger::ArchiveWriter>(led.Folder());
      record::LedgerTake take(*copy, true, &hashing);
      s.files = record::WrittenFiles(files, screen.DirExp, since, record ? take.Visitor() : record::FileVisitor{});
      if (record) {
        record::RecordInLedger(&led, take, record::ExportOptions{}, config, s);
        if (!s.ledgerId || s.archive.empty() || !s.notes.empty()) {
          std::fprintf(stderr, "ledger: not recorded%s\n", s.notes.empty() ? "" : (": " + s.notes[0]).c_str());
          std::exit(1);
        }
      }
      stepMs[record] = bench::Seconds(t1) * 1000;
      count = s.files.size();
      auto t2 = Clock::now();
      copy.reset();
      if (record) removal.push_back(bench::Seconds(t2) * 1000);
    }
    added.push_back(hashWaitMs + stepMs[1] - stepMs[0]);
    share.push_back(100 * added.back() / exportMs);
    std::printf("eeePC ledger: run %d: export %.0f ms, its writes waiting %.0f ms for their hashes; then summary %.0f "
                "ms, summary + ledger %.0f ms (%zu files, %s first): the ledger adds %.0f ms = %.2f%%; the older "
                "copies' removal beside it %.0f ms\n",
                r + 1, exportMs, hashWaitMs, stepMs[0], stepMs[1], count, r % 2 ? "ledger" : "summary", added.back(),
                share.back(), removal.back());
  }
  std::printf("eeePC ledger, %d exports (median %.0f ms, min %.0f ms): the ledger adds, median %.0f ms = %.2f%% of its "
              "export, min %.0f ms = %.2f%%, max %.2f%%; the older copies' removal beside it, median %.0f ms\n",
              runs, Median(exports), Min(exports), Median(added), Median(share), Min(added), Min(share),
              *std::max_element(share.begin(), share.end()), Median(removal));
}

// Ten eeePCs in turn with the tables fetched once and their files encoded once, beside one
// eeePC's export (its own fetch and encoding).
void FleetCase(ExpDadosServices& base, ServerLink& link, ScriptedDialogs& dialogs, Database& db,
               const fs::path& shares, const fs::path& data, const maker::HostConfig& config, int runs) {
  std::vector<std::string> codes = {"002", "004"};  // the demo's two
  for (int i = 0; static_cast<int>(codes.size()) < devices; ++i) {
    const std::string code = std::to_string(100 + i), name = "NOTE-BENCH-" + std::to_string(10 + i);
    std::vector<SqlParam> row(3);
    for (auto [p, n, v] : {std::tuple{&row[0], "F", std::string(demo::kDemoCentral)}, {&row[1], "C", code}, {&row[2], "N", name}}) {
      p->name = n;
      p->kind = SqlParam::Kind::Text;
      p->text = v;
    }
    db.Run("INSERT INTO PALM (CDFILIAL, CDPALM, NMPALM, IDTPPERIFEXPKVE) VALUES (:F, :C, :N, '2')", row, nullptr);
    fs::create_directories(shares / name / "Orvanta Web");
    codes.push_back(code);
  }
  fs::create_directories(shares / "NOTE-KITCHEN-02" / "Orvanta Web");
  // Without the ledger, and as kve-export runs them: each export written through the hashing
  // file system, read back and recorded in the ledger (the default three copies kept), the
  // last removal of older copies waited for. The ledger's kept files are independent copies,
  // or, to weigh what that independence costs, second names (links) of the delivered files.
  // The three take turns within each run, each run starting with the next.
  ledger::Ledger led(data);
  record::HashingFileSystem hashing(base.files);
  const char* how[] = {"without the ledger", "with the ledger (copies)", "with the ledger (links)"};
  std::vector<double> one[3], many[3];
  for (int r = 0; r < runs; ++r) {
    for (int k = 0; k < 3; ++k) {
      const int mode = (r + k) % 3;
      const bool recorded = mode > 0;
      const ledger::KeptCopy kept = mode == 2 ? ledger::KeptCopy::kLinked : ledger::KeptCopy::kIndependent;
      for (bool all : {false, true}) {
        batch::FetchOnceLink once(link);
        exporting::ExportReuse reuse;
        ExpDadosServices svc{base.db, once, base.dialogs, recorded ? hashing : base.files, base.registry, base.busy,
                             base.installAide, {}, base.log};
        if (all) svc.reuse = &reuse;  // as kve-export sets it for more than one device
        std::unique_ptr<ledger::ArchiveWriter> previous;
        AfterExport record;
        if (recorded) record = [&](TfrmExpDados& screen, std::chrono::system_clock::time_point since) {
          auto copy = std::make_unique<ledger::ArchiveWriter>(led.Folder(), kept);
          record::LedgerTake take(*copy, config.ledger_keep > 0, &hashing);
          record::Summary s;
          s.target = "eeepc";
          s.deviceCode = screen.medCdEPc.Text();
          s.ending = record::Ending::Exported;
          s.files = record::WrittenFiles(hashing, screen.DirExp, since, take.Visitor());
          record::RecordInLedger(&led, take, record::ExportOptions{}, config, s);
          if (!s.ledgerId) std::exit(1);
          previous = std::move(copy);
        };
        ::sync();
        auto t = Clock::now();
        for (const std::string& code : all ? codes : std::vector<std::string>{"002"})
          if (!ExportToEeepc(svc, dialogs, code, record)) std::exit(1);
        previous.reset();
        (all ? many : one)[mode].push_back(bench::Seconds(t) * 1000);
      }
      std::printf("eeePC fetch once, %s: run %d: one eeePC %.0f ms, %zu eeePCs %.0f ms = %.2fx\n", how[mode], r + 1,
                  one[mode].back(), codes.size(), many[mode].back(), many[mode].back() / one[mode].back());
    }
  }
  for (int mode = 0; mode < 3; ++mode) {
    std::printf("eeePC fetch once, %s, median of %d: one eeePC %.0f ms, %zu eeePCs %.0f ms = %.2fx (min: %.0f / %.0f "
                "ms = %.2fx)\n",
                how[mode], runs, Median(one[mode]), codes.size(), Median(many[mode]), Median(many[mode]) / Median(one[mode]),
                Min(one[mode]), Min(many[mode]), Min(many[mode]) / Min(one[mode]));
  }
  std::printf("eeePC fetch once, %zu eeePCs, medians: the ledger with copies / without %.4f, with links / without "
              "%.4f, copies / links %.4f\n",
              codes.size(), Median(many[1]) / Median(many[0]), Median(many[2]) / Median(many[0]),
              Median(many[1]) / Median(many[2]));
}

void Run(bool palm, int scale, int runs) {
  const char* target = palm ? "Palm" : "eeePC";
  const fs::path tmp = fs::temp_directory_path() / ("kve-export-bench-" + std::to_string(::getpid()) + target);
  fs::remove_all(tmp);
  for (const char* d : {"c/Palm/Kve/Exp", "c/Palm/Kve/Bin", "c/Orvanta/Bin/Client", "hotsync/Palm 01"})
    fs::create_directories(tmp / d);
  fs::create_directories(tmp / "shares/NOTE-KITCHEN-01/Orvanta Web");
  for (const char* prc : {"KVE.prc", "Relaybox.prc"}) WriteFile(tmp / "c/Palm/Kve/Bin" / prc, std::string(40000, 'p'));
  for (const auto& f : eeepc::DeployedFiles())
    WriteFile(tmp / "c/Orvanta/Bin/Client" / std::string(f.file), std::string(200000, 'b'));

  const std::string url = "sqlite:" + (tmp / "demo.db").string();
  // The demo is filled and served by a process of its own, so the client's memory is the
  // client's.
  const bench::DemoServer demoServer = bench::ForkDemoServer(url, scale, kToday, target);
  if (demoServer.port == 0) std::exit(2);
  const pid_t serverPid = demoServer.pid;
  const int serverPort = demoServer.port;

  maker::HostConfig c = maker::DefaultConfig((tmp / "data").string());
  c.branch = demo::kDemoCentral;
  c.operator_code = demo::kDemoNutritionist;
  c.product_mask = std::string(demo::kDemoProductMask) + ";0;_";
  c.server_port = serverPort;
  c.site_key = "bench";
  maker::Services maker(c);
  maker::ServicesScope scope(maker);
  PathMapping m;
  m.drives = {{'C', tmp / "c"}};
  m.shares = tmp / "shares";
  auto files = NewPosixFileSystem(m);
  auto aide = NewFolderInstallAide(tmp / "hotsync", *files);
  MemRegistry registry;
  registry.Set("Software\\ORVANTA\\Sistemas Integrados Orvanta\\WebCli", "PALMDir", "C:\\Palm");
  registry.Set(eeepc::kInstallKey, eeepc::kInstallValue, "C:\\Orvanta");
  auto db = Database::Open(url);
  TimedLink link;
  ScriptedDialogs dialogs;
  RecordingBusyView busy;
  ExpDadosServices svc{*db, link, dialogs, *files, registry, busy, *aide, {}, [](std::string_view l) {
                         std::fprintf(stderr, "log: %.*s\n", static_cast<int>(l.size()), l.data());
                       }};
  TfrmExpDados screen(svc);
  screen.FormCreate();
  screen.UserClick(palm ? screen.rbtPalm : screen.rbtEPc);
  screen.UserType(palm ? screen.medCdPalm : screen.medCdEPc, palm ? "1" : "2");
  for (TDateEditPlus* d : {&screen.depCardIni, &screen.depSoliCompIni, &screen.depAFIni}) screen.UserType(*d, "01112026");
  for (TDateEditPlus* d : {&screen.depCardFim, &screen.depSoliCompFim, &screen.depAFFim}) screen.UserType(*d, "31122026");

  std::vector<double> total, client, raw;
  long peakKib = 0, baseKib = 0, firstBaseKib = 0;
  size_t outBytes = 0, exportBytes = 0;
  int biggest = 0;
  for (int r = 0; r < runs; ++r) {
    dialogs.Clear();
    dialogs.Answer(mrYes);                // the whole product tree
    if (palm && r > 0) dialogs.Answer(mrYes);  // overwrite the export never imported back
    link.roundTripMs = 0;
    link.wireBytes = 0;
    ::sync();
    baseKib = bench::StatusKib("VmRSS:");
    bench::ResetPeak();
    auto t = Clock::now();
    const bool ok = screen.UserClick(screen.sbtImportExport);
    const double ms = bench::Seconds(t) * 1000;
    if (r == 0) {
      peakKib = bench::StatusKib("VmHWM:");
      firstBaseKib = baseKib;
    }
    if (!ok) {
      for (const auto& s : dialogs.Texts()) std::fprintf(stderr, "%s: %s\n", target, s.c_str());
      std::exit(1);
    }
    auto out = palm ? Output({tmp / "c/Palm/Kve/Exp", tmp / "hotsync/Palm 01/Install"})
                    : Output({tmp / "shares/NOTE-KITCHEN-01/Orvanta Web/EeePc/Kve/Exp"});
    outBytes = 0;
    for (const auto& f : out) outBytes += f.second.size();
    // KVE_BENCH_KEEP=DIR keeps the first run's files (DIR/eeePC, DIR/Palm), to set the files of
    // two builds side by side.
    if (const char* keep = std::getenv("KVE_BENCH_KEEP"); keep && r == 0) {
      const fs::path dir = fs::path(keep) / target;
      fs::create_directories(dir);
      for (const auto& f : out) std::ofstream(dir / f.first.filename(), std::ios::binary) << f.second;
    }
    exportBytes = outBytes;
    total.push_back(ms);
    client.push_back(ms - link.roundTripMs);
    raw.push_back(RawWriteMs(out, tmp / "raw"));
    std::printf("%s: run %d: %.0f ms button to alert, server calls %.0f ms (%.1f MB on the wire), "
                "client %.0f ms; raw fsynced write of the same %zu files, %.1f MB: %.0f ms\n",
                target, r + 1, ms, link.roundTripMs, link.wireBytes / 1e6, client.back(), out.size(),
                outBytes / 1e6, raw.back());
  }
  exporting::TableSet& t = screen.exportTables;
  for (TClientDataSet* ds : {&t["cdsSoliComp"], &t["cdsProduto"], &t["cdsItemAF"], &t["cdsEfetivos"],
                             &t["cdsCliente"], &t["cdsPrevReti"], &t["cdsProdutoCod"]})
    if (ds->Active()) biggest = std::max(biggest, ds->RecordCount());
  std::printf("%s: scale %d, median of %d: whole %.0f ms, client %.0f ms = %.2fx the raw write (%.0f ms) "
              "of %.1f MB%s\n",
              target, scale, runs, Median(total), Median(client), Median(client) / Median(raw), Median(raw),
              exportBytes / 1e6,
              palm ? (", largest table " + std::to_string(biggest) + " records (Palm limit 65535)").c_str() : "");
  if (!palm)
    std::printf("eeePC: peak resident set during the first export %.1f MB over %.1f MB before = %.2fx the "
                "%.1f MB written\n",
                (peakKib - firstBaseKib) / 1024.0, firstBaseKib / 1024.0,
                (peakKib - firstBaseKib) * 1024.0 / exportBytes,
                exportBytes / 1e6);
  if (!palm) {
    if (only != "fleet") LedgerCase(svc, dialogs, *files, tmp / "data", c, runs);
    if (only != "ledger") FleetCase(svc, link, dialogs, *db, tmp / "shares", tmp / "fleet-data", c, runs);
  }
  ::kill(serverPid, SIGTERM);
  ::waitpid(serverPid, nullptr, 0);
  fs::remove_all(tmp);
}

}  // namespace

int main(int argc, char** argv) {
  // 21: the purchase-request items, the largest table, stay under a Palm database's 65,535
  // records (3,000 per scale step).
  int epcScale = 100, palmScale = 21, runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--epc-scale")) epcScale = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--palm-scale")) palmScale = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--devices")) devices = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--only")) only = argv[i + 1];
  }
  Run(false, epcScale, runs);  // first, so its peak memory is its own
  if (palmScale > 0 && only.empty()) Run(true, palmScale, runs);
  return 0;
}
