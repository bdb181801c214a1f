#pragma once
// Dates and times of the in-memory table. One scale for all three kinds: milliseconds since
// 0001-01-01 00:00 counted as (day number * 86,400,000 + milliseconds of the day), with day 1 =
// 0001-01-01, exactly as the binary data packet stores a timestamp. A date is a whole day, a
// time the milliseconds of a day alone (day 0).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kve {

inline constexpr int64_t kMsPerDay = 86'400'000;
// Day number of 1899-12-30, the zero of the platform's floating date-time scale.
inline constexpr int32_t kDayNumberOf1899_12_30 = 693594;

struct CivilDate {
  int year = 0, month = 0, day = 0;
  bool operator==(const CivilDate&) const = default;
};

struct CivilTime {
  int hour = 0, minute = 0, second = 0, msec = 0;
  bool operator==(const CivilTime&) const = default;
};

bool IsValidDate(int year, int month, int day);  // year 1..9999
int32_t DayNumber(CivilDate d);                  // REQUIRES: valid date
CivilDate DateOfDay(int32_t dayNumber);          // REQUIRES: dayNumber >= 1

// A point on the scale above; a plain value type.
class TDateTime {
 public:
  constexpr TDateTime() = default;
  static constexpr TDateTime FromMs(int64_t ms) { return TDateTime(ms); }
  static TDateTime FromDate(CivilDate d, CivilTime t = {});
  // Today's date and the current time of the machine, in local time.
  static TDateTime Now();

  int64_t ms() const { return ms_; }
  int32_t day() const { return static_cast<int32_t>(ms_ / kMsPerDay); }
  int32_t msOfDay() const { return static_cast<int32_t>(ms_ % kMsPerDay); }
  CivilDate date() const { return DateOfDay(day()); }
  CivilTime time() const;
  TDateTime DateOnly() const { return TDateTime(int64_t{day()} * kMsPerDay); }

  auto operator<=>(const TDateTime&) const = default;

 private:
  explicit constexpr TDateTime(int64_t ms) : ms_(ms) {}
  int64_t ms_ = int64_t{kDayNumberOf1899_12_30} * kMsPerDay;  // the zero date-time, 1899-12-30 00:00
};

// Text forms. "dd/mm/yyyy" is how the screen shows a date; the packet forms are the XML
// data packet's ("yyyymmdd", "hh:nn:sszzz", "yyyymmddThh:nn:sszzz").
std::string FormatDate(TDateTime v);                 // dd/mm/yyyy
std::optional<TDateTime> ParseDate(std::string_view s);  // dd/mm/yyyy, strict
std::string FormatIsoDate(TDateTime v);              // yyyy-mm-dd
std::optional<TDateTime> ParseIsoDate(std::string_view s);

}  // namespace kve
