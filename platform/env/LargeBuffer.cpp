// A buffer made to be filled from a file is mapped from the system directly
// and marked for huge pages before its pages are first touched. A buffer
// that grows record by record comes from malloc and grows as a vector does,
// into a new block with the old one freed: malloc learns from the large
// blocks freed how large a block it should rather keep in its heap, and
// serves the many row vectors of a statement from there. Huge pages are
// never asked for heap memory, where they would outlast the buffer. Windows
// maps the buffer too (VirtualAlloc), with small pages: large ones need a
// privilege users do not have.
#include "platform/env/LargeBuffer.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace platform::env {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;

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
  Release(data_, capacity_, mapped_);
  data_ = nullptr;
  size_ = capacity_ = 0;
  mapped_ = false;
}

void LargeBuffer::Release(char* data, size_t capacity, bool mapped) {
  if (mapped) {
#ifdef _WIN32
    (void)capacity;
    VirtualFree(data, 0, MEM_RELEASE);
#else
    ::munmap(data, capacity);
#endif
  } else {
    std::free(data);
  }
}

void LargeBuffer::Reserve(size_t wanted, bool to_fill) {
  if (wanted <= capacity_) return;
  char* p = nullptr;
  size_t capacity = 0;
  bool mapped = false;
  if (to_fill && size_ == 0 && wanted >= kHugePage) {
    capacity = (wanted + kHugePage - 1) / kHugePage * kHugePage;
#ifdef _WIN32
    void* m = VirtualAlloc(nullptr, capacity, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (m == nullptr) throw std::bad_alloc();
#else
    void* m = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) throw std::bad_alloc();
    // Only advice: without huge pages the buffer works the same, slower to fill.
    ::madvise(m, capacity, MADV_HUGEPAGE);
#endif
    p = static_cast<char*>(m);
    mapped = true;
  } else {
    // Doubling, as a vector does, keeps appends record by record amortized
    // with few fresh pages to fault in.
    capacity = std::max<size_t>({wanted, capacity_ * 2, 256});
    p = static_cast<char*>(std::malloc(capacity));
    if (!p) throw std::bad_alloc();
  }
  if (size_ > 0) std::memcpy(p, data_, size_);
  Release(data_, capacity_, mapped_);
  data_ = p;
  capacity_ = capacity;
  mapped_ = mapped;
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
