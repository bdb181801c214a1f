#pragma once
// The maker's base screen for imports and exports: the action button, the cancel button, the
// progress bar with its status line, the screen-code label and the message catalogue. A
// screen derived from it adds its own controls and runs the base create and close steps
// from its own.

#include <string>
#include <vector>

#include "platform/maker/messages.h"
#include "platform/ui/buttons.h"
#include "platform/ui/control.h"
#include "platform/ui/form.h"

namespace kve {

class TfrmPadrImportExport : public TForm {
 public:
  // `messages` replaces the base catalogue with the derived screen's own lines.
  TfrmPadrImportExport(std::string name, Dialogs& dialogs, std::vector<std::string> messages);

  // Base create step: the controls' base texts; a derived screen runs it first.
  void PadrFormCreate();
  // Base close step: a derived screen runs it last.
  void PadrFormClose();

  // The two pictures the base screen holds for the action button's glyph.
  static constexpr const char* kImportGlyph = "import";
  static constexpr const char* kExportGlyph = "export";

  TLabel lblCodTela;
  TSpeedButton sbtImportExport;
  TSpeedButton sbtCancelar;
  TProgressBar pgbProgresso;
  TLabel lblStatus;  // the status line beside the progress bar
  std::string sbtImportExportGlyph;
  TMessages msgPadrao;
};

}  // namespace kve
