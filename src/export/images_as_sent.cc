#include "export/images_as_sent.h"

#include <variant>

#include "export/search_codes.h"
#include "platform/dataset/binary_packet.h"

namespace kve::exporting {

bool WritableAsSent(const TableSpec& table, std::string_view packet, const DerivationValues& v,
                    std::vector<std::pair<std::string, int>>* productCodes) {
  if (table.source != Source::Slot || table.eeepcFile.empty()) return false;
  // The tables DeriveExportTables rewrites a column of.
  if (table.dataset == "cdsProduto") {
    std::vector<std::pair<std::string, int>> codes;
    if (!SearchCodesCurrent(packet, v.productMask, &codes)) return false;
    if (productCodes) *productCodes = std::move(codes);
    return true;
  }
  if (table.dataset == "cdsSoliComp" || table.dataset == "cdsItemAF") return SearchCodesCurrent(packet, v.productMask);
  if (table.dataset == "cdsCliente") return ClientNumbersCurrent(packet, v.personMask);
  if (table.dataset == "cdsForneced") return SupplierNumbersCurrent(packet, v.personMask);
  return IsWrittenForm(packet);
}

bool ReadByEeepcRun(const TableSpec& table) {
  // What DeriveExportTables reads without rewriting and what BuildEeepcSettings reads.
  return table.dataset == "cdsParam" || table.dataset == "cdsFilial" || table.dataset == "cdsNumAF" ||
         table.dataset == "cdsOperador";
}

std::vector<std::optional<std::string>> TakeImagesAsSent(RemoteValue& answer, const DerivationValues& v,
                                                         std::vector<std::pair<std::string, int>>& productCodes) {
  std::vector<std::optional<std::string>> out(kSlotCount);
  auto* images = answer.isText() ? nullptr : std::get_if<std::vector<std::string>>(&answer.value);
  if (images == nullptr) return out;
  const std::vector<const TableSpec*> slots = SlotOrder();
  for (size_t i = 0; i < slots.size() && i < images->size(); ++i) {
    std::string& image = (*images)[i];
    if (!WritableAsSent(*slots[i], image, v, &productCodes)) continue;
    if (ReadByEeepcRun(*slots[i]))
      out[i] = image;
    else
      out[i] = std::move(image);
  }
  return out;
}

}  // namespace kve::exporting
