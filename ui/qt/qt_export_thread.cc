#include "ui/qt/qt_export_thread.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <exception>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kve::qt {
namespace {

// Makes `f` on the user-interface thread and waits for it; what it raises is raised here.
template <typename F>
void OnGui(QObject& gui, F&& f) {
  if (QThread::currentThread() == gui.thread()) {
    f();
    return;
  }
  std::exception_ptr failed;
  QMetaObject::invokeMethod(
      &gui,
      [&] {
        try {
          f();
        } catch (...) {
          failed = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (failed) std::rethrow_exception(failed);
}

class GuiDialogs final : public Dialogs {
 public:
  GuiDialogs(QObject& gui, Dialogs& target) : gui_(gui), target_(target) {}
  int MessageDlg(std::string_view text, TMsgDlgType kind, TMsgDlgButtons buttons) override {
    int r = 0;
    OnGui(gui_, [&] { r = target_.MessageDlg(text, kind, buttons); });
    return r;
  }
  int Alert(std::string_view text, TMsgDlgType kind, const std::vector<std::string>& captions,
            const std::vector<int>& settings) override {
    int r = 0;
    OnGui(gui_, [&] { r = target_.Alert(text, kind, captions, settings); });
    return r;
  }
  void ErrorBox(std::string_view text) override {
    OnGui(gui_, [&] { target_.ErrorBox(text); });
  }
  std::optional<std::vector<int>> PickList(const PickRequest& request) override {
    std::optional<std::vector<int>> r;
    OnGui(gui_, [&] { r = target_.PickList(request); });
    return r;
  }

 private:
  QObject& gui_;
  Dialogs& target_;
};

class GuiBusy final : public BusyView {
 public:
  GuiBusy(QObject& gui, BusyView& target) : gui_(gui), target_(target) {}
  void ShowWaitAnimation(int kind) override {
    OnGui(gui_, [&] { target_.ShowWaitAnimation(kind); });
  }
  void HideWaitAnimation() override {
    OnGui(gui_, [&] { target_.HideWaitAnimation(); });
  }
  TCursor Cursor() const override {
    TCursor c = TCursor::crDefault;
    OnGui(gui_, [&] { c = target_.Cursor(); });
    return c;
  }
  void SetCursor(TCursor c) override {
    OnGui(gui_, [&] { target_.SetCursor(c); });
  }

 private:
  QObject& gui_;
  BusyView& target_;
};

std::vector<std::string> LinesOf(const TMessages& m) {
  std::vector<std::string> lines;
  for (int i = 0; i < m.Count(); ++i) lines.push_back(m.Key(i) + "|" + m.Text(i));
  return lines;
}

class GuiRunView final : public ExportRunView {
 public:
  // Made on the user-interface thread: the catalogue is copied there, its boxes shown there.
  GuiRunView(QObject& gui, ExportRunView& screen)
      : gui_(gui),
        screen_(screen),
        dialogs_(gui, screen.Boxes()),
        busy_(gui, screen.Busy()),
        messages_(LinesOf(screen.Messages()), dialogs_) {}

  void Progress(int position, int max) override {
    Call([=, this] { screen_.Progress(position, max); });
  }
  void StepProgress() override {
    // One step per record: carried a batch at a time, never overtaking the calls after it.
    if (++steps_ >= kStepBatch) FlushSteps();
  }
  void ClearProgress() override {
    Call([this] { screen_.ClearProgress(); });
  }
  void Status(std::string_view text) override {
    Call([&] { screen_.Status(text); });
  }
  void Refresh() override {
    Call([this] { screen_.Refresh(); });
  }
  void ToFront() override {
    Call([this] { screen_.ToFront(); });
  }
  void FocusDevice() override {
    Call([this] { screen_.FocusDevice(); });
  }
  TMessages& Messages() override { return messages_; }
  Dialogs& Boxes() override {
    FlushSteps();
    return dialogs_;
  }
  BusyView& Busy() override {
    FlushSteps();
    return busy_;
  }

  // The steps not yet carried.
  void FlushSteps() {
    const int n = std::exchange(steps_, 0);
    if (n == 0) return;
    OnGui(gui_, [&] {
      for (int i = 0; i < n; ++i) screen_.StepProgress();
    });
  }

 private:
  static constexpr int kStepBatch = 256;
  template <typename F>
  void Call(F&& f) {
    FlushSteps();
    OnGui(gui_, std::forward<F>(f));
  }

  QObject& gui_;
  ExportRunView& screen_;
  GuiDialogs dialogs_;
  GuiBusy busy_;
  TMessages messages_;
  int steps_ = 0;  // of the run's thread only
};

}  // namespace

void RunOffGuiThread(const std::function<void()>& body) {
  std::exception_ptr failed;
  QEventLoop loop;
  std::thread worker([&] {
    try {
      body();
    } catch (...) {
      failed = std::current_exception();
    }
    // Posted: the loop ends once it runs, even if the body ended before it started.
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  if (failed) std::rethrow_exception(failed);
}

void RunExportOffGuiThread(QObject& gui, ExportRunView& screenView,
                           const std::function<void(ExportRunView& runView)>& body) {
  GuiRunView view(gui, screenView);
  RunOffGuiThread([&] {
    body(view);
    view.FlushSteps();
  });
}

}  // namespace kve::qt
