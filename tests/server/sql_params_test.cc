#include "server/sql_params.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/common/error.h"
#include "server/rdm_exp_dados.h"
#include "server/sql_files.h"

namespace kve::server {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(SqlParams, NamesSkipLiteralsCommentsAndCasts) {
  EXPECT_THAT(ParameterNames("SELECT ':P_NOT', \"x:P_NO\", a::text -- :P_NO\n"
                             "/* :P_NO */ FROM T WHERE A = :P_A AND B IN (:P_B) AND C = :P_A"),
              ElementsAre("P_A", "P_B"));
  EXPECT_THAT(ParameterNames("SELECT 'it''s :P_NO' WHERE X=:P_X"), ElementsAre("P_X"));
}

TEST(SqlParams, ListExpandsToNumberedParametersBoundByName) {
  SqlValues v;
  v.SetText("P_CDFILIAL", "0001");
  v.SetList("P_LISTAAGREG", {"0002", "0003"});
  auto p = v.Prepare("WHERE C = :P_CDFILIAL AND F IN (:P_LISTAAGREG) OR G IN (:P_LISTAAGREG)", "t.sql");
  EXPECT_EQ(p.sql, "WHERE C = :P_CDFILIAL AND F IN (:P_LISTAAGREG1, :P_LISTAAGREG2) "
                   "OR G IN (:P_LISTAAGREG1, :P_LISTAAGREG2)");
  ASSERT_EQ(p.params.size(), 3u);
  EXPECT_EQ(p.params[1].name, "P_LISTAAGREG1");
  EXPECT_EQ(p.params[1].text, "0002");
  EXPECT_EQ(p.params[2].text, "0003");
}

TEST(SqlParams, EmptyListMatchesNothingAndAMissingValueIsNamed) {
  SqlValues v;
  v.SetList("P_LISTAAGREG", {});
  auto p = v.Prepare("F IN (:P_LISTAAGREG)", "t.sql");
  EXPECT_EQ(p.sql, "F IN (:P_LISTAAGREG1)");
  ASSERT_EQ(p.params.size(), 1u);
  EXPECT_EQ(p.params[0].kind, SqlParam::Kind::Null);
  EXPECT_THAT([&] { v.Prepare("X = :P_OTHER", "sql/08_PRODUTO.sql"); },
              ThrowsMessage<Error>("sql/08_PRODUTO.sql: parameter :P_OTHER has no value in this call"));
}

TEST(BranchList, ParsesCodesAndRefusesMalformedLists) {
  EXPECT_THAT(ParseBranchList("_0002_0003"), ElementsAre("0002", "0003"));
  EXPECT_TRUE(ParseBranchList("").empty());
  EXPECT_EQ(JoinBranchList({"0002", "0003"}), "_0002_0003");
  for (const char* bad : {"0002", "_", "_0002_", "__0002", "_00021"})
    EXPECT_THAT([&] { ParseBranchList(bad); }, ThrowsMessage<ValueError>(HasSubstr(bad))) << bad;
}

TEST(SqlFiles, FolderReplacesBuiltInFilesByName) {
  auto dir = std::filesystem::temp_directory_path() / ("kve_sql_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  {
    std::ofstream(dir / "05_PARAM.sql") << "SELECT 'S' AS IDCONSMEFE, 'N' AS IDBLOQNFSAF";
    std::ofstream(dir / "06_TIPOCARD.postgresql.sql") << "SELECT 1";
  }
  SqlFiles f = SqlFiles::WithOverrides(dir);
  EXPECT_EQ(f.Text("05_PARAM", "sqlite"), "SELECT 'S' AS IDCONSMEFE, 'N' AS IDBLOQNFSAF");
  EXPECT_EQ(f.Origin("05_PARAM", "sqlite"), (dir / "05_PARAM.sql").string());
  EXPECT_EQ(f.Text("06_TIPOCARD", "postgresql"), "SELECT 1");
  EXPECT_NE(f.Text("06_TIPOCARD", "sqlite"), "SELECT 1");
  EXPECT_THAT([&] { f.Text("99_NONE", "sqlite"); }, ThrowsMessage<Error>(HasSubstr("99_NONE.sql")));
  std::filesystem::remove_all(dir);
  EXPECT_THAT([&] { SqlFiles::WithOverrides(dir); }, ThrowsMessage<IoError>(HasSubstr(dir.string())));
}

}  // namespace
}  // namespace kve::server
