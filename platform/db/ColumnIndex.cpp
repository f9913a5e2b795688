// A record that changes its key is only noted in its new list and in
// key_of_; its entry in the old list turns stale and is dropped when that
// list is next read or has grown to twice its live size. An update thus
// costs O(1) however many records share a value (SCHREIBEND, TID, CHANGED
// have few values and long lists). A list of the build that a change
// touches moves to extra_, so the build's array never needs to grow.
#include "platform/db/ColumnIndex.h"

#include <algorithm>
#include <functional>

namespace platform::db {
size_t ColumnIndex::Hash(std::string_view key) {
  return std::hash<std::string_view>{}(key);
}

void ColumnIndex::Reset(uint32_t records) {
  in_build_ = false;
  arena_.clear();
  key_start_.assign(1, 0);
  slots_.assign(16, 0);
  base_start_.assign(1, 0);
  base_.clear();
  in_extra_.clear();
  extra_.clear();
  unsorted_.clear();
  live_.clear();
  key_of_.assign(records, kNoKey);
}

void ColumnIndex::Expect(size_t keys, size_t length) {
  arena_.reserve(keys * length);
  key_start_.reserve(keys + 1);
  base_start_.reserve(keys + 1);
  size_t slots = slots_.size();
  while (slots < keys * 2) slots *= 2;
  if (slots > slots_.size()) Rehash(slots);
}

void ColumnIndex::StartChanges() {
  if (live_.size() == ids()) return;
  live_.resize(ids());
  for (size_t id = 0; id < ids(); ++id) live_[id] = base_start_[id + 1] - base_start_[id];
  unsorted_.assign(ids(), 0);
}

uint32_t ColumnIndex::IdOf(std::string_view key) const {
  if (slots_.empty()) return kNoKey;
  const size_t mask = slots_.size() - 1;
  for (size_t i = Hash(key) & mask;; i = (i + 1) & mask) {
    const uint32_t slot = slots_[i];
    if (slot == 0) return kNoKey;
    if (KeyText(slot - 1) == key) return slot - 1;
  }
}

uint32_t ColumnIndex::Intern(std::string_view key, size_t hash) {
  if (slots_.empty()) slots_.assign(16, 0);
  const size_t mask = slots_.size() - 1;
  size_t i = hash & mask;
  for (;; i = (i + 1) & mask) {
    const uint32_t slot = slots_[i];
    if (slot == 0) break;
    if (KeyText(slot - 1) == key) return slot - 1;
  }
  const auto id = static_cast<uint32_t>(ids());
  arena_.append(key);
  key_start_.push_back(static_cast<uint32_t>(arena_.size()));
  if (in_build_) {
    base_start_.push_back(0);
  } else {
    live_.push_back(0);
    unsorted_.push_back(0);
  }
  slots_[i] = id + 1;
  if (ids() * 2 > slots_.size()) Rehash(slots_.size() * 2);
  return id;
}

void ColumnIndex::Rehash(size_t size) {
  std::vector<uint32_t> slots(size, 0);
  const size_t mask = slots.size() - 1;
  for (uint32_t id = 0; id < ids(); ++id) {
    size_t i = Hash(KeyText(id)) & mask;
    while (slots[i] != 0) i = (i + 1) & mask;
    slots[i] = id + 1;
  }
  slots_.swap(slots);
}

void ColumnIndex::LayOutLists() {
  // Counting sort of the records by key id: base_start_ holds the counts,
  // the list starts are their running sums, and the records go in in order.
  const size_t ids = this->ids();
  for (size_t id = 0; id < ids; ++id) base_start_[id + 1] += base_start_[id];
  base_.resize(base_start_[ids]);
  std::vector<uint32_t>& next = base_start_;  // each list's next free place, shifted back below
  for (uint32_t rec = 0; rec < key_of_.size(); ++rec) {
    const uint32_t id = key_of_[rec];
    if (id != kNoKey) base_[next[id]++] = rec;
  }
  for (size_t id = ids; id > 0; --id) next[id] = next[id - 1];
  next[0] = 0;
  in_extra_.assign(ids, 0);
  in_build_ = false;
}

void ColumnIndex::Set(uint32_t rec, Key key) {
  StartChanges();
  if (rec >= key_of_.size()) key_of_.resize(static_cast<size_t>(rec) + 1, kNoKey);
  const uint32_t id = key ? Intern(*key) : kNoKey;
  const uint32_t old = key_of_[rec];
  if (old == id) return;
  key_of_[rec] = id;
  if (old != kNoKey) {
    --live_[old];
    if (old >= in_extra_.size() || in_extra_[old]) {
      if (extra_[old].size() > 2 * static_cast<size_t>(live_[old]) + 16) Compact(old);
    } else if (base_start_[old + 1] - base_start_[old] > 2 * static_cast<size_t>(live_[old]) + 16) {
      Compact(old);
    }
  }
  if (id != kNoKey) {
    if (id < in_extra_.size() && !in_extra_[id]) Compact(id);  // the list moves to extra_
    std::vector<uint32_t>& list = extra_[id];
    if (!list.empty() && rec <= list.back()) unsorted_[id] = 1;
    list.push_back(rec);
    ++live_[id];
  }
}

void ColumnIndex::Compact(uint32_t id) {
  std::vector<uint32_t>& list = extra_[id];
  if (id < in_extra_.size() && !in_extra_[id]) {
    list.insert(list.end(), base_.begin() + base_start_[id], base_.begin() + base_start_[id + 1]);
    in_extra_[id] = 1;
    unsorted_[id] = 1;
  }
  if (unsorted_[id]) {
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    unsorted_[id] = 0;
  }
  list.erase(std::remove_if(list.begin(), list.end(), [&](uint32_t r) { return key_of_[r] != id; }),
             list.end());
}

std::span<const uint32_t> ColumnIndex::Find(std::string_view key) {
  const uint32_t id = IdOf(key);
  if (id == kNoKey) return {};
  const bool in_base = id < in_extra_.size() && !in_extra_[id];
  if (in_base) {
    const uint32_t begin = base_start_[id];
    const uint32_t end = base_start_[id + 1];
    if (live_.empty() || end - begin == live_[id]) return {base_.data() + begin, end - begin};
  }
  if (live_[id] == 0) return {};
  std::vector<uint32_t>& list = extra_[id];
  // A list read before and not changed since is whole and in order already.
  if (in_base || unsorted_[id] || list.size() != live_[id]) Compact(id);
  return {list.data(), list.size()};
}

}  // namespace platform::db
