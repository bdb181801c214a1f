#include "platform/maker/messages.h"

#include <gtest/gtest.h>

#include "platform/common/error.h"
#include "platform/common/cp1252.h"
#include "params/expdados_messages.h"
#include "support/scripted_dialogs.h"

namespace kve {
namespace {

struct Catalogue : ::testing::Test {
  ScriptedDialogs dialogs;
  TMessages msg{ExpDadosMessageLines(), dialogs};
  std::vector<std::string> logged;
  void SetUp() override {
    msg.SetLog([this](std::string_view k) { logged.emplace_back(k); });
  }
};

size_t Placeholders(const std::string& t) {
  size_t n = 0;
  for (size_t at = t.find("%s"); at != std::string::npos; at = t.find("%s", at + 2)) ++n;
  return n;
}

TEST_F(Catalogue, HoldsFiftyThreeLinesFromN_Filial_CentrToAplic_EpcInStoredOrder) {
  ASSERT_EQ(msg.Count(), 53);
  EXPECT_EQ(msg.Key(0), "N_Filial_Centr");
  EXPECT_EQ(msg.Key(11), "Agreg_NCad");
  EXPECT_EQ(msg.Key(12), "Agreg_NCad_Nutri");
  EXPECT_EQ(msg.Key(41), "Exe_n_Enc");
  EXPECT_EQ(msg.Key(52), "Aplic_Epc");
}

TEST_F(Catalogue, KeepsTheDoubleAndTrailingBlanksOfRows42And43) {
  EXPECT_EQ(msg.Text(41), "Operação bloqueada. O %s  não foi encontrado no diretório %s. ");
  EXPECT_EQ(msg.Text(42), "Operação bloqueada. O diretório de executáveis  da Orvanta não foi encontrado.");
}

TEST_F(Catalogue, OnlyTheFourFolderAndFileMessagesHavePlaceholders) {
  std::map<std::string, size_t> withPlaceholders;
  for (int i = 0; i < msg.Count(); ++i) {
    if (size_t n = Placeholders(msg.Text(i))) withPlaceholders[msg.Key(i)] = n;
  }
  EXPECT_EQ(withPlaceholders, (std::map<std::string, size_t>{
                                  {"DirKVE_inf", 1}, {"DirKVE_ePc", 1}, {"Exe_n_Enc", 2}, {"Dir_N_comp", 2}}));
}

TEST_F(Catalogue, EveryTextFitsTheWindows1252CodePageOfTheFilesAndHistory) {
  for (int i = 0; i < msg.Count(); ++i) {
    std::string bytes;
    EXPECT_EQ(AppendCp1252(msg.Text(i), bytes), kEncodedOk) << msg.Key(i);
  }
  std::string bytes;
  AppendCp1252(msg.Msg("Filial_cad"), bytes);  // "Filial não ..." holds ã as the byte E3
  EXPECT_NE(bytes.find('\xE3'), std::string::npos);
}

TEST_F(Catalogue, LooksKeysUpWithoutRegardToCase) {
  EXPECT_EQ(msg.Msg("Palm_Inf"), "Palm deve ser informado.");
  EXPECT_EQ(msg.Msg("PALM_INF"), "Palm deve ser informado.");
  EXPECT_EQ(msg.Msg("ePc_NCad"), "eeePc não cadastrado.");
  EXPECT_EQ(msg.Msg("Export_n_Ok"), "A preparação dos dados não foi concluída.");
  EXPECT_TRUE(logged.empty());
}

TEST_F(Catalogue, NeverMatchesAKeyAsAPrefixOfAnother) {
  EXPECT_EQ(msg.Msg("Agreg_NCad"), "Não há filial agregada cadastrada para a central informada.");
  EXPECT_EQ(msg.Msg("Agreg_NCad_Nutri"),
            "Não há filial agregada cadastrada para central e nutricionista informados.");
  EXPECT_EQ(msg.Msg("OK"), "OK");
  EXPECT_EQ(msg.Msg("Agreg"), "");
  EXPECT_EQ(msg.Msg("OK_EEPC_X"), "");
}

TEST_F(Catalogue, AnUnknownKeyGivesAnEmptyTextAndIsLogged) {
  EXPECT_EQ(msg.Msg("HOTSYNC"), "");
  EXPECT_EQ(logged, std::vector<std::string>{"HOTSYNC"});
}

TEST_F(Catalogue, FormatFillsPlaceholdersInOrderKeepingTheBlanks) {
  std::string t = Format(msg.Msg("Exe_n_Enc"), {msg.Msg("KOR"), "C:\\Orvanta\\Bin\\Client"});
  EXPECT_EQ(t, "Operação bloqueada. O arquivo _kor.bpl  não foi encontrado no diretório "
               "C:\\Orvanta\\Bin\\Client. ");
  // An argument holding "%s" is not formatted again.
  EXPECT_EQ(Format(msg.Msg("DirKVE_inf"), {"C:\\%s"}), "Diretório C:\\%s não encontrado.");
}

TEST(FormatText, RefusesTooFewArgumentsAndUnknownDirectives) {
  EXPECT_THROW(Format("%s e %s", {"a"}), ValueError);
  EXPECT_THROW(Format("50%d", {"a"}), ValueError);
  EXPECT_EQ(Format("100%% %s", {"a", "surplus"}), "100% a");
}

TEST_F(Catalogue, ShowMsgReturnsTheButtonPressedAndAlertsPassTheirSettingsThrough) {
  dialogs.Answer(mrNo);
  EXPECT_EQ(msg.ShowMsg("Export_Arv_Prod", TMsgDlgType::mtConfirmation, mbYesNo, 0), mrNo);
  EXPECT_EQ(msg.ShowMsg("Import_Deve", TMsgDlgType::mtInformation, mbOKOnly, 0), mrOk);
  msg.ShowMsgAlertEx("BLOQ_AF", TMsgDlgType::mtInformation, {msg.Msg("OK")}, 1, 10, 0);
  ASSERT_EQ(dialogs.Shown().size(), 3u);
  EXPECT_EQ(dialogs.Shown()[0].text, "Confirma a exportação de toda a árvore de produto?");
  EXPECT_EQ(dialogs.Shown()[0].buttons, 3u);
  EXPECT_EQ(dialogs.Shown()[1].buttons, 4u);
  EXPECT_EQ(dialogs.Shown()[2].captions, std::vector<std::string>{"OK"});
  EXPECT_EQ(dialogs.Shown()[2].settings, (std::vector<int>{1, 10, 0}));
}

TEST(CatalogueLines, AMalformedOrRepeatedLineIsRefusedWithItsLineNumber) {
  ScriptedDialogs d;
  try {
    TMessages m({"A|x", "no bar here"}, d);
    FAIL();
  } catch (const FormatError& e) {
    EXPECT_STREQ(e.what(), "messages: line 2: no '|' between key and text");
  }
  EXPECT_THROW(TMessages({"Palm_Inf|a", "PALM_INF|b"}, d), FormatError);
  EXPECT_THROW(TMessages({"|text"}, d), FormatError);
  TMessages m({"K|a|b"}, d);  // only the first bar separates
  EXPECT_EQ(m.Msg("k"), "a|b");
}

}  // namespace
}  // namespace kve
