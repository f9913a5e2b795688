// The printed check report of VD1TransAction: its pages, the preview answered
// by script, and the PDF read back with pdftotext.
#include "report/PrintedReport.h"

#include <filesystem>
#include <fstream>
#include <regex>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "host/Tools.h"
#include "platform/print/PdfWriter.h"
#include "platform/text/Encoding.h"
#include "platform/text/FormatSource.h"
#include "report/TransActionReport.h"
#include "tests/support/ProjectFixture.h"

namespace {

using platform::print::Document;
using platform::print::TextItem;

TransActionReport::ReportGroup Group(const std::string& tid, int new_objects, int deleted = 0,
                                     int changed = 0) {
  TransActionReport::ReportGroup group{tid, "Gebiet " + tid, "Frau Kern", {}};
  group.sections = {{"neue Objekte:", {}}, {"gelöschte Objekte:", {}}, {"geänderte Objekte:", {}}};
  for (int i = 0; i < new_objects; ++i)
    group.sections[0].kennungen.push_back(tid + "-N" + std::to_string(i));
  for (int i = 0; i < deleted; ++i)
    group.sections[1].kennungen.push_back(tid + "-D" + std::to_string(i));
  for (int i = 0; i < changed; ++i)
    group.sections[2].kennungen.push_back(tid + "-C" + std::to_string(i));
  return group;
}

// The texts of a page's body (footer left out), top to bottom.
std::vector<std::string> Body(const Document& d, size_t page) {
  std::vector<std::string> out;
  for (const TextItem& item : d.pages[page].items) {
    if (item.y < d.layout.FooterBaseline()) out.push_back(item.text);
  }
  return out;
}

bool IsHeading(const std::string& text) {
  return text.starts_with("Transaktionsnummer:") || text.ends_with("Objekte:") ||
         text.starts_with("Anzahl: ") || text == "Name:" || text == "Gebietsbetreuer:";
}

// What every laid-out report must hold, whatever its content.
void ExpectSoundPages(const Document& d, const std::string& date) {
  const auto& l = d.layout;
  ASSERT_FALSE(d.pages.empty());
  for (size_t page = 0; page < d.pages.size(); ++page) {
    SCOPED_TRACE("page " + std::to_string(page + 1));
    int footers = 0;
    int numbers = 0;
    for (const TextItem& item : d.pages[page].items) {
      if (item.y >= l.FooterBaseline()) {
        footers += item.text == "Prüfbericht vom " + date;
        numbers += item.text == "- " + std::to_string(page + 1) + " -";
        continue;
      }
      EXPECT_LE(item.y, l.BodyBottom()) << item.text;
      EXPECT_GE(item.y, l.margin_top) << item.text;
    }
    EXPECT_EQ(footers, 1);
    EXPECT_EQ(numbers, 1);
    const std::vector<std::string> body = Body(d, page);
    ASSERT_FALSE(body.empty());
    // A heading never ends a page: its first line follows it (an empty
    // list has none).
    if (page + 1 < d.pages.size() && body.back() != "Anzahl: 0") {
      EXPECT_FALSE(IsHeading(body.back())) << body.back();
    }
    const size_t titles =
        std::count(body.begin(), body.end(), std::string("VANDRA-Transaktions-Prüfbericht"));
    EXPECT_EQ(titles, page == 0 ? 1u : 0u);
  }
}

// Each identifier of the data appears exactly once, in order.
void ExpectEveryIdentifierOnce(const Document& d, const TransActionReport::ReportData& data) {
  std::vector<std::string> printed;
  for (const auto& page : d.pages) {
    for (const TextItem& item : page.items) {
      const std::string& text = item.text;
      if (text.find("-N") != std::string::npos || text.find("-D") != std::string::npos ||
          text.find("-C") != std::string::npos) {
        printed.push_back(text);
      }
    }
  }
  std::vector<std::string> expected;
  for (const auto& group : data.groups)
    for (const auto& section : group.sections)
      expected.insert(expected.end(), section.kennungen.begin(), section.kennungen.end());
  EXPECT_EQ(printed, expected);
}

TEST(PrintedReportLayout, ALongListGoesOnOverSeveralNumberedPages) {
  TransActionReport::ReportData data{"08.12.2026", {Group("4711", 150, 3, 2), Group("4712", 1)}};
  const Document d = TransActionReport::LayoutReport(data);
  ASSERT_GE(d.pages.size(), 3u);
  ExpectSoundPages(d, "08.12.2026");
  ExpectEveryIdentifierOnce(d, data);
  const std::vector<std::string> first = Body(d, 0);
  EXPECT_EQ(first[1], "Datum: 08.12.2026");
  EXPECT_EQ(first[2], "Transaktionsnummer: 4711");
  EXPECT_EQ(first[3], "Name:");
  EXPECT_EQ(first[4], "Gebiet 4711");
  EXPECT_EQ(first[5], "Gebietsbetreuer:");
  EXPECT_EQ(first[6], "Frau Kern");
  EXPECT_EQ(first[7], "neue Objekte:");
  EXPECT_EQ(first[8], "Anzahl: 150");
  // The group and its list carry on at the top of the next page.
  const std::vector<std::string> second = Body(d, 1);
  ASSERT_GE(second.size(), 4u);
  EXPECT_EQ(second[0], "Transaktionsnummer: 4711 (Fortsetzung)");
  EXPECT_EQ(second[1], "neue Objekte: (Fortsetzung)");
  EXPECT_EQ(second[2], "Anzahl: 150");
  EXPECT_EQ(second[3], "4711-N" + std::to_string(first.size() - 9));
}

TEST(PrintedReportLayout, HeadingsNeverStandAloneAtTheFootOfAPage) {
  // Every size of the first list moves the page break over each band of the
  // group after it once.
  for (int n = 20; n <= 70; ++n) {
    SCOPED_TRACE("first list of " + std::to_string(n));
    TransActionReport::ReportData data{"1.2.2027",
                                       {Group("1", n), Group("2", 2, 2, 2), Group("3", 0)}};
    const Document d = TransActionReport::LayoutReport(data);
    ExpectSoundPages(d, "1.2.2027");
    ExpectEveryIdentifierOnce(d, data);
  }
}

TEST(PrintedReportLayout, PagesTooSmallForABandStillEndWithEveryIdentifier) {
  // A layout with room for two lines, and one with room for none: each band
  // goes on a page of its own at worst, never onto page after empty page.
  TransActionReport::ReportData data{"08.12.2026", {Group("1", 5, 1, 1), Group("2", 0)}};
  for (const double line : {300.0, 5000.0}) {
    platform::print::PageLayout layout;
    layout.body_line = line;
    const Document d = TransActionReport::LayoutReport(data, layout);
    ExpectEveryIdentifierOnce(d, data);
    EXPECT_LE(d.pages.size(), 40u) << line;
    for (const auto& page : d.pages) EXPECT_GT(page.items.size(), 2u) << "more than the footer";
  }
}

TEST(PrintedReportLayout, AnEmptyReportIsOnePageWithItsFooter) {
  const Document d = TransActionReport::LayoutReport({"08.12.2026", {}});
  ASSERT_EQ(d.pages.size(), 1u);
  ExpectSoundPages(d, "08.12.2026");
}

TEST(PrintedReportLayout, OddAndLongIdentifiersStayInTheirColumn) {
  auto group = Group("7", 0);
  group.name = std::string(400, 'X');
  group.sections[0].kennungen = {std::string(300, 'W'), "地-1\t\xFF", "\xC2\x81NSG"};
  const Document d = TransActionReport::LayoutReport({"08.12.2026", {group}});
  for (const TextItem& item : d.pages[0].items) {
    EXPECT_LE(item.x + (item.align == platform::print::Align::kLeft ? item.max_width : 0),
              d.layout.width - d.layout.margin_right + 0.01)
        << item.text;
  }
  const std::vector<std::string> lines = platform::print::PageAsText(d, 0);
  for (const std::string& line : lines) {
    EXPECT_LE(platform::text::Utf8Length(line), size_t(d.layout.preview_columns)) << line;
  }
  EXPECT_NO_THROW(platform::print::RenderPdf(d));
}

class PrintedReportTest : public testsupport::ProjectFixture {
 protected:
  void Fill() {
    CreateTransactionTables();
    AddTransaction(3, "Ruhrauen", "Frau Kern");
    AddTransaction(5, "Eifel Süd", "Herr Busch");
    AddRow(3, 1, 0, "DE-1");
    AddRow(3, 2, 1, "DE-2", "UPDATE");
    AddRow(3, 4, 2, "DE-4", "NEW");
    AddRow(3, 5, 3, "DE-5", "DELETE");
    AddRow(5, 6, 2, "ÖK-6", "NEW");
    AddRow(5, 8, 1, "DE-8", "UPDATE");
  }
  static std::string PdfText(const std::string& path) {
    return testsupport::RunCommand("pdftotext -raw -enc UTF-8 '" + path + "' -");
  }
};

TEST_F(PrintedReportTest, VD1TransActionShowsThePreviewAndPrintsIt) {
  SelectBuild(Build::kVD1TransAction);
  Fill();
  const std::string pdf = Root() + "/bericht.pdf";
  Answer(R"(form TFormTransActionReport
click BtnShowReport
form TFormPrintPreview
click BtnPrint
file ")" +
         pdf + R"("
click BtnClose
click BtnClose)");
  EXPECT_TRUE(TransActionReport::MakeTransActionReport());
  ExpectAllAnswered();
  const std::string shown = Shown();
  EXPECT_EQ(shown.find("TFormPrintReport"), std::string::npos) << "no text report to save";
  EXPECT_NE(shown.find("Preview page 1 of 1"), std::string::npos) << shown;
  EXPECT_NE(shown.find("file save \"PDF-Dateien (*.pdf)|*.pdf\""), std::string::npos) << shown;
  const std::string text = PdfText(pdf);
  for (const char* expected :
       {"VANDRA-Transaktions-Prüfbericht", "Transaktionsnummer: 3", "Ruhrauen", "Eifel Süd",
        "Herr Busch", "neue Objekte:", "gelöschte Objekte:", "geänderte Objekte:", "ÖK-6", "DE-5",
        "DE-8", "Prüfbericht vom ", "- 1 -"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
  }
  EXPECT_EQ(text.find("DE-1\n"), std::string::npos) << "a read-only object is no change";
  EXPECT_EQ(Tools::ReadStringFromProjectIni("Transaktionsdaten", "PrintFolder", ""), Root() + "/");
}

// A platform whose printer and date settings are its own.
class PlatformDate : public platform::text::FormatSource {
 public:
  platform::text::LocaleFormats UserFormats() override {
    platform::text::LocaleFormats formats;
    formats.short_date_format = "%Y/%m/%d";
    return formats;
  }
};
class PlatformPrinter : public platform::print::Printer {
 public:
  std::string RenderPdf(const Document& document) override {
    printed.push_back(document);
    return "%PDF- of the platform";
  }
  std::vector<Document> printed;
};

TEST_F(PrintedReportTest, TheReportIsDatedAndPrintedByThePlatformsServices) {
  SelectBuild(Build::kVD1TransAction);
  Fill();
  PlatformDate date;
  PlatformPrinter printer;
  platform::text::ScopedFormatSource scoped_date(date);
  platform::print::ScopedPrinter scoped_printer(printer);
  const std::string pdf = Root() + "/bericht.pdf";
  Answer(
      "form TFormTransActionReport\nclick BtnShowReport\nform TFormPrintPreview\n"
      "click BtnPrint\nfile \"" +
      pdf + "\"\nclick BtnClose\nclick BtnClose");
  EXPECT_TRUE(TransActionReport::MakeTransActionReport());
  ExpectAllAnswered();
  std::ifstream in(pdf, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "%PDF- of the platform");
  ASSERT_EQ(printer.printed.size(), 1u);
  const std::regex footer("Prüfbericht vom \\d{4}/\\d{2}/\\d{2}");
  int dated = 0;
  for (const TextItem& item : printer.printed[0].pages[0].items) {
    dated += std::regex_match(item.text, footer);
  }
  EXPECT_EQ(dated, 1);
  EXPECT_TRUE(std::regex_search(Shown(), footer)) << "the preview shows the same date";
}

TEST_F(PrintedReportTest, ThePreviewTurnsItsPagesWithinTheDocument) {
  const Document d = TransActionReport::LayoutReport({"08.12.2026", {Group("9", 120)}});
  ASSERT_EQ(d.pages.size(), 3u);
  TFormPrintPreview preview(d, "Prüfbericht.pdf");
  EXPECT_EQ(preview.LabelPage.caption, "Seite 1 von 3");
  EXPECT_FALSE(preview.BtnPrevPage.enabled);
  Answer(R"(form TFormPrintPreview
click BtnNextPage
click BtnNextPage
click BtnPrevPage
click BtnClose)");
  preview.ShowModal();
  ExpectAllAnswered();
  EXPECT_EQ(preview.PageNumber(), 2);
  EXPECT_EQ(preview.Preview.lines, platform::print::PageAsText(d, 1));
  bool continued = false;
  for (const std::string& line : preview.Preview.lines) {
    continued = continued || line.starts_with("Transaktionsnummer: 9 (Fortsetzung)");
  }
  EXPECT_TRUE(continued);

  preview.ShowPage(3);
  EXPECT_FALSE(preview.BtnNextPage.enabled);
  // The footer is the page's last line.
  EXPECT_TRUE(preview.Preview.lines.back().starts_with("Prüfbericht vom 08.12.2026"));
  EXPECT_NE(preview.Preview.lines.back().find("- 3 -"), std::string::npos);
  preview.ShowPage(99);
  EXPECT_EQ(preview.PageNumber(), 3);
}

TEST_F(PrintedReportTest, PrintingAsksBeforeOverwritingAndTakesABareNameInTheProjectFolder) {
  const Document d = TransActionReport::LayoutReport({"08.12.2026", {Group("9", 2)}});
  const std::string old_file = Root() + "/alt.pdf";
  std::ofstream(old_file) << "alt";
  Answer("file \"" + old_file +
         "\"\nmessage No \"Die Ausgabedatei existiert bereits. Überschreiben?\"");
  EXPECT_FALSE(TransActionReport::PrintReport(d, "Prüfbericht.pdf"));
  std::ifstream in(old_file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "alt");

  // The folder of the last print is proposed next time.
  Answer("file \"bericht\"");
  EXPECT_TRUE(TransActionReport::PrintReport(d, "Prüfbericht.pdf"));
  EXPECT_NE(Shown().find("\"" + Root() + "/\" \"Prüfbericht.pdf\""), std::string::npos) << Shown();
  EXPECT_NE(PdfText(Root() + "/bericht.pdf").find("9-N1"), std::string::npos);

  Answer("file cancel");
  EXPECT_FALSE(TransActionReport::PrintReport(d, "Prüfbericht.pdf"));
  ExpectAllAnswered();
}

TEST_F(PrintedReportTest, AFolderThatIsNotThereIsReported) {
  const Document d = TransActionReport::LayoutReport({"08.12.2026", {Group("9", 2)}});
  const std::string path = Root() + "/gibts/nicht/bericht.pdf";
  Answer("file \"" + path + "\"\nmessage OK");
  EXPECT_FALSE(TransActionReport::PrintReport(d, "Prüfbericht.pdf"));
  ASSERT_FALSE(Messages().empty());
  EXPECT_EQ(Messages().back(), "Die Datei " + path + " konnte nicht geschrieben werden!");
}

TEST_F(PrintedReportTest, TheFullBuildKeepsTheTextReport) {
  Fill();
  Answer(R"(form TFormTransActionReport
click BtnShowReport
form TFormPrintReport
click btnClose
click BtnClose)");
  EXPECT_TRUE(TransActionReport::MakeTransActionReport());
  EXPECT_EQ(Shown().find("TFormPrintPreview"), std::string::npos);
}

}  // namespace
