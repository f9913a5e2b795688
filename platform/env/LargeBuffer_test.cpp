// The buffer keeps its bytes through growth from the heap into a mapping and
// within the mapping, fills only when asked, and moves its memory along.
#include "platform/env/LargeBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace platform::env {
namespace {

TEST(LargeBufferTest, BytesSurviveGrowthAcrossTheHeapAndTheMapping) {
  LargeBuffer b;
  EXPECT_TRUE(b.empty());
  b.resize(100, 'a');
  EXPECT_EQ(std::string(b.data(), 100), std::string(100, 'a'));
  // Record by record past the point where the buffer is mapped.
  size_t size = 100;
  for (int i = 0; i < 30000; ++i) {
    b.resize(size + 160, static_cast<char>('b' + i % 20));
    size += 160;
  }
  EXPECT_EQ(b.size(), size);
  EXPECT_EQ(b[0], 'a');
  EXPECT_EQ(b[99], 'a');
  EXPECT_EQ(b[100], 'b');
  EXPECT_EQ(b[size - 1], static_cast<char>('b' + 29999 % 20));
  b.resize(10);  // shrinking keeps the front
  EXPECT_EQ(b.size(), 10u);
  EXPECT_EQ(b[9], 'a');
}

TEST(LargeBufferTest, MovesTakeTheMemoryAlong) {
  LargeBuffer a;
  a.resize(size_t{8} << 20);  // mapped, not cleared
  a[0] = 'x';
  a[(size_t{8} << 20) - 1] = 'y';
  LargeBuffer b = std::move(a);
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(a.data(), nullptr);
  EXPECT_EQ(b[0], 'x');
  EXPECT_EQ(b[(size_t{8} << 20) - 1], 'y');
  LargeBuffer c;
  c.resize(4, 'z');
  c = std::move(b);
  EXPECT_EQ(c.size(), size_t{8} << 20);
  c.clear();
  EXPECT_TRUE(c.empty());
}

}  // namespace
}  // namespace platform::env
