#include "platform/maker/showavi.h"

namespace kve::Showavi {

void ActiveShowAvi(BusyView& view, int kind) { view.ShowWaitAnimation(kind); }

void DeactiveShowAvi(BusyView& view) { view.HideWaitAnimation(); }

}  // namespace kve::Showavi
