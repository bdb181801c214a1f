#include "host_window.h"

#include <cstdio>

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

#include <string_view>

#include "module_list.h"
#include "screen/operator_errors.h"
#include "ui/qt/expdados_view.h"

namespace kve::host_app {

HostWindow::HostWindow(ScreenPackage& package, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), package_(package), dialogs_(dialogs), area_(new QMdiArea(this)) {
  setWindowTitle(QStringLiteral("Orvanta — Central de Alimentação Escolar"));
  setCentralWidget(area_);
  modules_ = menuBar()->addMenu(QStringLiteral("&Módulos"));
  ModuleList::Host().SetOnChange([this] { BuildModulesMenu(); });
  BuildModulesMenu();
  // A screen brought to the front runs its activation event, as the platform's child windows do.
  connect(area_, &QMdiArea::subWindowActivated, this, [](QMdiSubWindow* w) {
    if (auto* view = w ? qobject_cast<qt::ExpDadosView*>(w->widget()) : nullptr) view->UserActivate();
  });
  QMenu* windows = menuBar()->addMenu(QStringLiteral("&Janela"));
  windows->addAction(QStringLiteral("&Cascata"), area_, &QMdiArea::cascadeSubWindows);
  windows->addAction(QStringLiteral("&Lado a lado"), area_, &QMdiArea::tileSubWindows);
}

HostWindow::~HostWindow() {
  ModuleList::Host().SetOnChange(nullptr);
  // Views go before the package's screens do.
  for (QMdiSubWindow* w : area_->subWindowList()) delete w;
}

// One entry per registered module, in the order they registered, then Sair.
void HostWindow::BuildModulesMenu() {
  modules_->clear();
  for (const ModuleList::Entry& e : ModuleList::Host().Entries()) {
    QAction* open = modules_->addAction(QStringLiteral("&") + QString::fromUtf8(e.module->caption));
    const bool screen = std::string_view(e.module->name) == package_.Info().name;
    if (screen) open->setObjectName(QStringLiteral("actExpDados"));
    const KveModule* module = e.module;
    connect(open, &QAction::triggered, this, [this, module, screen] {
      if (screen) {
        OpenExpDados();
        return;
      }
      try {
        module->iniProc();
      } catch (const std::exception& ex) {
        dialogs_.ErrorBox(ex.what());
      }
    });
  }
  modules_->addSeparator();
  modules_->addAction(QStringLiteral("&Sair"), this, &QWidget::close);
}

QMdiSubWindow* HostWindow::WindowOf(TfrmExpDados* screen) const {
  for (QMdiSubWindow* w : area_->subWindowList()) {
    auto* view = qobject_cast<qt::ExpDadosView*>(w->widget());
    if (view && view->Screen() == screen) return w;
  }
  return nullptr;
}

qt::ExpDadosView* HostWindow::OpenExpDados() {
  try {
    package_.IniProc();
  } catch (const std::exception& e) {
    // The operator reads what to do; the detail goes to the log.
    if (HasOperatorText(e)) std::fprintf(stderr, "kve-host: %s\n", e.what());
    dialogs_.ErrorBox(OperatorErrorText(e));
    return nullptr;
  }
  TfrmExpDados* screen = package_.Form();
  if (!screen) return nullptr;
  QMdiSubWindow* window = WindowOf(screen);
  if (!window) {
    auto* view = new qt::ExpDadosView(*screen);
    window = area_->addSubWindow(view);
    window->setAttribute(Qt::WA_DeleteOnClose);
    connect(view, &qt::ExpDadosView::closeRequested, window, &QWidget::close);
    window->adjustSize();
  }
  window->showNormal();
  area_->setActiveSubWindow(window);
  return qobject_cast<qt::ExpDadosView*>(window->widget());
}

void HostWindow::closeEvent(QCloseEvent* event) {
  area_->closeAllSubWindows();
  bool refused = false;
  for (QMdiSubWindow* w : area_->subWindowList()) refused = refused || w->isVisible();
  if (refused) {
    event->ignore();  // a screen refused to close
    return;
  }
  package_.Finalize();
  event->accept();
}

}  // namespace kve::host_app
