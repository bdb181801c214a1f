#pragma once
// Edit masks of the form framework, and FormatMaskText.
//
// A mask text has up to three fields separated by ';': the mask proper, the save-literals flag
// ("0": the field's value holds only the typed characters; anything else or absent: the value
// holds the literals too) and the blank character shown for an empty input position (default
// '_'). In the mask proper:
//
//   L  letter, required          l  letter, optional
//   A  letter or digit, required a  letter or digit, optional
//   C  any character, required   c  any character, optional
//   0  digit, required           9  digit, optional
//   #  digit, '+' or '-', optional
//   >  upper-case what follows   <  lower-case what follows   <>  leave case alone
//   !  optional characters show as leading blanks (the value is laid in from the right)
//   \x the character x as a literal, whatever it means otherwise
//   :  the locale's time separator   /  the locale's date separator   _  a literal space
//   anything else is a literal.
//
// Texts are UTF-8; each code point is one character, so a mask counts characters, not bytes.

#include <string>
#include <string_view>
#include <vector>

namespace kve {

enum class MaskClass : unsigned char {
  Literal,
  Letter,
  LetterOpt,
  AlphaNum,
  AlphaNumOpt,
  Any,
  AnyOpt,
  Digit,
  DigitOpt,
  DigitSign,
};

enum class MaskCase : unsigned char { Keep, Upper, Lower };

// One character position of the edit text.
struct MaskPosition {
  MaskClass cls = MaskClass::Literal;
  MaskCase letterCase = MaskCase::Keep;
  std::string literal;  // the literal's character (UTF-8) when cls == Literal

  bool IsInput() const { return cls != MaskClass::Literal; }
  bool Required() const;
  // Whether a typed character (one UTF-8 code point) fits this input position.
  bool Accepts(std::string_view ch) const;
};

class EditMask {
 public:
  // Parses a mask text. Never fails: every character of the syntax has a meaning, and a
  // trailing '\' stands for itself.
  explicit EditMask(std::string_view text, char dateSeparator = '/', char timeSeparator = ':');

  const std::vector<MaskPosition>& Positions() const { return positions_; }
  bool SaveLiterals() const { return saveLiterals_; }
  std::string_view Blank() const { return blank_; }
  bool LeadingBlanks() const { return leadingBlanks_; }  // the '!' directive
  int InputCount() const { return inputCount_; }
  // Groups of input positions between literals ("99.99.999.9999" has 4).
  int GroupCount() const;

  // Lays a value into the mask, as FormatMaskText does, with `blank` for empty input
  // positions. A value with more characters than the mask has input positions keeps the
  // surplus (at the end, or at the start with '!'), so nothing is lost silently.
  std::string Format(std::string_view value, std::string_view blank) const;
  // Whether Format(value, blank) is `text`, told without building it (a check over many rows).
  bool Formats(std::string_view value, std::string_view blank, std::string_view text) const;

  // The edit text of a masked edit showing `value`: Format with the mask's own blank.
  std::string EditText(std::string_view value) const { return Format(value, blank_); }

  // The field value an edit text stands for: without the literals when the save flag is
  // "0", empty positions dropped, trailing blanks trimmed.
  std::string ValueOf(std::string_view editText) const;

  // The typed character as the position's case marker makes it.
  static std::string ApplyCase(std::string_view ch, MaskCase c);

  // 0-based position of the first input position of `editText` that is empty while required
  // or holds a character its class refuses; -1 when the edit text is complete. An edit text
  // left entirely blank counts as complete (the field is simply empty).
  int FirstInvalid(std::string_view editText) const;

 private:
  std::string FormatFromRight(const std::vector<std::string_view>& v,
                                    std::string_view blank) const;
  std::string FormatWithLiterals(const std::vector<std::string_view>& v,
                                 std::string_view blank) const;

  std::vector<MaskPosition> positions_;
  bool saveLiterals_ = true;
  std::string blank_ = "_";
  bool leadingBlanks_ = false;
  int inputCount_ = 0;
};

// The platform's formatter: lays `value` into `mask`, inserting the mask's literals. When the
// mask's save flag is "0" the value holds only the input characters; otherwise it holds the
// literals as well, and each part between literals is padded to its group. Input positions
// the value does not reach are spaces (not the mask's blank character).
std::string FormatMaskText(std::string_view mask, std::string_view value);

// Splits UTF-8 text into code points (a stray byte counts as one character).
std::vector<std::string_view> SplitChars(std::string_view text);

}  // namespace kve
