// Printing a document to PDF, as the system's print-to-file does: the
// pages drawn by cairo in the fonts of the layout, each text cut at its
// width with "…", the file written whole or not at all.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/env/Env.h"
#include "platform/print/PrintDocument.h"

namespace platform::print {

// The PDF library failed (out of memory, a font it cannot load).
class PrintError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The document as the bytes of a PDF file; throws PrintError.
std::string RenderPdf(const Document& document);

// Renders the document and replaces the file at `path` with it safely (see
// env::ReplaceFile): a failure leaves an old file as it was. Throws
// PrintError or env::EnvError.
void PrintToPdf(env::Env& env, const std::string& path, const Document& document);

}  // namespace platform::print
