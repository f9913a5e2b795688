// What the preview shows of a page, and which texts are made fit to print.
#include "platform/print/PrintDocument.h"

#include <gtest/gtest.h>

namespace platform::print {
namespace {

TEST(PrintableText, KeepsEveryCharacterThatCanBePrinted) {
  EXPECT_EQ(PrintableText("Prüfbericht vom 09.12.2026"), "Prüfbericht vom 09.12.2026");
  EXPECT_EQ(PrintableText("€ Łódź 地 \xF0\x9F\x8C\xB3"), "€ Łódź 地 \xF0\x9F\x8C\xB3");
}

TEST(PrintableText, ReplacesBrokenBytesAndControlCharacters) {
  const std::string r = "\xEF\xBF\xBD";
  EXPECT_EQ(PrintableText("a\xFF"
                          "b"),
            "a" + r + "b");
  EXPECT_EQ(PrintableText("\xC0\xAF"), r + r) << "an overlong slash";
  EXPECT_EQ(PrintableText("\xED\xA0\x80"), r + r + r) << "a surrogate half";
  EXPECT_EQ(PrintableText("Ende\xC3"), "Ende" + r) << "a character cut off";
  EXPECT_EQ(PrintableText("\tNSG\r\n"), r + "NSG" + r + r);
  EXPECT_EQ(PrintableText("x\xC2\x81y"), "x" + r + "y") << "U+0081, kept from Windows-1252";
}

Document OnePage(std::vector<TextItem> items) {
  Document document;
  document.layout.preview_columns = 40;
  document.pages.push_back(Page{std::move(items)});
  return document;
}

TEST(PageAsText, PlacesTextsByTheirPositionAndAlignment) {
  Document d = OnePage({});
  const PageLayout& l = d.layout;
  const double column = l.PrintableWidth() / 40;
  d.pages[0].items = {
      {l.margin_left, l.margin_top, l.PrintableWidth(), "links", Font::kBody, Align::kLeft},
      {l.margin_left + 20 * column, l.margin_top + l.body_line, l.PrintableWidth(), "- 2 -",
       Font::kBody, Align::kCenter},
      {l.margin_left + 40 * column, l.margin_top + 2 * l.body_line, l.PrintableWidth(), "rechts",
       Font::kBody, Align::kRight},
      {l.margin_left + 4 * column, l.margin_top + 2 * l.body_line, 10 * column, "ÖK-1", Font::kBody,
       Align::kLeft},
      {l.margin_left, l.FooterBaseline(), 10 * column, "Fuß", Font::kBody, Align::kLeft},
  };
  const std::vector<std::string> lines = PageAsText(d, 0);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "links");
  EXPECT_EQ(lines[1], std::string(18, ' ') + "- 2 -");
  EXPECT_EQ(lines[2], "    ÖK-1" + std::string(26, ' ') + "rechts");
  EXPECT_EQ(lines.back(), "Fuß") << "the page ends with its footer";
}

TEST(PageAsText, CutsAWideTextAtItsWidthAndLeavesTheNeighbourWhole) {
  Document d = OnePage({});
  const PageLayout& l = d.layout;
  const double column = l.PrintableWidth() / 40;
  const std::string long_name(200, 'W');
  d.pages[0].items = {
      {l.margin_left, l.margin_top, 10 * column, long_name + "\t", Font::kBody, Align::kLeft},
      {l.margin_left + 10 * column, l.margin_top, 10 * column, "Nachbar", Font::kBody,
       Align::kLeft},
      {l.margin_left, l.height * 5, 10 * column, "unter dem Blatt", Font::kBody, Align::kLeft},
      {l.margin_left - 100 * column, l.margin_top + l.body_line, 200 * column, "Ausreißer",
       Font::kBody, Align::kRight},
  };
  const std::vector<std::string> lines = PageAsText(d, 0);
  EXPECT_EQ(lines[0], std::string(9, 'W') + "…Nachbar");
  EXPECT_EQ(lines[1], "") << "a text placed left of the page is not shown";
  for (const std::string& line : lines) EXPECT_EQ(line.find("unter"), std::string::npos);
}

TEST(PageAsText, APageThatIsNotThereIsBlank) {
  const Document d = OnePage({{0, 0, 100, "x", Font::kBody, Align::kLeft}});
  for (const std::string& line : PageAsText(d, 5)) EXPECT_EQ(line, "");
}

}  // namespace
}  // namespace platform::print
