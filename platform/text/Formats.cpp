// Number and date texts in the user's locale, read through the thread-safe
// *_l functions so that the process's own locale (usually "C") stays untouched.
#include "platform/text/Formats.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/env/Env.h"
#include "platform/text/FormatSource.h"
#include "platform/text/Strings.h"

namespace platform::text {
namespace {

// A locale_t for one category, freed with the object; null when unavailable.
class LocaleHandle {
 public:
  LocaleHandle(int mask, const std::string& name) : loc_(newlocale(mask, name.c_str(), nullptr)) {
    if (loc_ == nullptr) loc_ = newlocale(mask, "C", nullptr);
  }
  ~LocaleHandle() {
    if (loc_ != nullptr) freelocale(loc_);
  }
  LocaleHandle(const LocaleHandle&) = delete;
  LocaleHandle& operator=(const LocaleHandle&) = delete;
  locale_t get() const { return loc_; }

 private:
  locale_t loc_;
};

constexpr int64_t kDaysFrom1970To1899 = -25569;  // 1899-12-30 relative to 1970-01-01

}  // namespace

LocaleFormats LocaleFormats::FromLocale(const std::string& name) {
  LocaleFormats formats;
  formats.locale_name = name;
  {
    LocaleHandle numeric(LC_NUMERIC_MASK, name);
    if (numeric.get() != nullptr) {
      const char* radix = nl_langinfo_l(RADIXCHAR, numeric.get());
      if (radix != nullptr && *radix != '\0') formats.decimal_separator = radix;
    }
  }
  {
    LocaleHandle dates(LC_TIME_MASK, name);
    if (dates.get() != nullptr) {
      const char* date = nl_langinfo_l(D_FMT, dates.get());
      if (date != nullptr && *date != '\0') formats.short_date_format = date;
    }
  }
  return formats;
}

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
  // Bring the locale's separator to '.' and parse in the C locale, so that a
  // '.' in a German text is refused as it is by the host.
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
  LocaleHandle c_locale(LC_NUMERIC_MASK, "C");
  char* end = nullptr;
  double value = strtod_l(normalized.c_str(), &end, c_locale.get());
  if (end == normalized.c_str() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
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

double Now() {
  const std::tm local = env::Env::Current().LocalNow();
  double date = EncodeDate(Ymd{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday});
  return date + (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
}

std::string DateToStr(const Ymd& date, const LocaleFormats& formats) {
  std::tm tm{};
  tm.tm_year = date.year - 1900;
  tm.tm_mon = date.month - 1;
  tm.tm_mday = date.day;
  char buffer[128];
  LocaleHandle time_locale(LC_TIME_MASK, formats.locale_name);
  size_t n =
      strftime_l(buffer, sizeof buffer, formats.short_date_format.c_str(), &tm, time_locale.get());
  return std::string(buffer, n);
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
