#pragma once
// The host's wait animation as the screen calls it.

#include "platform/ui/busy.h"

namespace kve::Showavi {

// Starts the animation of `kind` over the host's window (0 while connecting, 6 for exports).
void ActiveShowAvi(BusyView& view, int kind);
// Stops it; harmless when none runs.
void DeactiveShowAvi(BusyView& view);

}  // namespace kve::Showavi
