// The window during an export: how long the user-interface thread goes without serving its
// events while the Qt screen exports a scaled demo (SQLite) through its application server.
// A 10 ms timer ticks on that thread from the press of Export to the end of the press (the
// closing message answered, the export ledger kept); the longest gap between two ticks is
// how long the window stayed dead at worst. Each run is timed twice, the export (and the
// ledger's step after it) on a thread of its own as the host runs it, and, as the baseline,
// both on the user-interface thread itself; the two take turns as to which goes first. The
// load average is printed beside: on a busy machine the scheduler alone makes gaps.
//
// The demo is filled and served by a process of its own; the workstation is the demo's
// (configuration, drive C:, HotSync queue, the eeePC's share) and the screen's services are
// built from it as kve-host builds them, its export ledger included. The questions are
// answered "yes", the closing message acknowledged at once; an error box ends the bench.
//
//   gui_export_bench [--scale N] [--runs R] [--palm] [--trace MS]
//
// --palm exports Palm "001" (mind its 65,535-record limit: scale 21 at most) instead of
// eeePC "002"; --trace prints every gap over MS milliseconds of the threaded runs.
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "record/hashing_fs.h"
#include "record/screen_ledger.h"
#include "demo/demo_site.h"
#include "host/site.h"
#include "platform/maker/config.h"
#include "screen/frm_exp_dados.h"
#include "bench/demo_server.h"
#include "server/app_server.h"
#include "support/demo_query.h"
#include "ui/qt/expdados_view.h"
#include "ui/qt/qt_busy.h"

namespace {

namespace fs = std::filesystem;
using namespace kve;

// An operator who says yes to every question and reads every message at once.
class YesDialogs final : public Dialogs {
 public:
  int MessageDlg(std::string_view, TMsgDlgType, TMsgDlgButtons buttons) override {
    return HasButton(buttons, TMsgDlgBtn::mbYes) ? mrYes : mrOk;
  }
  int Alert(std::string_view, TMsgDlgType, const std::vector<std::string>&, const std::vector<int>&) override {
    return 0;
  }
  void ErrorBox(std::string_view text) override {
    std::fprintf(stderr, "gui_export_bench: error box: %.*s\n", static_cast<int>(text.size()), text.data());
    std::exit(1);
  }
  std::optional<std::vector<int>> PickList(const PickRequest&) override { return std::nullopt; }
};

struct Gaps {
  double worstMs = 0;
  double worstAtMs = 0;  // when the longest gap began, from the press
  // The most processor time the user-interface thread itself spent within one gap: its own
  // work; the rest of a gap is the scheduler giving the processor to other threads.
  double worstCpuMs = 0;
  double exportMs = 0;   // the press, from start to end
  int ticks = 0;
};

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int scale = 100, runs = 3;
  bool palm = false;
  double traceMs = -1;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--scale") && i + 1 < argc) scale = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--trace") && i + 1 < argc) traceMs = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--palm")) palm = true;
    else {
      std::fprintf(stderr, "usage: gui_export_bench [--scale N] [--runs R] [--palm] [--trace MS]\n");
      return 2;
    }
  }
  const char* target = palm ? "Palm" : "eeePC";
  const fs::path tmp = fs::temp_directory_path() / ("kve-gui-bench-" + std::to_string(::getpid()));
  fs::create_directories(tmp);
  const std::string url = "sqlite:" + (tmp / "demo.db").string();

  // The server's process is forked before Qt starts any thread of its own.
  const bench::DemoServer demoServer = bench::ForkDemoServer(url, scale, TDateTime::FromDate({2026, 12, 7}), target);
  if (demoServer.port == 0) return 2;
  const pid_t serverPid = demoServer.pid;
  const int port = demoServer.port;

  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int status = 0;
  try {
    demo::DemoSiteOptions o;
    o.folder = tmp / "site";
    o.databaseUrl = url;
    o.serverPort = port;
    Site site(maker::LoadConfig(demo::WriteDemoSite(o).string()));
    YesDialogs dialogs;
    qt::QtBusyView busy;
    record::HashingFileSystem files(*site.files);
    ExpDadosServices svc{*site.db, *site.server, dialogs, files, *site.registry, busy, *site.installAide, {}};
    const auto ledger = record::ScreenLedger(site.Config(), [](std::string_view) {}, &files);
    svc.exportEnded = ledger;
    maker::ServicesScope scope(site.maker);

    TfrmExpDados screen(svc);
    screen.FormCreate();
    qt::ExpDadosView view(screen);
    busy.SetWindow(&view);
    view.resize(1024, 768);
    view.show();
    QApplication::processEvents();
    screen.UserClick(palm ? screen.rbtPalm : screen.rbtEPc);
    screen.UserType(palm ? screen.medCdPalm : screen.medCdEPc, palm ? "1" : "2");
    for (TDateEditPlus* d : {&screen.depCardIni, &screen.depSoliCompIni, &screen.depAFIni}) screen.UserType(*d, "01112026");
    for (TDateEditPlus* d : {&screen.depCardFim, &screen.depSoliCompFim, &screen.depAFFim}) screen.UserType(*d, "31122026");
    // What the view installed: the run and the ledger's step off its thread.
    const auto threaded = svc.runExport;
    const auto ledgerOff = svc.exportEnded;
    if (!threaded) throw std::runtime_error("the view runs no export off its thread");

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, pressed = 0;
    double lastCpu = 0;
    Gaps g;
    bool trace = false;
    auto gap = [&](qint64 now) {
      const double ms = (now - last) / 1e6, cpu = ThreadCpuMs(), cpuMs = cpu - lastCpu;
      if (trace && traceMs >= 0 && ms > traceMs)
        std::printf("  gap %.0f ms at %.0f ms, %.0f ms of it working\n", ms, (last - pressed) / 1e6, cpuMs);
      if (ms > g.worstMs) {
        g.worstMs = ms;
        g.worstAtMs = (last - pressed) / 1e6;
      }
      g.worstCpuMs = std::max(g.worstCpuMs, cpuMs);
      last = now;
      lastCpu = cpu;
    };
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      gap(clock.nsecsElapsed());
      ++g.ticks;
    });
    auto press = [&](bool offThread) {
      svc.runExport = offThread ? threaded : nullptr;
      svc.exportEnded = offThread ? ledgerOff : ledger;
      g = Gaps{};
      trace = offThread;
      QEventLoop loop;
      QTimer::singleShot(0, &view, [&] {
        pressed = last = clock.nsecsElapsed();
        lastCpu = ThreadCpuMs();
        tick.start();
        view.UserClick(screen.sbtImportExport);
        gap(clock.nsecsElapsed());
        g.exportMs = (last - pressed) / 1e6;
        tick.stop();
        loop.quit();
      });
      loop.exec();
      if (screen.WrittenFiles.empty()) throw std::runtime_error("the export wrote no file");
      return g;
    };

    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
      double load = 0;
      if (std::fscanf(f, "%lf", &load) == 1) std::printf("%s scale %d: load average %.1f\n", target, scale, load);
      std::fclose(f);
    }
    std::vector<double> on, off, offCpu;
    for (int r = 0; r < runs; ++r) {
      Gaps a, b;
      if (r % 2 == 0) {
        a = press(true);
        b = press(false);
      } else {
        b = press(false);
        a = press(true);
      }
      off.push_back(a.worstMs);
      offCpu.push_back(a.worstCpuMs);
      on.push_back(b.worstMs);
      std::printf("%s scale %d: run %d: export off the GUI thread: longest gap %.0f ms (from %.0f ms of %.0f ms, "
                  "%d ticks), the most it worked within one gap %.0f ms; on it: longest gap %.0f ms (of %.0f ms, "
                  "%d ticks)\n",
                  target, scale, r + 1, a.worstMs, a.worstAtMs, a.exportMs, a.ticks, a.worstCpuMs, b.worstMs,
                  b.exportMs, b.ticks);
    }
    std::printf("%s scale %d, median of %d: the GUI thread's longest gap between two 10 ms ticks: %.0f ms with "
                "the export off it (the most it worked within one gap %.0f ms), %.0f ms with it on it = %.3fx "
                "(goal: at most 100 ms)\n",
                target, scale, runs, Median(off), Median(offCpu), Median(on), Median(off) / Median(on));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gui_export_bench: %s\n", e.what());
    status = 1;
  }
  ::kill(serverPid, SIGTERM);
  ::waitpid(serverPid, nullptr, 0);
  fs::remove_all(tmp);
  return status;
}
