#include "record/screen_ledger.h"

#include <memory>

#include "record/history.h"
#include "record/summary.h"

namespace kve::record {
namespace {

// A date the screen holds; a date not valid (a check stopped the export for it) as none.
TDateTime DateOf(const TDateEditPlus& d) {
  try {
    return d.GetDate();
  } catch (const std::exception&) {
    return TDateTime();
  }
}

Ending EndingOf(ExportEnd::Outcome o) {
  switch (o) {
    case ExportEnd::Outcome::Exported: return Ending::Exported;
    case ExportEnd::Outcome::Stopped: return Ending::Stopped;
    case ExportEnd::Outcome::Failed: break;
  }
  return Ending::Failed;
}

}  // namespace

ExportOptions OptionsOnScreen(const TfrmExpDados& s) {
  ExportOptions o;
  const bool palm = s.rbtPalm.Checked();
  o.target = palm ? Target::Palm : Target::Eeepc;
  o.device = (palm ? s.medCdPalm : s.medCdEPc).Text();
  o.menu = {DateOf(s.depCardIni), DateOf(s.depCardFim)};
  o.requests = {DateOf(s.depSoliCompIni), DateOf(s.depSoliCompFim)};
  o.af = {DateOf(s.depAFIni), DateOf(s.depAFFim)};
  o.nutritionist = s.medCdNutricio.Text();
  if (s.rbtLAgreg.Checked()) {
    // "_0002_0003": the branches picked.
    for (size_t at = s.ListaAgreg.find('_'); at != std::string::npos;) {
      const size_t next = s.ListaAgreg.find('_', at + 1);
      o.branches.push_back(s.ListaAgreg.substr(at + 1, next == std::string::npos ? next : next - at - 1));
      at = next;
    }
  }
  if (!s.chkArvProd.Checked()) {
    o.activeOnly = s.chkAtivProd.Checked();
    if (s.chkSolicProd.Checked()) o.latest = s.sedSolicProd.Value();
    o.grouping = s.medAgrupProd.Text();
  }
  return o;
}

std::function<void(TfrmExpDados&, const ExportEnd&)> ScreenLedger(
    maker::HostConfig config, std::function<void(std::string_view line)> log, HashingFileSystem* written) {
  // The last export's kept copy, still removing the older copies while the screen goes on.
  auto previous = std::make_shared<std::unique_ptr<ledger::ArchiveWriter>>();
  return [config = std::move(config), log = std::move(log), previous, written](TfrmExpDados& s, const ExportEnd& end) {
    const bool palm = s.rbtPalm.Checked();
    const ExportOptions o = OptionsOnScreen(s);
    Summary sum;
    sum.target = palm ? "palm" : "eeepc";
    sum.deviceCode = o.device;
    sum.deviceName = (palm ? s.edtNmPalm : s.edtNmEPC).Text();
    sum.ending = EndingOf(end.outcome);
    sum.closingMessage = end.closingMessage;
    sum.folder = end.runStarted ? s.DirExp : s.medDiretorios.Text();
    sum.problem = end.problem;
    std::unique_ptr<ledger::Ledger> ledger;
    try {
      ledger = std::make_unique<ledger::Ledger>(config.data_dir);
    } catch (const std::exception& e) {
      if (log) log(std::string("the export ledger: ") + e.what());
      if (written) written->Clear();
      return;
    }
    auto copy = std::make_unique<ledger::ArchiveWriter>(ledger->Folder());
    LedgerTake take(*copy, config.ledger_keep > 0, written);
    if (end.runStarted) {
      try {
        // File times come from a coarser clock than the system clock's: allow for its tick.
        sum.files = WrittenFiles(s.services().files, s.DirExp, end.pressed - std::chrono::milliseconds(50), s.WrittenFiles,
                                 take.Visitor());
      } catch (const std::exception& e) {
        sum.problem += (sum.problem.empty() ? "" : "; ") + std::string("reading the export back: ") + e.what();
      }
    }
    RecordInLedger(ledger.get(), take, o, config, sum);
    if (written) written->Clear();  // the next export is another's: nothing kept for it
    *previous = std::move(copy);
    if (log)
      for (const std::string& note : sum.notes) log(note);
  };
}

}  // namespace kve::record
