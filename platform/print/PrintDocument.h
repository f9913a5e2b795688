// A printed document as pages of placed texts, and the page layout they are
// placed on. The report layer lays its bands out on a PageLayout; the preview
// shows a page as lines of characters (PageAsText), and printing renders the
// same pages to PDF (PdfWriter.h), so what the mapper sees is what prints.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::print {

// Lengths are in points (1/72 inch).
struct PageLayout {
  // A4 portrait.
  double width = 595.28;
  double height = 841.89;
  // 20 mm on every side.
  double margin_left = 56.69;
  double margin_right = 56.69;
  double margin_top = 56.69;
  double margin_bottom = 56.69;
  // Font sizes and the line height each font takes.
  double body_size = 10;
  double body_line = 14;
  double title_size = 16;
  double title_line = 24;
  // The footer band at the bottom of every page, inside the bottom margin.
  double footer_line = 14;
  // Characters per line of the preview, across the printable width.
  int preview_columns = 96;

  double PrintableWidth() const { return width - margin_left - margin_right; }
  // Where the body ends: the footer band is kept free below it.
  double BodyBottom() const { return height - margin_bottom - 2 * footer_line; }
  // The baseline of the footer's line.
  double FooterBaseline() const { return height - margin_bottom; }
};

enum class Font { kBody, kBold, kTitle };
enum class Align { kLeft, kCenter, kRight };

// One text on a page. `x` is the left edge (kLeft), the centre (kCenter) or
// the right edge (kRight); `y` the baseline. A text wider than `max_width`
// is cut and ends in "…" rather than running into its neighbour or off the
// page.
struct TextItem {
  double x = 0;
  double y = 0;
  double max_width = 0;
  std::string text;  // UTF-8
  Font font = Font::kBody;
  Align align = Align::kLeft;
};

struct Page {
  std::vector<TextItem> items;
};

struct Document {
  std::string title;
  PageLayout layout;
  std::vector<Page> pages;
};

// A text made fit to print: invalid UTF-8 bytes and control characters
// (tabs and line ends included, which a one-line field cannot show) become
// U+FFFD, so that neither the PDF library nor the preview grid is fed
// something it cannot place.
std::string PrintableText(std::string_view utf8);

// The page as the preview shows it: one line of characters per body line
// down to the footer's, `layout.preview_columns` wide, texts placed by their
// position and cut at their width. Trailing blanks are dropped; empty lines
// stay.
std::vector<std::string> PageAsText(const Document& document, size_t page);

}  // namespace platform::print
