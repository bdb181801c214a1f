#pragma once
// The date edit (TDateEditPlus): a masked edit for dates typed as dd/mm/yyyy.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dataset/datetime.h"
#include "platform/ui/edits.h"

namespace kve {

// A date as an operator types it, short forms included: "8/12/26", "8/12", "081226" and
// "08122026" all read as 08/12/2026 when `today` is in this century. Separators may be "/",
// "-" or "."; a two-digit year is taken in today's century, a missing year is today's. Blanks
// of the edit's picture are ignored. Nothing when the text is no real date.
std::optional<CivilDate> ReadTypedDate(std::string_view text, CivilDate today);

class TDateEditPlus : public TMaskEdit {
 public:
  TDateEditPlus(TContainer* parent, std::string name);

  // Nothing typed (the text is empty or only the blank picture "  /  /    ").
  bool IsEmpty() const;
  // Whether the text is a real date (empty counts as valid: presence is the caller's check).
  bool IsValidDate() const;
  // A short form (ReadTypedDate) is first completed in place to dd/mm/yyyy. Then, for a
  // malformed date: puts the focus on this edit (when it can take it), then raises
  // ValueError "'31/02/2024' não é uma data válida.". Returns normally for a valid or empty
  // date.
  void CheckValidDate();
  // The date typed. The zero date (30/12/1899) when empty; raises ValueError as
  // CheckValidDate does when malformed.
  TDateTime GetDate() const;
  // Shows `d` as dd/mm/yyyy (OnChange as for SetText).
  void SetDate(TDateTime d);

  TColor ValidDateColor() const { return validColor_; }
  void SetValidDateColor(TColor c) { validColor_ = c; }
  const std::vector<std::string>& WeekDayNames() const { return weekDays_; }
  void SetWeekDayNames(std::vector<std::string> names) { weekDays_ = std::move(names); }

 private:
  // A separator typed after a one-digit day or month pads it with a zero ("8/" is "08/").
  std::optional<std::string> Typed(const std::string& text, std::string_view ch) const override;

 private:
  TColor validColor_ = clBlue;
  std::vector<std::string> weekDays_;
};

}  // namespace kve
