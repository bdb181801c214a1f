#pragma once
// The data-export screen (screen code "KVE07000", caption "Exportação de Dados").
//
// One class holds every control, data component and member text of the screen, named as the
// screen names them. The class and all its members live in this folder, one file per part of
// the screen (the file is named beside each group below), and build into one library. Members
// stay thin: the plain functions of src/params, src/export, src/palm and src/eeepc do the
// work and are tested without a screen.
//
// The screen reaches everything outside through ExpDadosServices, so it runs headless with
// doubles; the host's configuration values come from the installed maker services (Corvane).

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "export/table_set.h"
#include "host/expdados_services.h"
#include "host/padr_import_export.h"
#include "platform/dataset/dataset.h"
#include "platform/maker/btn_pesquisa.h"
#include "platform/maker/date_edit.h"
#include "platform/ui/buttons.h"
#include "platform/ui/edits.h"
#include "screen/palm_databases.h"

namespace kve {

class TfrmExpDados : public TfrmPadrImportExport {
 public:
  explicit TfrmExpDados(ExpDadosServices& services);
  ~TfrmExpDados() override;

  ExpDadosServices& services() const { return svc_; }

  // ---- lifecycle (frm_exp_dados.cc) ----
  void FormCreate();    // start-up: server, branch table, central kitchen, folder display
  void FormActivate();  // repaint whenever the screen becomes active
  void FormClose();     // close: withdraws the queued export, gives the single instance up
  void netExpDadosBeforeConnect();
  // A failure of the platform (server, disk, share) in the operator's words, its detail in
  // the log (operator_errors.h).
  void ShowError(const std::exception& e) override;

  // ---- parameter rules and checks (param_rules.cc, param_checks.cc) ----
  void rbtTAgregClick();
  void chkArvProdClick();
  void chkAtivProdClick();
  void ControleExportacao();
  void rbtPalmClick();
  void rbtEPcClick();
  void grbIntegracaoExit();
  void medCdNutricioChange();
  void medCdNutricioExit();
  void btpNutricioBeforePesq();
  void btpNutricioAfterPesq();
  void medAgrupProdChange();
  void medAgrupProdExit();
  void btpAgrupProdBeforePesq();
  void btpAgrupProdAfterPesq();
  void btnAgregadaClick();
  void sedSolicProdEnter();
  void sedSolicProdKeyPress(char& key);
  void sedSolicProdChange();
  void sedSolicProdExit();
  void depCardIniExit();
  void depCardFimExit();
  void depSoliCompIniExit();
  void depSoliCompFimExit();
  void depAFIniExit();
  void depAFFimExit();
  void Vd_Nutricio();
  void Vd_AgrupProd();

  // ---- the Palm export folders (palm_folders.cc) ----
  void Vd_Diretorios(bool check);

  // ---- eeePC selection (eeepc_device.cc) ----
  void Vd_ePc(const std::string& code, bool required);
  void btnEPcBeforePesq();
  void btnEPcAfterPesq();
  void medCdEPcChange();
  void medCdEPcExit();

  // ---- validation and export trigger (export_button.cc) ----
  // The export button: the checks, then the export run; then the host's exportEnded.
  void sbtImportExportClick();
  void vd_DepsCardapio();
  void Vd_Agregadas();

  // ---- the export run (export_start.cc) ----
  // Runs an ExportRun (export_run.h) on this screen's view, with the order the controls hold;
  // the server's by-reference values and the eeePC's folder come back into ListaAgreg,
  // NrSolic and DirExp however it ends.
  void Exportacao();

  // ---- Palm databases (palm_databases.cc), the HotSync queue and the Palm selection
  // (palm_device.cc) ----
  // The export run's Palm database steps, on this screen's progress bar, from DirExp.
  void CriaPDB();
  void CriaPDBPrevReti();
  void Remover(const std::string& user);
  void Vd_Palm(bool checkUser, bool required);
  void medCdPalmChange();
  void medCdPalmExit();
  void btnPalmBeforePesq();
  void btnPalmAfterPesq();

  // ---- eeePC deployment (eeepc_deploy.cc) ----
  // The export run's deployment (DeployEeepc) to the eeePC named in edtNmEPC, on this
  // screen's view; DirExp becomes its export folder when it succeeds. Its first step is
  // eeepc::CheckEpcShare, which refuses a device name that cannot be a computer name.
  void Vd_DiretoriosEPc();
  // A copy that replaces the destination at once (the deployment makes its copies so).
  void CopyFile(const std::string& source, const std::string& destination);

  // ---- controls, in keyboard order (containers before what they hold) ----
  TPanel panFilial;
  TLabel lblFilial;
  TMaskEdit medCdFilial;
  TBtnPesquisa btnFilial;
  TEdit edtNmFilial;
  TGroupBox grbIntegracao;
  TRadioButton rbtPalm;
  TRadioButton rbtEPc;
  TLabel lblPalm;
  TMaskEdit medCdPalm;
  TBtnPesquisa btnPalm;
  TEdit edtNmPalm;
  TLabel lblEPc;
  TMaskEdit medCdEPc;
  TBtnPesquisa btnEpc;
  TEdit edtNmEPC;
  TLabel lblNutricio;
  TMaskEdit medCdNutricio;
  TBtnPesquisa btpNutricio;
  TEdit edtNmNutricio;
  TGroupBox grbAgregada;
  TRadioButton rbtTAgreg;
  TRadioButton rbtLAgreg;
  TBtnPesquisa btnAgregada;
  TGroupBox grbDataCard;
  TLabel lblCardIni;
  TDateEditPlus depCardIni;
  TLabel lblCardFim;
  TDateEditPlus depCardFim;
  TGroupBox grbProdutos;
  TCheckBox chkArvProd;
  TCheckBox chkAtivProd;
  TCheckBox chkSolicProd;
  TSpinEdit sedSolicProd;
  TLabel lblSolicProd;
  TGroupBox grbDataAF;
  TLabel lblAFIni;
  TDateEditPlus depAFIni;
  TLabel lblAFFim;
  TDateEditPlus depAFFim;
  TGroupBox grbDataSoliComp;
  TLabel lblSoliCompIni;
  TDateEditPlus depSoliCompIni;
  TLabel lblSoliCompFim;
  TDateEditPlus depSoliCompFim;
  TPanel panAgrupProd;
  TLabel lblAgrupProd;
  TMaskEdit medAgrupProd;
  TBtnPesquisa btpAgrupProd;
  TEdit edtNmAgrupProd;
  TPanel panDiretorio;
  TLabel lblDiretorio;
  TMaskEdit medDiretorios;

  // Hidden folder and file lists: the folder the Palm databases are built from, and its
  // "*.xml" files.
  struct DirectoryList {
    std::string directory;
  } drlDiretorio;
  struct FileList {
    std::string mask = "*.xml";
    bool multiSelect = true;
  } flbArquivo;

  // ---- member texts shared by the parts ----
  std::string ListaAgreg;  // "_0002_0003"
  std::string NrSolic;
  std::string DirExp;  // ends with a backslash
  std::string DirBin;  // ends with a backslash
  // What the last export run wrote into DirExp, by name (ExportRun::Written), and the tables
  // that stopped a Palm export for the record limit (ExportRun::OverPalmLimit).
  std::vector<std::string> WrittenFiles;
  std::vector<TableOverPalmLimit> OverPalmLimit;

  // ---- data components ----
  ServerLink& netExpDados;
  TADOIBQuery qryFilial;
  TADOIBQuery qryNutricio;
  TADOIBQuery qryVdNutri;
  TADOIBQuery qryAgregada;
  TADOIBQuery qryAgregadaOper;
  TADOIBQuery qryPalm;
  TADOIBQuery qryVdPalm;
  TClientDataSet cdsAgrupProd;
  TClientDataSet cdsHistPalm;
  // Tables of the export run, one for each table of the export catalogue, filled from the
  // server and derived locally: exportTables["cdsEfetivos"].
  exporting::TableSet exportTables;

 private:
  // Control set-up and event wiring, each beside the rules it wires; the constructor runs
  // them. The Palm side wires its own handlers the same way.
  void SetupParams();  // param_setup.cc
  void SetupEpc();     // eeepc_device.cc
  void SetupPalm();    // palm_device.cc
  // The close handler's first step: withdraws the exports this screen queued that are still
  // queued as it left them, telling the operator of each first. What another program queued
  // (kve-export beside the screen), or a HotSync took, is left alone.
  void RemoverTodosUsuarios();
  // After a Palm export: notes which copy of each entry the screen queued for `user`, so the
  // close step withdraws those and nothing queued since.
  void NoteQueuedExport(const std::string& user);
  // Runs `step` and, when it fails, puts the focus on `field` before the failure goes on.
  void FocusOnFailure(TControl& field, const std::function<void()>& step);
  // A line for the support log: the host's, or standard error.
  void Log(const std::string& line) const;
  // The export button's work, checks and run, without the telling of how it ended.
  void ExportPressed();

  // What the press of Export under way has come to so far, for exportEnded.
  bool runStarted_ = false;
  std::string closingMessage_;
  // Per HotSync user, the entries this screen's last export queued (their paths as the
  // withdrawal builds them) and which copy of each it left there.
  std::map<std::string, std::vector<std::pair<std::string, InstallAide::PltEntryInfo>>> queuedByScreen_;

  ExpDadosServices& svc_;
};

}  // namespace kve
