#pragma once
// A Dialogs double for tests: records everything shown and answers from a script. A dialog
// that needs an answer the script does not hold (a confirmation, a pick list) raises Error
// naming it, so a test never passes on a question it did not expect; a box whose only button
// is OK is answered OK without a script.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/dialogs.h"

namespace kve {

struct ShownDialog {
  enum class Kind { Message, Alert, Error, Pick };
  Kind kind = Kind::Message;
  std::string text;                  // message, alert or error text; pick-list title
  TMsgDlgType type = TMsgDlgType::mtInformation;
  TMsgDlgButtons buttons = 0;        // Message
  std::vector<std::string> captions; // Alert buttons; Pick column captions
  std::vector<int> settings;         // Alert
  PickRequest pick;                  // Pick
  int answer = -1;                   // modal result, button index; -1 for a cancelled pick
  std::vector<int> picked;           // Pick
};

class ScriptedDialogs final : public Dialogs {
 public:
  // Next message box or alert is answered with `result` (a modal result for a message box,
  // a button index for an alert).
  void Answer(int result) { answers_.push_back(result); }
  // Next pick list chooses these rows (indices into the request's rows).
  void Pick(std::vector<int> rows) { picks_.push_back(std::move(rows)); }
  // Next pick list is cancelled.
  void CancelPick() { picks_.push_back(std::nullopt); }

  const std::vector<ShownDialog>& Shown() const { return shown_; }
  // Texts of the error boxes only, in order.
  std::vector<std::string> Errors() const;
  // Texts of everything shown, in order (pick lists by their title).
  std::vector<std::string> Texts() const;
  // Answers still in the script (a test may assert they were all used).
  size_t Unused() const { return answers_.size() + picks_.size(); }
  void Clear();

  int MessageDlg(std::string_view text, TMsgDlgType kind, TMsgDlgButtons buttons) override;
  int Alert(std::string_view text, TMsgDlgType kind, const std::vector<std::string>& captions,
            const std::vector<int>& settings) override;
  void ErrorBox(std::string_view text) override;
  std::optional<std::vector<int>> PickList(const PickRequest& request) override;

 private:
  std::deque<int> answers_;
  std::deque<std::optional<std::vector<int>>> picks_;
  std::vector<ShownDialog> shown_;
};

}  // namespace kve
