// Printable texts and the preview's character grid.
#include "platform/print/PrintDocument.h"

#include <algorithm>
#include <cmath>

#include "platform/text/Encoding.h"

namespace platform::print {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";     // U+2026

// The length of the valid UTF-8 sequence at `at` and its code point, or 0.
size_t DecodeAt(std::string_view text, size_t at, char32_t& cp) {
  uint32_t code = 0;
  size_t length = 0;
  if (!text::DecodeUtf8(text, at, code, length)) return 0;
  cp = code;
  return length;
}

// The characters of a printable text, one string each.
std::vector<std::string> Characters(std::string_view text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    char32_t cp = 0;
    size_t length = DecodeAt(text, at, cp);
    if (length == 0) length = 1;
    out.emplace_back(text.substr(at, length));
    at += length;
  }
  return out;
}

}  // namespace

std::string PrintableText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t at = 0;
  while (at < utf8.size()) {
    char32_t cp = 0;
    const size_t length = DecodeAt(utf8, at, cp);
    if (length == 0) {
      out += kReplacement;
      ++at;
      continue;
    }
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
      out += kReplacement;
    } else {
      out.append(utf8.substr(at, length));
    }
    at += length;
  }
  return out;
}

std::vector<std::string> PageAsText(const Document& document, size_t page) {
  const PageLayout& layout = document.layout;
  const int columns = std::max(1, layout.preview_columns);
  // A text is on the line its baseline falls in; the footer's is the last.
  const auto line_of = [&](double baseline) {
    return static_cast<long>(std::floor((baseline - layout.margin_top) / layout.body_line + 1e-6));
  };
  const int rows = static_cast<int>(std::max(1L, line_of(layout.FooterBaseline()) + 1));
  std::vector<std::vector<std::string>> grid(
      static_cast<size_t>(rows), std::vector<std::string>(static_cast<size_t>(columns), " "));
  if (page < document.pages.size()) {
    const double per_column = layout.PrintableWidth() / columns;
    for (const TextItem& item : document.pages[page].items) {
      std::vector<std::string> chars = Characters(PrintableText(item.text));
      const int width = std::max(1, static_cast<int>(std::floor(item.max_width / per_column)));
      if (static_cast<int>(chars.size()) > width) {
        chars.resize(static_cast<size_t>(width));
        chars.back() = std::string(kEllipsis);
      }
      const int length = static_cast<int>(chars.size());
      const int anchor = static_cast<int>(std::lround((item.x - layout.margin_left) / per_column));
      int column = anchor;
      if (item.align == Align::kCenter) column = anchor - length / 2;
      if (item.align == Align::kRight) column = anchor - length;
      const long row = line_of(item.y);
      if (row < 0 || row >= rows) continue;
      for (int i = 0; i < length; ++i) {
        const int at = column + i;
        if (at >= 0 && at < columns)
          grid[static_cast<size_t>(row)][static_cast<size_t>(at)] = chars[static_cast<size_t>(i)];
      }
    }
  }
  std::vector<std::string> lines;
  lines.reserve(grid.size());
  for (const auto& cells : grid) {
    std::string line;
    for (const std::string& cell : cells) line += cell;
    line.erase(line.find_last_not_of(' ') + 1);
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace platform::print
