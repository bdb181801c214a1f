#include "platform/ui/busy.h"

namespace kve {

void RecordingBusyView::ShowWaitAnimation(int kind) {
  animating_ = true;
  kind_ = kind;
  calls_.push_back("show " + std::to_string(kind));
}

void RecordingBusyView::HideWaitAnimation() {
  animating_ = false;
  calls_.push_back("hide");
}

void RecordingBusyView::SetCursor(TCursor c) {
  cursor_ = c;
  calls_.push_back(c == TCursor::crHourGlass ? "cursor hourglass" : "cursor default");
}

}  // namespace kve
