#pragma once
// The host's wait animation and mouse cursor, as calls the views implement, with guards that
// undo them on every exit.

#include <exception>
#include <string>
#include <vector>

namespace kve {

enum class TCursor { crDefault, crHourGlass };

class BusyView {
 public:
  virtual ~BusyView() = default;
  // Starts the wait animation of `kind` (0 while connecting, 6 during an export); showing it
  // again while it runs replaces it.
  virtual void ShowWaitAnimation(int kind) = 0;
  // Stops it; harmless when none runs.
  virtual void HideWaitAnimation() = 0;
  virtual TCursor Cursor() const = 0;
  virtual void SetCursor(TCursor c) = 0;
};

// The hourglass for as long as the guard lives; then the cursor it found.
class HourglassCursor {
 public:
  explicit HourglassCursor(BusyView& view) : view_(view), old_(view.Cursor()) {
    view_.SetCursor(TCursor::crHourGlass);
  }
  ~HourglassCursor() { view_.SetCursor(old_); }
  HourglassCursor(const HourglassCursor&) = delete;
  HourglassCursor& operator=(const HourglassCursor&) = delete;

 private:
  BusyView& view_;
  TCursor old_;
};

// The wait animation for as long as the guard lives.
class WaitAnimation {
 public:
  WaitAnimation(BusyView& view, int kind) : view_(view) { view_.ShowWaitAnimation(kind); }
  ~WaitAnimation() { view_.HideWaitAnimation(); }
  WaitAnimation(const WaitAnimation&) = delete;
  WaitAnimation& operator=(const WaitAnimation&) = delete;

 private:
  BusyView& view_;
};

// The wait animation out of the way for as long as the guard lives, for a notice the operator
// must read in the middle of a long step; then the animation of `kind` again. A failure that
// leaves the scope leaves it stopped: whatever runs the step stops it on its way out anyway.
class WaitAnimationPause {
 public:
  WaitAnimationPause(BusyView& view, int kind)
      : view_(view), kind_(kind), failures_(std::uncaught_exceptions()) {
    view_.HideWaitAnimation();
  }
  ~WaitAnimationPause() {
    if (std::uncaught_exceptions() == failures_) view_.ShowWaitAnimation(kind_);
  }
  WaitAnimationPause(const WaitAnimationPause&) = delete;
  WaitAnimationPause& operator=(const WaitAnimationPause&) = delete;

 private:
  BusyView& view_;
  int kind_;
  int failures_;  // exceptions already in flight when the pause began
};

// Remembers every call, for tests: "show 6", "hide", "cursor hourglass", "cursor default".
class RecordingBusyView final : public BusyView {
 public:
  void ShowWaitAnimation(int kind) override;
  void HideWaitAnimation() override;
  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor c) override;

  bool Animating() const { return animating_; }
  int AnimationKind() const { return kind_; }
  const std::vector<std::string>& Calls() const { return calls_; }

 private:
  bool animating_ = false;
  int kind_ = -1;
  TCursor cursor_ = TCursor::crDefault;
  std::vector<std::string> calls_;
};

}  // namespace kve
