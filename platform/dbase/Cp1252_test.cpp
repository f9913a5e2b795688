// Windows-1252 to UTF-8 and back: the German letters, the block 0x80-0x9F
// where Windows-1252 leaves Latin-1, and the five undefined bytes.
#include "platform/dbase/Cp1252.h"

#include <gtest/gtest.h>

namespace platform::dbase {
namespace {

TEST(Cp1252Test, GermanLettersAndTheWindowsBlock) {
  EXPECT_EQ(Cp1252ToUtf8("Gr\xFCn \xC4\xD6\xDC\xE4\xF6\xFC\xDF"), "Grün ÄÖÜäöüß");
  EXPECT_EQ(Cp1252ToUtf8("\x80 \x84 \x8A \x99 \x9F"), "€ „ Š ™ Ÿ");
  EXPECT_EQ(Utf8ToCp1252("€ „ Š ™ Ÿ"), std::optional<std::string>("\x80 \x84 \x8A \x99 \x9F"));
  EXPECT_EQ(Utf8ToCp1252("Grün"), std::optional<std::string>("Gr\xFCn"));
}

TEST(Cp1252Test, EveryByteComesBackUnchanged) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_EQ(Utf8ToCp1252(utf8), std::optional<std::string>(all));
}

TEST(Cp1252Test, TheFiveUndefinedBytesAreC1Controls) {
  EXPECT_EQ(Cp1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(Utf8ToCp1252("\u0081"), std::optional<std::string>("\x81"));
  // The other C1 controls have letters in Windows-1252 and no code of their own.
  EXPECT_EQ(Utf8ToCp1252("\u0080"), std::nullopt);
}

TEST(Cp1252Test, TextThatCannotBeStoredIsRefusedWithAReason) {
  std::string why;
  EXPECT_EQ(Utf8ToCp1252("Haken ✓", &why), std::nullopt);
  EXPECT_NE(why.find("U+2713"), std::string::npos) << why;
  EXPECT_EQ(Utf8ToCp1252("\xC3", &why), std::nullopt);  // cut sequence
  EXPECT_NE(why.find("invalid UTF-8"), std::string::npos);
  EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), std::nullopt);      // overlong
  EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), std::nullopt);  // surrogate
  EXPECT_EQ(Utf8ToCp1252("\xFF"), std::nullopt);
}

}  // namespace
}  // namespace platform::dbase
