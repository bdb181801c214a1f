#include "screen/export_run.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "export/derivations.h"
#include "export/derived_tables.h"
#include "export/export_calls.h"
#include "export/export_files.h"
#include "export/images_as_sent.h"
#include "palm/hotsync_queue.h"
#include "palm/pdb_conversion.h"
#include "platform/common/error.h"
#include "platform/fs/file_sink.h"
#include "platform/fs/leftovers.h"
#include "platform/maker/consiste.h"
#include "platform/maker/host_values.h"
#include "platform/maker/password.h"
#include "platform/maker/picture.h"
#include "platform/net/check_result.h"
#include "screen/eeepc_deploy.h"
#include "screen/operator_errors.h"
#include "screen/palm_databases.h"

namespace kve {

ExportRun::ExportRun(const ExportRunServices& services, ExportRunView& view, exporting::TableSet& tables,
                     ExportOrder& order)
    : svc_(services), view_(view), tables_(tables), order_(order) {}

void ExportRun::Run() {
  try {
    // The share's failure is told once the wait animation is gone.
    if (!Deliver()) {
      Consiste::MensErro(view_.Boxes(),
                         !eeepcFullText_.empty()
                             ? eeepcFullText_
                             : Format(Msg("Dir_N_comp"), {order_.dirExp, order_.deviceName + "\\Orvanta Web"}),
                         true);
    }
    // The supply-authorisation warning replaces the success text for either target.
    const char* key = afBlock_ == "S" ? "BLOQ_AF" : order_.palm ? "OK_HOTSYNC" : "OK_EEPC";
    closingMessage_ = Msg(key);
    // Either target ends alike: the bar full behind the closing alert, until the next export.
    view_.Progress(1, 1);
    view_.Messages().ShowMsgAlertEx(key, TMsgDlgType::mtInformation, {Msg("OK")}, 1, afBlock_ == "S" ? 10 : 5, 0);
  } catch (...) {
    Failed();
    throw;
  }
}

bool ExportRun::Deliver() {
  // Each folder the run changes (the export folder, the eeePC's, the install queue's) is
  // flushed once, before the export is recorded as done, rather than once per file.
  FolderBatch files(svc_.files), queue(svc_.installAide);
  WaitAnimation wait(view_.Busy(), kExportWaitAnimation);
  if (!order_.palm) order_.dirExp = DeployEeepc(svc_.files, svc_.registry, view_, order_.deviceName);
  const exporting::EeepcFilesOfTables* kept = TakeTables();
  if (order_.palm) {
    WritePalm();
  } else if (!WriteEeepc(kept)) {
    return false;
  }
  files.Sync();
  queue.Sync();
  exporting::RecordHistory(svc_.server, order_.central, order_.device, Msg("Export_Ok"), "0", "0");
  return true;
}

const exporting::EeepcFilesOfTables* ExportRun::TakeTables() {
  std::string productStatus = order_.activeOnly ? "A" : "T";
  exporting::GetTabelasRequest request{
      order_.central, order_.listaAgreg, order_.cardIni, order_.cardFim, order_.soliCompIni, order_.soliCompFim,
      order_.afIni, order_.afFim, std::to_string(Corvane::DBPictObj(0).GetTtNiveis()), order_.nrSolic,
      productStatus, order_.grouping, Corvane::Operador()};
  // An eeePC export of a session that has made one with the same arguments writes its bytes.
  reuseKey_ = svc_.reuse && !order_.palm ? exporting::RequestKey(request) : std::string();
  if (const exporting::EeepcFilesOfTables* kept = reuseKey_.empty() ? nullptr : svc_.reuse->Find(reuseKey_)) {
    order_.listaAgreg = kept->refs[0];
    order_.nrSolic = kept->refs[1];
    afBlock_ = kept->afBlock;
    tables_["cdsFilial"].SetData(kept->filial);
    tables_["cdsFilial"].SetName("FILIAL");
    tables_["cdsOperador"].SetData(kept->operador);
    tables_["cdsOperador"].SetName("OPERADOR");
    return kept;
  }

  // A text answer is the server's error, raised as the tables are loaded.
  RemoteValue answer = exporting::CallGetTabelas(svc_.server, request);
  const exporting::DerivationValues values = exporting::MakerDerivationValues();
  // An eeePC's files of tables the run leaves as they came are the server's images.
  std::vector<std::pair<std::string, int>> productCodes;
  asSent_ = order_.palm ? std::vector<std::optional<std::string>>(exporting::kSlotCount)
                        : exporting::TakeImagesAsSent(answer, values, productCodes);
  std::vector<TClientDataSet*> slots;
  std::vector<const TClientDataSet*> notLoaded;
  for (const exporting::TableSpec* t : exporting::SlotOrder()) {
    TClientDataSet& ds = tables_[*t];
    ds.SetName(std::string(t->table));
    if (asSent_[static_cast<size_t>(t->slot)] && !exporting::ReadByEeepcRun(*t)) {
      ds.Close();  // nothing of an earlier run stays in it
      notLoaded.push_back(&ds);
      slots.push_back(nullptr);
    } else {
      slots.push_back(&ds);
    }
  }
  LoadTableImages(std::move(answer), slots);
  exporting::DerivedTableSet derived{
      tables_["cdsSoliComp"], tables_["cdsProduto"], tables_["cdsProdCod"], tables_["cdsProdutoCod"],
      tables_["cdsItemAF"],   tables_["cdsCliente"], tables_["cdsForneced"], tables_["cdsParam"],
      tables_["cdsFilial"],   tables_["cdsNumAF"],   tables_["cdsIdioma"]};
  afBlock_ = exporting::DeriveExportTables(
      derived, values,
      [&](const TClientDataSet& ds) { return std::find(notLoaded.begin(), notLoaded.end(), &ds) != notLoaded.end(); },
      &productCodes);
  for (const exporting::TableSpec* t : exporting::EmptyTables()) exporting::CreateEmpty(tables_[*t], *t);
  if (!reuseKey_.empty()) {
    keeping_.refs = {order_.listaAgreg, order_.nrSolic, productStatus};
    keeping_.afBlock = afBlock_;
    keeping_.filial = tables_["cdsFilial"].Data();
    keeping_.operador = tables_["cdsOperador"].Data();
  }
  return nullptr;
}

void ExportRun::WritePalm() {
  const exporting::TableOf table = [this](const exporting::TableSpec& t) -> TClientDataSet& { return tables_[t]; };
  // A table a Palm database cannot hold fails the export before the folder or the queue
  // changes, rather than part-way through the databases.
  overPalmLimit_ = TablesOverPalmLimit(table);
  if (!overPalmLimit_.empty()) {
    WaitAnimationPause pause(view_.Busy(), kExportWaitAnimation);
    Consiste::MensErro(view_.Boxes(), PalmRecordLimitMessage(overPalmLimit_), true);
  }
  RemoveLeftoversOfEndedRuns(svc_.files, order_.dirExp);
  std::vector<std::string> xmlFiles;
  exporting::WritePalmXmlFiles(svc_.files, order_.dirExp, table, [&](int done, int count, std::string_view file) {
    view_.Progress(done, count);
    view_.Status(file);
    // Named before it is written: a file that fails half-way is this run's too.
    xmlFiles.emplace_back(file);
    written_.emplace_back(file);
  });
  ConvertPalmDatabases(svc_.files, order_.dirExp, xmlFiles, view_, [this](const std::string& l) { Log(l); });
  for (const std::string& f : xmlFiles)
    if (f.substr(0, f.size() - 4) != palm::kPrevRetiDbName) written_.push_back(f.substr(0, f.size() - 3) + "pdb");
  WritePrevRetiDatabase(tables_["cdsPrevReti"], svc_.files, order_.dirExp, view_);
  written_.push_back(std::string(palm::kPrevRetiDbName) + ".pdb");
  // The earlier export stays queued until here and is replaced in one step, so a run killed
  // before leaves it whole. An entry that did not arrive fails the export; the screen then
  // withdraws what is queued, as it does after any failed Palm export.
  const std::vector<std::string> missing = palm::ReplaceEntries(
      svc_.installAide, order_.deviceName, exporting::PalmQueuePaths(order_.dirExp, order_.dirBin), svc_.log);
  if (!missing.empty()) {
    std::string names;
    for (const std::string& m : missing) names += (names.empty() ? "" : ", ") + m;
    throw IoError("HotSync queue of " + order_.deviceName + ": " + std::to_string(missing.size()) + " of " +
                  std::to_string(exporting::PalmQueue().size()) + " entries were not queued: " + names);
  }
  // The catalogue may have no line for this key; the status line is left empty then.
  view_.Status(view_.Messages().MsgIfAny("HOTSYNC"));
  view_.Refresh();
}

bool ExportRun::WriteEeepc(const exporting::EeepcFilesOfTables* kept) {
  const std::string& dir = order_.dirExp;
  try {
    const std::vector<exporting::FileEntry> files = exporting::EeepcFiles();
    for (const exporting::FileEntry& f : files) written_.emplace_back(f.file);
    written_.emplace_back(exporting::EeepcSettingsTable().eeepcFile);
    std::string current;
    exporting::WriteEeepcBytes(
        svc_.files, dir,
        [&](size_t i) -> std::string_view {
          if (kept) return kept->files[i];
          const exporting::TableSpec& t = *files[i].table;
          if (t.source == exporting::Source::Slot && asSent_[static_cast<size_t>(t.slot)]) {
            // The image itself, released once written unless the session keeps it.
            std::string image = std::move(*asSent_[static_cast<size_t>(t.slot)]);
            asSent_[static_cast<size_t>(t.slot)].reset();
            if (reuseKey_.empty()) return current = std::move(image);
            keeping_.files.push_back(std::move(image));
            return keeping_.files.back();
          }
          current = exporting::BinaryPacket(tables_[*files[i].table], dir + exporting::StagedName(files[i].file));
          if (reuseKey_.empty()) return current;
          keeping_.files.push_back(std::move(current));
          return keeping_.files.back();
        },
        [&] {
          exporting::BuildEeepcSettings(tables_["cdsDados"], tables_["cdsFilial"], tables_["cdsOperador"], dir,
                                        Corvane::DBPict(0), &Criptografa::CriptoPlus);
          const exporting::TableSpec& settings = exporting::EeepcSettingsTable();
          return exporting::BinaryPacket(tables_[settings], dir + exporting::StagedName(settings.eeepcFile));
        },
        [this](int done, int count, std::string_view file) {
          view_.Progress(done, count);
          view_.Status(file);
        });
    // Every file encoded: the next eeePC with the same arguments writes these bytes.
    if (!kept && !reuseKey_.empty()) svc_.reuse->Keep(reuseKey_, std::move(keeping_));
    return true;
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    Log(std::string("eeePC export: ") + e.what());
    // A share that is full is shared: asking the operator to check the sharing would send
    // them the wrong way.
    if (const auto* err = dynamic_cast<const Error*>(&e); err && err->kind() == ErrorKind::kNoSpace)
      eeepcFullText_ = OperatorErrorText(e);
    return false;
  }
}

void ExportRun::Failed() {
  // The clean-up runs whatever recording the failure does: the operator hears of the first
  // failure, a second one goes to the log.
  if (order_.palm) {
    try {
      exporting::RecordHistory(svc_.server, order_.central, order_.device, Msg("Export_n_Ok"), "0", "1");
    } catch (const std::exception& e) {
      Log(std::string("recording the failed export: ") + e.what());
    }
  }
  view_.ClearProgress();
  view_.Status("");
  view_.Refresh();
  view_.ToFront();
}

std::string ExportRun::Msg(std::string_view key) const { return view_.Messages().Msg(key); }

void ExportRun::Log(const std::string& line) const {
  if (svc_.log)
    svc_.log(line);
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace kve
