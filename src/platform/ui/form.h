#pragma once
// The form: the root container that owns the focus, the keyboard order, and the event
// dispatcher that turns an escaped error into one error box.
//
// Moving the focus runs, in order, the exit event of the focused control and of each of its
// containers that does not also hold the new control (innermost first), then the enter events
// of the new control's containers (outermost first) and of the control. When an exit event
// raises, the focus stays where it was and the error travels on. An exit event that moves the
// focus itself (SetFocus inside OnExit) wins: the move it interrupted does not happen.

#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "platform/ui/control.h"
#include "platform/ui/dialogs.h"

namespace kve {

class TCustomEdit;
class TSpinEdit;

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

// Told of every property change of a control of the form, so a view can refresh it.
class FormObserver {
 public:
  virtual ~FormObserver() = default;
  virtual void ControlChanged(TControl& control) = 0;
  virtual void FocusChanged(TControl* focused) = 0;
};

class TForm : public TContainer {
 public:
  TForm(std::string name, Dialogs& dialogs);
  ~TForm() override;

  Dialogs& dialogs() const { return dialogs_; }
  void SetObserver(FormObserver* observer) { observer_ = observer; }
  FormObserver* Observer() const { return observer_; }

  TControl* ActiveControl() const { return focused_; }
  // Moves the focus to `target` (see the file comment); null takes the focus away.
  void FocusControl(TControl* target);
  // The controls that take the focus by keyboard, in keyboard order.
  std::vector<TControl*> TabList() const;
  // Forgets a control about to be destroyed.
  void Forget(TControl* c);

  // Runs a handler as the framework runs an event: an EAbort ends it silently; any other
  // error is shown once in the error box with its own text. Returns true when the handler
  // ran to its end.
  bool RunEvent(const std::function<void()>& handler);
  // How RunEvent shows an error that escaped a handler: in the error box with its own text.
  // A form that words errors for its operator overrides it.
  virtual void ShowError(const std::exception& e);

  // What the operator does, each through RunEvent. Each returns true when it completed.
  bool UserFocus(TControl& c);             // clicks into a control
  bool UserTab();                          // Tab: the next control in keyboard order
  bool UserClick(TControl& c);             // focus first (when it takes it), then Click
  bool UserType(TCustomEdit& e, std::string_view text);  // focus, then each key
  bool UserKey(TCustomEdit& e, char key);  // one key into the focused edit
  bool UserSpin(TSpinEdit& e, int steps);  // the arrows: +1 up, -1 down, per step

  // Window of the screen.
  void Show();
  bool Showing() const { return showing_; }
  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState s);
  // Closes the form: runs OnClose, then hides it.
  void Close();
  // Asks the view to redraw the whole form (counted, so a model test can see it happened).
  void Repaint();
  int RepaintCount() const { return repaints_; }
  // Asks the view to bring the application's window to the front (counted likewise).
  void BringToFront();
  int BringToFrontCount() const { return fronts_; }

  TNotifyEvent OnActivate;
  TNotifyEvent OnClose;

 private:
  friend class TControl;
  void NotifyChanged(TControl& c);

  Dialogs& dialogs_;
  FormObserver* observer_ = nullptr;
  TControl* focused_ = nullptr;
  bool moving_ = false;      // a focus move is running its events
  bool redirected_ = false;  // an event of that move moved the focus itself
  bool showing_ = false;
  TWindowState windowState_ = TWindowState::wsNormal;
  int repaints_ = 0;
  int fronts_ = 0;
};

}  // namespace kve
