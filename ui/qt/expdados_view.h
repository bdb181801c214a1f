#pragma once
// The export screen in Qt: one widget per control of the screen model, laid out as one form
// that fits a 1024x768 desktop. The view holds no state and takes no decision of its own:
// typing, focus moves and clicks go to the model (TForm's User* actions, so the model's exit
// events and focus rules run), and the widgets are repainted from the model whenever it
// reports a change (FormObserver).
//
// The view observes the screen from construction until the screen closes or the view is
// destroyed, whichever comes first; after the screen closed it touches it no more and asks
// its window to close (closeRequested, queued).
//
// While it observes, the screen's export runs off this thread (qt_export_thread.h): the view
// installs itself as the screen's runExport, and runs the host's exportEnded off it too.
// During a run the window keeps painting; the operator's keys and clicks on the form are
// ignored, Export is disabled, and closing the window is refused with a message.

#include <QDate>
#include <QElapsedTimer>
#include <QWidget>
#include <map>

#include "screen/frm_exp_dados.h"

class QKeyEvent;
class QLabel;

namespace kve::qt {

class ExpDadosView final : public QWidget, public FormObserver {
  Q_OBJECT

 public:
  explicit ExpDadosView(TfrmExpDados& screen, QWidget* parent = nullptr);
  ~ExpDadosView() override;

  // The screen while it is open; null once it closed.
  TfrmExpDados* Screen() const { return screen_; }
  // The widget showing a control (null for a control it does not show). Every control of the
  // screen has one; the object name of the widget is the control's name.
  QWidget* WidgetOf(const TControl& c) const;
  // Controls of the screen that no widget shows (empty when the view is complete).
  std::vector<std::string> UnboundControls() const;
  // An export is running on its own thread.
  bool Exporting() const { return exporting_; }
  // The form's natural size; the view itself may be made smaller, the form then scrolls.
  QSize sizeHint() const override;

  // FormObserver
  void ControlChanged(TControl& control) override;
  void FocusChanged(TControl* focused) override;

  // What the widgets report, forwarded to the model. Public for the widget classes.
  void UserFocus(TControl& c);
  // Qt's focus came to a control's widget. Only the operator's moves (Tab, a click, a
  // mnemonic) are the model's focus moves; the window activated, restored, maximised or a
  // pop-up closed give Qt's focus back to where the model has it, and no field is left.
  void UserFocusIn(TControl& c, Qt::FocusReason reason);
  void UserClick(TControl& c);
  // A key typed into an edit; returns true when the view consumed it.
  bool UserKey(TCustomEdit& e, const QKeyEvent& key);
  void UserSpin(TSpinEdit& e, int steps);
  void UserPickDate(TDateEditPlus& e, QDate date);
  // The window holding the view became the active one: the screen's activation event runs.
  void UserActivate();

 signals:
  // The screen closed (its close step ran): the window holding the view should close.
  void closeRequested();

 protected:
  bool focusNextPrevChild(bool next) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Build();
  void Bind(TControl& c, QWidget* w);
  void Refresh(TControl& c);
  void RefreshAll();
  // The branches chosen in the pick list, beside "Lista".
  void RefreshChosenBranches();
  // Puts Qt's focus where the model has it (after a move the model refused, say).
  void SyncFocus();
  void Detach();
  void PaintNow(QWidget& w);
  template <typename F>
  void Forward(F&& action);
  // Runs `work` with the form the run's: Export disabled, the operator's input ignored.
  template <typename F>
  void WhileBusy(F&& work);

  TfrmExpDados* screen_;
  std::map<const TControl*, QWidget*> widgets_;
  // Widgets that serve a control beside its own (calendar and arrow buttons).
  std::map<const TControl*, std::vector<QWidget*>> extras_;
  // The look-up button of each code field (F4 or Alt+Down presses it).
  std::map<const TControl*, TControl*> lookups_;
  QLabel* chosenBranches_ = nullptr;
  bool syncing_ = false;  // the view itself is moving Qt's focus
  bool exporting_ = false;  // an export, or what follows it, runs on its own thread
  // The host's step after an export, as the services had it before the view wrapped it.
  std::function<void(TfrmExpDados&, const ExportEnd&)> hostExportEnded_;
  bool shownOnce_ = false;
  QWidget* content_ = nullptr;  // the form inside its scroll area
  const TControl* refused_ = nullptr;  // the last control the model refused the focus to
  QElapsedTimer paintClock_;           // since progress was last painted
  bool progressPending_ = false;       // a step left out waits for the event loop
  static constexpr int kPaintEveryMs = 100;
};

}  // namespace kve::qt
