#pragma once
// The fields each table image of the server carries: name, type and size, as the screen's
// datasets declare them. A query may select more columns; these come first, typed as here.

#include <string>
#include <string_view>
#include <vector>

#include "platform/dataset/field.h"

namespace kve::server {

inline constexpr int kTableSlots = 26;

struct ImageLayout {
  std::string table;  // "PRODUTO"
  std::vector<FieldDef> fields;
};

// Slot 0..25 of the GetTabelas answer.
const ImageLayout& SlotLayout(int slot);
// The answer of GetHistPalm and InsHistPalm, and of GetAgrupProd.
const ImageLayout& HistPalmLayout();
const ImageLayout& AgrupProdLayout();

}  // namespace kve::server
