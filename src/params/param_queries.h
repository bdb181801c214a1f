#pragma once
// SQL texts of the parameter look-ups, run unchanged on every dialect of the host database.

#include <string>
#include <vector>

namespace kve::params {

// Nutritionists serving branches of the central (P_CDFILCENTKVE).
const std::vector<std::string>& NutricioListSql();
// One nutritionist of the central by code (P_CDNUTRICIO, P_CDFILCENTKVE).
const std::vector<std::string>& NutricioCheckSql();
// Aggregated branches of the central (P_CDFILCENTKVE).
const std::vector<std::string>& AgregadaSql();
// Aggregated branches of the central that a nutritionist serves (P_CDFILCENTKVE,
// P_CDOPERADOR).
const std::vector<std::string>& AgregadaOperSql();

// Widths to which typed codes are padded before they are looked up.
inline constexpr int kNutricioWidth = 12;
inline constexpr int kAgrupProdWidth = 10;

}  // namespace kve::params
