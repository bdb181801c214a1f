#include "platform/ui/buttons.h"

#include <algorithm>

namespace kve {

void TRadioButton::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  if (checked && Parent()) {
    for (TControl* c : Parent()->Controls()) {
      auto* other = dynamic_cast<TRadioButton*>(c);
      if (other && other != this && other->checked_) {
        other->checked_ = false;
        other->Changed();
      }
    }
  }
  Changed();
  if (checked) RunOnClick();
}

void TCheckBox::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  Changed();
  RunOnClick();
}

TSpeedButton::TSpeedButton(TContainer* parent, std::string name) : TControl(parent, std::move(name)) {
  SetTabStop(false);
}

void TProgressBar::SetRange(int min, int max) {
  min_ = min;
  max_ = std::max(min, max);
  position_ = std::clamp(position_, min_, max_);
  Changed();
}

void TProgressBar::SetPosition(int p) {
  p = std::clamp(p, min_, max_);
  if (p == position_) return;
  position_ = p;
  Changed();
}

}  // namespace kve
