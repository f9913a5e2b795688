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
  attached_.reset();
  layout_ = Layout();
  changed_key_.clear();
  gained_.clear();
  new_ids_.clear();
  new_keys_.clear();
  answer_.clear();
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
  if (attached_) {
    const uint32_t id = StoredIdOf(key);
    if (id != kNoKey) return id;
    const auto it = new_ids_.find(std::string(key));
    return it == new_ids_.end() ? kNoKey : it->second;
  }
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
  if (attached_) {
    uint32_t id = kNoKey;
    if (key) {
      id = IdOf(*key);
      if (id == kNoKey) {
        id = layout_.ids + static_cast<uint32_t>(new_keys_.size());
        new_keys_.emplace_back(*key);
        new_ids_.emplace(std::string(*key), id);
      }
    }
    changed_key_[rec] = id;
    if (id != kNoKey) gained_[id].push_back(rec);
    // Many changes make every lookup sift through them: the arrays are
    // then taken into memory, where changes cost nothing extra.
    if (changed_key_.size() > std::max<size_t>(4096, layout_.records / 8)) ReadWhole();
    return;
  }
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
  // Pieces read one lookup at a time cost no more than reading the whole
  // arrays once, as long as they are fewer: past that, the rest of the
  // lookups are answered from memory.
  if (attached_ && attached_->Fetched() >= layout_.bytes) ReadWhole();
  const uint32_t id = IdOf(key);
  if (id == kNoKey) return {};
  if (attached_) {
    answer_.clear();
    if (id < layout_.ids) {
      for (uint32_t rec : StoredList(id)) {
        if (changed_key_.empty() || KeyOf(rec) == id) answer_.push_back(rec);
      }
    }
    const auto gained = gained_.find(id);
    if (gained != gained_.end()) {
      for (uint32_t rec : gained->second) {
        if (KeyOf(rec) == id) answer_.push_back(rec);
      }
      std::sort(answer_.begin(), answer_.end());
      answer_.erase(std::unique(answer_.begin(), answer_.end()), answer_.end());
    }
    return {answer_.data(), answer_.size()};
  }
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

uint64_t ColumnIndex::HashProbe() {
  return static_cast<uint64_t>(Hash("VANDRA-Schl\xfcssel 0123456789")) ^
         (uint64_t{sizeof(size_t)} << 56);
}

namespace {

struct ImageCounts {
  uint32_t records = 0;
  uint32_t ids = 0;
  uint32_t arena = 0;
  uint32_t slots = 0;
  uint32_t base = 0;
};

template <class T>
void WriteArray(const std::function<void(const void*, size_t)>& write, const std::vector<T>& v) {
  if (!v.empty()) write(v.data(), v.size() * sizeof(T));
}

template <class T>
bool ReadArray(const std::function<bool(void*, size_t)>& read, std::vector<T>& v, size_t n) {
  v.resize(n);
  return n == 0 || read(v.data(), n * sizeof(T));
}

// Whether the list starts run from 0 up to `end` without going back.
bool Ascending(const std::vector<uint32_t>& starts, size_t end) {
  if (starts.empty() || starts[0] != 0 || starts.back() != end) return false;
  for (size_t i = 1; i < starts.size(); ++i) {
    if (starts[i] < starts[i - 1]) return false;
  }
  return true;
}

}  // namespace

void ColumnIndex::Save(const std::function<void(const void*, size_t)>& write) const {
  if (attached_) {
    ColumnIndex whole(*this);
    whole.ReadWhole();
    whole.Save(write);
    return;
  }
  // After changes the lists lie in extra_ and may hold stale entries: they
  // are laid out again from each record's key, as a build does.
  std::vector<uint32_t> starts;
  std::vector<uint32_t> lists;
  const bool changed = !live_.empty();
  if (changed) {
    starts.assign(ids() + 1, 0);
    for (uint32_t id : key_of_) {
      if (id != kNoKey) ++starts[id + 1];
    }
    for (size_t id = 0; id < ids(); ++id) starts[id + 1] += starts[id];
    lists.resize(starts[ids()]);
    std::vector<uint32_t> next(starts.begin(), starts.end() - 1);
    for (uint32_t rec = 0; rec < key_of_.size(); ++rec) {
      if (key_of_[rec] != kNoKey) lists[next[key_of_[rec]]++] = rec;
    }
  }
  const std::vector<uint32_t>& base_start = changed ? starts : base_start_;
  const std::vector<uint32_t>& base = changed ? lists : base_;
  ImageCounts counts;
  counts.records = static_cast<uint32_t>(key_of_.size());
  counts.ids = static_cast<uint32_t>(ids());
  counts.arena = static_cast<uint32_t>(arena_.size());
  counts.slots = static_cast<uint32_t>(slots_.size());
  counts.base = static_cast<uint32_t>(base.size());
  write(&counts, sizeof(counts));
  if (!arena_.empty()) write(arena_.data(), arena_.size());
  WriteArray(write, key_start_);
  WriteArray(write, slots_);
  WriteArray(write, base_start);
  WriteArray(write, base);
  WriteArray(write, key_of_);
}

bool ColumnIndex::Load(const std::function<bool(void*, size_t)>& read, uint64_t bytes) {
  Reset(0);
  ImageCounts counts;
  const bool whole = [&] {
    if (!read(&counts, sizeof(counts))) return false;
    // A hash table needs an empty slot for every probe to end.
    if (counts.slots < 16 || (counts.slots & (counts.slots - 1)) != 0 ||
        uint64_t{counts.ids} * 2 > counts.slots || counts.ids > uint64_t{counts.arena} + 1 ||
        counts.base > counts.records) {
      return false;
    }
    const uint64_t needed =
        sizeof(counts) + uint64_t{counts.arena} +
        4 * (2 * (uint64_t{counts.ids} + 1) + counts.slots + counts.base + counts.records);
    if (needed != bytes) return false;
    arena_.resize(counts.arena);
    if (counts.arena > 0 && !read(arena_.data(), counts.arena)) return false;
    if (!ReadArray(read, key_start_, size_t{counts.ids} + 1) ||
        !Ascending(key_start_, counts.arena)) {
      return false;
    }
    if (!ReadArray(read, slots_, counts.slots)) return false;
    size_t used = 0;
    for (uint32_t slot : slots_) {
      if (slot > counts.ids) return false;
      used += slot != 0;
    }
    if (used != counts.ids) return false;
    if (!ReadArray(read, base_start_, size_t{counts.ids} + 1) ||
        !Ascending(base_start_, counts.base)) {
      return false;
    }
    if (!ReadArray(read, base_, counts.base)) return false;
    for (uint32_t rec : base_) {
      if (rec >= counts.records) return false;
    }
    if (!ReadArray(read, key_of_, counts.records)) return false;
    for (uint32_t id : key_of_) {
      if (id >= counts.ids && id != kNoKey) return false;
    }
    return true;
  }();
  if (!whole) {
    Reset(0);
    return false;
  }
  in_extra_.assign(counts.ids, 0);
  return true;
}

bool ColumnIndex::Attach(std::shared_ptr<Stored> stored, uint64_t bytes) {
  Reset(0);
  ImageCounts counts;
  stored->Read(0, &counts, sizeof(counts));
  if (counts.slots < 16 || (counts.slots & (counts.slots - 1)) != 0 ||
      uint64_t{counts.ids} * 2 > counts.slots || counts.ids > uint64_t{counts.arena} + 1 ||
      counts.base > counts.records) {
    return false;
  }
  Layout l;
  l.records = counts.records;
  l.ids = counts.ids;
  l.arena = counts.arena;
  l.slots = counts.slots;
  l.base = counts.base;
  l.arena_at = sizeof(counts);
  l.key_start_at = l.arena_at + counts.arena;
  l.slots_at = l.key_start_at + 4 * (uint64_t{counts.ids} + 1);
  l.base_start_at = l.slots_at + 4 * uint64_t{counts.slots};
  l.base_at = l.base_start_at + 4 * (uint64_t{counts.ids} + 1);
  l.key_of_at = l.base_at + 4 * uint64_t{counts.base};
  if (l.key_of_at + 4 * uint64_t{counts.records} != bytes) return false;
  l.bytes = bytes;
  layout_ = l;
  attached_ = std::move(stored);
  return true;
}

uint32_t ColumnIndex::StoredU32(uint64_t at) const {
  uint32_t v = 0;
  attached_->Read(at, &v, sizeof(v));
  return v;
}

std::string ColumnIndex::StoredKeyText(uint32_t id) const {
  const uint32_t begin = StoredU32(layout_.key_start_at + 4 * uint64_t{id});
  const uint32_t end = StoredU32(layout_.key_start_at + 4 * (uint64_t{id} + 1));
  if (begin > end || end > layout_.arena) throw Unreadable("key outside the stored keys");
  std::string text(end - begin, '\0');
  if (!text.empty()) attached_->Read(layout_.arena_at + begin, text.data(), text.size());
  return text;
}

uint32_t ColumnIndex::StoredIdOf(std::string_view key) const {
  const size_t mask = layout_.slots - 1;
  size_t i = Hash(key) & mask;
  for (uint32_t probes = 0; probes < layout_.slots; ++probes, i = (i + 1) & mask) {
    const uint32_t slot = StoredU32(layout_.slots_at + 4 * uint64_t{i});
    if (slot == 0) return kNoKey;
    if (slot > layout_.ids) throw Unreadable("slot names no stored key");
    const uint32_t id = slot - 1;
    const uint32_t begin = StoredU32(layout_.key_start_at + 4 * uint64_t{id});
    const uint32_t end = StoredU32(layout_.key_start_at + 4 * (uint64_t{id} + 1));
    if (begin > end || end > layout_.arena) throw Unreadable("key outside the stored keys");
    if (end - begin != key.size()) continue;
    if (StoredKeyText(id) == key) return id;
  }
  throw Unreadable("no empty slot in the stored keys");
}

uint32_t ColumnIndex::StoredKeyOf(uint32_t rec) const {
  if (rec >= layout_.records) return kNoKey;
  const uint32_t id = StoredU32(layout_.key_of_at + 4 * uint64_t{rec});
  if (id >= layout_.ids && id != kNoKey) throw Unreadable("record names no stored key");
  return id;
}

uint32_t ColumnIndex::AttachedKeyOfRecord(uint32_t rec) const {
  const auto it = changed_key_.find(rec);
  return it != changed_key_.end() ? it->second : StoredKeyOf(rec);
}

std::vector<uint32_t> ColumnIndex::StoredList(uint32_t id) const {
  const uint32_t begin = StoredU32(layout_.base_start_at + 4 * uint64_t{id});
  const uint32_t end = StoredU32(layout_.base_start_at + 4 * (uint64_t{id} + 1));
  if (begin > end || end > layout_.base) throw Unreadable("list outside the stored lists");
  std::vector<uint32_t> list(end - begin);
  if (!list.empty()) {
    attached_->Read(layout_.base_at + 4 * uint64_t{begin}, list.data(), list.size() * 4);
  }
  for (uint32_t rec : list) {
    if (rec >= layout_.records) throw Unreadable("list names no stored record");
  }
  return list;
}

void ColumnIndex::ReadWhole() {
  if (!attached_) return;
  const std::shared_ptr<Stored> stored = attached_;
  const Layout layout = layout_;
  // The keys the changes gave, as texts: the ids change with the reading.
  std::vector<std::pair<uint32_t, Key>> changes;
  std::vector<std::string> texts;
  texts.reserve(changed_key_.size());
  for (const auto& [rec, id] : changed_key_) {
    if (id == kNoKey) {
      changes.emplace_back(rec, std::nullopt);
      continue;
    }
    texts.push_back(id < layout.ids ? StoredKeyText(id) : new_keys_[id - layout.ids]);
    changes.emplace_back(rec, std::string_view());
  }
  size_t t = 0;
  for (auto& [rec, key] : changes) {
    if (key) key = texts[t++];
  }
  std::sort(changes.begin(), changes.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  uint64_t at = 0;
  const bool whole = Load(
      [&](void* into, size_t n) {
        stored->Read(at, into, n);
        at += n;
        return true;
      },
      layout.bytes);
  if (!whole) throw Unreadable("the stored arrays do not add up");
  for (const auto& [rec, key] : changes) Set(rec, key);
}

}  // namespace platform::db
