// Windows' printer: the PDF in the standard fonts, as cairo is not part of
// the Windows build. The print dialog still writes a file; a real printer
// is reached by printing that file.
#include "platform/print/StandardFontPdf.h"

namespace platform::print {

Printer& Printer::Default() {
  static Printer* const standard = new StandardFontPrinter();
  return *standard;
}

}  // namespace platform::print
