// The formats Windows itself gives (WinFormats.cpp); under wine its default
// locale, en-US.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/text/Encoding.h"
#include "platform/text/FormatSource.h"

namespace platform::text {
namespace {

TEST(WinFormats, TheUsersSettingsGiveASeparatorAndADateOfTheirOwn) {
  const LocaleFormats user = FormatSource::Default().UserFormats();
  EXPECT_EQ(Utf8Length(user.decimal_separator), 1u) << user.decimal_separator;
  const std::string date = DateToStr(Ymd{2024, 3, 5}, user);
  EXPECT_NE(date.find('5'), std::string::npos) << user.short_date_format << " -> " << date;
  EXPECT_NE(date.find("24"), std::string::npos) << user.short_date_format << " -> " << date;
  EXPECT_EQ(date.find('%'), std::string::npos) << user.short_date_format << " -> " << date;
}

TEST(WinFormats, PicturesOfNamedLocalesBecomeTheirPatterns) {
  // "M/d/yyyy": day and month without a leading zero.
  const LocaleFormats us = LocaleFormats::FromLocale("en_US.UTF-8");
  EXPECT_EQ(us.short_date_format, "%-m/%-d/%Y");
  EXPECT_EQ(DateToStr(Ymd{2024, 3, 5}, us), "3/5/2024");
  EXPECT_EQ(DateToStr(Ymd{2024, 11, 25}, us), "11/25/2024");
  // A name as Windows writes it; wine's German picture is "d.M.yyyy".
  const LocaleFormats de = LocaleFormats::FromLocale("de-DE");
  EXPECT_EQ(de.decimal_separator, ",");
  EXPECT_THAT(de.short_date_format, testing::AnyOf("%d.%m.%Y", "%-d.%-m.%Y"));
  // Names Windows does not know, and the C locale, give the C formats.
  for (const char* name : {"C", "POSIX", "xx_YY.nonexistent", "not a locale"}) {
    const LocaleFormats formats = LocaleFormats::FromLocale(name);
    EXPECT_EQ(formats.decimal_separator, ".") << name;
    EXPECT_EQ(formats.short_date_format, "%m/%d/%y") << name;
  }
}

}  // namespace
}  // namespace platform::text
