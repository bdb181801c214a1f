// The export run: one server call for every table, the derived tables, the files of the
// target, the history record and the closing alert; on failure, the failure recorded (Palm)
// and the progress display reset.

#include <cstdio>
#include <utility>

#include "export/catalogue.h"
#include "export/derivations.h"
#include "export/derived_tables.h"
#include "export/export_calls.h"
#include "export/export_files.h"
#include "export/export_reuse.h"
#include "platform/common/error.h"
#include "platform/maker/consiste.h"
#include "platform/maker/host_values.h"
#include "platform/maker/password.h"
#include "platform/maker/picture.h"
#include "platform/maker/showavi.h"
#include "platform/net/check_result.h"
#include "screen/frm_exp_dados.h"

namespace kve {
void TfrmExpDados::Exportacao() {
  std::string productStatus = "T";
  std::string afBlock = "N";
  if (rbtTAgreg.Checked()) {
    ListaAgreg.clear();
    TADOIBQuery* q;
    if (Consiste::EmptyString(medCdNutricio.Text())) {
      q = &qryAgregada;
      q->Close();
      q->ParamByName("P_CDFILCENTKVE").SetAsString(medCdFilial.Text());
    } else {
      q = &qryAgregadaOper;
      q->Close();
      q->ParamByName("P_CDFILCENTKVE").SetAsString(medCdFilial.Text());
      q->ParamByName("P_CDOPERADOR").SetAsString(medCdNutricio.Text());
    }
    q->Open();
    ListaAgreg = exporting::AggregatedList(*q);
  }
  if (chkAtivProd.Checked()) productStatus = "A";

  const bool palm = rbtPalm.Checked();
  runStarted_ = true;
  auto table = [this](const exporting::TableSpec& t) -> TClientDataSet& { return exportTables[t]; };
  auto progress = [this](int done, int count, std::string_view file) {
    pgbProgresso.SetRange(0, count);
    pgbProgresso.SetPosition(done);
    lblStatus.SetCaption(std::string(file));
  };
  try {
    // Each folder the run changes (the export folder, the eeePC's, the install queue's) is
    // flushed once, before the export is recorded as done, rather than once per file.
    FolderBatch files(svc_.files), queue(svc_.installAide);
    Showavi::ActiveShowAvi(svc_.busy, 6);
    if (rbtEPc.Checked()) Vd_DiretoriosEPc();

    exporting::GetTabelasRequest request{
        medCdFilial.Text(), ListaAgreg,
        depCardIni.GetDate(), depCardFim.GetDate(), depSoliCompIni.GetDate(),
        depSoliCompFim.GetDate(), depAFIni.GetDate(), depAFFim.GetDate(),
        std::to_string(Corvane::DBPictObj(0).GetTtNiveis()), NrSolic, productStatus,
        medAgrupProd.Text(), Corvane::Operador()};
    // An eeePC export of a session that has made one with the same arguments writes its bytes.
    const std::string reuseKey = svc_.reuse && !palm ? exporting::RequestKey(request) : std::string();
    const exporting::EeepcFilesOfTables* kept = reuseKey.empty() ? nullptr : svc_.reuse->Find(reuseKey);
    exporting::EeepcFilesOfTables keeping;
    if (kept) {
      ListaAgreg = kept->refs[0];
      NrSolic = kept->refs[1];
      productStatus = kept->refs[2];
      afBlock = kept->afBlock;
      exportTables["cdsFilial"].SetData(kept->filial);
      exportTables["cdsFilial"].SetName("FILIAL");
      exportTables["cdsOperador"].SetData(kept->operador);
      exportTables["cdsOperador"].SetName("OPERADOR");
    } else {
      RemoteValue answer = exporting::CallGetTabelas(netExpDados, request);
      if (answer.isText()) Showavi::DeactiveShowAvi(svc_.busy);
      std::vector<TClientDataSet*> slots;
      for (const exporting::TableSpec* t : exporting::SlotOrder()) {
        TClientDataSet& ds = table(*t);
        ds.SetName(std::string(t->table));
        slots.push_back(&ds);
      }
      LoadTableImages(std::move(answer), slots);

      exporting::DerivedTableSet derived{
          exportTables["cdsSoliComp"], exportTables["cdsProduto"],  exportTables["cdsProdCod"],
          exportTables["cdsProdutoCod"], exportTables["cdsItemAF"], exportTables["cdsCliente"],
          exportTables["cdsForneced"], exportTables["cdsParam"],    exportTables["cdsFilial"],
          exportTables["cdsNumAF"],    exportTables["cdsIdioma"]};
      afBlock = exporting::DeriveExportTables(derived, exporting::MakerDerivationValues());
      for (const exporting::TableSpec* t : exporting::EmptyTables()) exporting::CreateEmpty(table(*t), *t);
      if (!reuseKey.empty()) {
        keeping.refs = {ListaAgreg, NrSolic, productStatus};
        keeping.afBlock = afBlock;
        keeping.filial = exportTables["cdsFilial"].Data();
        keeping.operador = exportTables["cdsOperador"].Data();
      }
    }

    if (palm) {
      exporting::WritePalmXmlFiles(svc_.files, DirExp, table, progress);
      CriaPDB();
      CriaPDBPrevReti();
      // Queue results are not examined: a file that could not be queued does not fail the
      // export, but support hears of it.
      for (const std::string& path : exporting::PalmQueuePaths(DirExp, DirBin)) {
        const int result = svc_.installAide.PltInstallFile(edtNmPalm.Text().c_str(), path.c_str());
        if (result != kPltOk)
          Log("queue " + path + " for " + edtNmPalm.Text() + ": " + std::string(PltResultText(result)));
      }
      lblStatus.SetCaption(msgPadrao.Msg("HOTSYNC"));
      Repaint();
    } else {
      try {
        const std::vector<exporting::FileEntry> files = exporting::EeepcFiles();
        std::string current;
        exporting::WriteEeepcBytes(
            svc_.files, DirExp,
            [&](size_t i) -> std::string_view {
              if (kept) return kept->files[i];
              current = exporting::BinaryPacket(table(*files[i].table), DirExp + exporting::StagedName(files[i].file));
              if (reuseKey.empty()) return current;
              keeping.files.push_back(std::move(current));
              return keeping.files.back();
            },
            [&] {
              exporting::BuildEeepcSettings(exportTables["cdsDados"], exportTables["cdsFilial"],
                                            exportTables["cdsOperador"], DirExp, Corvane::DBPict(0),
                                            &Criptografa::CriptoPlus);
              const exporting::TableSpec& settings = exporting::EeepcSettingsTable();
              return exporting::BinaryPacket(table(settings), DirExp + exporting::StagedName(settings.eeepcFile));
            },
            progress);
        // Every file encoded: the next eeePC with the same arguments writes these bytes.
        if (!kept && !reuseKey.empty()) svc_.reuse->Keep(reuseKey, std::move(keeping));
      } catch (const EAbort&) {
        throw;
      } catch (const std::exception& e) {
        Showavi::DeactiveShowAvi(svc_.busy);
        Log(std::string("eeePC export: ") + e.what());
        Consiste::MensErro(svc_.dialogs,
                           Format(msgPadrao.Msg("Dir_N_comp"), {DirExp, edtNmEPC.Text() + "\\Orvanta Web"}),
                           true);
      }
    }

    files.Sync();
    queue.Sync();
    exporting::RecordHistory(netExpDados, medCdFilial.Text(), palm ? medCdPalm.Text() : medCdEPc.Text(),
                             msgPadrao.Msg("Export_Ok"), "0", "0");
    Showavi::DeactiveShowAvi(svc_.busy);
    // The supply-authorisation warning replaces the success text for either target.
    const char* key = afBlock == "S" ? "BLOQ_AF" : palm ? "OK_HOTSYNC" : "OK_EEPC";
    closingMessage_ = msgPadrao.Msg(key);
    msgPadrao.ShowMsgAlertEx(key, TMsgDlgType::mtInformation, {msgPadrao.Msg("OK")}, 1,
                             afBlock == "S" ? 10 : 5, 0);
  } catch (...) {
    // The clean-up runs whatever recording the failure does: the operator hears of the first
    // failure, a second one goes to the log.
    if (palm) {
      try {
        exporting::RecordHistory(netExpDados, medCdFilial.Text(), medCdPalm.Text(),
                                 msgPadrao.Msg("Export_n_Ok"), "0", "1");
      } catch (const std::exception& e) {
        Log(std::string("recording the failed export: ") + e.what());
      }
    }
    Showavi::DeactiveShowAvi(svc_.busy);
    pgbProgresso.SetPosition(0);
    lblStatus.SetCaption("");
    Repaint();
    BringToFront();
    throw;
  }
  sedSolicProd.SetText("");
  sedSolicProd.SetText(NrSolic);
}

}  // namespace kve
