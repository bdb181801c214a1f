#pragma once
// The server's table images an eeePC export writes as they came. The server sends each table
// as a binary data packet, the very bytes the table's file holds when the run changes nothing
// in it; such a file is a copy of the image, and the table need not be loaded (decoded and
// converted) nor encoded again. A table the run reads is loaded all the same.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "export/derivations.h"
#include "platform/net/connection.h"

namespace kve::exporting {

// Whether the run may write `table`'s eeePC file as the image `packet`: a table of the reply
// with an eeePC file, the image in the writer's form (IsWrittenForm), and the run's derivation
// of the table, if it has one, setting in every row what the row already holds.
// For cdsProduto, `productCodes` receives what cdsProdCod is built of (SearchCodesCurrent) when
// the answer is true.
bool WritableAsSent(const TableSpec& table, std::string_view packet, const DerivationValues& v,
                    std::vector<std::pair<std::string, int>>* productCodes = nullptr);

// Whether an eeePC export reads the table's rows (the supply-authorisation check,
// the settings file), so loads it even when its file is written as sent.
bool ReadByEeepcRun(const TableSpec& table);

// The images of `answer` (a GetTabelas reply) that an eeePC export writes as sent, by slot
// (nullopt: the table is loaded and its file encoded). Each is taken out of the answer, or
// copied when the run also reads its table. An answer that is no list of images gives none
// (loading it raises the error). When cdsProduto's image is taken, `productCodes` receives its
// search codes and positions, of which cdsProdCod is built without loading it.
std::vector<std::optional<std::string>> TakeImagesAsSent(RemoteValue& answer, const DerivationValues& v,
                                                         std::vector<std::pair<std::string, int>>& productCodes);

}  // namespace kve::exporting
