#include "platform/maker/date_edit.h"

#include "platform/common/error.h"
#include "platform/maker/consiste.h"

#include <vector>

namespace kve {
namespace {

ValueError BadDate(const std::string& text) {
  return ValueError("'" + text + "' não é uma data válida.");
}

bool IsSeparator(char c) { return c == '/' || c == '-' || c == '.'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int Number(std::string_view digits) {
  int n = 0;
  for (char c : digits) n = n * 10 + (c - '0');
  return n;
}

}  // namespace

std::optional<CivilDate> ReadTypedDate(std::string_view text, CivilDate today) {
  // The parts as typed: runs of digits split by separators; blanks (the picture's) vanish.
  std::vector<std::string> parts(1);
  bool separated = false;
  for (char c : text) {
    if (c == ' ') continue;
    if (IsDigit(c)) {
      parts.back() += c;
    } else if (IsSeparator(c)) {
      separated = true;
      parts.emplace_back();
    } else {
      return std::nullopt;
    }
  }
  while (parts.size() > 1 && parts.back().empty()) parts.pop_back();  // "08/12/" as typed
  std::string day, month, year;
  if (!separated || parts.size() == 1) {
    // Digits only: ddmm, ddmmyy or ddmmyyyy.
    const std::string& d = parts.front();
    if (d.size() != 4 && d.size() != 6 && d.size() != 8) return std::nullopt;
    day = d.substr(0, 2);
    month = d.substr(2, 2);
    year = d.substr(4);
  } else {
    if (parts.size() > 3) return std::nullopt;
    day = parts[0];
    month = parts[1];
    if (parts.size() == 3) year = parts[2];
  }
  if (day.empty() || day.size() > 2 || month.empty() || month.size() > 2) return std::nullopt;
  int y = today.year;
  if (year.size() == 2) {
    y = today.year / 100 * 100 + Number(year);
  } else if (year.size() == 4) {
    y = Number(year);
  } else if (!year.empty()) {
    return std::nullopt;  // "8/12/202": a year half typed is no year
  }
  CivilDate out{y, Number(month), Number(day)};
  if (!IsValidDate(out.year, out.month, out.day)) return std::nullopt;
  return out;
}

TDateEditPlus::TDateEditPlus(TContainer* parent, std::string name)
    : TMaskEdit(parent, std::move(name)),
      weekDays_{"Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado"} {
  SetEditMask("!99/99/9999;1; ");
  SetMaxLength(10);
}

bool TDateEditPlus::IsEmpty() const { return Consiste::EmptyString(Text()); }

bool TDateEditPlus::IsValidDate() const { return IsEmpty() || ParseDate(Text()).has_value(); }

void TDateEditPlus::CheckValidDate() {
  if (!IsEmpty() && !ParseDate(Text())) {
    if (std::optional<CivilDate> d = ReadTypedDate(Text(), TDateTime::Now().date()))
      SetDate(TDateTime::FromDate(*d));
  }
  if (IsValidDate()) return;
  // The focus goes to the edit first, so that the operator lands on the date to mend; a
  // disabled or hidden edit cannot take it and the error is raised all the same.
  if (CanFocus()) SetFocus();
  throw BadDate(Text());
}

TDateTime TDateEditPlus::GetDate() const {
  if (IsEmpty()) return TDateTime();
  std::optional<TDateTime> d = ParseDate(Text());
  if (!d) throw BadDate(Text());
  return *d;
}

void TDateEditPlus::SetDate(TDateTime d) { SetText(FormatDate(d)); }

std::optional<std::string> TDateEditPlus::Typed(const std::string& text, std::string_view ch) const {
  if (ch.size() != 1 || !IsSeparator(ch[0])) return TMaskEdit::Typed(text, ch);
  // Only right after a day or a month: "8" becomes "08/", "08/1" becomes "08/01/".
  const size_t partStart = text.size() <= 2 ? 0 : 3;
  const std::string part = text.substr(partStart);
  if (part.empty() || part.size() > 2) return std::nullopt;
  for (char c : part)
    if (!IsDigit(c)) return std::nullopt;
  return text.substr(0, partStart) + (part.size() == 1 ? "0" : "") + part + "/";
}

}  // namespace kve
