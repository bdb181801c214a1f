#include "ui/qt/qt_busy.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace kve::qt {

QtBusyView::~QtBusyView() {
  HideWaitAnimation();
  if (cursor_ != TCursor::crDefault) QApplication::restoreOverrideCursor();
}

void QtBusyView::ShowWaitAnimation(int kind) {
  HideWaitAnimation();
  auto* box = new QWidget(window_, Qt::Tool | Qt::FramelessWindowHint);
  box->setObjectName(kWaitBoxName);
  box->setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(box);
  // Kind 0 runs while the screen connects to its server, kind 6 during an export.
  const QString text = kind == 0 ? QStringLiteral("Conectando ao servidor...") : QStringLiteral("Aguarde, processando...");
  box->setWindowTitle(text);  // what a task list or a window search shows for it
  layout->addWidget(new QLabel(text, box));
  auto* bar = new QProgressBar(box);
  bar->setRange(0, 0);  // a running bar, not a measure
  layout->addWidget(bar);
  box->adjustSize();
  if (window_) {
    const QRect r = window_->geometry();
    box->move(r.center() - QPoint(box->width() / 2, box->height() / 2));
  }
  box->show();
  box_ = box;
  // The caller blocks next (a connection, an export): paint the box now.
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtBusyView::HideWaitAnimation() {
  if (box_) box_->close();
  box_ = nullptr;
}

void QtBusyView::SetCursor(TCursor c) {
  if (c == cursor_) return;
  if (c == TCursor::crHourGlass) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
  cursor_ = c;
}

}  // namespace kve::qt
