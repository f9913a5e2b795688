// The PDF read back as a reader would: pdftotext gives the text of each page.
#include "platform/print/PdfWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/env/FaultEnv.h"

namespace platform::print {
namespace {

class PdfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("vandra-pdf-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  // The text of the PDF's pages in the order it was drawn (-raw: the
  // layout mode would join "- 2 -" to "-2-"), pages ended by a form feed.
  static std::string PdfText(const std::string& pdf_path) {
    const std::string command = "pdftotext -raw -enc UTF-8 '" + pdf_path + "' -";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "(pdftotext did not start)";
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    const int status = pclose(pipe);
    if (status != 0) return "(pdftotext failed: " + std::to_string(status) + ")";
    return text;
  }

  static Document ThreePages() {
    Document d;
    d.title = "VANDRA-Transaktions-Prüfbericht";
    const PageLayout& l = d.layout;
    for (int page = 1; page <= 3; ++page) {
      Page p;
      p.items.push_back({l.margin_left, l.margin_top, l.PrintableWidth(),
                         page == 2 ? "geänderte Objekte:" : "neue Objekte:", Font::kBold,
                         Align::kLeft});
      p.items.push_back({l.margin_left, l.FooterBaseline(), l.PrintableWidth() / 2,
                         "Prüfbericht vom 09.12.2026", Font::kBody, Align::kLeft});
      p.items.push_back({l.margin_left + l.PrintableWidth() / 2, l.FooterBaseline(), 60,
                         "- " + std::to_string(page) + " -", Font::kBody, Align::kCenter});
      d.pages.push_back(std::move(p));
    }
    return d;
  }

  std::filesystem::path folder_;
};

std::vector<std::string> Pages(const std::string& text) {
  std::vector<std::string> pages;
  std::istringstream in(text);
  std::string page;
  while (std::getline(in, page, '\f')) pages.push_back(page);
  if (!pages.empty() && pages.back().find_first_not_of("\n") == std::string::npos) pages.pop_back();
  return pages;
}

TEST_F(PdfTest, EveryPageCarriesItsTextWithUmlauts) {
  const std::string path = Path("bericht.pdf");
  PrintToPdf(platform::env::Env::Posix(), path, ThreePages());
  const std::vector<std::string> pages = Pages(PdfText(path));
  ASSERT_EQ(pages.size(), 3u) << PdfText(path);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NE(pages[i].find("Prüfbericht vom 09.12.2026"), std::string::npos) << pages[i];
    EXPECT_NE(pages[i].find("- " + std::to_string(i + 1) + " -"), std::string::npos) << pages[i];
  }
  EXPECT_NE(pages[1].find("geänderte Objekte:"), std::string::npos) << pages[1];
}

TEST_F(PdfTest, ABrokenTextDoesNotStopTheRestOfThePage) {
  // cairo refuses invalid UTF-8 and draws nothing more on that context; the
  // texts after such an identifier must still print.
  Document d;
  const PageLayout& l = d.layout;
  d.pages.push_back(Page{{
      {l.margin_left, 100, 300, "NSG-\xFF\xFE\tkaputt", Font::kBody, Align::kLeft},
      {l.margin_left, 120, 300, "Łódź 地 ✓ \xF0\x9F\x8C\xB3", Font::kBold, Align::kLeft},
      {l.margin_left, 140, 300, "danach", Font::kBody, Align::kLeft},
  }});
  const std::string path = Path("kaputt.pdf");
  PrintToPdf(platform::env::Env::Posix(), path, d);
  const std::string text = PdfText(path);
  EXPECT_NE(text.find("NSG-"), std::string::npos) << text;
  EXPECT_NE(text.find("kaputt"), std::string::npos) << text;
  EXPECT_NE(text.find("Łódź"), std::string::npos) << text;
  EXPECT_NE(text.find("danach"), std::string::npos) << text;
}

TEST_F(PdfTest, AWideTextIsCutAtItsWidth) {
  Document d;
  const PageLayout& l = d.layout;
  const std::string long_name = "DE-" + std::string(300, 'M') + "-Ende";
  d.pages.push_back(Page{{
      {l.margin_left, 100, 120, long_name, Font::kBody, Align::kLeft},
      {l.margin_left + 130, 100, 100, "Nachbar", Font::kBody, Align::kLeft},
  }});
  const std::string path = Path("breit.pdf");
  PrintToPdf(platform::env::Env::Posix(), path, d);
  const std::string text = PdfText(path);
  EXPECT_NE(text.find("DE-MM"), std::string::npos) << text;
  EXPECT_NE(text.find("…"), std::string::npos) << text;
  EXPECT_EQ(text.find("Ende"), std::string::npos) << text;
  EXPECT_NE(text.find("Nachbar"), std::string::npos) << text;
}

TEST_F(PdfTest, AnEmptyDocumentIsOneBlankPage) {
  const std::string bytes = RenderPdf(Document{});
  EXPECT_EQ(bytes.rfind("%PDF-", 0), 0u);
  const std::string path = Path("leer.pdf");
  std::ofstream(path, std::ios::binary) << bytes;
  EXPECT_EQ(Pages(PdfText(path)).size(), 0u) << "no text";
  EXPECT_EQ(PdfText(path).find("(pdftotext failed"), std::string::npos);
}

TEST_F(PdfTest, AFullDiskLeavesTheOldFileWhole) {
  const std::string path = Path("bericht.pdf");
  std::ofstream(path) << "alt";
  platform::env::FaultEnv full(platform::env::Env::Posix());
  full.Inject(platform::env::Fault(platform::env::Op::kWrite, ENOSPC).On("bericht"));
  EXPECT_THROW(PrintToPdf(full, path, ThreePages()), platform::env::EnvError);
  std::ifstream in(path);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "alt");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_),
                          std::filesystem::directory_iterator{}),
            1)
      << "no temporary file left behind";
}

// A printer of another platform, reduced to what reaches it.
class RecordingPrinter : public Printer {
 public:
  std::string RenderPdf(const Document& document) override {
    titles.push_back(document.title);
    if (fail) throw PrintError("Schriftart fehlt");
    return "%PDF-1.7 " + document.title;
  }
  std::vector<std::string> titles;
  bool fail = false;
};

TEST_F(PdfTest, ThePrinterInstalledDrawsWhatIsWrittenAndItsFailureKeepsTheOldFile) {
  const std::string path = Path("bericht.pdf");
  RecordingPrinter printer;
  {
    ScopedPrinter scoped(printer);
    PrintToPdf(platform::env::Env::Posix(), path, ThreePages());
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "%PDF-1.7 VANDRA-Transaktions-Prüfbericht");
    printer.fail = true;
    EXPECT_THROW(PrintToPdf(platform::env::Env::Posix(), path, Document{}), PrintError);
  }
  EXPECT_EQ(printer.titles.size(), 2u);
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
            "%PDF-1.7 VANDRA-Transaktions-Prüfbericht");
  EXPECT_EQ(RenderPdf(Document{}).rfind("%PDF-", 0), 0u) << "cairo's again";
  EXPECT_EQ(printer.titles.size(), 2u);
}

}  // namespace
}  // namespace platform::print
