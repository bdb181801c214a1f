// kve-host: the host application. Loads the screen package, owns the configuration and the
// database connection, and opens the export screen from its menu.
//
//   kve-host --config site/kve.toml
//   kve-host --config site/kve.toml --screenshot screen.png   (offscreen, then exits)

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QPixmap>

#include "record/screen_ledger.h"
#include "host/site.h"
#include "platform/maker/config.h"
#include "ui/qt/expdados_view.h"
#include "ui/qt/qt_busy.h"
#include "ui/qt/qt_dialogs.h"
#include "host_window.h"
#include "module_list.h"

namespace {

using Clock = std::chrono::steady_clock;

// Dialogs of a run without an operator (the screenshot): each message goes to the terminal,
// questions are answered with their escape button, and the first error is kept.
class UnattendedDialogs final : public kve::Dialogs {
 public:
  int MessageDlg(std::string_view text, kve::TMsgDlgType, kve::TMsgDlgButtons buttons) override {
    std::fprintf(stderr, "kve-host: %.*s\n", static_cast<int>(text.size()), text.data());
    if (kve::HasButton(buttons, kve::TMsgDlgBtn::mbCancel)) return kve::mrCancel;
    if (kve::HasButton(buttons, kve::TMsgDlgBtn::mbNo)) return kve::mrNo;
    return kve::mrOk;
  }
  int Alert(std::string_view text, kve::TMsgDlgType, const std::vector<std::string>&,
            const std::vector<int>&) override {
    std::fprintf(stderr, "kve-host: %.*s\n", static_cast<int>(text.size()), text.data());
    return 0;
  }
  void ErrorBox(std::string_view text) override {
    std::fprintf(stderr, "kve-host: %.*s\n", static_cast<int>(text.size()), text.data());
    if (error.empty()) error = std::string(text);
  }
  std::optional<std::vector<int>> PickList(const kve::PickRequest&) override { return std::nullopt; }
  std::string error;
};

// The package built beside this program: in the build tree it sits one folder up.
std::string DefaultPackage() {
  const std::string self = QCoreApplication::applicationDirPath().toStdString();
  for (const std::string& candidate : {self + "/libkve07000.so", self + "/../libkve07000.so",
                                       self + "/../lib/libkve07000.so"}) {
    if (FILE* f = std::fopen(candidate.c_str(), "rb")) {
      std::fclose(f);
      return candidate;
    }
  }
  return "libkve07000.so";  // left to the loader's search path
}

}  // namespace

int main(int argc, char** argv) {
  const auto start = Clock::now();
  // A screenshot needs no display: render offscreen unless told otherwise.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
  }
  QApplication app(argc, argv);
  CLI::App cli{"The host application: opens the export screen KVE07000 from its menu"};
  std::string configPath, screenshot, packagePath;
  cli.add_option("--config", configPath, "configuration file (TOML); default: built-in defaults");
  cli.add_option("--screenshot", screenshot,
                 "open the screen, save a picture of the window to this PNG file and exit");
  cli.add_option("--package", packagePath, "the screen package (default: libkve07000.so beside the program)");
  CLI11_PARSE(cli, argc, argv);
  if (packagePath.empty()) packagePath = DefaultPackage();

  try {
    kve::maker::HostConfig config =
        configPath.empty() ? kve::maker::DefaultConfig() : kve::maker::LoadConfig(configPath);
    kve::qt::QtDialogs qtDialogs;
    UnattendedDialogs unattended;
    kve::Dialogs& dialogs = screenshot.empty() ? static_cast<kve::Dialogs&>(qtDialogs) : unattended;
    kve::qt::QtBusyView busy;
    kve::Site site(std::move(config));
    // Every export the screen runs is recorded in the workstation's export ledger; its files
    // are hashed for it as they are written.
    kve::record::HashingFileSystem files(*site.files, site.Config().ledger_keep > 0);
    kve::ExpDadosServices services{*site.db, *site.server, dialogs, files, *site.registry, busy, *site.installAide, {}};
    services.exportEnded = kve::record::ScreenLedger(
        site.Config(),
        [](std::string_view line) { std::fprintf(stderr, "kve-host: %.*s\n", static_cast<int>(line.size()), line.data()); },
        &files);
    // The view runs the screen's controls with this program's copy of the maker, the package
    // with its own: both see the same services.
    kve::maker::ServicesScope scope(site.maker);
    kve::host_app::ModuleList::Host().SetLanguage(site.Config().language);
    kve::host_app::ScreenPackage package(packagePath);
    package.SetHost(&services, &site.maker);

    kve::host_app::HostWindow window(package, dialogs);
    qtDialogs.SetParent(&window);
    busy.SetWindow(&window);
    window.resize(1024, 768);
    window.show();

    if (screenshot.empty()) {
      window.OpenExpDados();
      return app.exec();
    }

    kve::qt::ExpDadosView* view = window.OpenExpDados();
    if (!view) {
      std::fprintf(stderr, "kve-host: the screen did not open%s%s\n", unattended.error.empty() ? "" : ": ",
                   unattended.error.c_str());
      return 1;
    }
    QApplication::processEvents();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::fprintf(stderr, "kve-host: screen shown %.0f ms after start\n", ms);
    if (!window.grab().save(QString::fromStdString(screenshot), "PNG")) {
      std::fprintf(stderr, "kve-host: %s: cannot write the picture\n", screenshot.c_str());
      return 1;
    }
    window.close();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kve-host: %s\n", e.what());
    return 2;
  }
}
