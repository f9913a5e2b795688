// The hand-written PDF checked as a reader meets it: the cross-reference
// table and stream lengths exact, the texts in the fonts' encoding, and
// (where poppler's pdftotext is installed) the text a reader extracts.
#include "platform/print/StandardFontPdf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>

#include "platform/env/FaultEnv.h"

namespace platform::print {
namespace {

Document Letters() {
  Document d;
  d.title = "Prüfbericht (Entwurf) €";
  const PageLayout& l = d.layout;
  const std::vector<std::string> lines = {
      "Grüße aus Köln: Maß 5 € (Straße)",
      "Pfad C:\\daten\\alt\\ (Kopie) ((doppelt)) \\(",
      "Łódź 地",
  };
  for (size_t page = 0; page < lines.size(); ++page) {
    Page p;
    p.items.push_back({l.margin_left, l.margin_top + l.title_size, l.PrintableWidth(),
                       "Überschrift", Font::kTitle, Align::kLeft});
    p.items.push_back({l.margin_left, l.margin_top + 40, l.PrintableWidth(), lines[page],
                       Font::kBody, Align::kLeft});
    p.items.push_back({l.margin_left + l.PrintableWidth() / 2, l.FooterBaseline(), 60,
                       "- " + std::to_string(page + 1) + " -", Font::kBody, Align::kCenter});
    d.pages.push_back(std::move(p));
  }
  return d;
}

// What is wrong with the file's structure, empty when nothing: every entry
// of the cross-reference table must point at its "N 0 obj", the table and
// the trailer must agree on the number of objects, and each stream's
// /Length must be its bytes.
std::string StructureFaults(const std::string& pdf) {
  std::ostringstream faults;
  if (pdf.rfind("%PDF-1.4\n", 0) != 0) faults << "no PDF 1.4 header; ";
  const size_t startxref = pdf.rfind("startxref\n");
  if (startxref == std::string::npos) return "no startxref";
  const size_t xref = std::stoul(pdf.substr(startxref + 10));
  if (pdf.compare(xref, 5, "xref\n") != 0) return "startxref does not point at the table";
  std::istringstream table(pdf.substr(xref + 5));
  size_t first = 0, count = 0;
  table >> first >> count;
  table.ignore(1);
  if (first != 0) faults << "the table starts at " << first << "; ";
  for (size_t object = 0; object < count; ++object) {
    std::string entry(20, '\0');
    table.read(entry.data(), 20);
    if (object == 0) {
      if (entry != "0000000000 65535 f \n") faults << "entry 0 is not free; ";
      continue;
    }
    if (!std::regex_match(entry, std::regex("\\d{10} 00000 n \n"))) {
      faults << "entry " << object << " is not 20 bytes; ";
      continue;
    }
    const std::string head = std::to_string(object) + " 0 obj\n";
    if (pdf.compare(std::stoul(entry.substr(0, 10)), head.size(), head) != 0)
      faults << "entry " << object << " misses its object; ";
  }
  std::smatch size;
  if (!std::regex_search(pdf, size, std::regex("trailer\n<< /Size (\\d+) ")) ||
      std::stoul(size[1]) != count)
    faults << "the trailer's /Size is not the table's " << count << "; ";
  const std::regex stream("/Length (\\d+) >>\nstream\n");
  for (auto it = std::sregex_iterator(pdf.begin(), pdf.end(), stream); it != std::sregex_iterator();
       ++it) {
    const size_t begin = static_cast<size_t>(it->position(0) + it->length(0));
    if (pdf.compare(begin + std::stoul((*it)[1]), 11, "\nendstream\n") != 0)
      faults << "a stream's /Length is wrong; ";
  }
  return faults.str();
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(StandardFontPdf, IsAWellFormedFileOfOnePageObjectPerPage) {
  const std::string pdf = RenderStandardFontPdf(Letters(), 1796819503);
  EXPECT_EQ(StructureFaults(pdf), "") << pdf;
  EXPECT_EQ(Count(pdf, "/Type /Page "), 3u);
  EXPECT_NE(pdf.find("/Count 3 /MediaBox [0 0 595.28 841.89]"), std::string::npos);
  EXPECT_EQ(Count(pdf, "/Encoding /WinAnsiEncoding"), 2u) << "Helvetica and Helvetica-Bold";
  EXPECT_NE(pdf.find("/BaseFont /Helvetica-Bold"), std::string::npos);
  EXPECT_NE(pdf.find("/CreationDate (D:20261209123143Z)"), std::string::npos);
  // "Prüfbericht (" in UTF-16BE, after its byte order mark.
  EXPECT_NE(pdf.find("/Title <FEFF0050007200FC006600620065007200690063006800740020"),
            std::string::npos);

  const std::string empty = RenderStandardFontPdf(Document{});
  EXPECT_EQ(StructureFaults(empty), "") << empty;
  EXPECT_EQ(Count(empty, "/Type /Page "), 1u) << "an empty document is one blank page";
  EXPECT_EQ(empty.find("Helvetica-Bold"), std::string::npos) << "no bold text, no bold font";
  EXPECT_EQ(empty.find("/CreationDate"), std::string::npos);
  EXPECT_EQ(empty, RenderStandardFontPdf(Document{})) << "undated, the bytes are the document's";
}

TEST(StandardFontPdf, TextsAreWindows1252WithTheStringDelimitersEscaped) {
  const std::string pdf = RenderStandardFontPdf(Letters());
  EXPECT_NE(pdf.find("(Gr\xFC\xDF"
                     "e aus K\xF6ln: Ma\xDF 5 \x80 \\(Stra\xDF"
                     "e\\)) Tj"),
            std::string::npos);
  EXPECT_NE(pdf.find("(Pfad C:\\\\daten\\\\alt\\\\ \\(Kopie\\) \\(\\(doppelt\\)\\) \\\\\\() Tj"),
            std::string::npos);
  EXPECT_NE(pdf.find("(?\xF3"
                     "d? ?) Tj"),
            std::string::npos)
      << "characters outside Windows-1252 print as '?'";
}

TEST(StandardFontPdf, PlacesTextsByTheFontsWidthsAndCutsThemWithAnEllipsis) {
  Document d;
  d.pages.push_back(Page{{
      // "- 1 -" is 1778/1000 em of Helvetica: 17.78 points at 10.
      {300, 800, 100, "- 1 -", Font::kBody, Align::kCenter},
      {300, 780, 100, "- 1 -", Font::kBody, Align::kRight},
      // "MMMM" is 4 * 833/1000 em; the ellipsis 1000/1000 em.
      {56, 700, 35, "MMMMMMMMMM", Font::kBody, Align::kLeft},
      {56, 680, 33.32, "MMMM", Font::kBody, Align::kLeft},
  }});
  const std::string pdf = RenderStandardFontPdf(d);
  EXPECT_NE(pdf.find("1 0 0 1 291.11 41.89 Tm\n(- 1 -) Tj"), std::string::npos) << pdf;
  EXPECT_NE(pdf.find("1 0 0 1 282.22 61.89 Tm\n(- 1 -) Tj"), std::string::npos) << pdf;
  EXPECT_NE(pdf.find("(MMM\x85) Tj"), std::string::npos) << "3 * 8.33 + 10 fits 35, 4 do not";
  EXPECT_NE(pdf.find("(MMMM) Tj"), std::string::npos) << "a text exactly as wide is whole";
}

class StandardFontFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() /
        ("vandra-stdpdf-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  // The output of a command, or nothing when it failed or is not there.
  static std::optional<std::string> Run(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    if (pclose(pipe) != 0) return std::nullopt;
    return out;
  }

  std::filesystem::path folder_;
  StandardFontPrinter printer_;
};

TEST_F(StandardFontFileTest, AReaderFindsEveryPageWithItsText) {
  if (!Run("pdftotext -v 2>&1")) {
    GTEST_SKIP() << "pdftotext (poppler-utils) is not installed here, or not reachable from a "
                    "Windows program";
  }
  const std::string path = Path("bericht.pdf");
  {
    ScopedPrinter scoped(printer_);
    PrintToPdf(env::Env::Default(), path, Letters());
  }
  const std::optional<std::string> text = Run("pdftotext -raw -enc UTF-8 '" + path + "' - 2>&1");
  ASSERT_TRUE(text) << "pdftotext refused the file";
  EXPECT_EQ(text->find("Error"), std::string::npos) << "poppler mended the file: " << *text;
  std::vector<std::string> pages;
  std::istringstream in(*text);
  for (std::string page; std::getline(in, page, '\f');) pages.push_back(page);
  if (!pages.empty() && pages.back().find_first_not_of('\n') == std::string::npos) pages.pop_back();
  ASSERT_EQ(pages.size(), 3u) << *text;
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_NE(pages[i].find("Überschrift"), std::string::npos) << pages[i];
    EXPECT_NE(pages[i].find("- " + std::to_string(i + 1) + " -"), std::string::npos) << pages[i];
  }
  EXPECT_NE(pages[0].find("Grüße aus Köln: Maß 5 € (Straße)"), std::string::npos) << pages[0];
  EXPECT_NE(pages[1].find("Pfad C:\\daten\\alt\\ (Kopie) ((doppelt)) \\("), std::string::npos)
      << pages[1];
  EXPECT_NE(pages[2].find("?ód? ?"), std::string::npos) << pages[2];
  const std::optional<std::string> info = Run("pdfinfo '" + path + "' 2>&1");
  ASSERT_TRUE(info);
  EXPECT_NE(info->find("Prüfbericht (Entwurf) €"), std::string::npos) << *info;
  EXPECT_NE(info->find("595.28 x 841.89 pts (A4)"), std::string::npos) << *info;
}

TEST_F(StandardFontFileTest, AFailedWriteLeavesTheOldFileWhole) {
  const std::string path = Path("bericht.pdf");
  std::ofstream(path) << "alt";
  env::FaultEnv full(env::Env::Default());
  full.Inject(env::Fault(env::Op::kWrite, ENOSPC).On("bericht"));
  ScopedPrinter scoped(printer_);
  EXPECT_THROW(PrintToPdf(full, path, Letters()), env::EnvError);
  {
    // Closed before the file is replaced: wine cannot rename over an open file.
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "alt");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_),
                          std::filesystem::directory_iterator{}),
            1)
      << "no temporary file left behind";

  PrintToPdf(env::Env::Default(), path, Letters());
  std::ifstream written(path, std::ios::binary);
  const std::string pdf(std::istreambuf_iterator<char>(written), {});
  EXPECT_EQ(StructureFaults(pdf), "");
  EXPECT_NE(pdf.find("/CreationDate (D:"), std::string::npos) << "dated by the Env's clock";
}

}  // namespace
}  // namespace platform::print
