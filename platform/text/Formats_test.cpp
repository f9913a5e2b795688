#include "platform/text/Formats.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace platform::text {
namespace {

LocaleFormats German() {
  return LocaleFormats::FromLocale("de_DE.UTF-8");
}
LocaleFormats C() {
  return LocaleFormats::FromLocale("C");
}

TEST(Formats, GermanLocaleUsesCommaAndDottedDate) {
  LocaleFormats de = German();
  ASSERT_EQ(de.decimal_separator, ",") << "de_DE.UTF-8 must be installed (scripts/setup)";
#ifdef _WIN32
  // Windows' own German short date is "dd.MM.yyyy", wine's "d.M.yyyy".
  EXPECT_THAT(DateToStr(Ymd{2024, 3, 5}, de), testing::AnyOf("05.03.2024", "5.3.2024"));
  EXPECT_EQ(DateToStr(Ymd{2024, 11, 25}, de), "25.11.2024");
#else
  EXPECT_EQ(DateToStr(Ymd{2024, 3, 5}, de), "05.03.2024");
#endif
  EXPECT_EQ(FloatToStr(3400000.5, de), "3400000,5");
}

TEST(Formats, UserFormatsFollowTheEnvironment) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows takes the user's formats from the user's settings, not the environment";
#else
  const char* old = std::getenv("LC_ALL");
  std::string saved = old ? old : "";
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(UserFormats().decimal_separator, ",");
  EXPECT_EQ(FloatToStr(0.25), "0,25");
  setenv("LC_ALL", "xx_YY.nonexistent", 1);
  EXPECT_EQ(UserFormats().decimal_separator, ".");
  if (old)
    setenv("LC_ALL", saved.c_str(), 1);
  else
    unsetenv("LC_ALL");
#endif
}

TEST(Formats, FloatToStrGeneralFormat) {
  LocaleFormats de = German();
  EXPECT_EQ(FloatToStr(0, de), "0");
  EXPECT_EQ(FloatToStr(-12.5, de), "-12,5");
  EXPECT_EQ(FloatToStr(100, de), "100");
  EXPECT_EQ(FloatToStr(0.1, de), "0,1");
  EXPECT_EQ(FloatToStr(1.0 / 3.0, de), "0,333333333333333");
  EXPECT_EQ(FloatToStr(123456789012345.0, de), "123456789012345");
  EXPECT_EQ(FloatToStr(1e15, de), "1E15");
  EXPECT_EQ(FloatToStr(1.5e-7, de), "1,5E-7");
  EXPECT_EQ(FloatToStr(0.00001, de), "0,00001");
  EXPECT_EQ(FloatToStr(5800000.5, C()), "5800000.5");
  // 15 significant digits: the binary noise of 0.1 + 0.2 disappears.
  EXPECT_EQ(FloatToStr(0.1 + 0.2, C()), "0.3");
}

TEST(Formats, StrToFloatTakesOnlyTheLocaleSeparator) {
  LocaleFormats de = German();
  EXPECT_EQ(StrToFloat(" 3,5 ", de), 3.5);
  EXPECT_EQ(StrToFloat("-2", de), -2.0);
  EXPECT_EQ(StrToFloat("3.5", de), std::nullopt);
  EXPECT_EQ(StrToFloat("3.5", C()), 3.5);
  EXPECT_EQ(StrToFloat("", de), std::nullopt);
  EXPECT_EQ(StrToFloat("1,5x", de), std::nullopt);
  EXPECT_EQ(StrToFloat("1,5E3", de), 1500.0);
  EXPECT_EQ(StrToFloat("+1,5", de), 1.5);
  EXPECT_EQ(StrToFloat("+-1", de), std::nullopt);
  EXPECT_EQ(StrToFloat("1,5e", de), std::nullopt);
  EXPECT_EQ(StrToFloat(",5", de), 0.5);
  // Beyond a double: too large is no number, too small is zero.
  EXPECT_EQ(StrToFloat("1E400", de), std::nullopt);
  EXPECT_EQ(StrToFloat("-1e-400", C()), -0.0);
  EXPECT_EQ(StrToFloat("0.000001e-320", C()), 0.0);
  EXPECT_EQ(StrToFloat("1000e-326", C()), 1e-323);
}

TEST(Formats, RoundHalfEven) {
  EXPECT_EQ(RoundHalfEven(2.5), 2.0);
  EXPECT_EQ(RoundHalfEven(3.5), 4.0);
  EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
  EXPECT_EQ(RoundHalfEven(-3.5), -4.0);
  EXPECT_EQ(RoundHalfEven(5800000.5), 5800000.0);
  EXPECT_EQ(RoundHalfEven(3400001.5), 3400002.0);
  EXPECT_EQ(RoundHalfEven(2.4999), 2.0);
  EXPECT_EQ(RoundHalfEven(2.5001), 3.0);
}

TEST(Formats, DateValuesCountDaysFrom1899) {
  EXPECT_EQ(EncodeDate(Ymd{1899, 12, 30}), 0.0);
  EXPECT_EQ(EncodeDate(Ymd{1900, 1, 1}), 2.0);
  EXPECT_EQ(EncodeDate(Ymd{2024, 3, 5}), 45356.0);
  EXPECT_EQ(DecodeDate(45356.75), (Ymd{2024, 3, 5}));
  EXPECT_EQ(DecodeDate(-1.0), (Ymd{1899, 12, 29}));
  EXPECT_GT(Now(), EncodeDate(Ymd{2020, 1, 1}));
}

TEST(Formats, ParseDateAcceptsIsoAndGermanForms) {
  EXPECT_EQ(ParseDate("2024-02-29"), (Ymd{2024, 2, 29}));
  EXPECT_EQ(ParseDate("01.05.2023"), (Ymd{2023, 5, 1}));
  EXPECT_EQ(ParseDate("2023-02-29"), std::nullopt);
  EXPECT_EQ(ParseDate("2023-02-01x"), std::nullopt);
  EXPECT_EQ(ParseDate("heute"), std::nullopt);
  EXPECT_EQ(IsoDate(Ymd{2024, 3, 5}), "2024-03-05");
  EXPECT_EQ(DateToStr(Ymd{2024, 3, 5}, C()), "03/05/24");
}

TEST(Formats, DatesTakeTheNamesOfTheirLocale) {
  LocaleFormats de = German();
  de.short_date_format = "%A, %d. %B %Y";
  EXPECT_EQ(DateToStr(Ymd{2024, 3, 5}, de), "Dienstag, 05. März 2024");
  LocaleFormats c = C();
  c.short_date_format = "%A %e %b %y|%F|%%";
  EXPECT_EQ(DateToStr(Ymd{2007, 1, 7}, c), "Sunday  7 Jan 07|2007-01-07|%");
}

}  // namespace
}  // namespace platform::text
