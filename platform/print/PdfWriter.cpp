// The current printer, and the file written from what it renders through
// the platform seam.
#include "platform/print/PdfWriter.h"

#include <atomic>

namespace platform::print {
namespace {

std::atomic<Printer*> g_current{nullptr};

}  // namespace

Printer& Printer::Current() {
  Printer* printer = g_current.load(std::memory_order_acquire);
  return printer ? *printer : Default();
}

ScopedPrinter::ScopedPrinter(Printer& printer)
    : previous_(g_current.exchange(&printer, std::memory_order_acq_rel)) {}

ScopedPrinter::~ScopedPrinter() {
  g_current.store(previous_, std::memory_order_release);
}

std::string RenderPdf(const Document& document) {
  return Printer::Current().RenderPdf(document);
}

void PrintToPdf(env::Env& env, const std::string& path, const Document& document) {
  const std::string bytes = RenderPdf(document);
  env::ReplaceFile(env, env.ResolveLinks(path), bytes);
}

}  // namespace platform::print
