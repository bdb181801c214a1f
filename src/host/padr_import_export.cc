#include "host/padr_import_export.h"

namespace kve {

TfrmPadrImportExport::TfrmPadrImportExport(std::string name, Dialogs& dialogs,
                                           std::vector<std::string> messages)
    : TForm(std::move(name), dialogs),
      lblCodTela(this, "lblCodTela"),
      sbtImportExport(this, "sbtImportExport"),
      sbtCancelar(this, "sbtCancelar"),
      pgbProgresso(this, "pgbProgresso"),
      lblStatus(this, "lblStatus"),
      msgPadrao(std::move(messages), dialogs) {
  // Cancel leaves the screen: its close step runs as for any other way of closing it.
  sbtCancelar.OnClick = [this] { Close(); };
}

void TfrmPadrImportExport::PadrFormCreate() {
  sbtCancelar.SetHint("Cancelar");
  sbtImportExportGlyph = kImportGlyph;
  pgbProgresso.SetRange(0, 100);
  pgbProgresso.SetPosition(0);
  lblStatus.SetCaption("");
}

void TfrmPadrImportExport::PadrFormClose() { pgbProgresso.SetPosition(0); }

}  // namespace kve
