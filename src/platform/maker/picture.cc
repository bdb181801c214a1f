#include "platform/maker/picture.h"

#include "platform/common/error.h"
#include "platform/maker/config.h"
#include "platform/ui/mask.h"

namespace kve::Corvane {
namespace {

const maker::HostConfig& ConfigFor(int kind) {
  if (kind != 0)
    throw ValueError("code picture of kind " + std::to_string(kind) +
                     ": not configured (only kind 0, the product tree, is)");
  return maker::CurrentServices().Config();
}

}  // namespace

std::string DBPict(int kind) { return ConfigFor(kind).product_mask; }

TDBPicture DBPictObj(int kind) {
  const maker::HostConfig& c = ConfigFor(kind);
  const int levels = c.product_levels > 0 ? c.product_levels : EditMask(c.product_mask).GroupCount();
  return TDBPicture(kind, c.product_mask, levels);
}

}  // namespace kve::Corvane
