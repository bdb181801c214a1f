#include "screen/form_run_view.h"

#include <string>

#include "screen/frm_exp_dados.h"

namespace kve {

void FormRunView::Progress(int position, int max) {
  s_.pgbProgresso.SetRange(0, max);
  s_.pgbProgresso.SetPosition(position);
}

void FormRunView::StepProgress() { s_.pgbProgresso.StepIt(); }

void FormRunView::ClearProgress() { s_.pgbProgresso.SetPosition(0); }

void FormRunView::Status(std::string_view text) { s_.lblStatus.SetCaption(std::string(text)); }

void FormRunView::Refresh() { s_.Repaint(); }

void FormRunView::ToFront() { s_.BringToFront(); }

void FormRunView::FocusDevice() {
  TControl& code = s_.rbtPalm.Checked() ? static_cast<TControl&>(s_.medCdPalm) : s_.medCdEPc;
  if (code.CanFocus()) code.SetFocus();
}

TMessages& FormRunView::Messages() { return s_.msgPadrao; }

Dialogs& FormRunView::Boxes() { return s_.services().dialogs; }

BusyView& FormRunView::Busy() { return s_.services().busy; }

}  // namespace kve
