// The in-memory index: lists in record order however records change keys.
#include "platform/db/ColumnIndex.h"

#include <gtest/gtest.h>

namespace platform::db {
namespace {

std::vector<uint32_t> Rows(ColumnIndex& idx, const std::string& key) {
  const std::span<const uint32_t> list = idx.Find(key);
  return std::vector<uint32_t>(list.begin(), list.end());
}

TEST(ColumnIndexTest, ListsStayInRecordOrderThroughChanges) {
  ColumnIndex idx;
  idx.Reset(6);
  const std::string_view a = "a", b = "b";
  for (uint32_t r = 0; r < 6; ++r) idx.Set(r, r % 2 ? b : a);
  EXPECT_EQ(Rows(idx, "a"), (std::vector<uint32_t>{0, 2, 4}));
  idx.Set(4, b);
  idx.Set(1, a);
  idx.Set(3, std::nullopt);  // null or deleted
  EXPECT_EQ(Rows(idx, "a"), (std::vector<uint32_t>{0, 1, 2}));
  EXPECT_EQ(Rows(idx, "b"), (std::vector<uint32_t>{4, 5}));
  // Back and forth leaves no doubles.
  idx.Set(0, b);
  idx.Set(0, a);
  idx.Set(0, b);
  EXPECT_EQ(Rows(idx, "b"), (std::vector<uint32_t>{0, 4, 5}));
  EXPECT_EQ(Rows(idx, "a"), (std::vector<uint32_t>{1, 2}));
  EXPECT_TRUE(idx.Find("c").empty());
  idx.Set(9, a);  // an appended record
  EXPECT_EQ(Rows(idx, "a"), (std::vector<uint32_t>{1, 2, 9}));
  EXPECT_EQ(idx.KeyOf(9), idx.IdOf("a"));
  EXPECT_EQ(idx.KeyOf(3), ColumnIndex::kNoKey);
}

TEST(ColumnIndexTest, StaleEntriesOfLongListsAreDropped) {
  ColumnIndex idx;
  idx.Reset(1000);
  const std::string_view a = "a", b = "b";
  for (uint32_t r = 0; r < 1000; ++r) idx.Set(r, a);
  for (uint32_t r = 0; r < 990; ++r) idx.Set(r, b);
  EXPECT_EQ(Rows(idx, "a").size(), 10u);
  EXPECT_EQ(Rows(idx, "a").front(), 990u);
  EXPECT_EQ(Rows(idx, "b").size(), 990u);
  EXPECT_EQ(idx.Find("a").size(), 10u);  // compacted: no stale entries left
}

TEST(ColumnIndexTest, ABuildTakesEveryRecordInOnePassAndChangesFollowIt) {
  // Keys as a table gives them: each record's key, none for some.
  const std::vector<std::string> keys = {"K1", "", "K2", "K1", "", "K3", "K1"};
  ColumnIndex idx;
  idx.Build(static_cast<uint32_t>(keys.size()), [&](uint32_t rec) -> ColumnIndex::Key {
    if (keys[rec].empty()) return std::nullopt;
    return keys[rec];
  });
  EXPECT_EQ(Rows(idx, "K1"), (std::vector<uint32_t>{0, 3, 6}));
  EXPECT_EQ(Rows(idx, "K2"), std::vector<uint32_t>{2});
  EXPECT_TRUE(idx.Find("").empty());
  EXPECT_EQ(idx.KeyOf(1), ColumnIndex::kNoKey);
  EXPECT_EQ(idx.KeyOf(3), idx.IdOf("K1"));
  // A change moves a record between lists of the build, a new key and an
  // appended record come in, and every list stays in record order.
  idx.Set(3, "K2");
  idx.Set(1, "K1");
  idx.Set(4, "K4");
  idx.Set(7, "K3");
  idx.Set(5, std::nullopt);
  EXPECT_EQ(Rows(idx, "K1"), (std::vector<uint32_t>{0, 1, 6}));
  EXPECT_EQ(Rows(idx, "K2"), (std::vector<uint32_t>{2, 3}));
  EXPECT_EQ(Rows(idx, "K3"), std::vector<uint32_t>{7});
  EXPECT_EQ(Rows(idx, "K4"), std::vector<uint32_t>{4});
  // A build starts over.
  idx.Build(2, [](uint32_t rec) -> ColumnIndex::Key { return rec == 0 ? "X" : "Y"; });
  EXPECT_TRUE(idx.Find("K1").empty());
  EXPECT_EQ(Rows(idx, "Y"), std::vector<uint32_t>{1});
}

TEST(ColumnIndexTest, ManyKeysGrowTheTableAndAreAllFound) {
  ColumnIndex idx;
  std::vector<std::string> keys;
  for (int i = 0; i < 5000; ++i) keys.push_back("NSG-" + std::to_string(i * 7919 % 100000));
  idx.Build(static_cast<uint32_t>(keys.size()),
            [&](uint32_t rec) -> ColumnIndex::Key { return keys[rec]; });
  for (uint32_t rec = 0; rec < keys.size(); rec += 97) {
    EXPECT_EQ(Rows(idx, keys[rec]), std::vector<uint32_t>{rec}) << keys[rec];
  }
  EXPECT_TRUE(idx.Find("NSG-x").empty());
  EXPECT_EQ(idx.IdOf("NSG-x"), ColumnIndex::kNoKey);
}

}  // namespace
}  // namespace platform::db
