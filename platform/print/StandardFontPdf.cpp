// PDF 1.4 written by hand: a catalogue, the page tree, the two standard
// fonts, each page with its content stream, the document's information,
// and the cross-reference table of their byte offsets.
#include "platform/print/StandardFontPdf.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/env/Env.h"
#include "platform/text/Encoding.h"

namespace platform::print {
namespace {

// Advance widths in 1/1000 of the font size of the WinAnsiEncoding bytes
// 0x20 to 0xFF (0 where the encoding has no character), from Adobe's font
// metrics of Helvetica and Helvetica-Bold as groff ships them (devps/HR and
// HB). No kerning: cairo's text API does not kern either.
constexpr std::array<uint16_t, 224> kHelvetica = {
    278,  278, 355, 556, 556, 889,  667,  191,  333, 333,  389, 584, 278,  333, 278, 278,  // 0x20
    556,  556, 556, 556, 556, 556,  556,  556,  556, 556,  278, 278, 584,  584, 584, 556,  // 0x30
    1015, 667, 667, 722, 722, 667,  611,  778,  722, 278,  500, 667, 556,  833, 722, 778,  // 0x40
    667,  778, 722, 667, 611, 722,  667,  944,  667, 667,  611, 278, 278,  278, 469, 556,  // 0x50
    333,  556, 556, 500, 556, 556,  278,  556,  556, 222,  222, 500, 222,  833, 556, 556,  // 0x60
    556,  556, 333, 500, 278, 556,  500,  722,  500, 500,  500, 334, 260,  334, 584, 0,    // 0x70
    556,  0,   222, 556, 333, 1000, 556,  556,  333, 1000, 667, 333, 1000, 0,   611, 0,    // 0x80
    0,    222, 222, 333, 333, 350,  556,  1000, 333, 1000, 500, 333, 944,  0,   500, 667,  // 0x90
    278,  333, 556, 556, 556, 556,  260,  556,  333, 737,  370, 556, 584,  333, 737, 333,  // 0xA0
    400,  584, 333, 333, 333, 578,  537,  278,  333, 333,  365, 556, 834,  834, 834, 611,  // 0xB0
    667,  667, 667, 667, 667, 667,  1000, 722,  667, 667,  667, 667, 278,  278, 278, 278,  // 0xC0
    722,  722, 778, 778, 778, 778,  778,  584,  778, 722,  722, 722, 722,  667, 667, 611,  // 0xD0
    556,  556, 556, 556, 556, 556,  889,  500,  556, 556,  556, 556, 278,  278, 278, 278,  // 0xE0
    556,  556, 556, 556, 556, 556,  556,  584,  611, 556,  556, 556, 556,  500, 556, 500,  // 0xF0
};
constexpr std::array<uint16_t, 224> kHelveticaBold = {
    278, 333, 474, 556, 556, 889,  722,  238,  333, 333,  389, 584, 278,  333, 278, 278,  // 0x20
    556, 556, 556, 556, 556, 556,  556,  556,  556, 556,  333, 333, 584,  584, 584, 611,  // 0x30
    975, 722, 722, 722, 722, 667,  611,  778,  722, 278,  556, 722, 611,  833, 722, 778,  // 0x40
    667, 778, 722, 667, 611, 722,  667,  944,  667, 667,  611, 333, 278,  333, 584, 556,  // 0x50
    333, 556, 611, 556, 611, 556,  333,  611,  611, 278,  278, 556, 278,  889, 611, 611,  // 0x60
    611, 611, 389, 556, 333, 611,  556,  778,  556, 556,  500, 389, 280,  389, 584, 0,    // 0x70
    556, 0,   278, 556, 500, 1000, 556,  556,  333, 1000, 667, 333, 1000, 0,   611, 0,    // 0x80
    0,   278, 278, 500, 500, 350,  556,  1000, 333, 1000, 556, 333, 944,  0,   500, 667,  // 0x90
    278, 333, 556, 556, 556, 556,  280,  556,  333, 737,  370, 556, 584,  333, 737, 333,  // 0xA0
    400, 584, 333, 333, 333, 611,  556,  278,  333, 333,  365, 556, 834,  834, 834, 611,  // 0xB0
    722, 722, 722, 722, 722, 722,  1000, 722,  667, 667,  667, 667, 278,  278, 278, 278,  // 0xC0
    722, 722, 778, 778, 778, 778,  778,  584,  778, 722,  722, 722, 722,  667, 667, 611,  // 0xD0
    556, 556, 556, 556, 556, 556,  889,  556,  556, 556,  556, 556, 278,  278, 278, 278,  // 0xE0
    611, 611, 611, 611, 611, 611,  611,  584,  611, 611,  611, 611, 611,  556, 611, 556,  // 0xF0
};

constexpr char kEllipsis = '\x85';  // "…" in Windows-1252

const std::array<uint16_t, 224>& Widths(Font font) {
  return font == Font::kBody ? kHelvetica : kHelveticaBold;
}

double FontSize(const PageLayout& layout, Font font) {
  return font == Font::kTitle ? layout.title_size : layout.body_size;
}

double Advance(std::string_view ansi, Font font, double size) {
  const std::array<uint16_t, 224>& widths = Widths(font);
  long units = 0;
  for (const char c : ansi) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20) units += widths[byte - 0x20];
  }
  return units * size / 1000.0;
}

// The text, or its longest beginning that fits with "…" after it. One byte
// is one character in Windows-1252.
std::string Fitted(const std::string& ansi, Font font, double size, double max_width) {
  if (max_width <= 0 || Advance(ansi, font, size) <= max_width) return ansi;
  size_t low = 0;  // characters known to fit
  size_t high = ansi.size();
  while (low < high) {
    const size_t mid = (low + high + 1) / 2;
    if (Advance(ansi.substr(0, mid) + kEllipsis, font, size) <= max_width) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return ansi.substr(0, low) + kEllipsis;
}

// A length in points with two decimals, whatever the C locale's decimal
// separator.
std::string Number(double value) {
  const long long hundredths = std::llround(value * 100);
  const unsigned long long magnitude =
      static_cast<unsigned long long>(hundredths < 0 ? -hundredths : hundredths);
  std::string out = hundredths < 0 ? "-" : "";
  out += std::to_string(magnitude / 100);
  const unsigned long long fraction = magnitude % 100;
  if (fraction != 0) {
    out += '.';
    out += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) out += static_cast<char>('0' + fraction % 10);
  }
  return out;
}

// A literal string: the delimiters and the escape character escaped, every
// other byte as it is (the file is binary, its header says so).
std::string Literal(std::string_view bytes) {
  std::string out = "(";
  for (const char c : bytes) {
    if (c == '\\' || c == '(' || c == ')') out += '\\';
    out += c;
  }
  return out + ")";
}

// A text string of the document's information: UTF-16BE with its byte order
// mark, which holds any character.
std::string TextString(std::string_view utf8) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "<FEFF";
  for (const char16_t unit : text::Utf8ToUtf16(utf8)) {
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
  }
  return out + ">";
}

// The date format of PDF, in UTC: D:YYYYMMDDHHmmSSZ.
std::string PdfDate(int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds at{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss<std::chrono::seconds> time{at - day};
  char out[32];
  std::snprintf(out, sizeof out, "D:%04d%02u%02u%02d%02d%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return out;
}

// The content stream of a page: each text in its own text object, placed at
// its baseline. PDF counts y from the page's bottom, the layout from its top.
std::string PageContent(const PageLayout& layout, const Page* page) {
  std::string out;
  if (page == nullptr) return out;
  for (const TextItem& item : page->items) {
    const double size = FontSize(layout, item.font);
    const std::string text =
        Fitted(text::Utf8ToAnsi(PrintableText(item.text)), item.font, size, item.max_width);
    if (text.empty()) continue;
    double x = item.x;
    if (item.align != Align::kLeft) {
      const double width = Advance(text, item.font, size);
      x -= item.align == Align::kCenter ? width / 2 : width;
    }
    out += "BT\n/" + std::string(item.font == Font::kBody ? "F1 " : "F2 ") + Number(size) +
           " Tf\n1 0 0 1 " + Number(x) + " " + Number(layout.height - item.y) + " Tm\n" +
           Literal(text) + " Tj\nET\n";
  }
  return out;
}

// The file object by object, each one's offset kept for the table.
class PdfBuilder {
 public:
  PdfBuilder() {
    // The second line's bytes above 127 mark the file as binary for tools
    // that would otherwise change its line ends.
    out_ = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  }

  // Numbers objects in the order they are reserved, from 1.
  int Reserve() {
    offsets_.push_back(0);
    return static_cast<int>(offsets_.size());
  }

  void Object(int number, const std::string& body) {
    offsets_[static_cast<size_t>(number - 1)] = out_.size();
    out_ += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
  }

  void Stream(int number, const std::string& content) {
    Object(number, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                       "\nendstream");
  }

  // The cross-reference table, each entry exactly 20 bytes, and the trailer.
  std::string Finish(int root, int info) && {
    const size_t xref = out_.size();
    out_ += "xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n";
    for (const size_t offset : offsets_) {
      char entry[24];
      std::snprintf(entry, sizeof entry, "%010llu 00000 n \n",
                    static_cast<unsigned long long>(offset));
      out_ += entry;
    }
    out_ += "trailer\n<< /Size " + std::to_string(offsets_.size() + 1) + " /Root " +
            std::to_string(root) + " 0 R /Info " + std::to_string(info) + " 0 R >>\nstartxref\n" +
            std::to_string(xref) + "\n%%EOF\n";
    return std::move(out_);
  }

 private:
  std::string out_;
  std::vector<size_t> offsets_;
};

}  // namespace

std::string RenderStandardFontPdf(const Document& document, std::optional<int64_t> created) {
  const PageLayout& layout = document.layout;
  // Even an empty document is one blank page, as a printer would give.
  const size_t pages = std::max<size_t>(1, document.pages.size());
  const bool bold = std::any_of(document.pages.begin(), document.pages.end(), [](const Page& p) {
    return std::any_of(p.items.begin(), p.items.end(),
                       [](const TextItem& item) { return item.font != Font::kBody; });
  });

  PdfBuilder pdf;
  const int catalog = pdf.Reserve();
  const int tree = pdf.Reserve();
  const int regular = pdf.Reserve();
  const int heavy = bold ? pdf.Reserve() : 0;
  const int info = pdf.Reserve();
  std::vector<int> page_objects;
  for (size_t page = 0; page < pages; ++page) {
    page_objects.push_back(pdf.Reserve());
    pdf.Reserve();  // its content
  }

  pdf.Object(catalog, "<< /Type /Catalog /Pages " + std::to_string(tree) + " 0 R >>");
  std::string kids;
  for (const int page : page_objects)
    kids += (kids.empty() ? "" : " ") + std::to_string(page) + " 0 R";
  pdf.Object(tree, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) +
                       " /MediaBox [0 0 " + Number(layout.width) + " " + Number(layout.height) +
                       "] >>");
  const auto font = [](const char* name) {
    return std::string("<< /Type /Font /Subtype /Type1 /BaseFont /") + name +
           " /Encoding /WinAnsiEncoding >>";
  };
  pdf.Object(regular, font("Helvetica"));
  std::string fonts = "/F1 " + std::to_string(regular) + " 0 R";
  if (bold) {
    pdf.Object(heavy, font("Helvetica-Bold"));
    fonts += " /F2 " + std::to_string(heavy) + " 0 R";
  }
  std::string information;
  if (!document.title.empty())
    information += " /Title " + TextString(PrintableText(document.title));
  if (created) information += " /CreationDate (" + PdfDate(*created) + ")";
  pdf.Object(info, "<<" + information + " >>");

  for (size_t page = 0; page < pages; ++page) {
    const int object = page_objects[page];
    pdf.Object(object, "<< /Type /Page /Parent " + std::to_string(tree) +
                           " 0 R /Resources << /Font << " + fonts + " >> >> /Contents " +
                           std::to_string(object + 1) + " 0 R >>");
    pdf.Stream(object + 1,
               PageContent(layout, page < document.pages.size() ? &document.pages[page] : nullptr));
  }
  return std::move(pdf).Finish(catalog, info);
}

std::string StandardFontPrinter::RenderPdf(const Document& document) {
  return RenderStandardFontPdf(document, env::Env::Default().WallNs() / 1000000000);
}

}  // namespace platform::print
