#pragma once
// What the export screen needs from its host application: the outside world it reaches (the
// database, the application server, dialogs, files, registry, wait animation, install queue)
// and the hooks through which the host hears of it. The host builds it (Site::Services); the
// screen (src/screen) is made with it. Declared here, below the screen, so the host's side
// needs nothing of the screen to build it.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/server_link.h"
#include "platform/db/database.h"
#include "platform/fs/file_system.h"
#include "platform/instaide/install_aide.h"
#include "platform/registry/registry.h"
#include "platform/ui/busy.h"
#include "platform/ui/dialogs.h"

namespace kve {

class TfrmExpDados;
class ExportRunView;
namespace exporting {
class ExportReuse;
}

// How one press of Export came to an end, for whoever keeps a record of exports.
struct ExportEnd {
  enum class Outcome {
    Exported,  // the closing alert was shown (the supply-authorisation warning too)
    Stopped,   // a check or a No stopped it before anything was written
    Failed,    // an error did, or the run itself did not finish
  };
  Outcome outcome = Outcome::Failed;
  bool runStarted = false;  // the export run began: files may have been written into DirExp
  std::chrono::system_clock::time_point pressed;  // when Export was pressed
  std::string closingMessage;  // the closing alert's text; "" when none was shown
  std::string problem;         // the error that ended it, when one did
};

// What the screen needs from its host. Every reference must outlive the screen.
struct ExpDadosServices {
  Database& db;          // the host's database: look-ups and validations
  ServerLink& server;    // the application server (netExpDados)
  Dialogs& dialogs;      // message boxes, error box, pick lists
  FileSystem& files;     // Windows-form paths
  Registry& registry;    // local machine, read only
  BusyView& busy;        // wait animation and cursor
  InstallAide& installAide;  // the HotSync install queue of this PC's users
  // Refreshes the host's local copy of the named tables before the screen reads them. Empty
  // when the host reads its database directly and keeps no copy.
  std::function<void(const std::vector<std::string>& tables)> atualizaLocalCache;
  // Lines for the support log (install-queue calls the library refused). Empty: standard
  // error.
  std::function<void(std::string_view line)> log = {};
  // Told once each press of Export has come to an end, however it ended, after everything
  // the operator sees: the host keeps its export ledger with it. Empty: nobody is told.
  // Whatever it raises goes to the log and changes nothing of the export.
  std::function<void(TfrmExpDados& screen, const ExportEnd& end)> exportEnded = {};
  // Exports of one session to several eeePCs with the same parameters (kve-export --eeepc
  // all) share what does not depend on the device: the tables and the files' bytes. Null:
  // every export is made whole.
  exporting::ExportReuse* reuse = nullptr;
  // Runs the export run off the screen's thread, so a window stays alive while it works:
  // calls `body` on another thread with a view that shows everything through `screenView` on
  // the screen's thread, and returns once `body` ended, raising what it raised. Empty: the
  // run runs on the screen's thread through `screenView` itself.
  std::function<void(ExportRunView& screenView, const std::function<void(ExportRunView& runView)>& body)>
      runExport = {};
};

}  // namespace kve
