#pragma once
// Code pictures: the edit masks the host configures for structured codes. Kind 0 is the
// product tree, whose levels are the groups of its mask ("99.99.999.9999": four levels).

#include <string>

namespace kve {

class TDBPicture {
 public:
  TDBPicture(int kind, std::string mask, int levels) : kind_(kind), mask_(std::move(mask)), levels_(levels) {}
  int Kind() const { return kind_; }
  const std::string& Mask() const { return mask_; }
  int GetTtNiveis() const { return levels_; }  // number of levels of the code

 private:
  int kind_;
  std::string mask_;
  int levels_;
};

namespace Corvane {

// The edit mask of a picture kind. Only kind 0 (the product tree) is configured; any other
// kind raises kve::ValueError naming it.
std::string DBPict(int kind);
// The picture object of a kind: its mask and number of levels (configured, or else counted
// from the mask's groups).
TDBPicture DBPictObj(int kind);

}  // namespace Corvane
}  // namespace kve
