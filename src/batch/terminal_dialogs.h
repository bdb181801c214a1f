#pragma once
// The screen's dialogs on a terminal: every message is printed, every question answered as
// the command line says (No unless told Yes), the branch pick list answered from --branches.
// It remembers what it showed, so the driver can tell how an export ended.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ui/dialogs.h"

namespace kve::batch {

class TerminalDialogs final : public Dialogs {
 public:
  // `picks`: the codes to choose in a pick list (the first column of its rows).
  TerminalDialogs(std::ostream& out, bool yes, std::vector<std::string> picks);

  int MessageDlg(std::string_view text, TMsgDlgType kind, TMsgDlgButtons buttons) override;
  int Alert(std::string_view text, TMsgDlgType kind, const std::vector<std::string>& captions,
            const std::vector<int>& settings) override;
  void ErrorBox(std::string_view text) override;
  std::optional<std::vector<int>> PickList(const PickRequest& request) override;

  // Every text shown, in order.
  const std::vector<std::string>& Messages() const { return messages_; }
  // The closing alert of an export, once shown.
  const std::optional<std::string>& ClosingMessage() const { return closing_; }
  // A question was answered No.
  bool AnsweredNo() const { return answeredNo_; }
  // A pick list could not be answered as asked (a code it does not offer); empty otherwise.
  const std::string& PickProblem() const { return pickProblem_; }

 private:
  void Print(std::string_view label, std::string_view text);

  std::ostream& out_;
  bool yes_;
  std::vector<std::string> picks_;
  std::vector<std::string> messages_;
  std::optional<std::string> closing_;
  bool answeredNo_ = false;
  std::string pickProblem_;
};

}  // namespace kve::batch
