// Calendar arithmetic after Howard Hinnant's days-from-civil algorithms; the
// negative values follow the platform's rule that the integral part is the
// day and the fraction, whatever its sign, the time.
#include "platform/db/DateText.h"

#include <cmath>
#include <cstdio>

namespace platform::db {
namespace {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

const int64_t kEpoch = DaysFromCivil(1899, 12, 30);

bool ValidDate(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

bool Digits(std::string_view s, size_t pos, size_t n, int& out) {
  if (pos + n > s.size()) return false;
  out = 0;
  for (size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

}  // namespace

std::optional<double> DaysFromDate(int year, int month, int day) {
  if (!ValidDate(year, month, day)) return std::nullopt;
  return static_cast<double>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpoch);
}

std::optional<double> ParseIsoDateTime(std::string_view s) {
  int y = 0, mo = 0, d = 0;
  if (!Digits(s, 0, 4, y) || s.size() < 10 || s[4] != '-' || !Digits(s, 5, 2, mo) || s[7] != '-' ||
      !Digits(s, 8, 2, d)) {
    return std::nullopt;
  }
  auto days = DaysFromDate(y, mo, d);
  if (!days) return std::nullopt;
  if (s.size() == 10) return days;
  int h = 0, mi = 0, sec = 0;
  if ((s[10] != ' ' && s[10] != 'T') || !Digits(s, 11, 2, h) || s.size() < 16 || s[13] != ':' ||
      !Digits(s, 14, 2, mi)) {
    return std::nullopt;
  }
  size_t pos = 16;
  double frac = 0;
  if (pos < s.size() && s[pos] == ':') {
    if (!Digits(s, pos + 1, 2, sec)) return std::nullopt;
    pos += 3;
    if (pos < s.size() && s[pos] == '.') {
      ++pos;
      double scale = 0.1;
      const size_t start = pos;
      while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        frac += (s[pos] - '0') * scale;
        scale /= 10;
        ++pos;
      }
      if (pos == start) return std::nullopt;
    }
  }
  if (pos < s.size() && s[pos] == 'Z') ++pos;
  if (pos != s.size() || h > 23 || mi > 59 || sec > 59) return std::nullopt;
  const double time = (h * 3600.0 + mi * 60.0 + sec + frac) / 86400.0;
  // Before 1899-12-30 the day counts down while the time still counts up.
  return *days < 0 ? *days - time : *days + time;
}

bool DateFromDays(double value, int& year, int& month, int& day) {
  if (!std::isfinite(value) || std::fabs(value) > 3.0e6) return false;
  CivilFromDays(static_cast<int64_t>(std::trunc(value)) + kEpoch, year, month, day);
  return year >= 1 && year <= 9999;
}

std::string FormatIsoDateTime(double value) {
  if (!std::isfinite(value) || std::fabs(value) > 3.0e6) return {};
  double day_part = std::trunc(value);
  int64_t secs = std::llround(std::fabs(value - day_part) * 86400.0);
  if (secs >= 86400) {
    secs -= 86400;
    day_part += value < 0 ? -1 : 1;
  }
  int y = 0, m = 0, d = 0;
  CivilFromDays(static_cast<int64_t>(day_part) + kEpoch, y, m, d);
  if (y < 1 || y > 9999) return {};
  char buf[40];
  if (secs == 0) {
    std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d", y, m, d);
  } else {
    std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d %02d:%02d:%02d", y, m, d,
                  static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                  static_cast<int>(secs % 60));
  }
  return buf;
}

}  // namespace platform::db
