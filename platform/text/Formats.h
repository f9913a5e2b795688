// The host's number and date texts, which follow the user's locale settings
// (LC_NUMERIC for the decimal separator, LC_TIME for the short date format;
// on Windows the user's regional settings),
// and the date-time value of the host platform: days since 1899-12-30 as a
// double, the fraction being the time of day.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::text {

struct LocaleFormats {
  std::string decimal_separator = ".";
  std::string short_date_format = "%m/%d/%y";  // strftime pattern of the locale's date
  std::string locale_name = "C";               // as given to FromLocale

  // The formats of a named locale ("de_DE.UTF-8"; on Windows the locale of
  // the same language and country, "de-DE"); "" takes the user's: the
  // environment's (LC_ALL, LC_NUMERIC / LC_TIME, LANG), on Windows the
  // regional settings. A locale that is not installed, or that Windows does
  // not know, gives the formats of the C locale.
  static LocaleFormats FromLocale(const std::string& name);
};

// The user's formats, asked of the platform at each call (FormatSource.h).
LocaleFormats UserFormats();

// A number in the general format: up to 15 significant digits, the locale's
// decimal separator, no grouping, trailing zeros dropped, scientific notation
// ("1,5E-7", "1E20") only for very large or very small values.
std::string FloatToStr(double value, const LocaleFormats& formats);
std::string FloatToStr(double value);
// A number written with the locale's decimal separator (blanks around it
// allowed); nothing when the text is no number.
std::optional<double> StrToFloat(std::string_view text, const LocaleFormats& formats);

// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4, -2.5 -> -2), as the host platform's Round does.
double RoundHalfEven(double value);

struct Ymd {
  int year = 1899;
  int month = 12;
  int day = 30;
  bool operator==(const Ymd&) const = default;
};

// Date-time values: whole days since 1899-12-30.
double EncodeDate(const Ymd& date);
Ymd DecodeDate(double date_time);
// The current local date and time.
double Now();
// Validates a calendar date.
bool IsValidDate(const Ymd& date);

// The date in the locale's short date format ("05.03.2024" in de_DE).
std::string DateToStr(const Ymd& date, const LocaleFormats& formats);
std::string DateToStr(const Ymd& date);
// "2024-03-05".
std::string IsoDate(const Ymd& date);
// A date-time as the system's statements write a date ("#3-5-2024#", month
// first, the time of day left out); empty when the value is no date a
// statement can hold (not finite, or outside the years 1 to 9999).
std::string StatementDate(double date_time);
// Reads "2024-03-05" or "05.03.2024"; nothing for any other text or an invalid date.
std::optional<Ymd> ParseDate(std::string_view text);

}  // namespace platform::text
