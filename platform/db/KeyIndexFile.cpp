// The file is the ColumnIndex's arrays behind a head that says what table
// they were taken from, and a sample of its records. All numbers are in the
// byte order of the machine that wrote them; a file of another order fails
// the head's check of it and is built anew.
#include "platform/db/KeyIndexFile.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <unordered_map>
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
  uint64_t checksum;  // of the page sums behind the body
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

constexpr size_t kPage = 4096;

// The sums of the body's pages, each of kPage bytes (the last one shorter):
// a page is checked when it is read, so that a lookup reads and checks a few
// pages of a file of tens of megabytes.
class PageSums {
 public:
  void Add(const void* data, size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
      const size_t take = std::min(n, kPage - fill_);
      page_.Add(p, take);
      fill_ += take;
      p += take;
      n -= take;
      if (fill_ == kPage) End();
    }
  }
  std::vector<uint64_t> Finish() {
    if (fill_ > 0) End();
    return std::move(sums_);
  }

 private:
  void End() {
    sums_.push_back(page_.Value());
    page_ = StreamHash();
    fill_ = 0;
  }
  StreamHash page_;
  size_t fill_ = 0;
  std::vector<uint64_t> sums_;
};

// The body of an index file, read where it lies, page by page, each page
// checked against its sum; a few pages are kept for the small reads of a
// lookup (a slot, a key's place).
class FileStored : public ColumnIndex::Stored {
 public:
  FileStored(std::unique_ptr<env::File> file, uint64_t body_at, uint64_t body_bytes,
             std::vector<uint64_t> sums, uint64_t offset)
      : file_(std::move(file)),
        body_at_(body_at),
        body_bytes_(body_bytes),
        sums_(std::move(sums)),
        offset_(offset) {}

  // Reads from here on count from `offset` of the body.
  void StartAt(uint64_t offset) { offset_ = offset; }

  // Reads from the body, `offset` counted from the place given.
  void Read(uint64_t offset, void* into, size_t n) override {
    uint64_t at = offset_ + offset;
    if (at + n > body_bytes_ || at + n < at) throw ColumnIndex::Unreadable("past the end");
    auto* out = static_cast<unsigned char*>(into);
    try {
      if (n > kPage) {
        // A long list: its pages read at once and checked one by one.
        const uint64_t first = at / kPage;
        const uint64_t last = (at + n - 1) / kPage;
        std::vector<unsigned char> pages(static_cast<size_t>(
            std::min<uint64_t>((last + 1) * kPage, body_bytes_) - first * kPage));
        if (!file_->ReadExactly(body_at_ + first * kPage, pages.data(), pages.size())) {
          throw ColumnIndex::Unreadable("cut short");
        }
        fetched_ += pages.size();
        for (uint64_t page = first; page <= last; ++page) {
          const size_t from = static_cast<size_t>((page - first) * kPage);
          Check(page, pages.data() + from, std::min(kPage, pages.size() - from));
        }
        std::memcpy(out, pages.data() + (at - first * kPage), n);
        return;
      }
      while (n > 0) {
        const uint64_t page = at / kPage;
        const size_t in_page = static_cast<size_t>(at % kPage);
        const size_t take = std::min(n, kPage - in_page);
        const std::vector<unsigned char>& bytes = Page(page);
        if (in_page + take > bytes.size()) throw ColumnIndex::Unreadable("cut short");
        std::memcpy(out, bytes.data() + in_page, take);
        out += take;
        at += take;
        n -= take;
      }
    } catch (const env::EnvError& e) {
      throw ColumnIndex::Unreadable(e.what());
    }
  }

  uint64_t Fetched() const override { return fetched_; }

 private:
  static constexpr size_t kPagesKept = 256;
  void Check(uint64_t page, const unsigned char* bytes, size_t n) const {
    StreamHash sum;
    sum.Add(bytes, n);
    if (page >= sums_.size() || sum.Value() != sums_[page]) {
      throw ColumnIndex::Unreadable("a page does not add up to its sum");
    }
  }
  const std::vector<unsigned char>& Page(uint64_t page) {
    const auto it = pages_.find(page);
    if (it != pages_.end()) return it->second;
    if (pages_.size() >= kPagesKept) pages_.clear();
    std::vector<unsigned char> bytes(
        static_cast<size_t>(std::min<uint64_t>(kPage, body_bytes_ - page * kPage)));
    if (!file_->ReadExactly(body_at_ + page * kPage, bytes.data(), bytes.size())) {
      throw ColumnIndex::Unreadable("cut short");
    }
    fetched_ += bytes.size();
    Check(page, bytes.data(), bytes.size());
    return pages_.emplace(page, std::move(bytes)).first->second;
  }
  std::unique_ptr<env::File> file_;
  uint64_t body_at_;
  uint64_t body_bytes_;
  std::vector<uint64_t> sums_;
  uint64_t offset_;
  std::unordered_map<uint64_t, std::vector<unsigned char>> pages_;
  uint64_t fetched_ = 0;
};

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
        head.body_bytes < head.samples * sizeof(Sample) || head.body_bytes > file->Size()) {
      return false;
    }
    // The page sums lie behind the body and add up to the head's checksum;
    // each page is checked against its sum when it is read.
    const uint64_t pages = (head.body_bytes + kPage - 1) / kPage;
    if (file->Size() != sizeof(Head) + head.body_bytes + pages * sizeof(uint64_t)) return false;
    std::vector<uint64_t> sums(static_cast<size_t>(pages));
    if (!sums.empty() && !file->ReadExactly(sizeof(Head) + head.body_bytes, sums.data(),
                                            sums.size() * sizeof(uint64_t))) {
      return false;
    }
    {
      StreamHash sum;
      sum.Add(sums.data(), sums.size() * sizeof(uint64_t));
      if (sum.Value() != head.checksum) return false;
    }
    std::vector<Sample> samples(head.samples);
    const uint64_t samples_bytes = samples.size() * sizeof(Sample);
    auto stored = std::make_shared<FileStored>(std::move(file), sizeof(Head), head.body_bytes,
                                               std::move(sums), 0);
    if (!samples.empty()) stored->Read(0, samples.data(), samples_bytes);
    const uint32_t count = table.RecordCount();
    const std::vector<uint32_t> wanted = SampleRecords(count);
    if (samples.size() != wanted.size()) return false;
    for (size_t i = 0; i < samples.size(); ++i) {
      if (samples[i].rec != wanted[i] ||
          samples[i].hash != HashOf(table.RecordBytes(samples[i].rec))) {
        return false;
      }
    }
    // The arrays stay where they are and are read as lookups need them.
    stored->StartAt(samples_bytes);
    if (!index.Attach(stored, head.body_bytes - samples_bytes)) return false;
    for (const Sample& s : samples) {
      if (index.KeyOf(s.rec) != s.key_id || !KeyMatches(index, s.rec, key_of(s.rec))) {
        index.Reset(0);
        return false;
      }
    }
    return true;
  } catch (const env::EnvError&) {
  } catch (const dbase::DbaseError&) {
  } catch (const ColumnIndex::Unreadable&) {
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
    PageSums sums;
    uint64_t at = sizeof(Head);
    // Written in pieces of about a megabyte rather than call by call.
    std::vector<char> buffer;
    const auto flush = [&] {
      file->WriteAt(at, buffer.data(), buffer.size());
      at += buffer.size();
      buffer.clear();
    };
    const auto write = [&](const void* data, size_t n) {
      sums.Add(data, n);
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
    const std::vector<uint64_t> page_sums = sums.Finish();
    if (!page_sums.empty()) {
      file->WriteAt(at, page_sums.data(), page_sums.size() * sizeof(uint64_t));
    }
    StreamHash sum;
    sum.Add(page_sums.data(), page_sums.size() * sizeof(uint64_t));
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
