// Printing a document to PDF, as the system's print-to-file does: the
// pages drawn in the fonts of the layout, each text cut at its width with
// "…", the file written whole or not at all.
//
// The drawing is the work of a Printer: the platform's own
// (Printer::Default(), chosen by the build: cairo's PDF writer on Linux,
// CairoPrinter.cpp; the PDF in the standard fonts on Windows, WinPrinter.cpp),
// or one a test installs with ScopedPrinter. RenderPdf and PrintToPdf go to
// Printer::Current().
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

class Printer {
 public:
  virtual ~Printer() = default;

  // The platform's own, the only one the product uses. Never destroyed.
  static Printer& Default();
  // The printer of code that is not handed one: Default() unless a
  // ScopedPrinter installed another.
  static Printer& Current();

  // As RenderPdf.
  virtual std::string RenderPdf(const Document& document) = 0;
};

// Installs a printer as Printer::Current() for the life of the object and
// puts the one before back. For tests; not for use while other threads
// reach Current().
class ScopedPrinter {
 public:
  explicit ScopedPrinter(Printer& printer);
  ~ScopedPrinter();
  ScopedPrinter(const ScopedPrinter&) = delete;
  ScopedPrinter& operator=(const ScopedPrinter&) = delete;

 private:
  Printer* previous_;
};

}  // namespace platform::print
