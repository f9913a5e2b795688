// The PDF through cairo's PDF surface, written into memory.
#include "platform/print/PdfWriter.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace platform::print {
namespace {

// DejaVu Sans has every character of Windows-1252 and the ellipsis; fontconfig
// falls back to another sans face where it is missing.
constexpr const char* kFace = "DejaVu Sans";
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* context) const { cairo_destroy(context); }
};

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// cairo's own words are English; the mapper reads the failure in German,
// the rarer ones by cairo's number.
std::string StatusText(cairo_status_t status) {
  switch (status) {
    case CAIRO_STATUS_NO_MEMORY:
      return "Der Arbeitsspeicher reicht nicht aus";
    case CAIRO_STATUS_WRITE_ERROR:
      return "Die Ausgabe kann nicht geschrieben werden";
    case CAIRO_STATUS_INVALID_STRING:
      return "Ein Text ist kein gültiger UTF-8-Text";
    case CAIRO_STATUS_INVALID_SIZE:
      return "Die Seitengröße ist ungültig";
    case CAIRO_STATUS_FONT_TYPE_MISMATCH:
    case CAIRO_STATUS_USER_FONT_ERROR:
    case CAIRO_STATUS_FREETYPE_ERROR:
      return "Die Schrift kann nicht verwendet werden";
    default:
      return "Fehler " + std::to_string(static_cast<int>(status)) + " der Grafikbibliothek cairo";
  }
}

void Check(cairo_status_t status, const char* what) {
  if (status != CAIRO_STATUS_SUCCESS) {
    throw PrintError(std::string(what) + ": " + StatusText(status) + ".");
  }
}

void SelectFont(cairo_t* cr, const PageLayout& layout, Font font) {
  cairo_select_font_face(cr, kFace, CAIRO_FONT_SLANT_NORMAL,
                         font == Font::kBody ? CAIRO_FONT_WEIGHT_NORMAL : CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, font == Font::kTitle ? layout.title_size : layout.body_size);
}

double Advance(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

// The start of each character of a valid UTF-8 text.
std::vector<size_t> CharacterStarts(const std::string& text) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  return starts;
}

// The text, or its longest beginning that fits with "…" after it.
std::string Fitted(cairo_t* cr, const std::string& text, double max_width) {
  if (max_width <= 0 || Advance(cr, text) <= max_width) return text;
  const std::vector<size_t> starts = CharacterStarts(text);
  const auto prefix_end = [&](size_t count) {
    return count < starts.size() ? starts[count] : text.size();
  };
  size_t low = 0;  // characters known to fit
  size_t high = starts.size();
  while (low < high) {
    const size_t mid = (low + high + 1) / 2;
    if (Advance(cr, text.substr(0, prefix_end(mid)) + std::string(kEllipsis)) <= max_width) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  const size_t end = prefix_end(low);
  return text.substr(0, end) + std::string(kEllipsis);
}

void Draw(cairo_t* cr, const PageLayout& layout, const TextItem& item) {
  SelectFont(cr, layout, item.font);
  const std::string text = Fitted(cr, PrintableText(item.text), item.max_width);
  if (text.empty()) return;
  double x = item.x;
  if (item.align != Align::kLeft) {
    const double width = Advance(cr, text);
    x -= item.align == Align::kCenter ? width / 2 : width;
  }
  cairo_move_to(cr, x, item.y);
  cairo_show_text(cr, text.c_str());
}

std::string CairoRender(const Document& document) {
  std::string bytes;
  const PageLayout& layout = document.layout;
  {
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
        cairo_pdf_surface_create_for_stream(Append, &bytes, layout.width, layout.height));
    Check(cairo_surface_status(surface.get()), "PDF-Ausgabe");
    if (!document.title.empty()) {
      const std::string title = PrintableText(document.title);
      cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, title.c_str());
    }
    std::unique_ptr<cairo_t, ContextDeleter> context(cairo_create(surface.get()));
    cairo_t* cr = context.get();
    cairo_set_source_rgb(cr, 0, 0, 0);
    // Even an empty document is one blank page, as a printer would give.
    const size_t pages = std::max<size_t>(1, document.pages.size());
    for (size_t page = 0; page < pages; ++page) {
      if (page < document.pages.size()) {
        for (const TextItem& item : document.pages[page].items) Draw(cr, layout, item);
      }
      cairo_show_page(cr);
      Check(cairo_status(cr), "PDF-Seite");
    }
    context.reset();
    cairo_surface_finish(surface.get());
    Check(cairo_surface_status(surface.get()), "PDF-Ausgabe");
  }
  return bytes;
}

class CairoPrinter : public Printer {
 public:
  std::string RenderPdf(const Document& document) override { return CairoRender(document); }
};

}  // namespace

Printer& Printer::Default() {
  static Printer* const cairo = new CairoPrinter();
  return *cairo;
}

}  // namespace platform::print
