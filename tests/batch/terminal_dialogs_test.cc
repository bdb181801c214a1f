#include <gtest/gtest.h>

#include <sstream>

#include "batch/terminal_dialogs.h"

namespace kve::batch {
namespace {

TEST(TerminalDialogs, QuestionsAreAnsweredNoUnlessToldYesAndEverythingIsPrinted) {
  for (bool yes : {false, true}) {
    std::ostringstream out;
    TerminalDialogs d(out, yes, {});
    EXPECT_EQ(d.MessageDlg("Exportar toda a árvore?", TMsgDlgType::mtConfirmation, mbYesNo),
              yes ? mrYes : mrNo);
    EXPECT_EQ(d.AnsweredNo(), !yes);
    EXPECT_EQ(d.MessageDlg("Copie os arquivos.", TMsgDlgType::mtInformation, mbOKOnly), mrOk);
    d.ErrorBox("Palm não cadastrado.");
    EXPECT_FALSE(d.ClosingMessage());
    EXPECT_EQ(d.Alert("Exportação concluída.", TMsgDlgType::mtInformation, {"OK"}, {1, 5, 0}), 0);
    EXPECT_EQ(d.ClosingMessage(), "Exportação concluída.");
    EXPECT_EQ(d.Messages(), (std::vector<std::string>{"Exportar toda a árvore?", "Copie os arquivos.",
                                                      "Palm não cadastrado.", "Exportação concluída."}));
    EXPECT_NE(out.str().find("question: Exportar toda a árvore?\n  -> " +
                             std::string(yes ? "Yes" : "No")),
              std::string::npos);
    EXPECT_NE(out.str().find("error: Palm não cadastrado.\n"), std::string::npos);
  }
}

TEST(TerminalDialogs, ThePickListIsAnsweredFromTheGivenCodes) {
  PickRequest branches{"Filial Agregada", {"Código", "Nome"},
                       {{"0002", "EMEF A"}, {"0003", "EMEI B"}, {"0004", "CEI C"}}, true};
  struct Case {
    std::vector<std::string> picks;
    std::optional<std::vector<int>> chosen;
    const char* problem;
  } cases[] = {
      {{"0004", "0002"}, std::vector<int>{0, 2}, ""},
      {{"0003", "0003"}, std::vector<int>{1}, ""},
      {{"0002", "0099"}, std::nullopt, "0099 is not in the list \"Filial Agregada\" (0002, 0003, 0004)"},
      {{}, std::nullopt, "nothing to choose"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    TerminalDialogs d(out, false, c.picks);
    EXPECT_EQ(d.PickList(branches), c.chosen);
    EXPECT_NE(d.PickProblem().find(c.problem), std::string::npos) << d.PickProblem();
    EXPECT_EQ(d.PickProblem().empty(), std::string(c.problem).empty());
  }
  std::ostringstream out;
  TerminalDialogs d(out, false, {"0002", "0003"});
  branches.multiple = false;
  EXPECT_EQ(d.PickList(branches), std::nullopt);
  EXPECT_NE(d.PickProblem().find("one row only"), std::string::npos);
}

}  // namespace
}  // namespace kve::batch
