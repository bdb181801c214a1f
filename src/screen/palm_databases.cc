// The Palm databases of an export: the generic conversion of the export folder's XML files
// and the withdrawal forecast, with the progress bar following the records.

#include "palm/pdb_conversion.h"
#include "palm/prevreti.h"
#include "platform/common/error.h"
#include "platform/maker/config.h"
#include "platform/maker/host_values.h"
#include "platform/maker/picture.h"
#include "screen/frm_exp_dados.h"

namespace kve {
namespace {

// The progress bar follows the records of the database being written.
class ScreenPdbProgress final : public palm::PdbProgress {
 public:
  explicit ScreenPdbProgress(TfrmExpDados& s) : s_(s) {}
  void Start(int records) override {
    s_.pgbProgresso.SetRange(0, records);
    s_.pgbProgresso.SetPosition(0);
  }
  void Step() override { s_.pgbProgresso.StepIt(); }
  void Finish() override {
    s_.lblStatus.SetCaption("");
    s_.pgbProgresso.SetPosition(0);
  }

 private:
  TfrmExpDados& s_;
};

}  // namespace

void TfrmExpDados::CriaPDB() {
  drlDiretorio.directory = DirExp;
  ScreenPdbProgress progress(*this);
  palm::ConvertXmlFolder(svc_.files, DirExp, progress);
}

void TfrmExpDados::CriaPDBPrevReti() {
  palm::PrevRetiOptions options;
  options.maskProduct = palm::ProductMaskFormatter(Corvane::DBPict(0));
  options.operatorCode = Corvane::Operador();
  const maker::HostConfig& config = maker::CurrentServices().Config();
  options.separators = {config.decimal_separator, config.thousand_separator};
  ScreenPdbProgress progress(*this);
  palm::CriaPDBPrevReti(exportTables["cdsPrevReti"], svc_.files, DirExp, options, progress);
}

}  // namespace kve
