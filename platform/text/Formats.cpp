// Number and date texts in the user's formats. The formats themselves, and
// the dates written in them, are the platform's (PlatformFormats.h); the
// numbers are written and read here, apart from any locale, so that the
// process's own locale (usually "C") neither matters nor changes.
#include "platform/text/Formats.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>

#include "platform/env/Env.h"
#include "platform/text/FormatSource.h"
#include "platform/text/PlatformFormats.h"
#include "platform/text/Strings.h"

namespace platform::text {
namespace {

constexpr int64_t kDaysFrom1970To1899 = -25569;  // 1899-12-30 relative to 1970-01-01

// Whether a number that does not fit a double is too small for one rather
// than too large: the power of ten of its first significant digit is
// negative. strtod made such a number zero, and so do we.
bool BelowDoubleRange(std::string_view number) {
  const size_t e = number.find_first_of("eE");
  const std::string_view mantissa = number.substr(0, e);
  long power = 0;
  if (e != std::string_view::npos) {
    std::string_view exponent = number.substr(e + 1);
    if (!exponent.empty() && exponent.front() == '+') exponent.remove_prefix(1);
    const auto [end, ec] =
        std::from_chars(exponent.data(), exponent.data() + exponent.size(), power);
    if (ec == std::errc::result_out_of_range) return exponent.front() == '-';
  }
  const size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return true;
  const size_t point = std::min(mantissa.find('.'), mantissa.size());
  const long digits_before = static_cast<long>(point) - static_cast<long>(first);
  return power + (first < point ? digits_before - 1 : digits_before) < 0;
}

}  // namespace

LocaleFormats UserFormats() {
  return FormatSource::Current().UserFormats();
}

std::string FloatToStr(double value, const LocaleFormats& formats) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.14e", value);
  // buffer: [-]d.ddddddddddddddde[+-]xx
  std::string text(buffer);
  bool negative = text[0] == '-';
  if (negative) text.erase(0, 1);
  size_t e_pos = text.find('e');
  int exponent = std::atoi(text.c_str() + e_pos + 1);
  std::string digits = text.substr(0, 1) + text.substr(2, e_pos - 2);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent >= 15 || exponent < -5) {
    out += digits[0];
    if (digits.size() > 1) out += formats.decimal_separator + digits.substr(1);
    out += "E" + std::to_string(exponent);
    return out;
  }
  if (exponent >= 0) {
    auto int_len = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= int_len) {
      out += digits + std::string(int_len - digits.size(), '0');
    } else {
      out += digits.substr(0, int_len) + formats.decimal_separator + digits.substr(int_len);
    }
  } else {
    out += "0" + formats.decimal_separator + std::string(static_cast<size_t>(-exponent - 1), '0') +
           digits;
  }
  return out;
}

std::string FloatToStr(double value) {
  return FloatToStr(value, UserFormats());
}

std::optional<double> StrToFloat(std::string_view text, const LocaleFormats& formats) {
  std::string trimmed(Trim(text));
  if (trimmed.empty()) return std::nullopt;
  // Bring the locale's separator to '.' and read the number apart from any
  // locale, so that a '.' in a German text is refused as it is by the host.
  std::string normalized;
  const std::string& sep = formats.decimal_separator;
  for (size_t i = 0; i < trimmed.size();) {
    if (trimmed.compare(i, sep.size(), sep) == 0) {
      normalized += '.';
      i += sep.size();
    } else if (trimmed[i] == '.' || trimmed[i] == ',') {
      return std::nullopt;  // a separator other than the locale's
    } else {
      normalized += trimmed[i++];
    }
  }
  for (char c : normalized) {
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E')) {
      return std::nullopt;
    }
  }
  // from_chars reads what strtod does but a leading '+'.
  std::string_view number = normalized;
  if (number.size() > 1 && number[0] == '+' && number[1] != '-' && number[1] != '+') {
    number.remove_prefix(1);
  }
  double value = 0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (end != number.data() + number.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range && BelowDoubleRange(number)) {
    return number.front() == '-' ? -0.0 : 0.0;
  }
  if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
  return value;
}

double RoundHalfEven(double value) {
  if (!std::isfinite(value)) return value;
  double rounded = std::round(value);
  if (std::fabs(value - std::trunc(value)) == 0.5) rounded = 2.0 * std::round(value / 2.0);
  return rounded;
}

bool IsValidDate(const Ymd& date) {
  using namespace std::chrono;
  return year_month_day{year{date.year}, month{static_cast<unsigned>(date.month)},
                        day{static_cast<unsigned>(date.day)}}
      .ok();
}

double EncodeDate(const Ymd& date) {
  using namespace std::chrono;
  sys_days days = year_month_day{year{date.year}, month{static_cast<unsigned>(date.month)},
                                 day{static_cast<unsigned>(date.day)}};
  return static_cast<double>(days.time_since_epoch().count() - kDaysFrom1970To1899);
}

Ymd DecodeDate(double date_time) {
  using namespace std::chrono;
  auto whole = static_cast<int64_t>(std::floor(date_time));
  year_month_day ymd{sys_days{days{whole + kDaysFrom1970To1899}}};
  return Ymd{static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
             static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

std::string StatementDate(double date_time) {
  if (!std::isfinite(date_time) || std::fabs(date_time) > 3e6) return {};
  const Ymd ymd = DecodeDate(date_time);
  if (!IsValidDate(ymd) || ymd.year < 1 || ymd.year > 9999) return {};
  return "#" + std::to_string(ymd.month) + "-" + std::to_string(ymd.day) + "-" +
         std::to_string(ymd.year) + "#";
}

double Now() {
  const std::tm local = env::Env::Current().LocalNow();
  double date = EncodeDate(Ymd{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday});
  return date + (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
}

std::string DateToStr(const Ymd& date, const LocaleFormats& formats) {
  return FormatDate(date, formats);
}

std::string DateToStr(const Ymd& date) {
  return DateToStr(date, UserFormats());
}

std::string IsoDate(const Ymd& date) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.year, date.month, date.day);
  return buffer;
}

std::optional<Ymd> ParseDate(std::string_view text) {
  std::string s(Trim(text));
  Ymd date;
  char tail = 0;
  if (std::sscanf(s.c_str(), "%d-%d-%d%c", &date.year, &date.month, &date.day, &tail) == 3 ||
      std::sscanf(s.c_str(), "%d.%d.%d%c", &date.day, &date.month, &date.year, &tail) == 3) {
    if (IsValidDate(date)) return date;
  }
  return std::nullopt;
}

}  // namespace platform::text
