#include "platform/maker/person_mask.h"

#include <cctype>

#include "platform/maker/config.h"

namespace kve::Consiste {

std::string PictPess(std::string_view personType) {
  const auto& masks = maker::CurrentServices().Config().person_masks;
  std::string key(personType);
  if (auto it = masks.find(key); it != masks.end()) return it->second;
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (auto it = masks.find(key); it != masks.end()) return it->second;
  return {};
}

}  // namespace kve::Consiste
