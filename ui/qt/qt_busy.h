#pragma once
// The host's wait animation and hourglass in Qt: the cursor is the application's override
// cursor, the animation a small frameless box with a running bar over the host's window.
// Everything runs on the one user-interface thread, so the box is painted once when it
// appears; a long step that reports progress repaints the screen through its progress bar.

#include <QPointer>
#include <QWidget>

#include "platform/ui/busy.h"

namespace kve::qt {

class QtBusyView final : public BusyView {
 public:
  explicit QtBusyView(QWidget* window = nullptr) : window_(window) {}
  ~QtBusyView() override;
  void SetWindow(QWidget* window) { window_ = window; }

  void ShowWaitAnimation(int kind) override;
  void HideWaitAnimation() override;
  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor c) override;

  // The box while it shows (null otherwise); its object name is kWaitBoxName.
  QWidget* WaitBox() const { return box_; }
  static constexpr const char* kWaitBoxName = "kveWaitAnimation";

 private:
  QPointer<QWidget> window_;
  QPointer<QWidget> box_;
  TCursor cursor_ = TCursor::crDefault;
};

}  // namespace kve::qt
