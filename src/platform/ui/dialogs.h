#pragma once
// The one seam through which the screen talks to the operator in modal dialogs: message boxes
// with a kind and buttons, the closing alert, the error box and pick lists. Three faces: the
// Qt dialogs, the batch driver's (answers from the command line), and ScriptedDialogs for
// tests (tests/support/scripted_dialogs.h).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kve {

// The platform's dialog kinds, with its numbering.
enum class TMsgDlgType : int {
  mtWarning = 0,
  mtError = 1,
  mtInformation = 2,
  mtConfirmation = 3,
  mtCustom = 4,
};

// The platform's dialog buttons; a set of them is a bit set with bit N for button N, so Yes
// and No make 3 and OK alone makes 4.
enum class TMsgDlgBtn : int {
  mbYes = 0,
  mbNo = 1,
  mbOK = 2,
  mbCancel = 3,
  mbAbort = 4,
  mbRetry = 5,
  mbIgnore = 6,
  mbAll = 7,
  mbNoToAll = 8,
  mbYesToAll = 9,
  mbHelp = 10,
};

using TMsgDlgButtons = uint32_t;
constexpr TMsgDlgButtons Buttons(TMsgDlgBtn b) { return TMsgDlgButtons{1} << static_cast<int>(b); }
constexpr bool HasButton(TMsgDlgButtons set, TMsgDlgBtn b) { return (set & Buttons(b)) != 0; }
inline constexpr TMsgDlgButtons mbYesNo = 3;
inline constexpr TMsgDlgButtons mbOKOnly = 4;
inline constexpr TMsgDlgButtons mbOKCancel = 4 | 8;

// The platform's modal results: what a message box returns for the button pressed.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrAll = 8;
inline constexpr int mrNoToAll = 9;
inline constexpr int mrYesToAll = 10;

// The modal result a button stands for (mbYes -> mrYes).
int ModalResultOf(TMsgDlgBtn b);

// A list of rows to choose from. The caller has already made sure there is at least one row.
struct PickRequest {
  std::string title;
  std::vector<std::string> columns;             // captions
  std::vector<std::vector<std::string>> rows;   // one text per column
  bool multiple = false;                        // several rows may be chosen
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A modal message box. Returns the modal result of the button pressed, which is always
  // one of `buttons` (mrCancel when the box is closed without a button and Cancel is offered).
  virtual int MessageDlg(std::string_view text, TMsgDlgType kind, TMsgDlgButtons buttons) = 0;

  // The closing alert: a message with buttons captioned as given. `settings` are passed
  // through to the view unchanged (their look is the view's). Returns the 0-based index of
  // the button pressed.
  virtual int Alert(std::string_view text, TMsgDlgType kind,
                    const std::vector<std::string>& captions, const std::vector<int>& settings) = 0;

  // The error display: one error text, acknowledged by the operator.
  virtual void ErrorBox(std::string_view text) = 0;

  // Shows the rows and returns the indices of the rows chosen, in the rows' order (one at
  // most unless `multiple`), or nothing when the operator cancels.
  virtual std::optional<std::vector<int>> PickList(const PickRequest& request) = 0;
};

}  // namespace kve
