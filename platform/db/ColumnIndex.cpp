// A record that changes its key is only noted in its new list and in
// key_of_; its entry in the old list turns stale and is dropped when that
// list is next read or has grown to twice its live size. An update thus
// costs O(1) however many records share a value (SCHREIBEND, TID, CHANGED
// have few values and long lists).
#include "platform/db/ColumnIndex.h"

#include <algorithm>

namespace platform::db {

void ColumnIndex::Reset(uint32_t records) {
  ids_.clear();
  postings_.clear();
  live_.clear();
  unsorted_.clear();
  key_of_.assign(records, kNoKey);
}

uint32_t ColumnIndex::IdOf(std::string_view key) const {
  auto it = ids_.find(std::string(key));
  return it == ids_.end() ? kNoKey : it->second;
}

void ColumnIndex::Set(uint32_t rec, const std::string* key) {
  if (rec >= key_of_.size()) key_of_.resize(static_cast<size_t>(rec) + 1, kNoKey);
  uint32_t id = kNoKey;
  if (key) {
    auto [it, inserted] = ids_.try_emplace(*key, static_cast<uint32_t>(postings_.size()));
    if (inserted) {
      postings_.emplace_back();
      live_.push_back(0);
      unsorted_.push_back(0);
    }
    id = it->second;
  }
  const uint32_t old = key_of_[rec];
  if (old == id) return;
  key_of_[rec] = id;
  if (old != kNoKey) {
    --live_[old];
    if (postings_[old].size() > 2 * static_cast<size_t>(live_[old]) + 16) Compact(old);
  }
  if (id != kNoKey) {
    auto& list = postings_[id];
    if (!list.empty() && rec <= list.back()) unsorted_[id] = 1;
    list.push_back(rec);
    ++live_[id];
  }
}

void ColumnIndex::Compact(uint32_t id) {
  auto& list = postings_[id];
  if (unsorted_[id]) {
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    unsorted_[id] = 0;
  }
  list.erase(std::remove_if(list.begin(), list.end(), [&](uint32_t r) { return key_of_[r] != id; }),
             list.end());
}

const std::vector<uint32_t>* ColumnIndex::Find(std::string_view key) {
  const uint32_t id = IdOf(key);
  if (id == kNoKey || live_[id] == 0) return nullptr;
  if (unsorted_[id] || postings_[id].size() != live_[id]) Compact(id);
  return &postings_[id];
}

}  // namespace platform::db
