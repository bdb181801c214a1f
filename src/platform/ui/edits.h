#pragma once
// Text controls: edit, masked edit, spin edit. The operator types at the end of the text (or
// over the whole text while it is selected); the program sets the text outright. Either way
// OnChange runs only when the text really changes.

#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/control.h"
#include "platform/ui/mask.h"

namespace kve {

inline constexpr char kBackspace = 8;

class TCustomEdit : public TControl {
 public:
  using TControl::TControl;

  const std::string& Text() const { return text_; }
  // Sets the text as the program does; runs OnChange when it differs from the old text.
  void SetText(std::string_view text);

  // Most characters the operator may type (0: no limit). The program's SetText is not held
  // to it.
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int n);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool r);
  // Whether the whole text is selected when the control receives the focus.
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool a) { autoSelect_ = a; }
  bool Selected() const { return selected_; }
  // Selects the whole text (an empty text has nothing to select); the view is told.
  void SelectAll();
  // Drops the selection: typing goes on at the end of the text; the view is told.
  void Deselect();

  // One key of the operator: OnKeyPress may drop or replace it; backspace deletes the last
  // character (or the selection); any other key goes through the control's typing rule,
  // which may refuse it. `key` may be a whole UTF-8 character; OnKeyPress sees single-byte
  // keys only.
  void KeyPress(std::string_view key);

  TNotifyEvent OnChange;
  TKeyPressEvent OnKeyPress;

 protected:
  bool IsFocusable() const override { return true; }
  // The text after typing `ch` (one character) at the end of `text`, or nothing when the
  // control refuses it. The plain rule: accepted while the length limit allows.
  virtual std::optional<std::string> Typed(const std::string& text, std::string_view ch) const;

 private:
  std::string text_;
  int maxLength_ = 0;
  bool readOnly_ = false;
  bool autoSelect_ = true;
  bool selected_ = false;
};

class TEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
};

// An edit whose edit mask is its typing rule: a typed character goes to the next input
// position and is kept only when that position's class accepts it (case markers applied);
// literals in between are put in by the control. The text is the value (without literals when
// the mask's save flag is "0"); an empty text shows nothing typed.
class TMaskEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
  const std::string& EditMaskText() const { return maskText_; }
  void SetEditMask(std::string_view mask);
  bool HasMask() const { return mask_.has_value(); }
  const EditMask& Mask() const { return *mask_; }  // REQUIRES: HasMask()

 protected:
  std::optional<std::string> Typed(const std::string& text, std::string_view ch) const override;

 private:
  std::string maskText_;
  std::optional<EditMask> mask_;
};

// A number edit with arrows. Its own typing rule takes digits and signs only. Value reads the
// text as an integer (MinValue when it does not read); with both bounds 0 there is no bound.
class TSpinEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
  int Value() const;
  void SetValue(int v);  // sets the text (bounds applied); OnChange as for SetText
  int MinValue() const { return min_; }
  int MaxValue() const { return max_; }
  void SetBounds(int min, int max);
  int Increment() const { return increment_; }
  void SetIncrement(int i) { increment_ = i; }
  // The up (+) and down (-) arrows: Value +/- Increment per step.
  void Spin(int steps);

 protected:
  std::optional<std::string> Typed(const std::string& text, std::string_view ch) const override;

 private:
  int Bounded(int v) const;
  int min_ = 0;
  int max_ = 0;
  int increment_ = 1;
};

}  // namespace kve
