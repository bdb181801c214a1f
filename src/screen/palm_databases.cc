// The Palm databases of an export: the generic conversion of the export folder's XML files
// and the withdrawal forecast, with the progress bar following the records.

#include "screen/palm_databases.h"

#include "palm/pdb_conversion.h"
#include "palm/prevreti.h"
#include "platform/maker/config.h"
#include "platform/maker/host_values.h"
#include "platform/maker/picture.h"
#include "screen/form_run_view.h"
#include "screen/frm_exp_dados.h"

namespace kve {
namespace {

// The progress bar follows the records of the database being written.
class ViewPdbProgress final : public palm::PdbProgress {
 public:
  explicit ViewPdbProgress(ExportRunView& view) : view_(view) {}
  void Start(int records) override { view_.Progress(0, records); }
  void Step() override { view_.StepProgress(); }
  void Finish() override {
    view_.Status("");
    view_.ClearProgress();
  }

 private:
  ExportRunView& view_;
};

}  // namespace

void ConvertPalmDatabases(FileSystem& files, const std::string& dirExp, ExportRunView& view) {
  ViewPdbProgress progress(view);
  palm::ConvertXmlFolder(files, dirExp, progress);
}

void WritePrevRetiDatabase(TClientDataSet& prevReti, FileSystem& files, const std::string& dirExp,
                           ExportRunView& view) {
  palm::PrevRetiOptions options;
  options.maskProduct = palm::ProductMaskFormatter(Corvane::DBPict(0));
  options.operatorCode = Corvane::Operador();
  const maker::HostConfig& config = maker::CurrentServices().Config();
  options.separators = {config.decimal_separator, config.thousand_separator};
  ViewPdbProgress progress(view);
  palm::CriaPDBPrevReti(prevReti, files, dirExp, options, progress);
}

void TfrmExpDados::CriaPDB() {
  drlDiretorio.directory = DirExp;
  FormRunView view(*this);
  ConvertPalmDatabases(svc_.files, DirExp, view);
}

void TfrmExpDados::CriaPDBPrevReti() {
  FormRunView view(*this);
  WritePrevRetiDatabase(exportTables["cdsPrevReti"], svc_.files, DirExp, view);
}

}  // namespace kve
