// The memory comes from malloc, which maps large blocks straight from the
// system; those are marked for huge pages before their pages are first
// touched. A buffer grows as a vector does, into a new block with the old
// one freed: malloc learns from large blocks freed how large a block it
// should rather keep in its heap, and the many row vectors of a statement
// are then served without faulting in fresh pages each time.
#include "platform/env/LargeBuffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace platform::env {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;
constexpr uintptr_t kPage = 4096;

// Only advice: without huge pages the buffer works the same, slower to fill.
void AdviseHugePages(char* data, size_t size) {
  const auto begin = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
  const auto end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kPage - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace

LargeBuffer::~LargeBuffer() {
  clear();
}

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept {
  if (this != &other) {
    clear();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

void LargeBuffer::clear() {
  std::free(data_);
  data_ = nullptr;
  size_ = capacity_ = 0;
}

void LargeBuffer::Reserve(size_t wanted, bool huge_pages) {
  if (wanted <= capacity_) return;
  // Growing by half again keeps appends record by record amortized.
  const size_t capacity = std::max<size_t>({wanted, capacity_ + capacity_ / 2, 256});
  auto* p = static_cast<char*>(std::malloc(capacity));
  if (!p) throw std::bad_alloc();
  if (huge_pages && capacity >= kHugePage) AdviseHugePages(p, capacity);
  if (size_ > 0) std::memcpy(p, data_, size_);
  std::free(data_);
  data_ = p;
  capacity_ = capacity;
}

void LargeBuffer::resize(size_t size) {
  Reserve(size, true);
  size_ = size;
}

void LargeBuffer::resize(size_t size, char fill) {
  Reserve(size, false);
  if (size > size_) std::memset(data_ + size_, fill, size - size_);
  size_ = size;
}

}  // namespace platform::env
