// An in-memory equality index over one column of a table: for each value,
// the numbers of the records that hold it, in record order. Built in one
// pass over the records, kept up to date record by record as the driver
// changes them, and built anew when the table was reloaded from disk. Its
// arrays can be written out and read back (KeyIndexFile keeps them beside a
// large table), so that a process need not read every record to find one.
//
// The index holds no object per record or per key: keys are interned into
// one byte arena and found through an open-addressing table of key ids,
// and the lists of the build lie end to end in one array. A 1,000,000-row
// table with a key per record costs some 35 MB.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform::db {

class ColumnIndex {
 public:
  static constexpr uint32_t kNoKey = 0xFFFFFFFFu;
  using Key = std::optional<std::string_view>;

  // Starts over for a table of `records` records, all without a key.
  void Reset(uint32_t records);
  // Starts over with the keys of `records` records: key_of(rec) gives the
  // key of each (nothing for a null value or a deleted record); the view
  // need last only until the next call.
  template <class KeyOf>
  void Build(uint32_t records, KeyOf&& key_of) {
    Reset(records);
    in_build_ = true;
    // The first records tell whether the keys are about as many as the
    // records (identifiers) or few (a status): room for all of them is then
    // made at once, so the tables are not copied while they grow.
    constexpr uint32_t kSample = 4096;
    uint32_t rec = 0;
    for (; rec < records && rec < kSample; ++rec) Count(rec, key_of(rec));
    if (rec == kSample && ids() > kSample / 2) {
      Expect(records, arena_.size() / std::max<size_t>(ids(), 1) + 1);
      // With a key per record, finding each key's slot in a table far larger
      // than the cache is a miss to memory: the hash of a record a few
      // places ahead is taken, and its slot fetched, while this one is put in.
      constexpr uint32_t kAhead = 8;
      size_t hashes[kAhead];
      for (uint32_t r = rec; r < records && r < rec + kAhead; ++r)
        hashes[r % kAhead] = Announce(key_of(r));
      for (; rec < records; ++rec) {
        const size_t hash = hashes[rec % kAhead];
        if (rec + kAhead < records) hashes[rec % kAhead] = Announce(key_of(rec + kAhead));
        Count(rec, key_of(rec), hash);
      }
    }
    for (; rec < records; ++rec) Count(rec, key_of(rec));
    LayOutLists();
  }
  // Gives record `rec` the key (or none, for a null value or a deleted
  // record). Records beyond the current size extend the index.
  void Set(uint32_t rec, Key key);
  // The records that hold `key`, ascending; empty when there are none. The
  // span stays valid until the next Set, Reset or Build.
  std::span<const uint32_t> Find(std::string_view key);
  // The key id of a record and of a key, for checking further equalities of
  // one lookup against this column without copying lists.
  uint32_t KeyOf(uint32_t rec) const {
    if (attached_) return AttachedKeyOfRecord(rec);
    return rec < key_of_.size() ? key_of_[rec] : kNoKey;
  }
  uint32_t IdOf(std::string_view key) const;

  // The index's arrays, one after the other, each handed to `write`; the
  // lists as a build lays them out, whatever changed since.
  void Save(const std::function<void(const void*, size_t)>& write) const;
  // Takes the arrays Save wrote from `read` (which fills the bytes asked
  // for, or answers false). Every number is checked against the others, so
  // that damaged arrays are refused rather than read out of bounds: false,
  // and the index is then empty. Whether the lists are those of the table
  // is the caller's to check.
  // `bytes` is what Save wrote, as far as the caller knows: arrays that
  // would not fit in it are not even asked for.
  bool Load(const std::function<bool(void*, size_t)>& read, uint64_t bytes);
  // A fingerprint of the hash function: arrays saved under another one
  // (another word size, another library) are no index here.
  static uint64_t HashProbe();

  // The arrays Save wrote, where they lie (a file), reached piece by piece.
  class Stored {
   public:
    virtual ~Stored() = default;
    // Fills `into` with `n` bytes from `offset` of what Save wrote; throws
    // Unreadable when it cannot.
    virtual void Read(uint64_t offset, void* into, size_t n) = 0;
    // How many bytes the reads so far took from where the arrays lie (not
    // from a cache of its own).
    virtual uint64_t Fetched() const { return 0; }
  };
  // A stored index whose numbers turn out not to add up, or that cannot be
  // read any more: whoever holds the index builds it from the records.
  class Unreadable : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };
  // Takes the saved arrays of `bytes` bytes as they are needed instead of
  // reading them whole: a lookup in a million keys reads a few pieces. The
  // numbers are checked as they are read (Unreadable when they do not add
  // up); changes are kept in memory on top of them, and once they grow
  // large, or the lookups have fetched as much as the arrays hold (many
  // lookups spread over them), the arrays are read whole. False when the counts do not add up
  // to `bytes`.
  bool Attach(std::shared_ptr<Stored> stored, uint64_t bytes);
  bool Attached() const { return attached_ != nullptr; }

 private:
  std::string_view KeyText(uint32_t id) const {
    return std::string_view(arena_).substr(key_start_[id], key_start_[id + 1] - key_start_[id]);
  }
  size_t ids() const { return key_start_.size() - 1; }
  // In a build: gives the record its key and counts it in list_start_.
  void Count(uint32_t rec, Key key) {
    if (key) Count(rec, *key, Hash(*key));
  }
  void Count(uint32_t rec, Key key, size_t hash) {
    if (!key) return;
    const uint32_t id = Intern(*key, hash);
    key_of_[rec] = id;
    ++base_start_[id + 1];
  }
  // The hash of a key that is about to be put in; its slot is fetched into
  // the cache meanwhile.
  size_t Announce(Key key) const {
    if (!key) return 0;
    const size_t hash = Hash(*key);
    __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
    return hash;
  }
  static size_t Hash(std::string_view key);
  // Makes room for `keys` keys of about `length` bytes.
  void Expect(size_t keys, size_t length);
  // The per-key state of changes, made on the first change after a build.
  void StartChanges();
  uint32_t Intern(std::string_view key) { return Intern(key, Hash(key)); }
  uint32_t Intern(std::string_view key, size_t hash);
  void Rehash(size_t slots);
  void LayOutLists();
  void Compact(uint32_t id);

  // Keys: the bytes of key id i are arena_[key_start_[i], key_start_[i + 1]).
  std::string arena_;
  std::vector<uint32_t> key_start_{0};
  std::vector<uint32_t> slots_;  // id + 1, or 0 for an empty slot; a power of two long
  // Lists: the build's lists end to end, list i at base_[base_start_[i],
  // base_start_[i + 1]), given up for extra_ once the key's records changed;
  // keys that came later have their list in extra_ alone. While a build
  // runs, base_start_[i + 1] counts the records of key i.
  std::vector<uint32_t> base_start_{0};
  std::vector<uint32_t> base_;
  std::vector<char> in_extra_;
  // Lists of keys whose records changed after the build; they may hold
  // stale and unordered entries until they are next read.
  std::unordered_map<uint32_t, std::vector<uint32_t>> extra_;
  std::vector<char> unsorted_;
  // Made by the first change after a build (until then every list of the
  // build is whole): records that hold each key.
  std::vector<uint32_t> live_;
  std::vector<uint32_t> key_of_;  // the key id of each record
  bool in_build_ = false;

  // Attached (Attach): the stored arrays, and the changes since on top.
  struct Layout {
    uint32_t records = 0, ids = 0, arena = 0, slots = 0, base = 0;
    uint64_t arena_at = 0, key_start_at = 0, slots_at = 0, base_start_at = 0, base_at = 0,
             key_of_at = 0, bytes = 0;
  };
  uint32_t StoredU32(uint64_t at) const;
  uint32_t StoredIdOf(std::string_view key) const;
  uint32_t StoredKeyOf(uint32_t rec) const;
  uint32_t AttachedKeyOfRecord(uint32_t rec) const;
  std::vector<uint32_t> StoredList(uint32_t id) const;
  std::string StoredKeyText(uint32_t id) const;
  // Reads the stored arrays whole into this index, the changes applied.
  void ReadWhole();
  std::shared_ptr<Stored> attached_;
  Layout layout_;
  std::unordered_map<uint32_t, uint32_t> changed_key_;          // record -> key id now
  std::unordered_map<uint32_t, std::vector<uint32_t>> gained_;  // key id -> records since
  std::unordered_map<std::string, uint32_t> new_ids_;           // keys not stored
  std::vector<std::string> new_keys_;                           // their texts, by id - ids
  std::vector<uint32_t> answer_;                                // the last Find's list
};

}  // namespace platform::db
