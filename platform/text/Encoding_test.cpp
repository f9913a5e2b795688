#include "platform/text/Encoding.h"

#include <gtest/gtest.h>

namespace platform::text {
namespace {

TEST(Encoding, AnsiRoundTripsEveryByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  std::string utf8 = AnsiToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  size_t replaced = 99;
  EXPECT_EQ(Utf8ToAnsi(utf8, &replaced), all);
  EXPECT_EQ(replaced, 0u);
}

TEST(Encoding, UndefinedAnsiBytesMapToC1Controls) {
  EXPECT_EQ(AnsiToUtf8("\x81"), "\u0081");
  EXPECT_EQ(AnsiToUtf8("a\x8D\x8F\x90\x9D"
                       "b"),
            "a\u008D\u008F\u0090\u009D"
            "b");
  EXPECT_EQ(Utf8ToAnsi("\u0081x"), "\x81x");
  // Other C1 controls have no byte in Windows-1252 (0x80 is the euro sign).
  EXPECT_EQ(Utf8ToAnsi("\u0080"), "?");
  EXPECT_EQ(AnsiToUtf8("\x80"), "\u20AC");
}

TEST(Encoding, EveryCharacterIsAppendedAsItsUtf8AndWhatUtf8CannotHoldAsTheReplacement) {
  std::string out;
  for (const uint32_t code :
       {0x41u, 0x7Fu, 0x80u, 0x7FFu, 0x800u, 0xFFFDu, 0xFFFFu, 0x10000u, 0x10FFFFu}) {
    AppendUtf8(out, code);
  }
  EXPECT_EQ(out, "A\x7F\u0080\u07FF\u0800\uFFFD\xEF\xBF\xBF\U00010000\U0010FFFF");
  EXPECT_TRUE(IsValidUtf8(out));
  EXPECT_EQ(Utf8ToUtf16(out), u"A\x7F\u0080\u07FF\u0800\uFFFD\xFFFF\U00010000\U0010FFFF");
  out.clear();
  for (const uint32_t code : {0xD800u, 0xDFFFu, 0x110000u, 0xFFFFFFFFu}) AppendUtf8(out, code);
  EXPECT_EQ(out, "\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(Encoding, GermanTextAndEuro) {
  EXPECT_EQ(Utf8ToAnsi("Gauß-Krüger Ä€"), "Gau\xDF-Kr\xFCger \xC4\x80");
  EXPECT_EQ(AnsiToUtf8("Pr\xFC"
                       "fbericht"),
            "Prüfbericht");
}

TEST(Encoding, UnrepresentableCharactersAreReplacedOneForOne) {
  size_t replaced = 0;
  std::string ansi = Utf8ToAnsi("NSG-Łódź-𝄞", &replaced);
  EXPECT_EQ(ansi,
            "NSG-?\xF3"
            "d?-?");
  EXPECT_EQ(replaced, 3u);
  EXPECT_EQ(Utf8Length("NSG-Łódź-𝄞"), ansi.size());
  EXPECT_FALSE(FitsAnsi("Łódź"));
  EXPECT_TRUE(FitsAnsi("Größe"));
}

TEST(Encoding, InvalidUtf8BytesAreReplacedNotDropped) {
  size_t replaced = 0;
  EXPECT_EQ(Utf8ToAnsi("a\xFF"
                       "b\xC3",
                       &replaced),
            "a?b?");
  EXPECT_EQ(replaced, 2u);
  // Overlong form of '/' and an encoded surrogate are invalid too.
  EXPECT_EQ(Utf8ToAnsi("\xC0\xAF"), "??");
  EXPECT_EQ(Utf8ToAnsi("\xED\xA0\x80"), "???");
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));
}

TEST(Encoding, WindowsBlockBothWays) {
  EXPECT_EQ(AnsiToUtf8("\x80 \x84 \x8A \x99 \x9F"), "€ „ Š ™ Ÿ");
  EXPECT_EQ(Utf8ToAnsiStrict("€ „ Š ™ Ÿ"), std::optional<std::string>("\x80 \x84 \x8A \x99 \x9F"));
  EXPECT_EQ(Utf8ToAnsiStrict("Grün"), std::optional<std::string>("Gr\xFCn"));
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToAnsiStrict(AnsiToUtf8(all)), std::optional<std::string>(all));
  // The other C1 controls have letters in Windows-1252 and no code of their own.
  EXPECT_EQ(Utf8ToAnsiStrict("\u0080"), std::nullopt);
}

TEST(Encoding, StrictFormRefusesWithAReasonWhereTheOtherReplaces) {
  std::string why;
  EXPECT_EQ(Utf8ToAnsiStrict("Haken ✓", &why), std::nullopt);
  EXPECT_NE(why.find("U+2713"), std::string::npos) << why;
  EXPECT_EQ(Utf8ToAnsi("Haken ✓"), "Haken ?");
  EXPECT_EQ(Utf8ToAnsiStrict("\xC3", &why), std::nullopt);  // cut sequence
  EXPECT_NE(why.find("invalid UTF-8"), std::string::npos);
  EXPECT_EQ(Utf8ToAnsiStrict("\xC0\xAF"), std::nullopt);      // overlong
  EXPECT_EQ(Utf8ToAnsiStrict("\xED\xA0\x80"), std::nullopt);  // surrogate
  EXPECT_EQ(Utf8ToAnsiStrict("\xFF"), std::nullopt);
  EXPECT_FALSE(FitsAnsi("\xFF"));
  EXPECT_TRUE(FitsAnsi("Maß"));
}

TEST(Encoding, StrictFormTellsWhereItRefusedForCallersToWordIt) {
  AnsiRefusal refusal;
  EXPECT_EQ(Utf8ToAnsiStrict("Grün ✓", &refusal), std::nullopt);
  EXPECT_EQ(refusal.byte, 6u);  // "Grün " takes six bytes
  EXPECT_EQ(refusal.character, std::optional<uint32_t>(0x2713));
  EXPECT_EQ(Utf8ToAnsiStrict("ab\xC3", &refusal), std::nullopt);
  EXPECT_EQ(refusal.byte, 2u);
  EXPECT_EQ(refusal.character, std::nullopt);
  EXPECT_EQ(Utf8ToAnsiStrict("Grün", &refusal), std::optional<std::string>("Gr\xFCn"));
}

TEST(Encoding, Utf16RoundTripIncludingSurrogatePairs) {
  std::string text = "Kennung ÄÖÜ €𝄞";
  std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, u"Kennung ÄÖÜ €𝄞");
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf8ToUtf16(""), u"");
}

TEST(Encoding, BrokenUtf16AndUtf8BecomeReplacementCharacters) {
  std::u16string lone = u"a";
  lone += static_cast<char16_t>(0xD800);
  lone += u"b";
  EXPECT_EQ(Utf16ToUtf8(lone), "a\uFFFDb");
  std::u16string trailing_high = u"x";
  trailing_high += static_cast<char16_t>(0xDBFF);
  EXPECT_EQ(Utf16ToUtf8(trailing_high), "x\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("ab\xE2\x82"), u"ab\uFFFD\uFFFD");
}

// The strict form refuses exactly what the total one replaces: cut short,
// overlong, an encoded surrogate, beyond U+10FFFF, a stray continuation.
TEST(Encoding, StrictUtf16RefusesWhatTheTotalFormReplaces) {
  EXPECT_EQ(Utf8ToUtf16Strict("Grün €𝄞"), std::optional<std::u16string>(u"Grün €𝄞"));
  EXPECT_EQ(Utf8ToUtf16Strict(""), std::optional<std::u16string>(u""));
  for (const std::string_view bad : {"ab\xE2\x82", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                                     "\xF4\x90\x80\x80", "a\x80", "\xF8\x88\x80\x80\x80"}) {
    EXPECT_EQ(Utf8ToUtf16Strict(bad), std::nullopt) << testing::PrintToString(bad);
    EXPECT_NE(Utf8ToUtf16(bad).find(u'\uFFFD'), std::u16string::npos);
    EXPECT_FALSE(IsValidUtf8(bad));
  }
}

TEST(Encoding, DosCodePage850) {
  EXPECT_EQ(Oem850ToUtf8("\x81\x94\xE1"), "üöß");
  EXPECT_EQ(Utf8ToOem850("üöß"), "\x81\x94\xE1");
  size_t replaced = 0;
  EXPECT_EQ(Utf8ToOem850("€", &replaced), "?");
  EXPECT_EQ(replaced, 1u);
}

TEST(Encoding, CodePage850RoundTripsEveryByteAndReplacesWithoutLookAlikes) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = Oem850ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(Utf8Length(utf8), 256u);
  size_t replaced = 99;
  EXPECT_EQ(Utf8ToOem850(utf8, &replaced), all);
  EXPECT_EQ(replaced, 0u);
  // Characters the code page lacks become one '?' each, never a best fit
  // ('A' for 'Ā', "EUR" for '€'), a character beyond the BMP included.
  EXPECT_EQ(Utf8ToOem850("Ā€𝄞\u201Cx\u201D", &replaced), "????x?");
  EXPECT_EQ(replaced, 5u);
  // Invalid bytes between valid text: one '?' per byte, the text around kept.
  EXPECT_EQ(Utf8ToOem850("ü\xFF\xC3ö\xE2\x82", &replaced), "\x81??\x94??");
  EXPECT_EQ(replaced, 4u);
}

TEST(Encoding, LongTextsConvertWhole) {
  std::string oem(70000, '\x81');
  oem += "\x94";
  std::string utf8 = Oem850ToUtf8(oem);
  EXPECT_EQ(Utf8Length(utf8), 70001u);
  utf8 += "€";
  size_t replaced = 0;
  EXPECT_EQ(Utf8ToOem850(utf8, &replaced), oem + "?");
  EXPECT_EQ(replaced, 1u);
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(utf8)), utf8);
}

TEST(Encoding, PrefixNeverCutsACharacter) {
  EXPECT_EQ(Utf8Prefix("Größe", 3), "Grö");
  EXPECT_EQ(Utf8Prefix("ab", 5), "ab");
  EXPECT_EQ(Utf8Length("Größe"), 5u);
}

}  // namespace
}  // namespace platform::text
