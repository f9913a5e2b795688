// A PDF of a document in the standard fonts every PDF reader has (Helvetica
// and Helvetica-Bold), written without a PDF library: the printer of a
// platform without cairo, and one that runs wherever the build does.
//
// Texts are Windows-1252 in the fonts' WinAnsiEncoding: German umlauts, ß
// and € print, a character the code page lacks prints as '?'. A text wider
// than its width is cut with "…" by the fonts' own metrics, as cairo cuts
// it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/print/PdfWriter.h"

namespace platform::print {

// The document as the bytes of a PDF 1.4 file: one page of the layout's size
// per page, at least one. `created` (seconds since 1970, UTC) becomes the
// file's creation date; without it the bytes depend on the document alone.
std::string RenderStandardFontPdf(const Document& document,
                                  std::optional<int64_t> created = std::nullopt);

// The printer of RenderStandardFontPdf, dated by the clock of
// env::Env::Default().
class StandardFontPrinter : public Printer {
 public:
  std::string RenderPdf(const Document& document) override;
};

}  // namespace platform::print
