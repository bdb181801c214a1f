#pragma once
// The export screen's own face of an export run: the run's progress goes to the screen's
// progress bar and status line, its messages to the screen's catalogue and dialogs, its wait
// animation to the host's.

#include "screen/export_run_view.h"

namespace kve {

class TfrmExpDados;

class FormRunView final : public ExportRunView {
 public:
  explicit FormRunView(TfrmExpDados& screen) : s_(screen) {}

  void Progress(int position, int max) override;
  void StepProgress() override;
  void ClearProgress() override;
  void Status(std::string_view text) override;
  void Refresh() override;
  void ToFront() override;
  void FocusDevice() override;
  TMessages& Messages() override;
  Dialogs& Boxes() override;
  BusyView& Busy() override;

 private:
  TfrmExpDados& s_;
};

}  // namespace kve
