// The current source of the user's formats.
#include "platform/text/FormatSource.h"

#include <atomic>

namespace platform::text {
namespace {

std::atomic<FormatSource*> g_current{nullptr};

}  // namespace

FormatSource& FormatSource::Current() {
  FormatSource* source = g_current.load(std::memory_order_acquire);
  return source ? *source : Default();
}

ScopedFormatSource::ScopedFormatSource(FormatSource& source)
    : previous_(g_current.exchange(&source, std::memory_order_acq_rel)) {}

ScopedFormatSource::~ScopedFormatSource() {
  g_current.store(previous_, std::memory_order_release);
}

}  // namespace platform::text
