// On POSIX systems the user's formats are those of the locale the
// environment names: LC_ALL, else LC_NUMERIC for the numbers and LC_TIME for
// the dates, else LANG. They are read at each call, as the environment may
// have changed, through the thread-safe *_l functions so that the process's
// own locale stays untouched.
#include <langinfo.h>
#include <locale.h>

#include <chrono>
#include <ctime>

#include "platform/text/FormatSource.h"
#include "platform/text/PlatformFormats.h"

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

class PosixFormats : public FormatSource {
 public:
  LocaleFormats UserFormats() override { return LocaleFormats::FromLocale(""); }
};

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

std::string FormatDate(const Ymd& date, const LocaleFormats& formats) {
  std::tm tm{};
  tm.tm_year = date.year - 1900;
  tm.tm_mon = date.month - 1;
  tm.tm_mday = date.day;
  const std::chrono::year_month_day ymd{std::chrono::year{date.year},
                                        std::chrono::month{static_cast<unsigned>(date.month)},
                                        std::chrono::day{static_cast<unsigned>(date.day)}};
  if (ymd.ok()) {
    const std::chrono::sys_days days{ymd};
    tm.tm_wday = static_cast<int>(std::chrono::weekday{days}.c_encoding());
    tm.tm_yday = (days - std::chrono::sys_days{ymd.year() / std::chrono::January / 1}).count();
  }
  char buffer[128];
  LocaleHandle time_locale(LC_TIME_MASK, formats.locale_name);
  size_t n =
      strftime_l(buffer, sizeof buffer, formats.short_date_format.c_str(), &tm, time_locale.get());
  return std::string(buffer, n);
}

FormatSource& FormatSource::Default() {
  static FormatSource* const posix = new PosixFormats();
  return *posix;
}

}  // namespace platform::text
