#pragma once
// What an export run shows the operator while it runs, and all it needs of a screen: the
// progress bar with its status line, the message boxes, and the wait animation. The form
// binds it to its controls (FormRunView); a caller without a form binds it to its own. The
// run calls it from the thread the run runs on, in the order the operator must see things.

#include <string_view>

#include "platform/maker/messages.h"
#include "platform/ui/busy.h"
#include "platform/ui/dialogs.h"

namespace kve {

// The wait animation an export shows while it works.
inline constexpr int kExportWaitAnimation = 6;

class ExportRunView {
 public:
  virtual ~ExportRunView() = default;

  // The progress bar: its range becomes 0 to `max`, then its position `position`.
  virtual void Progress(int position, int max) = 0;
  // The progress bar one step further.
  virtual void StepProgress() = 0;
  // The progress bar back at 0, its range kept.
  virtual void ClearProgress() = 0;
  // The status line beside the progress bar.
  virtual void Status(std::string_view text) = 0;
  // The window drawn again now (before a wait the status line explains).
  virtual void Refresh() = 0;
  // The window brought in front of the others (after a failure).
  virtual void ToFront() = 0;
  // The target device's code field takes the focus, before an error about the device.
  virtual void FocusDevice() = 0;

  // The screen's message catalogue; its boxes are shown through Boxes().
  virtual TMessages& Messages() = 0;
  // Message boxes, the closing alert and the error box.
  virtual Dialogs& Boxes() = 0;
  // The wait animation (and cursor).
  virtual BusyView& Busy() = 0;
};

}  // namespace kve
