#include "params/param_queries.h"

namespace kve::params {

const std::vector<std::string>& NutricioListSql() {
  static const std::vector<std::string> sql = {
      "SELECT DISTINCT OP.CDOPERADOR, OP.NMOPERADOR",
      "  FROM OPERADOR OP, NUTRICIO NT, FILIAL F",
      " WHERE OP.CDOPERADOR = NT.CDNUTRICIO",
      "   AND NT.CDFILIAL = F.CDFILIAL    ",
      "   AND F.CDFILCENTKVE = :P_CDFILCENTKVE",
      " ORDER BY OP.CDOPERADOR",
  };
  return sql;
}

const std::vector<std::string>& NutricioCheckSql() {
  static const std::vector<std::string> sql = {
      "SELECT NT.CDNUTRICIO, OP.NMOPERADOR",
      "  FROM NUTRICIO NT, OPERADOR OP, FILIAL F",
      " WHERE NT.CDNUTRICIO = :P_CDNUTRICIO ",
      "   AND OP.CDOPERADOR = NT.CDNUTRICIO",
      "   AND NT.CDFILIAL = F.CDFILIAL",
      "   AND F.CDFILCENTKVE = :P_CDFILCENTKVE",
  };
  return sql;
}

const std::vector<std::string>& AgregadaSql() {
  static const std::vector<std::string> sql = {
      "SELECT CDFILIAL, NMFILIAL",
      "FROM FILIAL",
      "WHERE (IDFILCENTKVE = 'N')",
      "  AND (CDFILCENTKVE = :P_CDFILCENTKVE)",
      "ORDER BY CDFILIAL",
  };
  return sql;
}

const std::vector<std::string>& AgregadaOperSql() {
  static const std::vector<std::string> sql = {
      "SELECT FI.CDFILIAL, FI.NMFILIAL",
      "FROM FILIAL FI, FILIOPER FO",
      "WHERE (FI.IDFILCENTKVE = 'N') ",
      "  AND (FI.CDFILCENTKVE = :P_CDFILCENTKVE) ",
      "  AND (FO.CDOPERADOR   = :P_CDOPERADOR) ",
      "  AND (FI.CDFILIAL     = FO.CDFILIAL)",
      "ORDER BY FI.CDFILIAL",
  };
  return sql;
}

}  // namespace kve::params
