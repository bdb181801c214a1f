// The export button on the model with a server double that records every call: a failed
// check reaches neither the server's export and history methods nor the queue nor a file,
// and the history decides whether the Palm export asks first.
#include <gtest/gtest.h>

#include <set>

#include "catalogue/catalogue.h"
#include "platform/maker/host_values.h"
#include "support/expdados_world.h"

namespace kve {
namespace {

using testing::OpenScreen;
using testing::TablePacket;
using testing::TextAnswer;

// A screen with every parameter valid for Palm 001 of central 0001.
struct ReadyScreen : OpenScreen {
  ReadyScreen() {
    for (const char* d : {"C:\\Palm", "C:\\Palm\\Kve", "C:\\Palm\\Kve\\Exp", "C:\\Palm\\Kve\\Bin"})
      files->CreateDir(d);
    std::filesystem::create_directories(hotsync.path() / "PALM 01");
    screen.medCdPalm.SetText("1");
    for (TDateEditPlus* d : {&screen.depCardIni, &screen.depSoliCompIni, &screen.depAFIni})
      d->SetText("02/03/2026");
    for (TDateEditPlus* d : {&screen.depCardFim, &screen.depSoliCompFim, &screen.depAFFim})
      d->SetText("06/03/2026");
    server.answer = [this](const std::string& method, std::vector<RemoteArg>&) -> RemoteValue {
      if (method == "GetHistPalm") {
        removalsBeforeHistory = installAide.CallsOf("PltRemoveInstallFile").size();
        return TablePacket({{"IDHISTPALM", 1}, {"IDERROPALM", 1}}, history);
      }
      if (method == "InsHistPalm") return TablePacket({{"CDPALM", 3}}, {{"001"}});
      return TextAnswer("GetTabelas stops here");
    };
  }
  bool Press() { return screen.UserClick(screen.sbtImportExport); }
  // The calls that only a complete check may make.
  // Changes to the install queue (reading its users is part of the Palm check).
  size_t QueueChanges() const {
    return installAide.CallsOf("PltRemoveInstallFile").size() + installAide.CallsOf("PltInstallFile").size();
  }
  std::vector<std::string> ExportCalls() const {
    std::vector<std::string> out;
    for (const auto& c : server.calls)
      if (c.method != "GetAgrupProd") out.push_back(c.method);
    return out;
  }

  std::vector<std::vector<std::string>> history;
  size_t removalsBeforeHistory = 0;
};

TEST(Trigger, AFailedCheckShowsOneMessageAndReachesNoServerQueueOrFile) {
  struct Case {
    const char* name;
    std::function<void(TfrmExpDados&)> arrange;
    std::string error;
    std::string focus;  // control named, or "" when not checked
  } cases[] = {
      {"malformed date", [](TfrmExpDados& s) { s.depAFFim.SetText("31/02/2026"); },
       "'31/02/2026' não é uma data válida.", "depAFFim"},
      {"no Palm code, nothing else checked",
       [](TfrmExpDados& s) {
         s.medCdPalm.SetText("");
         s.medCdNutricio.SetText("99");
         s.depCardIni.SetText("");
       },
       "Palm deve ser informado.", "medCdPalm"},
      {"unknown nutritionist", [](TfrmExpDados& s) { s.medCdNutricio.SetText("99"); },
       "Nutricionista não cadastrado.", "medCdNutricio"},
      {"list chosen, nothing picked, before any date",
       [](TfrmExpDados& s) {
         s.UserClick(s.rbtLAgreg);
         s.depCardIni.SetText("");
       },
       "Filial Agregada deve ser informada.", "rbtLAgreg"},
      {"menu ends a day before it starts", [](TfrmExpDados& s) { s.depCardFim.SetText("01/03/2026"); },
       "Data inicial do cardápio deve ser menor ou igual à data final do cardápio.", "depCardIni"},
      {"AF range without its end", [](TfrmExpDados& s) { s.depAFFim.SetText(""); },
       "Data final da AF deve ser informada.", "depAFFim"},
      {"nutritionist without aggregated branches", [](TfrmExpDados& s) { s.medCdNutricio.SetText("20"); },
       "Não há filial agregada cadastrada para central e nutricionista informados.", ""},
      {"latest requests with a count of 0",
       [](TfrmExpDados& s) {
         s.UserClick(s.chkArvProd);
         s.UserClick(s.chkSolicProd);
         s.sedSolicProd.SetText("0");
       },
       "Número de solicitações deve ser maior que zero.", "sedSolicProd"},
      {"no product filter", [](TfrmExpDados& s) { s.UserClick(s.chkArvProd); },
       "Filtro de produtos deve ser informado.", "chkArvProd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReadyScreen w;
    c.arrange(w.screen);
    w.dialogs.Clear();
    EXPECT_FALSE(w.Press());
    EXPECT_EQ(w.dialogs.Texts(), std::vector<std::string>{c.error});
    if (!c.focus.empty()) {
      ASSERT_NE(w.screen.ActiveControl(), nullptr);
      EXPECT_EQ(w.screen.ActiveControl()->Name(), c.focus);
    }
    EXPECT_TRUE(w.ExportCalls().empty());
    EXPECT_EQ(w.QueueChanges(), 0u);
    EXPECT_TRUE(w.files->ListFiles("C:\\Palm\\Kve\\Exp", "*").empty());
  }
}

TEST(Trigger, NoToTheWholeProductTreeEndsTheClickWithoutAWord) {
  ReadyScreen w;
  w.screen.pgbProgresso.SetPosition(7);
  w.screen.lblStatus.SetCaption("earlier");
  w.dialogs.Answer(mrNo);
  EXPECT_TRUE(w.Press());
  EXPECT_EQ(w.dialogs.Texts(), std::vector<std::string>{"Confirma a exportação de toda a árvore de produto?"});
  EXPECT_EQ(w.screen.pgbProgresso.Position(), 7);
  EXPECT_EQ(w.screen.lblStatus.Caption(), "earlier");
  EXPECT_TRUE(w.ExportCalls().empty());
  EXPECT_EQ(w.QueueChanges(), 0u);
}

// The queue is cleared before the history is read, whatever it says; only an export that
// completed and never came back asks, and No exports nothing.
TEST(Trigger, ThePalmsHistoryDecidesWhetherTheExportAsksFirst) {
  struct Case {
    std::vector<std::vector<std::string>> history;
    std::optional<int> answer;
    bool exported;
  } cases[] = {
      {{}, std::nullopt, true},
      {{{"1", "0"}}, std::nullopt, true},
      {{{"0", "1"}}, std::nullopt, true},
      {{{"0", "0"}}, mrYes, true},
      {{{"0", "0"}}, mrNo, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.history) + (c.answer ? " answered" : ""));
    ReadyScreen w;
    w.history = c.history;
    w.dialogs.Answer(mrYes);  // the whole product tree
    if (c.answer) w.dialogs.Answer(*c.answer);
    w.Press();
    // The earlier export stays queued until this one replaces it; no export resulted (the
    // server stops at GetTabelas), so it is withdrawn at the end.
    EXPECT_EQ(w.removalsBeforeHistory, 0u);
    EXPECT_EQ(w.installAide.CallsOf("PltRemoveInstallFile").size(), exporting::PalmRemoval().size());
    EXPECT_EQ(w.dialogs.Unused(), 0u);
    std::vector<std::string> texts = w.dialogs.Texts();
    if (c.answer == mrNo) {
      EXPECT_EQ(texts.back(), "Importação deve ser realizada na tela Importação de Dados.");
    }
    const std::vector<std::string> calls = w.ExportCalls();
    ASSERT_GE(calls.size(), 1u);
    EXPECT_EQ(calls[0], "GetHistPalm");
    EXPECT_EQ(calls.size() > 1 && calls[1] == "GetTabelas", c.exported);
  }
}

// GetTabelas gets its 13 arguments in order; the by-reference ones come back into the screen's
// texts, but the count box keeps its text when the run fails.
TEST(Trigger, TheExportCallCarriesTheParametersAndTakesBackTheServersValues) {
  ReadyScreen w;
  w.screen.UserClick(w.screen.chkArvProd);
  w.screen.UserClick(w.screen.chkAtivProd);
  w.screen.UserClick(w.screen.chkSolicProd);
  w.screen.sedSolicProd.SetText("3");
  auto history = w.server.answer;
  w.server.answer = [&](const std::string& method, std::vector<RemoteArg>& args) -> RemoteValue {
    if (method != "GetTabelas") return history(method, args);
    *args[1].ref = "_0002";
    *args[9].ref = "9";
    return TextAnswer("Sem tabelas hoje.");
  };
  EXPECT_FALSE(w.Press());
  EXPECT_EQ(w.dialogs.Errors(), std::vector<std::string>{"Sem tabelas hoje."});
  ASSERT_EQ(w.ExportCalls(), (std::vector<std::string>{"GetHistPalm", "GetTabelas", "InsHistPalm"}));
  const std::string from = "02/03/2026", to = "06/03/2026";
  EXPECT_EQ(w.server.calls[1].args,
            (std::vector<std::string>{"0001", "_0002_0003", from, to, from, to, from, to, "4", "3", "A", "",
                                      Corvane::Operador()}));
  EXPECT_EQ(w.server.calls[2].args,
            (std::vector<std::string>{"0001", "001", "A preparação dos dados não foi concluída.", "0", "1"}));
  EXPECT_EQ(w.screen.ListaAgreg, "_0002");
  EXPECT_EQ(w.screen.NrSolic, "9");
  EXPECT_EQ(w.screen.sedSolicProd.Text(), "3");
  EXPECT_EQ(w.screen.BringToFrontCount(), 1);
}

// Recording the failure may fail too (the server gone): the progress display is reset all
// the same, the operator sees the first failure and the second goes to the log.
TEST(Trigger, AFailedFailureRecordStillResetsTheScreenAndShowsTheFirstFailure) {
  ReadyScreen w;
  auto history = w.server.answer;
  w.server.answer = [&](const std::string& method, std::vector<RemoteArg>& args) -> RemoteValue {
    if (method == "InsHistPalm") throw Error("127.0.0.1:8211: connection refused");
    return history(method, args);
  };
  w.dialogs.Answer(mrYes);
  EXPECT_FALSE(w.Press());
  EXPECT_EQ(w.dialogs.Errors(), std::vector<std::string>{"GetTabelas stops here"});
  EXPECT_EQ(w.logged, std::vector<std::string>{"recording the failed export: 127.0.0.1:8211: connection refused"});
  EXPECT_FALSE(w.busy.Animating());
  EXPECT_EQ(w.screen.pgbProgresso.Position(), 0);
  EXPECT_EQ(w.screen.lblStatus.Caption(), "");
  EXPECT_EQ(w.screen.BringToFrontCount(), 1);
}

}  // namespace
}  // namespace kve
