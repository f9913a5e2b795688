#include "hostsim/Ansi.h"

#include <gtest/gtest.h>

namespace hostsim {
namespace {

TEST(Ansi, EveryByteSurvivesTheRoundTrip) {
  for (int b = 1; b < 256; ++b) {
    std::string ansi(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(ansi)), ansi) << "byte " << b;
  }
}

TEST(Ansi, UndefinedBytesMapToTheirC1CodePoints) {
  EXPECT_EQ(AnsiToUtf8("\x81"), "\xC2\x81");
  EXPECT_EQ(AnsiToUtf8("\x9D"), "\xC2\x9D");
  EXPECT_EQ(Utf8ToAnsi("\xC2\x8F"), "\x8F");
}

TEST(Ansi, GermanTextsAndTheEuroSign) {
  EXPECT_EQ(AnsiToUtf8("Gro\xDF"), "Groß");
  EXPECT_EQ(AnsiToUtf8("\x80"), "€");
  EXPECT_EQ(Utf8ToAnsi("Ökokontofläche"),
            "\xD6kokontofl\xE4"
            "che");
}

TEST(Ansi, UnrepresentableAndBrokenInputBecomesQuestionMarks) {
  EXPECT_EQ(Utf8ToAnsi("a\u4E2Db"), "a?b");
  EXPECT_EQ(Utf8ToAnsi("a\xC3"), "a?");       // truncated sequence
  EXPECT_EQ(Utf8ToAnsi("\xFF\xFEx"), "??x");  // no UTF-8 at all
  EXPECT_EQ(Utf8ToAnsi("\xE2\x82"), "??");    // cut euro sign
}

TEST(Ansi, Utf16WithSurrogates) {
  std::string text = "Moor \U0001F33F ä";
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  EXPECT_EQ(Utf8ToUtf16("\U0001F33F").size(), 2u);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Ansi, LengthAndPrefixCountCharacters) {
  EXPECT_EQ(Utf8Length("Größe"), 5u);
  EXPECT_EQ(Utf8Prefix("Größe", 3), "Grö");
  EXPECT_EQ(Utf8Prefix("ab", 5), "ab");
}

}  // namespace
}  // namespace hostsim
