#pragma once
// One export run, from the call that fetches the tables to the closing alert: the eeePC's
// deployment, the tables fetched in one call (or, for an eeePC of a session that exported the
// same tables, the bytes kept from them), the derived tables, the target's files, the Palm's
// install queue, the device's history record and the closing alert. It knows no form: it
// shows everything through an ExportRunView, so the screen, a test or a batch face can run
// it alike.
//
// On failure the Palm export is recorded as failed, the progress display is cleared, the
// window brought to the front, and the error goes on to the caller (EAbort when a message
// has already said it). The wait animation stops on every way out.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_reuse.h"
#include "export/table_set.h"
#include "platform/dataset/dataset.h"
#include "platform/fs/file_system.h"
#include "platform/instaide/install_aide.h"
#include "platform/net/connection.h"
#include "platform/registry/registry.h"
#include "screen/export_run_view.h"
#include "screen/palm_databases.h"

namespace kve {

// What one export is asked for: the parameters as the screen holds them when Export is
// pressed, all of them already checked.
struct ExportOrder {
  bool palm = true;         // the target: a Palm, else an eeePC
  std::string central;      // the central kitchen's branch code
  std::string device;       // the device's code (CDPALM)
  std::string deviceName;   // the Palm's HotSync user, or the eeePC's computer name
  TDateTime cardIni, cardFim, soliCompIni, soliCompFim, afIni, afFim;
  bool activeOnly = false;  // only the active products, else the whole tree
  std::string grouping;     // the product grouping's code, or empty
  // Sent to the server and replaced by what it returns, whether or not the run completes.
  std::string listaAgreg;  // "_0002_0003"
  std::string nrSolic;
  // The export folders, each ending with a backslash. A Palm's are resolved before the run;
  // an eeePC's export folder is set by the run's deployment, once it has succeeded.
  std::string dirExp, dirBin;
};

// What a run reaches besides its view. Every reference must outlive the run.
struct ExportRunServices {
  RemoteCaller& server;      // GetTabelas and the device's history
  FileSystem& files;         // the export folders, the eeePC's share
  Registry& registry;        // where the eeePC's client programs are installed
  InstallAide& installAide;  // the Palm's HotSync install queue
  // What the eeePC exports of one session share; null: every export is made whole.
  exporting::ExportReuse* reuse = nullptr;
  // Lines for the support log. Empty: standard error.
  std::function<void(std::string_view line)> log = {};
};

class ExportRun {
 public:
  // `tables` receive the export's tables; every reference must outlive the run.
  ExportRun(const ExportRunServices& services, ExportRunView& view, exporting::TableSet& tables,
            ExportOrder& order);
  ExportRun(const ExportRun&) = delete;
  ExportRun& operator=(const ExportRun&) = delete;

  // Runs the export once.
  void Run();

  // The closing alert's text, from the moment it is shown; empty until then.
  const std::string& ClosingMessage() const { return closingMessage_; }

  // The files the run has written into the export folder, by the names it gave them, in
  // writing order: what a summary or a ledger lists, however many others the folder holds.
  const std::vector<std::string>& Written() const { return written_; }

  // The tables that stopped a Palm export before anything was written, since their databases
  // would pass what a Palm database holds; empty otherwise.
  const std::vector<TableOverPalmLimit>& OverPalmLimit() const { return overPalmLimit_; }

 private:
  // Everything up to the history record, while the wait animation runs; false when the
  // eeePC's share failed under its files (logged, the operator not told yet).
  bool Deliver();
  // The run's tables: fetched, loaded and derived; or what an earlier eeePC export of the
  // session kept for the same arguments (null when none).
  const exporting::EeepcFilesOfTables* TakeTables();
  // The Palm's XML files and databases, and their install-queue entries.
  void WritePalm();
  // The eeePC's files; false when writing them failed.
  bool WriteEeepc(const exporting::EeepcFilesOfTables* kept);
  // After a failure: the Palm's history record, the progress display cleared.
  void Failed();
  std::string Msg(std::string_view key) const;
  void Log(const std::string& line) const;

  ExportRunServices svc_;
  ExportRunView& view_;
  exporting::TableSet& tables_;
  ExportOrder& order_;
  std::string afBlock_ = "N";  // "S": the supply-authorisation warning closes the export
  std::string reuseKey_;       // the arguments' key when the session shares eeePC files
  std::string eeepcFullText_;  // the eeePC's share filled up: told instead of "not shared"
  exporting::EeepcFilesOfTables keeping_;  // what this export keeps for the next ones
  // By slot, the server's images an eeePC export writes as they came, until written.
  std::vector<std::optional<std::string>> asSent_;
  std::string closingMessage_;
  std::vector<std::string> written_;
  std::vector<TableOverPalmLimit> overPalmLimit_;
};

}  // namespace kve
