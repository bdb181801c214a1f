#include "platform/ui/edits.h"

#include <charconv>
#include <limits>

namespace kve {
namespace {

size_t CharCount(std::string_view s) { return SplitChars(s).size(); }

std::string DropLastChar(const std::string& s) {
  auto chars = SplitChars(s);
  if (chars.empty()) return s;
  return s.substr(0, s.size() - chars.back().size());
}

}  // namespace

void TCustomEdit::SetText(std::string_view text) {
  selected_ = false;
  if (text == text_) return;
  text_ = std::string(text);
  Changed();
  if (OnChange) OnChange();
}

void TCustomEdit::SelectAll() {
  const bool selected = !text_.empty();
  if (selected == selected_) return;
  selected_ = selected;
  Changed();
}

void TCustomEdit::Deselect() {
  if (!selected_) return;
  selected_ = false;
  Changed();
}

void TCustomEdit::SetMaxLength(int n) { maxLength_ = n < 0 ? 0 : n; }

void TCustomEdit::SetReadOnly(bool r) {
  if (r == readOnly_) return;
  readOnly_ = r;
  Changed();
}

void TCustomEdit::KeyPress(std::string_view key) {
  std::string k(key);
  if (k.size() == 1 && OnKeyPress) {
    char c = k[0];
    OnKeyPress(c);
    if (c == 0) return;
    k.assign(1, c);
  }
  if (readOnly_ || k.empty()) return;
  if (k == std::string(1, kBackspace)) {
    SetText(selected_ ? std::string() : DropLastChar(text_));
    return;
  }
  if (k.size() == 1 && static_cast<unsigned char>(k[0]) < 0x20) return;  // Enter, Tab, ...
  std::optional<std::string> t = Typed(selected_ ? std::string() : text_, k);
  if (!t) return;  // refused: the text and its selection stay as they were
  SetText(*t);
}

std::optional<std::string> TCustomEdit::Typed(const std::string& text, std::string_view ch) const {
  if (maxLength_ > 0 && CharCount(text) >= static_cast<size_t>(maxLength_)) return std::nullopt;
  return text + std::string(ch);
}

void TMaskEdit::SetEditMask(std::string_view mask) {
  maskText_ = std::string(mask);
  if (mask.empty()) {
    mask_.reset();
  } else {
    mask_.emplace(mask);
  }
  Changed();
}

std::optional<std::string> TMaskEdit::Typed(const std::string& text, std::string_view ch) const {
  if (!mask_) return TCustomEdit::Typed(text, ch);
  const auto& pos = mask_->Positions();
  const size_t typed = CharCount(text);
  if (MaxLength() > 0 && typed >= static_cast<size_t>(MaxLength())) return std::nullopt;
  // The position the next character goes to: with the save flag the text holds the literals
  // and runs position by position; without it the text holds input characters only.
  size_t p = 0;
  if (mask_->SaveLiterals()) {
    p = typed;
  } else {
    size_t inputs = 0;
    while (p < pos.size() && inputs < typed) {
      if (pos[p].IsInput()) ++inputs;
      ++p;
    }
  }
  std::string literals;
  while (p < pos.size() && !pos[p].IsInput()) {
    if (mask_->SaveLiterals()) literals += pos[p].literal;
    ++p;
  }
  if (p >= pos.size() || !pos[p].Accepts(ch)) return std::nullopt;
  return text + literals + EditMask::ApplyCase(ch, pos[p].letterCase);
}

int TSpinEdit::Value() const {
  const std::string& t = Text();
  std::string_view s = t;
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return min_;
  return v;
}

void TSpinEdit::SetBounds(int min, int max) {
  min_ = min;
  max_ = max;
}

int TSpinEdit::Bounded(int v) const {
  if (max_ == min_) return v;  // equal bounds: no bound at all
  if (v < min_) return min_;
  if (v > max_) return max_;
  return v;
}

void TSpinEdit::SetValue(int v) { SetText(std::to_string(Bounded(v))); }

void TSpinEdit::Spin(int steps) {
  long long v = static_cast<long long>(Value()) + static_cast<long long>(steps) * increment_;
  if (v > std::numeric_limits<int>::max()) v = std::numeric_limits<int>::max();
  if (v < std::numeric_limits<int>::min()) v = std::numeric_limits<int>::min();
  SetValue(static_cast<int>(v));
}

std::optional<std::string> TSpinEdit::Typed(const std::string& text, std::string_view ch) const {
  if (ch.size() != 1) return std::nullopt;
  char c = ch[0];
  if (!((c >= '0' && c <= '9') || c == '+' || c == '-')) return std::nullopt;
  return TCustomEdit::Typed(text, ch);
}

}  // namespace kve
