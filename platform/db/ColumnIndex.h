// An in-memory equality index over one column of a table: for each value,
// the numbers of the records that hold it, in record order. Kept up to date
// record by record as the driver changes them; rebuilt from scratch when the
// table was reloaded from disk. No index file is ever written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::db {

class ColumnIndex {
 public:
  static constexpr uint32_t kNoKey = 0xFFFFFFFFu;

  // Starts over for a table of `records` records, all without a key.
  void Reset(uint32_t records);
  // Gives record `rec` the key (or none, for a null value or a deleted
  // record). Records beyond the current size extend the index.
  void Set(uint32_t rec, const std::string* key);
  // The records that hold `key`, ascending; null when there are none. The
  // pointer stays valid until the next Set or Reset.
  const std::vector<uint32_t>* Find(std::string_view key);
  // The key id of a record and of a key, for checking further equalities of
  // one lookup against this column without copying lists.
  uint32_t KeyOf(uint32_t rec) const { return rec < key_of_.size() ? key_of_[rec] : kNoKey; }
  uint32_t IdOf(std::string_view key) const;

 private:
  void Compact(uint32_t id);

  std::unordered_map<std::string, uint32_t> ids_;
  std::vector<std::vector<uint32_t>> postings_;  // may hold stale and unordered entries
  std::vector<uint32_t> live_;                   // entries of postings_ that are current
  std::vector<char> unsorted_;
  std::vector<uint32_t> key_of_;
};

}  // namespace platform::db
