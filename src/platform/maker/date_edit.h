#pragma once
// The date edit (TDateEditPlus): a masked edit for dates typed as dd/mm/yyyy.

#include <string>
#include <vector>

#include "platform/dataset/datetime.h"
#include "platform/ui/edits.h"

namespace kve {

class TDateEditPlus : public TMaskEdit {
 public:
  TDateEditPlus(TContainer* parent, std::string name);

  // Nothing typed (the text is empty or only the blank picture "  /  /    ").
  bool IsEmpty() const;
  // Whether the text is a real date (empty counts as valid: presence is the caller's check).
  bool IsValidDate() const;
  // For a malformed date: puts the focus on this edit (when it can take it), then raises
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
  TColor validColor_ = clBlue;
  std::vector<std::string> weekDays_;
};

}  // namespace kve
