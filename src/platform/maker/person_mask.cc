#include "platform/maker/person_mask.h"

#include "platform/common/ascii.h"
#include "platform/maker/config.h"

namespace kve::Consiste {

std::string PictPess(std::string_view personType) {
  const auto& masks = maker::CurrentServices().Config().person_masks;
  if (auto it = masks.find(std::string(personType)); it != masks.end()) return it->second;
  if (auto it = masks.find(AsciiUppered(personType)); it != masks.end()) return it->second;
  return {};
}

}  // namespace kve::Consiste
