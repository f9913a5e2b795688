// The file is the ColumnIndex's arrays behind a head that says what table
// they were taken from, and a sample of its records. All numbers are in the
// byte order of the machine that wrote them; a file of another order fails
// the head's check of it and is built anew.
#include "platform/db/KeyIndexFile.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/env/Env.h"
#include "platform/env/Path.h"

namespace platform::db::key_index {
namespace {

std::atomic<uint32_t> g_min_records{50000};

constexpr char kMagic[8] = {'V', 'N', 'D', 'R', 'V', 'K', 'X', '1'};
constexpr uint32_t kByteOrder = 0x01020304;
// A change of the table within this time of its modification time might
// not move it: an index written so soon after is not trusted.
constexpr int64_t kMtimeSlackNs = 1000000000;
constexpr uint32_t kSpreadSamples = 32;
constexpr uint32_t kLastSamples = 8;

struct Head {
  char magic[8];
  uint32_t byte_order;
  uint32_t samples;
  uint64_t hash_probe;
  uint64_t checksum;  // of everything behind the head
  uint64_t body_bytes;
  int64_t table_size;
  int64_t table_mtime_ns;
  int64_t written_ns;
  uint32_t record_length;
  uint32_t field;
  char field_name[12];
  char field_type;
  char kind[7];
  uint32_t field_length;
  uint32_t field_offset;
  unsigned char table_header[32];
  uint32_t reserved;  // no padding: every byte of the head is written as set
};
static_assert(sizeof(Head) == 136);

struct Sample {
  uint32_t rec;
  uint32_t key_id;
  uint64_t hash;
};

// A hash of a byte stream that does not depend on how the stream is cut
// into pieces: four lanes of eight-byte words, so that checking tens of
// megabytes costs a few milliseconds.
class StreamHash {
 public:
  void Add(const void* data, size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0 && fill_ > 0) {
      pending_[fill_++] = *p++;
      --n;
      if (fill_ == sizeof(pending_)) {
        Block(pending_);
        fill_ = 0;
      }
    }
    for (; n >= sizeof(pending_); n -= sizeof(pending_), p += sizeof(pending_)) Block(p);
    while (n > 0) {
      pending_[fill_++] = *p++;
      --n;
    }
  }
  uint64_t Value() const {
    uint64_t h = total_ * kMul;
    for (uint64_t lane : lanes_) h = Mix(h ^ lane);
    for (size_t i = 0; i < fill_; ++i) h = Mix(h ^ pending_[i]);
    return h;
  }

 private:
  static constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
  static uint64_t Mix(uint64_t h) {
    h *= kMul;
    return h ^ (h >> 31);
  }
  void Block(const unsigned char* p) {
    for (int lane = 0; lane < 4; ++lane) {
      uint64_t w;
      std::memcpy(&w, p + lane * 8, 8);
      lanes_[lane] = Mix(lanes_[lane] ^ w) + static_cast<uint64_t>(lane);
    }
    total_ += sizeof(pending_);
  }
  uint64_t lanes_[4] = {1, 2, 3, 4};
  uint64_t total_ = 0;
  unsigned char pending_[32] = {};
  size_t fill_ = 0;
};

uint64_t HashOf(std::string_view bytes) {
  StreamHash h;
  h.Add(bytes.data(), bytes.size());
  return h.Value() ^ bytes.size();
}

std::vector<uint32_t> SampleRecords(uint32_t count) {
  std::vector<uint32_t> recs;
  if (count == 0) return recs;
  for (uint32_t i = 0; i < kSpreadSamples; ++i) {
    recs.push_back(static_cast<uint32_t>(uint64_t{count - 1} * i / (kSpreadSamples - 1)));
  }
  for (uint32_t i = 0; i < kLastSamples && i < count; ++i) recs.push_back(count - 1 - i);
  std::sort(recs.begin(), recs.end());
  recs.erase(std::unique(recs.begin(), recs.end()), recs.end());
  return recs;
}

// The head a file of this table and field must have, the checksum, body
// size, written time and sample count apart.
std::optional<Head> ExpectedHead(const dbase::DbfFile& table, int field, std::string_view kind) {
  const std::optional<dbase::DbfFile::DiskState> state = table.CurrentDiskState();
  if (!state || state->header.size() != 32 || kind.size() >= sizeof(Head::kind))
    return std::nullopt;
  const dbase::Field& f = table.Fields()[static_cast<size_t>(field)];
  Head h;
  std::memset(&h, 0, sizeof(h));
  std::memcpy(h.magic, kMagic, sizeof(kMagic));
  h.byte_order = kByteOrder;
  h.hash_probe = ColumnIndex::HashProbe();
  h.table_size = state->size;
  h.table_mtime_ns = state->mtime_ns;
  h.record_length = state->record_length;
  h.field = static_cast<uint32_t>(field);
  std::memcpy(h.field_name, f.name.data(), std::min(f.name.size(), sizeof(h.field_name)));
  h.field_type = f.type;
  std::memcpy(h.kind, kind.data(), kind.size());
  h.field_length = static_cast<uint32_t>(f.length);
  h.field_offset = static_cast<uint32_t>(f.offset);
  std::memcpy(h.table_header, state->header.data(), 32);
  return h;
}

bool SameTable(const Head& a, const Head& b) {
  return std::memcmp(a.magic, b.magic, sizeof(a.magic)) == 0 && a.byte_order == b.byte_order &&
         a.hash_probe == b.hash_probe && a.table_size == b.table_size &&
         a.table_mtime_ns == b.table_mtime_ns && a.record_length == b.record_length &&
         a.field == b.field && std::memcmp(a.field_name, b.field_name, sizeof(a.field_name)) == 0 &&
         a.field_type == b.field_type && std::memcmp(a.kind, b.kind, sizeof(a.kind)) == 0 &&
         a.field_length == b.field_length && a.field_offset == b.field_offset &&
         std::memcmp(a.table_header, b.table_header, sizeof(a.table_header)) == 0;
}

// Whether the index gives the record the key it has.
bool KeyMatches(const ColumnIndex& index, uint32_t rec, const std::optional<std::string>& key) {
  return index.KeyOf(rec) == (key ? index.IdOf(*key) : ColumnIndex::kNoKey);
}

}  // namespace

uint32_t MinRecords() {
  return g_min_records.load();
}

void SetMinRecords(uint32_t records) {
  g_min_records.store(records);
}

std::string PathFor(const dbase::DbfFile& table, int field) {
  return table.Path() + "." + table.Fields()[static_cast<size_t>(field)].name + ".vkx";
}

bool Load(const dbase::DbfFile& table, int field, std::string_view kind, const KeyOfRecord& key_of,
          ColumnIndex& index) {
  index.Reset(0);
  const std::optional<Head> expected = ExpectedHead(table, field, kind);
  if (!expected) return false;
  env::Env& env = table.Environment();
  try {
    const std::string path = PathFor(table, field);
    if (!env.Stat(path)) return false;
    std::unique_ptr<env::File> file = env.Open(path, env::OpenMode::kRead);
    Head head{};
    if (!file->ReadExactly(0, &head, sizeof(head)) || !SameTable(head, *expected) ||
        head.table_mtime_ns + kMtimeSlackNs >= head.written_ns ||
        head.samples > kSpreadSamples + kLastSamples ||
        file->Size() != sizeof(Head) + head.body_bytes) {
      return false;
    }
    uint64_t at = sizeof(Head);
    StreamHash sum;
    const auto read = [&](void* into, size_t n) {
      if (at + n > sizeof(Head) + head.body_bytes || !file->ReadExactly(at, into, n)) return false;
      sum.Add(into, n);
      at += n;
      return true;
    };
    std::vector<Sample> samples(head.samples);
    if (!samples.empty() && !read(samples.data(), samples.size() * sizeof(Sample))) return false;
    const uint32_t count = table.RecordCount();
    const std::vector<uint32_t> wanted = SampleRecords(count);
    if (samples.size() != wanted.size()) return false;
    for (size_t i = 0; i < samples.size(); ++i) {
      if (samples[i].rec != wanted[i] ||
          samples[i].hash != HashOf(table.RecordBytes(samples[i].rec))) {
        return false;
      }
    }
    if (!index.Load(read, sizeof(Head) + head.body_bytes - at)) return false;
    if (at != sizeof(Head) + head.body_bytes || sum.Value() != head.checksum) {
      index.Reset(0);
      return false;
    }
    for (const Sample& s : samples) {
      if (index.KeyOf(s.rec) != s.key_id || !KeyMatches(index, s.rec, key_of(s.rec))) {
        index.Reset(0);
        return false;
      }
    }
    return true;
  } catch (const env::EnvError&) {
  } catch (const dbase::DbaseError&) {
  } catch (const std::bad_alloc&) {
  }
  index.Reset(0);
  return false;
}

bool Save(const dbase::DbfFile& table, int field, std::string_view kind, const KeyOfRecord& key_of,
          const ColumnIndex& index) noexcept {
  std::unique_ptr<env::File> file;
  std::string temporary;
  env::Env& env = table.Environment();
  try {
    std::optional<Head> head = ExpectedHead(table, field, kind);
    if (!head) return false;
    head->written_ns = env.WallNs();
    if (head->table_mtime_ns + kMtimeSlackNs >= head->written_ns) return false;
    std::vector<Sample> samples;
    for (uint32_t rec : SampleRecords(table.RecordCount())) {
      const std::optional<std::string> key = key_of(rec);
      if (!KeyMatches(index, rec, key)) return false;  // not the index of these records
      samples.push_back({rec, index.KeyOf(rec), HashOf(table.RecordBytes(rec))});
    }
    head->samples = static_cast<uint32_t>(samples.size());
    const std::string path = PathFor(table, field);
    file = env.CreateTemporary(env::FolderOf(path), "." + env::NameOf(path) + ".");
    temporary = file->Path();
    StreamHash sum;
    uint64_t at = sizeof(Head);
    // Written in pieces of about a megabyte rather than call by call.
    std::vector<char> buffer;
    const auto flush = [&] {
      file->WriteAt(at, buffer.data(), buffer.size());
      at += buffer.size();
      buffer.clear();
    };
    const auto write = [&](const void* data, size_t n) {
      sum.Add(data, n);
      const auto* p = static_cast<const char*>(data);
      if (n >= (size_t{1} << 20)) {
        if (!buffer.empty()) flush();
        file->WriteAt(at, p, n);
        at += n;
        return;
      }
      buffer.insert(buffer.end(), p, p + n);
      if (buffer.size() >= (size_t{1} << 20)) flush();
    };
    if (!samples.empty()) write(samples.data(), samples.size() * sizeof(Sample));
    index.Save(write);
    if (!buffer.empty()) flush();
    head->body_bytes = at - sizeof(Head);
    head->checksum = sum.Value();
    file->WriteAt(0, &*head, sizeof(Head));
    file->SetMode(env.DefaultFileMode());
    file.reset();
    env.Rename(temporary, path);
    return true;
  } catch (...) {
  }
  file.reset();
  if (!temporary.empty()) {
    try {
      env.Remove(temporary);
    } catch (...) {
    }
  }
  return false;
}

void RemoveFor(env::Env& env, const std::string& table_path) noexcept {
  try {
    const std::string folder = env::FolderOf(table_path);
    const std::string name = env::NameOf(table_path);
    for (const std::string& entry : env.ListFolder(folder)) {
      // The table's own "T.dbf.K.vkx" and a temporary ".T.dbf.K.vkx.XXXXXX".
      const bool own = entry.size() > name.size() + 4 &&
                       entry.compare(0, name.size() + 1, name + ".") == 0 &&
                       entry.compare(entry.size() - 4, 4, ".vkx") == 0;
      const bool temporary = entry.compare(0, name.size() + 2, "." + name + ".") == 0 &&
                             entry.find(".vkx.") != std::string::npos;
      if (!own && !temporary) continue;
      try {
        env.Remove(env::JoinPath(folder, entry));
      } catch (const env::EnvError&) {
      }
    }
  } catch (...) {
  }
}

}  // namespace platform::db::key_index
