#include "host/central_kitchen.h"

#include "platform/maker/consiste.h"

namespace kve::host {
namespace {

void OpenBranch(TADOIBQuery& q, const std::string& code) {
  q.Close();
  q.ParamByName("P_CDFILIAL").SetAsString(code);
  q.ParamByName("P_TCDFILIAL").SetAsString("N");
  q.Open();
}

// Reads a column of the current row; a query without rows reads as empty text.
std::string Column(TADOIBQuery& q, const char* name) {
  if (q.Eof()) return {};
  return q.FieldByName(name).AsString();
}

}  // namespace

const std::vector<std::string>& FilialSql() {
  static const std::vector<std::string> sql = {
      "SELECT CDFILIAL, NMFILIAL, IDCNTRRESC, IDFILCENTKVE, CDFILCENTKVE",
      "FROM FILIAL",
      "WHERE ((CDFILIAL = :P_CDFILIAL) OR (:P_TCDFILIAL = 'T'))",
      "ORDER BY CDFILIAL",
  };
  return sql;
}

CentralKitchen ResolveCentralKitchen(TADOIBQuery& qryFilial, const std::string& branch) {
  CentralKitchen c;
  OpenBranch(qryFilial, branch);
  if (Column(qryFilial, "IDFILCENTKVE") == "S") {
    c.found = true;
    c.code = Column(qryFilial, "CDFILIAL");
    c.name = Column(qryFilial, "NMFILIAL");
    return c;
  }
  c.code = Column(qryFilial, "CDFILCENTKVE");
  if (Consiste::EmptyString(c.code)) return CentralKitchen{};
  c.found = true;
  OpenBranch(qryFilial, c.code);
  c.name = Column(qryFilial, "NMFILIAL");
  return c;
}

}  // namespace kve::host
