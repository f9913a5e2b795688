// The in-memory index: lists in record order however records change keys.
#include "platform/db/ColumnIndex.h"

#include <gtest/gtest.h>

namespace platform::db {
namespace {

std::vector<uint32_t> Rows(ColumnIndex& idx, const std::string& key) {
  const auto* list = idx.Find(key);
  return list ? *list : std::vector<uint32_t>{};
}

TEST(ColumnIndexTest, ListsStayInRecordOrderThroughChanges) {
  ColumnIndex idx;
  idx.Reset(6);
  const std::string a = "a", b = "b";
  for (uint32_t r = 0; r < 6; ++r) idx.Set(r, r % 2 ? &b : &a);
  EXPECT_EQ(Rows(idx, "a"), (std::vector<uint32_t>{0, 2, 4}));
  idx.Set(4, &b);
  idx.Set(1, &a);
  idx.Set(3, nullptr);  // null or deleted
  EXPECT_EQ(Rows(idx, "a"), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(Rows(idx, "b"), (std::vector<uint32_t>{4, 5}));
  // Back and forth leaves no doubles.
  idx.Set(0, &b);
  idx.Set(0, &a);
  idx.Set(0, &b);
  EXPECT_EQ(Rows(idx, "b"), (std::vector<uint32_t>{0, 4, 5}));
  EXPECT_EQ(Rows(idx, "a"), (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(idx.Find("c"), nullptr);
  idx.Set(9, &a);  // an appended record
  EXPECT_EQ(Rows(idx, "a"), (std::vector<uint32_t>{1, 2, 9}));
  EXPECT_EQ(idx.KeyOf(9), idx.IdOf("a"));
  EXPECT_EQ(idx.KeyOf(3), ColumnIndex::kNoKey);
}

TEST(ColumnIndexTest, StaleEntriesOfLongListsAreDropped) {
  ColumnIndex idx;
  idx.Reset(1000);
  const std::string a = "a", b = "b";
  for (uint32_t r = 0; r < 1000; ++r) idx.Set(r, &a);
  for (uint32_t r = 0; r < 990; ++r) idx.Set(r, &b);
  EXPECT_EQ(Rows(idx, "a").size(), 10u);
  EXPECT_EQ(Rows(idx, "a").front(), 990u);
  EXPECT_EQ(Rows(idx, "b").size(), 990u);
  EXPECT_EQ(idx.Find("a")->size(), 10u);  // compacted: no stale entries left
}

}  // namespace
}  // namespace platform::db
