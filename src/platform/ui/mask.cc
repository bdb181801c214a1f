#include "platform/ui/mask.h"

#include <algorithm>

namespace kve {
namespace {

size_t CharLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;  // a stray continuation byte stands alone
}

bool IsAsciiDigit(std::string_view ch) { return ch.size() == 1 && ch[0] >= '0' && ch[0] <= '9'; }

// Letters: ASCII letters, and every non-ASCII character (accented letters of the code page).
bool IsLetter(std::string_view ch) {
  if (ch.empty()) return false;
  const unsigned char c = static_cast<unsigned char>(ch[0]);
  if (c >= 0x80) return true;
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::vector<std::string_view> SplitChars(std::string_view text) {
  std::vector<std::string_view> out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t n = std::min(CharLength(static_cast<unsigned char>(text[i])), text.size() - i);
    out.push_back(text.substr(i, n));
    i += n;
  }
  return out;
}

bool MaskPosition::Required() const {
  switch (cls) {
    case MaskClass::Letter:
    case MaskClass::AlphaNum:
    case MaskClass::Any:
    case MaskClass::Digit:
      return true;
    default:
      return false;
  }
}

bool MaskPosition::Accepts(std::string_view ch) const {
  switch (cls) {
    case MaskClass::Literal:
      return ch == literal;
    case MaskClass::Letter:
    case MaskClass::LetterOpt:
      return IsLetter(ch);
    case MaskClass::AlphaNum:
    case MaskClass::AlphaNumOpt:
      return IsLetter(ch) || IsAsciiDigit(ch);
    case MaskClass::Any:
    case MaskClass::AnyOpt:
      return !ch.empty() && static_cast<unsigned char>(ch[0]) >= 0x20;
    case MaskClass::Digit:
    case MaskClass::DigitOpt:
      return IsAsciiDigit(ch);
    case MaskClass::DigitSign:
      return IsAsciiDigit(ch) || ch == "+" || ch == "-";
  }
  return false;
}

EditMask::EditMask(std::string_view text, char dateSeparator, char timeSeparator) {
  // The mask proper ends at the first ';' that is not escaped.
  size_t end = 0;
  while (end < text.size() && text[end] != ';') end += text[end] == '\\' ? 2 : 1;
  end = std::min(end, text.size());
  const std::string_view proper = text.substr(0, end);
  if (end < text.size()) {
    std::string_view rest = text.substr(end + 1);
    const size_t semi = rest.find(';');
    const std::string_view save = rest.substr(0, semi);
    if (!save.empty() && save[0] == '0') saveLiterals_ = false;
    if (semi != std::string_view::npos && semi + 1 < rest.size()) {
      const std::vector<std::string_view> blank = SplitChars(rest.substr(semi + 1));
      blank_.assign(blank.front());
    }
  }

  const std::vector<std::string_view> chars = SplitChars(proper);
  MaskCase letterCase = MaskCase::Keep;
  auto add = [&](MaskClass cls, std::string_view literal = {}) {
    positions_.push_back(MaskPosition{cls, letterCase, std::string(literal)});
    if (cls != MaskClass::Literal) ++inputCount_;
  };
  for (size_t i = 0; i < chars.size(); ++i) {
    const std::string_view c = chars[i];
    if (c.size() != 1) {
      add(MaskClass::Literal, c);
      continue;
    }
    switch (c[0]) {
      case '\\':
        if (i + 1 < chars.size()) {
          add(MaskClass::Literal, chars[++i]);
        } else {
          add(MaskClass::Literal, c);
        }
        break;
      case '!': leadingBlanks_ = true; break;
      case '>': letterCase = MaskCase::Upper; break;
      case '<':
        if (i + 1 < chars.size() && chars[i + 1] == ">") {
          letterCase = MaskCase::Keep;
          ++i;
        } else {
          letterCase = MaskCase::Lower;
        }
        break;
      case 'L': add(MaskClass::Letter); break;
      case 'l': add(MaskClass::LetterOpt); break;
      case 'A': add(MaskClass::AlphaNum); break;
      case 'a': add(MaskClass::AlphaNumOpt); break;
      case 'C': add(MaskClass::Any); break;
      case 'c': add(MaskClass::AnyOpt); break;
      case '0': add(MaskClass::Digit); break;
      case '9': add(MaskClass::DigitOpt); break;
      case '#': add(MaskClass::DigitSign); break;
      case ':': add(MaskClass::Literal, std::string_view(&timeSeparator, 1)); break;
      case '/': add(MaskClass::Literal, std::string_view(&dateSeparator, 1)); break;
      case '_': add(MaskClass::Literal, " "); break;
      default: add(MaskClass::Literal, c); break;
    }
  }
}

int EditMask::GroupCount() const {
  int groups = 0;
  bool inGroup = false;
  for (const MaskPosition& p : positions_) {
    if (p.IsInput() && !inGroup) ++groups;
    inGroup = p.IsInput();
  }
  return groups;
}

std::string EditMask::Format(std::string_view value, std::string_view blank) const {
  if (!saveLiterals_ && !leadingBlanks_) {
    // The common case (codes laid in from the left) walks the value without splitting it.
    std::string out;
    out.reserve(positions_.size() + value.size() + 8);
    size_t k = 0;
    for (const MaskPosition& p : positions_) {
      if (!p.IsInput()) {
        out += p.literal;
      } else if (k < value.size()) {
        const size_t n = std::min(CharLength(static_cast<unsigned char>(value[k])), value.size() - k);
        out.append(value.substr(k, n));
        k += n;
      } else {
        out += blank;
      }
    }
    out.append(value.substr(k));
    return out;
  }
  const std::vector<std::string_view> v = SplitChars(value);
  return saveLiterals_ ? FormatWithLiterals(v, blank) : FormatFromRight(v, blank);
}

bool EditMask::Formats(std::string_view value, std::string_view blank, std::string_view text) const {
  if (saveLiterals_ || leadingBlanks_) return Format(value, blank) == text;
  // Format's common case, each piece compared where Format would append it.
  size_t at = 0;
  const auto next = [&](std::string_view piece) {
    if (text.size() - at < piece.size() || text.compare(at, piece.size(), piece) != 0) return false;
    at += piece.size();
    return true;
  };
  size_t k = 0;
  for (const MaskPosition& p : positions_) {
    if (!p.IsInput()) {
      if (!next(p.literal)) return false;
    } else if (k < value.size()) {
      const size_t n = std::min(CharLength(static_cast<unsigned char>(value[k])), value.size() - k);
      if (!next(value.substr(k, n))) return false;
      k += n;
    } else if (!next(blank)) {
      return false;
    }
  }
  return text.substr(at) == value.substr(k);
}

// The value holds input characters only, laid in from the right ('!'): they fill the input
// positions from the last, the literals go between them.
std::string EditMask::FormatFromRight(const std::vector<std::string_view>& v,
                                            std::string_view blank) const {
  std::string out;
  out.reserve(positions_.size() + v.size() + 8);
  std::vector<std::string_view> pieces;
  pieces.reserve(positions_.size());
  size_t k = v.size();
  for (auto p = positions_.rbegin(); p != positions_.rend(); ++p) {
    if (!p->IsInput()) {
      pieces.push_back(p->literal);
    } else if (k > 0) {
      pieces.push_back(v[--k]);
    } else {
      pieces.push_back(blank);
    }
  }
  for (size_t i = 0; i < k; ++i) out += v[i];
  for (auto p = pieces.rbegin(); p != pieces.rend(); ++p) out += *p;
  return out;
}

// The value holds the literals too: each part of it up to the literal that closes a group
// fills that group, padded with blanks (before the part with '!'). A value without that
// literal fills the group position by position instead.
std::string EditMask::FormatWithLiterals(const std::vector<std::string_view>& v,
                                         std::string_view blank) const {
  std::string out;
  const size_t n = positions_.size();
  size_t k = 0;
  size_t i = 0;
  while (i < n) {
    const MaskPosition& p = positions_[i];
    if (!p.IsInput()) {
      if (k < v.size() && v[k] == p.literal) ++k;
      out += p.literal;
      ++i;
      continue;
    }
    size_t j = i;
    while (j < n && positions_[j].IsInput()) ++j;
    const size_t width = j - i;
    size_t end = v.size();
    if (j < n) {
      const auto it = std::find(v.begin() + static_cast<long>(k), v.end(), positions_[j].literal);
      end = it != v.end() ? static_cast<size_t>(it - v.begin()) : std::min(v.size(), k + width);
    }
    const size_t len = end - k;
    const size_t pad = len < width ? width - len : 0;
    if (leadingBlanks_)
      for (size_t b = 0; b < pad; ++b) out += blank;
    for (; k < end; ++k) out += v[k];
    if (!leadingBlanks_)
      for (size_t b = 0; b < pad; ++b) out += blank;
    i = j;
  }
  for (; k < v.size(); ++k) out += v[k];
  return out;
}

std::string EditMask::ValueOf(std::string_view editText) const {
  const std::vector<std::string_view> chars = SplitChars(editText);
  std::string out;
  for (size_t i = 0; i < chars.size(); ++i) {
    if (i >= positions_.size()) {
      out += chars[i];
    } else if (!positions_[i].IsInput()) {
      if (saveLiterals_) out += chars[i];
    } else {
      out += chars[i] == blank_ ? std::string_view(" ") : chars[i];
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string EditMask::ApplyCase(std::string_view ch, MaskCase c) {
  std::string s(ch);
  if (c == MaskCase::Keep || s.empty()) return s;
  const bool upper = c == MaskCase::Upper;
  if (s.size() == 1) {
    char& a = s[0];
    if (upper && a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (!upper && a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
  } else if (s.size() == 2 && static_cast<unsigned char>(s[0]) == 0xC3) {
    // Latin-1 letters: U+00C0..U+00DE upper, U+00E0..U+00FE lower, except x and division.
    unsigned char b = static_cast<unsigned char>(s[1]);
    if (upper && b >= 0xA0 && b <= 0xBE && b != 0xB7) b -= 0x20;
    if (!upper && b >= 0x80 && b <= 0x9E && b != 0x97) b += 0x20;
    s[1] = static_cast<char>(b);
  }
  return s;
}

int EditMask::FirstInvalid(std::string_view editText) const {
  const std::vector<std::string_view> chars = SplitChars(editText);
  auto at = [&](size_t i) { return i < chars.size() ? chars[i] : std::string_view(blank_); };
  auto empty = [&](std::string_view c) { return c == blank_ || c == " "; };
  bool anyTyped = false;
  for (size_t i = 0; i < positions_.size(); ++i)
    if (positions_[i].IsInput() && !empty(at(i))) anyTyped = true;
  if (!anyTyped) return -1;
  for (size_t i = 0; i < positions_.size(); ++i) {
    const MaskPosition& p = positions_[i];
    if (!p.IsInput()) continue;
    const std::string_view c = at(i);
    if (empty(c)) {
      if (p.Required()) return static_cast<int>(i);
    } else if (!p.Accepts(c)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string FormatMaskText(std::string_view mask, std::string_view value) {
  return EditMask(mask).Format(value, " ");
}

}  // namespace kve
