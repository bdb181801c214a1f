#pragma once
// The host's wait animation and mouse cursor, as calls the views implement, with guards that
// undo them on every exit.

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
