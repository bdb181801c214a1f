#pragma once
// The host application's main window: a multiple-document area, and a menu entry per module
// in the host's module list (module_list.h) that calls the package's IniProc and shows the screen it opened in a window of the
// area. Closing the main window closes every screen (their close steps run), then finalises
// the package.

#include <QMainWindow>
#include <memory>

#include "platform/ui/dialogs.h"
#include "screen_package.h"

class QMdiArea;
class QMenu;
class QMdiSubWindow;

namespace kve::qt {
class ExpDadosView;
}

namespace kve::host_app {

class HostWindow final : public QMainWindow {
 public:
  // `dialogs` shows an error of the entry call (a server that cannot be reached, say).
  HostWindow(ScreenPackage& package, Dialogs& dialogs, QWidget* parent = nullptr);
  ~HostWindow() override;

  // The menu entry: IniProc, then the screen's window. Returns the screen's view, or null when
  // no screen stands open (start-up failed or closed the screen).
  qt::ExpDadosView* OpenExpDados();
  QMdiArea* Area() const { return area_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QMdiSubWindow* WindowOf(TfrmExpDados* screen) const;
  void BuildModulesMenu();

  ScreenPackage& package_;
  Dialogs& dialogs_;
  QMdiArea* area_;
  QMenu* modules_;
};

}  // namespace kve::host_app
