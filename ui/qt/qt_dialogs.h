#pragma once
// The screen's dialogs as Qt message boxes and a pick-list dialog: the face of Dialogs that an
// operator sees in the host application. Texts and button captions are Portuguese, as the
// screen's catalogue is.

#include <QPointer>
#include <QWidget>

#include "platform/ui/dialogs.h"

namespace kve::qt {

class QtDialogs final : public Dialogs {
 public:
  // `parent` is the window the dialogs centre on; it may change (SetParent) or go away.
  explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  int MessageDlg(std::string_view text, TMsgDlgType kind, TMsgDlgButtons buttons) override;
  int Alert(std::string_view text, TMsgDlgType kind, const std::vector<std::string>& captions,
            const std::vector<int>& settings) override;
  void ErrorBox(std::string_view text) override;
  std::optional<std::vector<int>> PickList(const PickRequest& request) override;

  // Object names of the dialogs, so that tests and scripts can find the open one.
  static constexpr const char* kMessageBoxName = "kveMessageBox";
  static constexpr const char* kPickListName = "kvePickList";

 private:
  QPointer<QWidget> parent_;
};

}  // namespace kve::qt
