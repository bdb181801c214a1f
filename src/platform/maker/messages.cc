#include "platform/maker/messages.h"

#include <iostream>

#include "platform/common/error.h"

namespace kve {
namespace {

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::string Format(std::string_view text, const std::vector<std::string>& args) {
  std::string out;
  out.reserve(text.size() + 32);
  size_t next = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    char d = i + 1 < text.size() ? text[i + 1] : '\0';
    if (d == '%') {
      out += '%';
    } else if (d == 's') {
      if (next >= args.size()) {
        throw ValueError("Format: \"" + std::string(text) + "\": more %s than the " +
                         std::to_string(args.size()) + " arguments given");
      }
      out += args[next++];
    } else {
      throw ValueError("Format: \"" + std::string(text) + "\": unsupported directive at " +
                       std::to_string(i + 1));
    }
    ++i;
  }
  return out;
}

std::string Format(std::string_view text, std::initializer_list<std::string_view> args) {
  std::vector<std::string> v;
  v.reserve(args.size());
  for (std::string_view a : args) v.emplace_back(a);
  return Format(text, v);
}

TMessages::TMessages(std::vector<std::string> lines, Dialogs& dialogs)
    : dialogs_(dialogs), log_([](std::string_view key) {
        std::cerr << "kve: message key not in the catalogue: " << key << '\n';
      }) {
  lines_.reserve(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    std::string where = "messages: line " + std::to_string(i + 1) + ": ";
    size_t bar = l.find('|');
    if (bar == std::string::npos) throw FormatError(where + "no '|' between key and text");
    if (bar == 0) throw FormatError(where + "empty key");
    Line line{l.substr(0, bar), l.substr(bar + 1)};
    if (Find(line.key)) throw FormatError(where + "key " + line.key + " repeats an earlier one");
    lines_.push_back(std::move(line));
  }
}

const TMessages::Line* TMessages::Find(std::string_view key) const {
  for (const Line& l : lines_) {
    if (SameKey(l.key, key)) return &l;
  }
  return nullptr;
}

std::string TMessages::MsgIfAny(std::string_view key) const {
  const Line* l = Find(key);
  return l ? l->text : std::string();
}

bool TMessages::Has(std::string_view key) const { return Find(key) != nullptr; }

std::string TMessages::Msg(std::string_view key) const {
  if (const Line* l = Find(key)) return l->text;
  if (log_) log_(key);
  return {};
}

int TMessages::ShowMsg(std::string_view key, TMsgDlgType kind, TMsgDlgButtons buttons,
                       int /*helpContext*/) {
  return dialogs_.MessageDlg(Msg(key), kind, buttons);
}

int TMessages::ShowMsgAlertEx(std::string_view key, TMsgDlgType kind,
                              const std::vector<std::string>& captions, int setting1,
                              int setting2, int setting3) {
  return dialogs_.Alert(Msg(key), kind, captions, {setting1, setting2, setting3});
}

}  // namespace kve
