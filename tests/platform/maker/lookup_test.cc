#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/common/error.h"
#include "platform/maker/btn_pesquisa.h"
#include "platform/maker/date_edit.h"
#include "platform/maker/pesquisa_lista.h"
#include "platform/ui/form.h"
#include "support/scripted_dialogs.h"

namespace kve {
namespace {

void Branches(TClientDataSet& ds, std::initializer_list<std::pair<const char*, const char*>> rows) {
  ds.SetName("FILIAL");
  ds.FieldDefs() = {StringField("CDFILIAL", 4), StringField("NMFILIAL", 30)};
  ds.CreateDataSet();
  for (auto [code, name] : rows) {
    ds.Append();
    ds.FieldByName("CDFILIAL").SetAsString(code);
    ds.FieldByName("NMFILIAL").SetAsString(name);
    ds.Post();
  }
}

struct Lookup : ::testing::Test {
  ScriptedDialogs dialogs;
  TForm form{"frm", dialogs};
  TClientDataSet rows;
};

TEST_F(Lookup, ButtonPreparesItsRowsThenHandsThePickedRowToItsAfterEvent) {
  TBtnPesquisa btn(&form, "btpNutricio");
  btn.SetTitle("Nutricionista");
  btn.SetDataSource(&rows);
  btn.SetColumns({{"CDFILIAL", "Código"}, {"NMFILIAL", "Nome"}});
  std::string picked;
  btn.OnBeforePesq = [&] { Branches(rows, {{"0002", "Escola A"}, {"0003", "Escola B"}}); };
  btn.OnAfterPesq = [&] { picked = rows.FieldByName("NMFILIAL").AsString(); };
  dialogs.Pick({1});
  EXPECT_TRUE(form.UserClick(btn));
  EXPECT_EQ(picked, "Escola B");
  ASSERT_EQ(dialogs.Shown().size(), 1u);
  EXPECT_EQ(dialogs.Shown()[0].pick.title, "Nutricionista");
  EXPECT_EQ(dialogs.Shown()[0].pick.columns, (std::vector<std::string>{"Código", "Nome"}));
  EXPECT_EQ(dialogs.Shown()[0].pick.rows[0], (std::vector<std::string>{"0002", "Escola A"}));
}

TEST_F(Lookup, ButtonShowsItsEmptyTextWhenThereAreNoRowsAndACancelRunsNoAfterEvent) {
  TBtnPesquisa btn(&form, "btnPalm");
  btn.SetEmptyError("Não há palm cadastrado.");
  btn.SetDataSource(&rows);
  int after = 0;
  btn.OnAfterPesq = [&] { ++after; };
  Branches(rows, {});
  form.UserClick(btn);
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Não há palm cadastrado."});
  Branches(rows, {{"0002", "A"}});
  dialogs.CancelPick();
  form.UserClick(btn);
  EXPECT_EQ(after, 0);
}

TEST_F(Lookup, ButtonWithoutDataSourceRunsItsClickAndNeverTakesTheFocus) {
  TEdit field(&form, "field");
  TBtnPesquisa btn(&form, "btnAgregada");
  int clicks = 0, exits = 0;
  btn.OnClick = [&] { ++clicks; };
  field.OnExit = [&] { ++exits; };
  form.UserFocus(field);
  form.UserClick(btn);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(exits, 0);
  EXPECT_EQ(btn.Hint(), "Pesquisar");
}

TEST_F(Lookup, ABeforeEventThatFailsShowsItsErrorAndNoList) {
  TBtnPesquisa btn(&form, "btpAgrupProd");
  btn.SetDataSource(&rows);
  btn.OnBeforePesq = [] { throw Error("GetAgrupProd: connection refused"); };
  form.UserClick(btn);
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"GetAgrupProd: connection refused"});
}

TEST_F(Lookup, PickListStoresTheChosenKeysEachAfterAnUnderscore) {
  Branches(rows, {{"0002", "A"}, {"0003", "B"}, {"0005", "C"}});
  std::string lista = "_9999";
  dialogs.Pick({0, 2});
  EXPECT_TRUE(PesquisaLista(dialogs, rows, "CDFILIAL", "Filial|Não há filial.", false, lista));
  EXPECT_EQ(lista, "_0002_0005");
  EXPECT_EQ(dialogs.Shown()[0].pick.title, "Filial");
  EXPECT_TRUE(dialogs.Shown()[0].pick.multiple);
  dialogs.Pick({});
  PesquisaLista(dialogs, rows, "CDFILIAL", "Filial|x", false, lista);
  EXPECT_EQ(lista, "");
}

TEST_F(Lookup, PickListLeavesTheListAloneWhenCancelledOrEmpty) {
  Branches(rows, {{"0002", "A"}});
  std::string lista = "_0002";
  dialogs.CancelPick();
  EXPECT_FALSE(PesquisaLista(dialogs, rows, "CDFILIAL", "Filial|vazio", false, lista));
  EXPECT_EQ(lista, "_0002");
  Branches(rows, {});
  EXPECT_FALSE(PesquisaLista(dialogs, rows, "CDFILIAL", "Filial|Não há filial agregada.", false, lista));
  EXPECT_EQ(lista, "_0002");
  EXPECT_EQ(dialogs.Shown().back().text, "Não há filial agregada.");
  EXPECT_THROW(PesquisaLista(dialogs, rows, "CDXXX", "Filial|x", false, lista), Error);
}

struct Dates : ::testing::Test {
  ScriptedDialogs dialogs;
  TForm form{"frm", dialogs};
  TDateEditPlus ini{&form, "depCardIni"};
  TDateEditPlus fim{&form, "depCardFim"};
  TEdit other{&form, "other"};
};

TEST_F(Dates, TypedDigitsBecomeADateAndGetDateReadsIt) {
  form.UserType(ini, "15032024");
  EXPECT_EQ(ini.Text(), "15/03/2024");
  EXPECT_EQ(ini.GetDate(), TDateTime::FromDate({2024, 3, 15}));
  fim.SetDate(TDateTime::FromDate({2024, 12, 1}));
  EXPECT_EQ(fim.Text(), "01/12/2024");
}

TEST_F(Dates, AMalformedDateRaisesAClearErrorAndTakesTheFocus) {
  ini.SetText("31/02/2024");
  form.UserFocus(other);
  try {
    ini.CheckValidDate();
    FAIL();
  } catch (const ValueError& e) {
    EXPECT_STREQ(e.what(), "'31/02/2024' não é uma data válida.");
  }
  EXPECT_TRUE(ini.Focused());
  EXPECT_THROW(ini.GetDate(), ValueError);
}

TEST_F(Dates, EmptyIsValidAndAHalfTypedDateIsNot) {
  EXPECT_NO_THROW(ini.CheckValidDate());
  EXPECT_TRUE(ini.IsEmpty());
  EXPECT_EQ(ini.GetDate(), TDateTime());
  form.UserType(ini, "0102");
  EXPECT_EQ(ini.Text(), "01/02");
  EXPECT_FALSE(ini.IsValidDate());
}

TEST(ReadTypedDate, ShortFormsReadInTodaysCenturyAndYear) {
  const CivilDate today{2026, 7, 3};
  const struct {
    const char* typed;
    std::optional<CivilDate> read;
  } cases[] = {
      {"08/12/2026", CivilDate{2026, 12, 8}},
      {"8/12/26", CivilDate{2026, 12, 8}},
      {"08/12/26  ", CivilDate{2026, 12, 8}},  // the picture's blanks after a short year
      {"8/12", CivilDate{2026, 12, 8}},
      {"08/12/", CivilDate{2026, 12, 8}},
      {"081226", CivilDate{2026, 12, 8}},
      {"08122026", CivilDate{2026, 12, 8}},
      {"0812", CivilDate{2026, 12, 8}},
      {"8-12-99", CivilDate{2099, 12, 8}},  // two digits are always this century's
      {"1.2.2030", CivilDate{2030, 2, 1}},
      {"29/2", std::nullopt},  // 2026 is no leap year
      {"31/04/26", std::nullopt},
      {"8/12/202", std::nullopt},  // a year half typed
      {"812", std::nullopt},
      {"8/12/26/1", std::nullopt},
      {"123/12/26", std::nullopt},
      {"ab/12/26", std::nullopt},
      {"", std::nullopt},
      {"  /  /    ", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadTypedDate(c.typed, today), c.read) << c.typed;
  EXPECT_EQ(ReadTypedDate("8/12", {2031, 1, 1}), (CivilDate{2031, 12, 8}));
}

TEST_F(Dates, ShortFormsTypedAreCompletedWhenTheDateIsChecked) {
  const int year = TDateTime::Now().date().year;
  const std::string yy = std::to_string(year % 100 + 100).substr(1);
  const std::string full = "08/12/" + std::to_string(year);
  for (const std::string& typed : {"8/12/" + yy, std::string("8/12"), "0812" + yy, "0812" + std::to_string(year)}) {
    ini.SetText("");
    form.UserType(ini, typed);
    ini.CheckValidDate();
    EXPECT_EQ(ini.Text(), full) << typed;
  }
  // A separator pads a one-digit day or month and is refused anywhere else.
  ini.SetText("");
  form.UserType(ini, "1/2/");
  EXPECT_EQ(ini.Text(), "01/02/");
  form.UserType(ini, "/");
  EXPECT_EQ(ini.Text(), "01/02/");
}

TEST_F(Dates, CheckingOnExitKeepsTheOperatorOnAMalformedDate) {
  ini.OnExit = [&] { ini.CheckValidDate(); };
  form.UserType(ini, "99999999");
  EXPECT_FALSE(form.UserFocus(fim));
  EXPECT_TRUE(ini.Focused());
  EXPECT_EQ(dialogs.Errors(), std::vector<std::string>{"'99/99/9999' não é uma data válida."});
}

}  // namespace
}  // namespace kve
