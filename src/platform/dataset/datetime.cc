#include "platform/dataset/datetime.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace kve {
namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Day number (1 = 0001-01-01) of 1970-01-01.
constexpr int64_t kUnixEpochDay = 719163;

bool Digits(std::string_view s, size_t pos, size_t n, int& out) {
  if (pos + n > s.size()) return false;
  int v = 0;
  for (size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  out = v;
  return true;
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

int32_t DayNumber(CivilDate d) {
  return static_cast<int32_t>(DaysFromCivil(d.year, d.month, d.day) + kUnixEpochDay);
}

CivilDate DateOfDay(int32_t dayNumber) {
  int64_t z = dayNumber - kUnixEpochDay + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return CivilDate{static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

TDateTime TDateTime::FromDate(CivilDate d, CivilTime t) {
  const int64_t ms = ((t.hour * 60 + t.minute) * 60 + t.second) * int64_t{1000} + t.msec;
  return TDateTime(int64_t{DayNumber(d)} * kMsPerDay + ms);
}

TDateTime TDateTime::Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return FromDate({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday},
                  {local.tm_hour, local.tm_min, local.tm_sec, 0});
}

CivilTime TDateTime::time() const {
  int32_t ms = msOfDay();
  CivilTime t;
  t.msec = ms % 1000;
  ms /= 1000;
  t.second = ms % 60;
  ms /= 60;
  t.minute = ms % 60;
  t.hour = ms / 60;
  return t;
}

std::string FormatDate(TDateTime v) {
  const CivilDate d = v.date();
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.day, d.month, d.year);
  return buf;
}

std::optional<TDateTime> ParseDate(std::string_view s) {
  int d, m, y;
  if (s.size() != 10 || s[2] != '/' || s[5] != '/' || !Digits(s, 0, 2, d) ||
      !Digits(s, 3, 2, m) || !Digits(s, 6, 4, y) || !IsValidDate(y, m, d))
    return std::nullopt;
  return TDateTime::FromDate({y, m, d});
}

std::string FormatIsoDate(TDateTime v) {
  const CivilDate d = v.date();
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

std::optional<TDateTime> ParseIsoDate(std::string_view s) {
  int d, m, y;
  if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !Digits(s, 0, 4, y) ||
      !Digits(s, 5, 2, m) || !Digits(s, 8, 2, d) || !IsValidDate(y, m, d))
    return std::nullopt;
  return TDateTime::FromDate({y, m, d});
}

}  // namespace kve
