#include "batch/driver.h"

#include <chrono>

#include "platform/common/error.h"
#include "screen/operator_errors.h"

namespace kve::batch {
namespace {

using Clock = std::chrono::steady_clock;

// Digits as an operator types a date into a date edit; the edit puts in the slashes.
std::string DateKeys(TDateTime d) {
  std::string keys;
  for (char c : FormatDate(d)) {
    if (c != '/') keys += c;
  }
  return keys;
}

// Acts on the screen as an operator does, each action through the form's event dispatcher,
// and remembers why the screen stopped it.
class Operator {
 public:
  explicit Operator(TfrmExpDados& screen) : screen_(screen) {}

  // Runs one action as an event. False when it did not complete: a check abandoned it (its
  // message shown) or an error did (shown by the dispatcher; `Errored` then says so).
  bool Do(const std::function<void()>& action) {
    return screen_.RunEvent([&] {
      try {
        action();
      } catch (const EAbort&) {
        throw;
      } catch (const std::exception& e) {
        errored_ = true;
        // The operator's text is printed; the summary keeps the technical detail behind it.
        if (detail_.empty() && HasOperatorText(e)) detail_ = e.what();
        throw;
      } catch (...) {
        errored_ = true;
        throw;
      }
    });
  }

  bool Focus(TControl& c) {
    if (!Do([&] { screen_.FocusControl(&c); })) return false;
    if (screen_.ActiveControl() == &c) return true;
    // An exit rule kept the focus (or moved it) without a message of its own.
    return Stop("the screen kept the focus on " + FocusName() + " instead of " + c.Name());
  }

  bool Type(TCustomEdit& e, std::string_view text) {
    if (!Usable(e) || !Focus(e)) return false;
    for (char ch : text) {
      if (!Do([&] { e.KeyPress(std::string_view(&ch, 1)); })) return false;
    }
    return true;
  }

  // A code field must hold the code exactly as given, or the export would be for another.
  bool TypeCode(TCustomEdit& e, std::string_view code) {
    if (!Type(e, code)) return false;
    if (e.Text() == code) return true;
    usage_ = true;
    return Stop(e.Name() + " took \"" + e.Text() + "\" of \"" + std::string(code) + "\"");
  }

  bool Click(TControl& c) {
    if (!Usable(c)) return false;
    if (c.CanFocus() && !Focus(c)) return false;
    return Do([&] { c.Click(); });
  }

  bool Stop(std::string why) {
    problem_ = std::move(why);
    return false;
  }

  bool Errored() const { return errored_; }
  bool UsageProblem() const { return usage_; }
  const std::string& Problem() const { return problem_; }
  const std::string& Detail() const { return detail_; }

 private:
  bool Usable(TControl& c) {
    if (c.Usable()) return true;
    return Stop(c.Name() + " is disabled");
  }
  std::string FocusName() const {
    return screen_.ActiveControl() ? screen_.ActiveControl()->Name() : "nothing";
  }

  TfrmExpDados& screen_;
  bool errored_ = false;
  bool usage_ = false;
  std::string problem_;
  std::string detail_;
};

// Fills the parameters in keyboard order, as the operator meets them.
bool Fill(TfrmExpDados& s, Operator& op, TerminalDialogs& dialogs, const ExportOptions& o) {
  bool palm = o.target == Target::Palm;
  if (!op.Click(palm ? s.rbtPalm : s.rbtEPc)) return false;
  if (!op.TypeCode(palm ? s.medCdPalm : s.medCdEPc, o.device)) return false;
  if (!o.nutritionist.empty() && !op.TypeCode(s.medCdNutricio, o.nutritionist)) return false;

  if (o.branches.empty()) {
    if (!op.Click(s.rbtTAgreg)) return false;
  } else {
    if (!op.Click(s.rbtLAgreg) || !op.Click(s.btnAgregada)) return false;
    const std::string& problem = dialogs.PickProblem();
    if (!problem.empty()) return op.Stop(problem);
  }

  if (!op.Type(s.depCardIni, DateKeys(o.menu.from)) || !op.Type(s.depCardFim, DateKeys(o.menu.to))) {
    return false;
  }

  if (!o.WholeTree()) {
    if (s.chkArvProd.Checked() && !op.Click(s.chkArvProd)) return false;
    if (o.activeOnly && !op.Click(s.chkAtivProd)) return false;
    if (o.latest) {
      if (!op.Click(s.chkSolicProd)) return false;
      if (!op.Type(s.sedSolicProd, std::to_string(*o.latest))) return false;
    }
  }

  if (!op.Type(s.depAFIni, DateKeys(o.af.from)) || !op.Type(s.depAFFim, DateKeys(o.af.to))) {
    return false;
  }
  if (!op.Type(s.depSoliCompIni, DateKeys(o.requests.from)) ||
      !op.Type(s.depSoliCompFim, DateKeys(o.requests.to))) {
    return false;
  }
  if (!o.grouping.empty() && !op.TypeCode(s.medAgrupProd, o.grouping)) return false;

  // Back to the target: leaving the last field runs its exit rule too.
  return op.Focus(palm ? s.rbtPalm : s.rbtEPc);
}

}  // namespace

record::Summary RunExport(const ExportOptions& options, ExpDadosServices& services,
                  TerminalDialogs& dialogs, ProgressView& progress, const QueueLister& queueOf,
                  const record::FileVisitor& keep) {
  Clock::time_point began = Clock::now();
  record::Summary sum;
  bool palm = options.target == Target::Palm;
  sum.target = palm ? "palm" : "eeepc";
  sum.deviceCode = options.device;
  sum.dryRun = options.dryRun;

  TfrmExpDados screen(services);
  progress.Follow(screen.pgbProgresso, screen.lblStatus);
  screen.SetObserver(&progress);
  Operator op(screen);

  auto finish = [&](record::Ending e) {
    progress.Finish();
    screen.SetObserver(nullptr);
    sum.ending = e;
    sum.problem = op.Problem();
    sum.detail = op.Detail();
    sum.messages = dialogs.Messages();
    sum.closingMessage = dialogs.ClosingMessage().value_or("");
    sum.seconds = std::chrono::duration<double>(Clock::now() - began).count();
    return sum;
  };

  if (!op.Do([&] {
        screen.FormCreate();
        screen.Show();
      })) {
    return finish(record::Ending::Failed);
  }
  if (screen.medCdFilial.Text().empty()) {
    op.Stop("the configured branch is no central kitchen (host.branch)");
    return finish(record::Ending::Usage);
  }

  if (!Fill(screen, op, dialogs, options)) {
    if (op.UsageProblem()) return finish(record::Ending::Usage);
    return finish(op.Errored() ? record::Ending::Failed : record::Ending::Stopped);
  }
  sum.deviceCode = (palm ? screen.medCdPalm : screen.medCdEPc).Text();
  sum.deviceName = (palm ? screen.edtNmPalm : screen.edtNmEPC).Text();

  if (!screen.sbtImportExport.OnClick) {
    op.Stop("the export button of this build does nothing");
    return finish(record::Ending::Failed);
  }
  auto pressed = std::chrono::system_clock::now();
  // File times come from a coarser clock than the system clock's: allow for its tick.
  auto since = pressed - std::chrono::milliseconds(50);
  op.Do([&] { screen.sbtImportExport.Click(); });

  record::Ending ending = dialogs.ClosingMessage() ? record::Ending::Exported
                  : op.Errored() || progress.RunStarted() ? record::Ending::Failed
                                                           : record::Ending::Stopped;
  sum.deviceName = (palm ? screen.edtNmPalm : screen.edtNmEPC).Text();
  sum.afWarning = dialogs.ClosingMessage() == screen.msgPadrao.Msg("BLOQ_AF");
  sum.folder = progress.RunStarted() ? screen.DirExp : screen.medDiretorios.Text();
  if (progress.RunStarted()) {
    for (const TableOverPalmLimit& t : screen.OverPalmLimit) sum.overPalmLimit.push_back({t.table, t.rows});
    try {
      sum.files = record::WrittenFiles(services.files, screen.DirExp, since, screen.WrittenFiles, keep);
      if (palm && queueOf) {
        sum.queueUser = screen.edtNmPalm.Text();
        sum.queue = queueOf(sum.queueUser);
      }
    } catch (const std::exception& e) {
      // The export itself is over; a folder that cannot be read back only shortens the summary.
      op.Stop(std::string("reading the export back: ") + e.what());
    }
  }
  return finish(ending);
}

}  // namespace kve::batch
