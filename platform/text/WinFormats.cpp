// On Windows the user's formats are the settings of the user's locale
// (Region in the control panel), read with GetLocaleInfoEx at each call, as
// the user may change them while the host runs. A locale named as on POSIX
// systems ("de_DE.UTF-8") is the Windows locale of the same language and
// country ("de-DE").
//
// The short date format of Windows is a picture ("dd.MM.yyyy"); it becomes
// the strftime pattern LocaleFormats holds, and FormatDate writes that
// pattern itself, with the day and month names of the locale, since the C
// runtime's strftime knows only its own locale's names.
#include <windows.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <optional>

#include "platform/text/Encoding.h"
#include "platform/text/FormatSource.h"
#include "platform/text/PlatformFormats.h"

namespace platform::text {
namespace {

// A locale Windows knows, or the user's (LOCALE_NAME_USER_DEFAULT).
class WinLocale {
 public:
  // Nothing for "C", "POSIX" and names Windows does not know.
  static std::optional<WinLocale> Named(const std::string& name) {
    WinLocale locale;
    if (name.empty()) return locale;
    if (name == "C" || name == "POSIX") return std::nullopt;
    for (char c : name) {
      if (c == '.' || c == '@') break;
      locale.name_ += c == '_' ? L'-' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    if (locale.name_.empty() || !IsValidLocaleName(locale.name_.c_str())) return std::nullopt;
    return locale;
  }

  std::optional<std::string> Info(LCTYPE type) const {
    const wchar_t* locale = name_.empty() ? LOCALE_NAME_USER_DEFAULT : name_.c_str();
    std::array<wchar_t, 256> buffer{};
    const int n = GetLocaleInfoEx(locale, type, buffer.data(), static_cast<int>(buffer.size()));
    if (n <= 1) return std::nullopt;  // n counts the terminating null
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(buffer.data()),
                                           static_cast<size_t>(n - 1)));
  }

 private:
  std::wstring name_;
};

// The strftime pattern of a Windows date picture. Days and months without
// a leading zero are glibc's "%-d" and "%-m", which FormatDate writes here
// too; the era ("g", "gg") is left out.
std::string PatternOfPicture(std::string_view picture) {
  std::string pattern;
  for (size_t pos = 0; pos < picture.size();) {
    const char c = picture[pos];
    if (c == '\'') {
      // Quoted text; two quotes in a row are one.
      const size_t close = picture.find('\'', pos + 1);
      const std::string_view quoted = picture.substr(pos + 1, close - pos - 1);
      if (quoted.empty() && close != std::string_view::npos) pattern += '\'';
      for (char q : quoted) pattern += q == '%' ? std::string("%%") : std::string(1, q);
      pos = close == std::string_view::npos ? picture.size() : close + 1;
      continue;
    }
    size_t run = 1;
    while (pos + run < picture.size() && picture[pos + run] == c) ++run;
    switch (c) {
      case 'd':
        pattern += run == 1 ? "%-d" : run == 2 ? "%d" : run == 3 ? "%a" : "%A";
        break;
      case 'M':
        pattern += run == 1 ? "%-m" : run == 2 ? "%m" : run == 3 ? "%b" : "%B";
        break;
      case 'y':
        pattern += run == 1 ? "%-y" : run == 2 ? "%y" : "%Y";
        break;
      case 'g':
        break;
      case '%':
        for (size_t i = 0; i < run; ++i) pattern += "%%";
        break;
      default:
        pattern.append(run, c);
    }
    pos += run;
  }
  return pattern;
}

class WinFormats : public FormatSource {
 public:
  LocaleFormats UserFormats() override { return LocaleFormats::FromLocale(""); }
};

constexpr std::array<const char*, 7> kDays = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                              "Friday", "Saturday", "Sunday"};
constexpr std::array<const char*, 12> kMonths = {"January",   "February", "March",    "April",
                                                 "May",       "June",     "July",     "August",
                                                 "September", "October",  "November", "December"};

// A name of the locale, or the C locale's English one.
std::string Name(const std::optional<WinLocale>& locale, LCTYPE type, const char* english,
                 bool abbreviated) {
  if (locale) {
    if (std::optional<std::string> name = locale->Info(type)) return *name;
  }
  return abbreviated ? std::string(english, 3) : std::string(english);
}

}  // namespace

LocaleFormats LocaleFormats::FromLocale(const std::string& name) {
  LocaleFormats formats;
  formats.locale_name = name;
  const std::optional<WinLocale> locale = WinLocale::Named(name);
  if (!locale) return formats;
  if (std::optional<std::string> decimal = locale->Info(LOCALE_SDECIMAL)) {
    formats.decimal_separator = *decimal;
  }
  if (std::optional<std::string> picture = locale->Info(LOCALE_SSHORTDATE)) {
    formats.short_date_format = PatternOfPicture(*picture);
  }
  return formats;
}

std::string FormatDate(const Ymd& date, const LocaleFormats& formats) {
  using namespace std::chrono;
  const std::optional<WinLocale> locale = WinLocale::Named(formats.locale_name);
  const year_month_day ymd{year{date.year}, month{static_cast<unsigned>(date.month)},
                           day{static_cast<unsigned>(date.day)}};
  // Monday first, as Windows counts its day names.
  const unsigned weekday =
      ymd.ok() ? (std::chrono::weekday{sys_days{ymd}}.c_encoding() + 6) % 7 : 0;
  const unsigned month_index = static_cast<unsigned>(date.month - 1) % 12;
  const std::string_view pattern = formats.short_date_format;
  std::string out;
  char number[16];
  auto put = [&](const char* format, int value) {
    std::snprintf(number, sizeof number, format, value);
    out += number;
  };
  for (size_t pos = 0; pos < pattern.size(); ++pos) {
    if (pattern[pos] != '%' || pos + 1 == pattern.size()) {
      out += pattern[pos];
      continue;
    }
    const size_t start = pos++;
    // glibc's '-' and the C runtime's '#': no padding.
    const bool unpadded = pattern[pos] == '-' || pattern[pos] == '#';
    if (unpadded && pos + 1 < pattern.size()) ++pos;
    switch (pattern[pos]) {
      case 'd':
        put(unpadded ? "%d" : "%02d", date.day);
        break;
      case 'e':
        put(unpadded ? "%d" : "%2d", date.day);
        break;
      case 'm':
        put(unpadded ? "%d" : "%02d", date.month);
        break;
      case 'y':
        put(unpadded ? "%d" : "%02d", ((date.year % 100) + 100) % 100);
        break;
      case 'Y':
        put("%d", date.year);
        break;
      case 'C':
        put("%02d", date.year / 100);
        break;
      case 'D':
        put("%02d/", date.month);
        put("%02d/", date.day);
        put("%02d", ((date.year % 100) + 100) % 100);
        break;
      case 'F':
        put("%d-", date.year);
        put("%02d-", date.month);
        put("%02d", date.day);
        break;
      case 'a':
        out += Name(locale, LOCALE_SABBREVDAYNAME1 + weekday, kDays[weekday], true);
        break;
      case 'A':
        out += Name(locale, LOCALE_SDAYNAME1 + weekday, kDays[weekday], false);
        break;
      case 'b':
      case 'h':
        out += Name(locale, LOCALE_SABBREVMONTHNAME1 + month_index, kMonths[month_index], true);
        break;
      case 'B':
        out += Name(locale, LOCALE_SMONTHNAME1 + month_index, kMonths[month_index], false);
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case '%':
        out += '%';
        break;
      default:
        // Nothing of a date: kept as written.
        out.append(pattern.substr(start, pos - start + 1));
    }
  }
  return out;
}

FormatSource& FormatSource::Default() {
  static FormatSource* const windows = new WinFormats();
  return *windows;
}

}  // namespace platform::text
