#pragma once
// The screen's progress bar, status line and wait animation on a stream: on a terminal one
// bar redrawn in place, otherwise a plain line for each status text, and one line for the
// bars filled since (the bar restarts for every Palm database), so a log stays short.

#include <cstdint>
#include <ostream>
#include <string>

#include "platform/ui/busy.h"
#include "platform/ui/buttons.h"
#include "platform/ui/form.h"

namespace kve::batch {

class ProgressView final : public FormObserver, public BusyView {
 public:
  ProgressView(std::ostream& out, bool terminal);
  ~ProgressView() override;

  // The screen's bar and status line to follow (the screen is built after its busy view).
  void Follow(const TProgressBar& bar, const TControl& status);

  void ControlChanged(TControl& control) override;
  void FocusChanged(TControl*) override {}

  void ShowWaitAnimation(int kind) override;
  void HideWaitAnimation() override;
  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor c) override { cursor_ = c; }

  // The export run has started (it runs under the export's wait animation).
  bool RunStarted() const { return runStarted_; }
  // Ends a bar left on the terminal line.
  void Finish();

 private:
  void Draw();

  std::ostream& out_;
  bool terminal_;
  const TProgressBar* bar_ = nullptr;
  const TControl* status_ = nullptr;
  TCursor cursor_ = TCursor::crDefault;
  bool runStarted_ = false;
  bool lineOpen_ = false;  // a bar stands on the terminal's current line
  int drawnCells_ = -1;
  int drawnPercent_ = -1;
  std::string drawnStatus_;
  void FlushFilled();
  std::string lastStatus_;
  bool lastFull_ = false;
  int filledBars_ = 0;
  int64_t filledSteps_ = 0;
};

}  // namespace kve::batch
