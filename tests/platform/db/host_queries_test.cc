// The host look-ups run exactly as the screen writes them, on every engine.

#include <gtest/gtest.h>

#include "platform/db/migrate.h"
#include "tests/platform/db/db_fixture.h"

namespace kve {
namespace {

using testing_db::DbTest;

const char* kHostRows = R"(
INSERT INTO FILIAL VALUES ('0001', 'Central de Merenda Leste', 'N', 'S', NULL, 'N');
INSERT INTO FILIAL VALUES ('0002', 'EMEF Prof. João Álvares', 'N', 'N', '0001', 'S');
INSERT INTO FILIAL VALUES ('0003', 'CEI Pequeno Príncipe', 'N', 'N', '0001', 'N');
INSERT INTO FILIAL VALUES ('0008', 'Central Sul', 'N', 'S', NULL, 'N');
INSERT INTO FILIAL VALUES ('0009', 'EMEI Vila Sônia', 'N', 'N', '0008', 'N');
INSERT INTO PALM VALUES ('0001', '001', 'Palm 01', '1');
INSERT INTO PALM VALUES ('0001', '002', 'NOTE-KITCHEN-01', '2');
INSERT INTO PALM VALUES ('0001', '003', 'Palm 02', '1');
INSERT INTO PALM VALUES ('0008', '001', 'Palm Sul', '1');
INSERT INTO OPERADOR VALUES ('000000000007', 'Ana Beatriz Conceição', 'segredo', '0001');
INSERT INTO OPERADOR VALUES ('000000000009', 'José Araújo', 'outra', '0001');
INSERT INTO OPERADOR VALUES ('000000000011', 'Márcia Guimarães', 'x', '0008');
INSERT INTO NUTRICIO VALUES ('000000000007', '0002');
INSERT INTO NUTRICIO VALUES ('000000000007', '0003');
INSERT INTO NUTRICIO VALUES ('000000000011', '0009');
INSERT INTO FILIOPER VALUES ('0002', '000000000007');
INSERT INTO FILIOPER VALUES ('0009', '000000000007');
INSERT INTO FILIOPER VALUES ('0003', '000000000009');
)";

class HostQueries : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (IsSkipped()) return;
    MigrateDatabase(*db);
    db->ExecuteScript(kHostRows);
  }

  static std::vector<std::string> Column(TADOIBQuery& q, const char* field) {
    std::vector<std::string> out;
    for (q.First(); !q.Eof(); q.Next()) out.push_back(q.FieldByName(field).AsString());
    return out;
  }
};

using Strings = std::vector<std::string>;

TEST_P(HostQueries, BranchQueryFindsOneBranchOrAllWithTheTFlag) {
  TADOIBQuery q(*db, "qryFilial");
  q.SetSQL(Strings{"SELECT CDFILIAL, NMFILIAL, IDCNTRRESC, IDFILCENTKVE, CDFILCENTKVE", "FROM FILIAL",
                   "WHERE ((CDFILIAL = :P_CDFILIAL) OR (:P_TCDFILIAL = 'T'))", "ORDER BY CDFILIAL", ""});
  q.ParamByName("P_CDFILIAL").SetAsString("0002");
  q.ParamByName("P_TCDFILIAL").SetAsString("N");
  q.Open();
  ASSERT_EQ(q.RecordCount(), 1);
  EXPECT_EQ(q.FieldByName("NMFILIAL").AsString(), "EMEF Prof. João Álvares");
  EXPECT_EQ(q.FieldByName("IDFILCENTKVE").AsString(), "N");
  EXPECT_EQ(q.FieldByName("CDFILCENTKVE").AsString(), "0001");

  q.Close();
  q.ParamByName("P_TCDFILIAL").SetAsString("T");
  q.Open();
  EXPECT_EQ(Column(q, "CDFILIAL"), (Strings{"0001", "0002", "0003", "0008", "0009"}));
  q.First();
  EXPECT_TRUE(q.FieldByName("CDFILCENTKVE").IsNull()) << "a central points nowhere";
}

TEST_P(HostQueries, BranchColumnsCarryTheirDeclaredWidths) {
  TADOIBQuery q(*db, "qryFilial");
  q.SetSQL(Strings{"SELECT CDFILIAL, NMFILIAL, IDCNTRRESC, IDFILCENTKVE, CDFILCENTKVE", "FROM FILIAL",
                   "WHERE ((CDFILIAL = :P_CDFILIAL) OR (:P_TCDFILIAL = 'T'))", "ORDER BY CDFILIAL"});
  q.ParamByName("P_CDFILIAL").SetAsString("0001");
  q.ParamByName("P_TCDFILIAL").SetAsString("N");
  q.Open();
  const auto& defs = q.Rows().FieldDefs();
  ASSERT_EQ(defs.size(), 5u);
  EXPECT_EQ(defs[0].name, "CDFILIAL");  // upper case on both engines
  EXPECT_EQ(defs[0].type, FieldType::String);
  EXPECT_EQ(defs[0].size, 4);
  EXPECT_EQ(defs[1].size, 30);
  EXPECT_EQ(defs[3].size, 1);
  EXPECT_FALSE(defs[0].fixed);
}

TEST_P(HostQueries, NutritionistListAndCheckStayWithinTheCentral) {
  TADOIBQuery list(*db, "qryNutricio");
  list.SetSQL(Strings{"SELECT DISTINCT OP.CDOPERADOR, OP.NMOPERADOR", "  FROM OPERADOR OP, NUTRICIO NT, FILIAL F",
                      " WHERE OP.CDOPERADOR = NT.CDNUTRICIO", "   AND NT.CDFILIAL = F.CDFILIAL    ",
                      "   AND F.CDFILCENTKVE = :P_CDFILCENTKVE", " ORDER BY OP.CDOPERADOR"});
  list.ParamByName("P_CDFILCENTKVE").SetAsString("0001");
  list.Open();
  EXPECT_EQ(Column(list, "CDOPERADOR"), Strings{"000000000007"}) << "DISTINCT over two served branches";
  list.First();
  EXPECT_EQ(list.FieldByName("NMOPERADOR").AsString(), "Ana Beatriz Conceição");

  TADOIBQuery check(*db, "qryVdNutri");
  check.SetSQL(Strings{"SELECT NT.CDNUTRICIO, OP.NMOPERADOR", "  FROM NUTRICIO NT, OPERADOR OP, FILIAL F",
                       " WHERE NT.CDNUTRICIO = :P_CDNUTRICIO ", "   AND OP.CDOPERADOR = NT.CDNUTRICIO",
                       "   AND NT.CDFILIAL = F.CDFILIAL", "   AND F.CDFILCENTKVE = :P_CDFILCENTKVE"});
  check.ParamByName("P_CDNUTRICIO").SetAsString("000000000011");
  check.ParamByName("P_CDFILCENTKVE").SetAsString("0001");
  check.Open();
  EXPECT_TRUE(check.Eof()) << "a nutritionist of another central is not found";
  check.ParamByName("P_CDNUTRICIO").SetAsString("000000000007");
  check.Open();
  EXPECT_FALSE(check.Eof());
  EXPECT_EQ(check.FieldByName("CDNUTRICIO").AsString(), "000000000007");
}

TEST_P(HostQueries, AggregatedBranchQueriesInBothSpellings) {
  const Strings all22{"SELECT CDFILIAL, NMFILIAL", "FROM FILIAL", "WHERE (IDFILCENTKVE = 'N')",
                      "  AND (CDFILCENTKVE = :P_CDFILCENTKVE)", "ORDER BY CDFILIAL"};
  const Strings all31{"SELECT CDFILIAL, NMFILIAL", "FROM FILIAL", "WHERE (IDFILCENTKVE = 'N')",
                      "AND (CDFILCENTKVE = :P_CDFILCENTKVE)", "ORDER BY CDFILIAL"};
  for (const Strings& text : {all22, all31}) {
    TADOIBQuery q(*db, "qryAgregada");
    q.SetSQL(text);
    q.ParamByName("P_CDFILCENTKVE").SetAsString("0001");
    q.Open();
    EXPECT_EQ(Column(q, "CDFILIAL"), (Strings{"0002", "0003"}));
  }

  const Strings oper22{"SELECT FI.CDFILIAL, FI.NMFILIAL", "FROM FILIAL FI, FILIOPER FO",
                       "WHERE (FI.IDFILCENTKVE = 'N') ", "  AND (FI.CDFILCENTKVE = :P_CDFILCENTKVE) ",
                       "  AND (FO.CDOPERADOR   = :P_CDOPERADOR) ", "  AND (FI.CDFILIAL     = FO.CDFILIAL)",
                       "ORDER BY FI.CDFILIAL"};
  const Strings oper31{"SELECT FI.CDFILIAL, FI.NMFILIAL", "FROM FILIAL FI, FILIOPER FO",
                       "WHERE (FI.IDFILCENTKVE = 'N')", "AND (FI.CDFILCENTKVE = :P_CDFILCENTKVE)",
                       "AND (FO.CDOPERADOR   = :P_CDOPERADOR)", "AND (FI.CDFILIAL     = FO.CDFILIAL)",
                       "ORDER BY FI.CDFILIAL"};
  for (const Strings& text : {oper22, oper31}) {
    TADOIBQuery q(*db, "qryAgregadaOper");
    q.SetSQL(text);
    q.ParamByName("P_CDFILCENTKVE").SetAsString("0001");
    q.ParamByName("P_CDOPERADOR").SetAsString("000000000007");
    q.Open();
    EXPECT_EQ(Column(q, "CDFILIAL"), Strings{"0002"}) << "0009 belongs to another central";
  }
}

TEST_P(HostQueries, DeviceQueriesSeparatePalmsFromEeePcs) {
  const Strings list53{"SELECT", "   CDPALM,", "   NMPALM", "FROM PALM", "WHERE CDFILIAL = :P_CDFILIAL",
                       "  AND IDTPPERIFEXPKVE = :P_IDTPPERIFEXPKVE", "ORDER BY CDPALM", ""};
  const Strings list44{"SELECT", "CDPALM,", "NMPALM", "FROM PALM", "WHERE CDFILIAL = :P_CDFILIAL",
                       "AND IDTPPERIFEXPKVE = :P_IDTPPERIFEXPKVE", "ORDER BY CDPALM"};
  for (const Strings& text : {list53, list44}) {
    TADOIBQuery q(*db, "qryPalm");
    q.SetSQL(text);
    q.ParamByName("P_CDFILIAL").SetAsString("0001");
    q.ParamByName("P_IDTPPERIFEXPKVE").SetAsString("1");
    q.Open();
    EXPECT_EQ(Column(q, "CDPALM"), (Strings{"001", "003"}));
    EXPECT_EQ(q.Rows().FieldDefs()[1].size, 60);
    q.ParamByName("P_IDTPPERIFEXPKVE").SetAsString("2");
    q.Open();
    EXPECT_EQ(Column(q, "NMPALM"), Strings{"NOTE-KITCHEN-01"});
  }

  const Strings check53{"SELECT ", "   CDPALM, ", "   NMPALM", "FROM", "   PALM", "WHERE",
                        "   CDPALM = :P_CDPALM   AND", "   CDFILIAL = :P_CDFILIAL AND",
                        "   IDTPPERIFEXPKVE = :P_IDTPPERIFEXPKVE   "};
  const Strings check44{"SELECT", "CDPALM,", "NMPALM", "FROM", "PALM", "WHERE", "CDPALM = :P_CDPALM   AND",
                        "CDFILIAL = :P_CDFILIAL AND", "IDTPPERIFEXPKVE = :P_IDTPPERIFEXPKVE"};
  for (const Strings& text : {check53, check44}) {
    TADOIBQuery q(*db, "qryVdPalm");
    q.SetSQL(text);
    q.ParamByName("P_CDPALM").SetAsString("002");
    q.ParamByName("P_CDFILIAL").SetAsString("0001");
    q.ParamByName("P_IDTPPERIFEXPKVE").SetAsString("1");
    q.Open();
    EXPECT_TRUE(q.Eof()) << "an eeePC code is no Palm";
    q.ParamByName("P_IDTPPERIFEXPKVE").SetAsString("2");
    q.Open();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.FieldByName("NMPALM").AsString(), "NOTE-KITCHEN-01");
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, HostQueries, ::testing::Values("sqlite", "postgresql"), testing_db::EngineName);

}  // namespace
}  // namespace kve
