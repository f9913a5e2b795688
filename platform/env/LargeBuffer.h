// A growable byte buffer for copies of whole files in memory (a table's
// records). A large buffer made to be filled from a file at once is mapped
// in huge pages where the kernel offers them, and new bytes are not cleared
// unless asked: filling 160 MB from a file then costs a hundred page faults
// instead of forty thousand, and no pass of clearing.
//
// Owns its memory; movable, not copyable. Throws std::bad_alloc when the
// system has no memory to give.
#pragma once

#include <cstddef>

namespace platform::env {

class LargeBuffer {
 public:
  LargeBuffer() = default;
  ~LargeBuffer();
  LargeBuffer(LargeBuffer&& other) noexcept;
  LargeBuffer& operator=(LargeBuffer&& other) noexcept;
  LargeBuffer(const LargeBuffer&) = delete;
  LargeBuffer& operator=(const LargeBuffer&) = delete;

  char* data() { return data_; }
  const char* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  char& operator[](size_t i) { return data_[i]; }
  const char& operator[](size_t i) const { return data_[i]; }

  // New bytes are left as they come (whatever they hold), to be filled at
  // once from a file: a large buffer is asked for huge pages.
  void resize(size_t size);
  // New bytes are `fill`. For growing bit by bit: no huge pages, whose
  // making can stall a page fault while the kernel compacts memory.
  void resize(size_t size, char fill);
  // Gives the memory back.
  void clear();

 private:
  void Reserve(size_t capacity, bool to_fill);
  static void Release(char* data, size_t capacity, bool mapped);

  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  bool mapped_ = false;  // mapped from the system, else from malloc
};

}  // namespace platform::env
