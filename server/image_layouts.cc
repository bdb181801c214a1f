#include "server/image_layouts.h"

#include <array>

#include "catalogue/catalogue.h"
#include "platform/common/error.h"

namespace kve::server {
namespace {

// The screen's export table catalogue is the one statement of each table's fields; the
// server types its images by it, so both ends always agree.
ImageLayout FromCatalogue(const exporting::TableSpec& spec) {
  return ImageLayout{std::string(spec.Name()), spec.FieldDefs()};
}

const std::array<ImageLayout, kTableSlots>& Slots() {
  static const std::array<ImageLayout, kTableSlots> slots = [] {
    static_assert(kTableSlots == exporting::kSlotCount);
    std::array<ImageLayout, kTableSlots> out;
    auto order = exporting::SlotOrder();
    for (int i = 0; i < kTableSlots; ++i) out[i] = FromCatalogue(*order[i]);
    return out;
  }();
  return slots;
}

}  // namespace

const ImageLayout& SlotLayout(int slot) {
  if (slot < 0 || slot >= kTableSlots) throw Error("no table slot " + std::to_string(slot));
  return Slots()[slot];
}

const ImageLayout& HistPalmLayout() {
  static const ImageLayout l = [] {
    ImageLayout x = FromCatalogue(exporting::FindTable("cdsHistPalm"));
    x.table = "HISTPALM";
    return x;
  }();
  return l;
}

const ImageLayout& AgrupProdLayout() {
  static const ImageLayout l = [] {
    ImageLayout x = FromCatalogue(exporting::FindTable("cdsAgrupProd"));
    x.table = "AGRUPPROD";
    return x;
  }();
  return l;
}

}  // namespace kve::server
