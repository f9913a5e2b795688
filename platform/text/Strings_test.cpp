#include "platform/text/Strings.h"

#include <gtest/gtest.h>

namespace platform::text {
namespace {

TEST(Strings, TrimRemovesBlanksAndControlCharacters) {
  EXPECT_EQ(Trim("  \t NRW \r\n"), "NRW");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  // Bytes of UTF-8 characters are above the blank and stay.
  EXPECT_EQ(Trim(" Ä "), "Ä");
}

TEST(Strings, TrimCharsRemovesOnlyTheGivenBytes) {
  const std::string field("  NSG-1\0\0 ", 11);
  EXPECT_EQ(TrimChars(field, kBlankAndNul), "NSG-1");
  EXPECT_EQ(TrimRightChars(field, kBlankAndNul), "  NSG-1");
  EXPECT_EQ(TrimChars(std::string_view("\0\0", 2), kBlankAndNul), "");
  EXPECT_EQ(TrimChars(" \t12\r\n", kBlankAndTab), "12\r\n");  // not every control character
  EXPECT_EQ(TrimChars("", kBlankAndTab), "");
  EXPECT_EQ(TrimRightChars("   ", " "), "");
}

TEST(Strings, DBaseFieldsLoseTheirPadding) {
  const std::string field = std::string("  NSG-1") + std::string(3, '\0') + std::string(40, ' ');
  EXPECT_EQ(TrimBlanksAndNul(field), "NSG-1");
  EXPECT_EQ(TrimRightBlanksAndNul(field), "  NSG-1");
  EXPECT_EQ(TrimRightBlanksAndNul(std::string(64, ' ')), "");
  EXPECT_EQ(TrimRightBlanksAndNul("Grün  "), "Grün");
  EXPECT_EQ(TrimBlanksAndNul("  7"), "7");
  EXPECT_EQ(TrimBlanksAndNul(""), "");
}

TEST(Strings, EndsWithIgnoreCase) {
  EXPECT_TRUE(EndsWithIgnoreCase("TA_LIST.DBF", ".dbf"));
  EXPECT_TRUE(EndsWithIgnoreCase(".dbf", ".DbF"));
  EXPECT_FALSE(EndsWithIgnoreCase("dbf", ".dbf"));
  EXPECT_FALSE(EndsWithIgnoreCase("TA_LIST.dbt", ".dbf"));
}

TEST(Strings, CaseInsensitiveComparisonFoldsAsciiOnly) {
  EXPECT_TRUE(EqualsIgnoreCase("VANDRA II", "vandra ii"));
  EXPECT_FALSE(EqualsIgnoreCase("Ä", "ä"));
  EXPECT_FALSE(EqualsIgnoreCase("abc", "abcd"));
  EXPECT_LT(CompareIgnoreCase("abc", "ABD"), 0);
  EXPECT_GT(CompareIgnoreCase("b", "A"), 0);
  EXPECT_LT(CompareIgnoreCase("ab", "AB-"), 0);
  EXPECT_EQ(ToLowerAscii("TA_List Ä"), "ta_list Ä");
  EXPECT_EQ(ToUpperAscii("ta_list ä"), "TA_LIST ä");
}

TEST(Strings, StrToIntAcceptsWhatTheHostAccepts) {
  EXPECT_EQ(StrToInt("42"), 42);
  EXPECT_EQ(StrToInt("  -7"), -7);
  EXPECT_EQ(StrToInt("+3"), 3);
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("0x10"), 16);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
}

TEST(Strings, StrToIntRefusesNonNumbers) {
  for (const char* bad : {"", " ", "-", "12 ", "1.5", "abc", "2147483648", "-2147483649",
                          "99999999999999999999", "$", "0x", "1e3"}) {
    EXPECT_EQ(StrToInt(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(StrToIntDef("x", -1), -1);
  EXPECT_EQ(StrToIntDef("5", -1), 5);
}

}  // namespace
}  // namespace platform::text
