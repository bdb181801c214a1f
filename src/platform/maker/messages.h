#pragma once
// The keyed message catalogue (TMessages) and the platform's Format of "%s" placeholders.
//
// A catalogue is an ordered list of lines "KEY|text": the key is everything before the first
// '|', the text everything after it, kept exactly (double and trailing blanks included). Keys
// are matched without regard to letter case and always whole, never as a prefix.

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/dialogs.h"

namespace kve {

// Fills each "%s" of `text`, in order, with the next argument; "%%" is a single '%'. Raises
// ValueError naming the text when it holds fewer arguments than placeholders or another
// '%' directive. Surplus arguments are ignored, as the platform's Format does.
std::string Format(std::string_view text, const std::vector<std::string>& args);
std::string Format(std::string_view text, std::initializer_list<std::string_view> args);

class TMessages {
 public:
  // Raises FormatError ("messages: line 12: ...") for a line without '|', an empty key or a
  // key that repeats another (letter case ignored).
  TMessages(std::vector<std::string> lines, Dialogs& dialogs);

  // The text of `key`; an empty text when no line has that key, and the key is reported to
  // the log hook (by default a line on standard error), so a missing line shows up without
  // stopping what asked for it.
  std::string Msg(std::string_view key) const;
  // The text of a key the catalogue may lack on purpose: empty then, and nothing reported.
  std::string MsgIfAny(std::string_view key) const;
  bool Has(std::string_view key) const;

  // Shows the key's text in a message box and returns the modal result of the button
  // pressed. `helpContext` is passed for the platform's sake and unused.
  int ShowMsg(std::string_view key, TMsgDlgType kind, TMsgDlgButtons buttons, int helpContext);

  // Shows the key's text as an alert with buttons captioned as given; the three settings go
  // to the view unchanged. Returns the index of the button pressed.
  int ShowMsgAlertEx(std::string_view key, TMsgDlgType kind,
                     const std::vector<std::string>& captions, int setting1, int setting2,
                     int setting3);

  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& Key(int i) const { return lines_[i].key; }
  const std::string& Text(int i) const { return lines_[i].text; }

  // Where unknown keys are reported. Null silences it.
  void SetLog(std::function<void(std::string_view)> log) { log_ = std::move(log); }

 private:
  struct Line {
    std::string key;
    std::string text;
  };
  const Line* Find(std::string_view key) const;

  std::vector<Line> lines_;
  Dialogs& dialogs_;
  std::function<void(std::string_view)> log_;
};

}  // namespace kve
