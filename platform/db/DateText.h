// Date-times between their two forms in the driver: the number the system's
// records hold (days since 1899-12-30, the fraction being the time of day)
// and the ISO-8601 text that SQLite database files and the dBase module use.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::db {

// Days since 1899-12-30 of a valid calendar date; empty when it is none.
std::optional<double> DaysFromDate(int year, int month, int day);

// "YYYY-MM-DD", optionally followed by " " or "T" and "HH:MM", ":SS" and
// ".fff"; empty when the text is no such date-time.
std::optional<double> ParseIsoDateTime(std::string_view text);

// "YYYY-MM-DD" when the value has no time of day, else "YYYY-MM-DD HH:MM:SS"
// (rounded to the second). Empty for values outside the years 1 to 9999.
std::string FormatIsoDateTime(double value);

// The calendar date of a value; false outside the years 1 to 9999.
bool DateFromDays(double value, int& year, int& month, int& day);

}  // namespace platform::db
