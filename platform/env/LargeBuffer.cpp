// Buffers from 2 MB on are anonymous mappings marked for huge pages and grown
// with mremap, which moves pages rather than bytes.
#include "platform/env/LargeBuffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace platform::env {
namespace {

constexpr size_t kMapFrom = size_t{2} << 20;
constexpr size_t kPageRound = size_t{2} << 20;

size_t RoundUp(size_t n, size_t unit) {
  return (n + unit - 1) / unit * unit;
}

}  // namespace

LargeBuffer::~LargeBuffer() {
  clear();
}

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept {
  if (this != &other) {
    clear();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    mapped_ = std::exchange(other.mapped_, false);
  }
  return *this;
}

void LargeBuffer::clear() {
  if (mapped_) {
    ::munmap(data_, capacity_);
  } else {
    std::free(data_);
  }
  data_ = nullptr;
  size_ = capacity_ = 0;
  mapped_ = false;
}

void LargeBuffer::Reserve(size_t wanted) {
  if (wanted <= capacity_) return;
  // Growing by half again keeps appends record by record amortized.
  size_t capacity = std::max(wanted, capacity_ + capacity_ / 2);
  if (capacity < kMapFrom) {
    capacity = std::max<size_t>(RoundUp(capacity, 64), 256);
    void* p = std::realloc(data_, capacity);
    if (!p) throw std::bad_alloc();
    data_ = static_cast<char*>(p);
    capacity_ = capacity;
    return;
  }
  capacity = RoundUp(capacity, kPageRound);
  void* p = MAP_FAILED;
  if (mapped_) {
    p = ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
  } else {
    p = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  }
  if (p == MAP_FAILED) throw std::bad_alloc();
  // Only advice: without huge pages the buffer works the same, slower to fill.
  ::madvise(p, capacity, MADV_HUGEPAGE);
  if (!mapped_ && data_) {
    std::memcpy(p, data_, size_);
    std::free(data_);
  }
  data_ = static_cast<char*>(p);
  capacity_ = capacity;
  mapped_ = true;
}

void LargeBuffer::resize(size_t size) {
  Reserve(size);
  size_ = size;
}

void LargeBuffer::resize(size_t size, char fill) {
  Reserve(size);
  if (size > size_) std::memset(data_ + size_, fill, size - size_);
  size_ = size;
}

}  // namespace platform::env
