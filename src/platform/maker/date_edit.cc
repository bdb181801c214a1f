#include "platform/maker/date_edit.h"

#include "platform/common/error.h"
#include "platform/maker/consiste.h"

namespace kve {
namespace {

ValueError BadDate(const std::string& text) {
  return ValueError("'" + text + "' não é uma data válida.");
}

}  // namespace

TDateEditPlus::TDateEditPlus(TContainer* parent, std::string name)
    : TMaskEdit(parent, std::move(name)),
      weekDays_{"Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado"} {
  SetEditMask("!99/99/9999;1; ");
  SetMaxLength(10);
}

bool TDateEditPlus::IsEmpty() const { return Consiste::EmptyString(Text()); }

bool TDateEditPlus::IsValidDate() const { return IsEmpty() || ParseDate(Text()).has_value(); }

void TDateEditPlus::CheckValidDate() {
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

}  // namespace kve
