// The codec keeps all records of a table in memory between statements and
// compares the file's fingerprint at the start of each statement: reloading
// 100,000 records costs a few milliseconds, and point lookups then need no
// I/O at all. Changes collect in memory until Commit, which is the only
// place that writes the .dbf (memo blocks go to the .dbt at once, before the
// record that points at them).
#include "platform/dbase/DbfFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/text/Encoding.h"

namespace platform::dbase {
namespace {

constexpr unsigned char kHeaderEnd = 0x0D;
constexpr unsigned char kEofMark = 0x1A;
constexpr unsigned char kMemoEnd3 = 0x1A;
constexpr unsigned char kMemoEnd4 = 0x1F;
// The header's bytes 16 to 27 are reserved for multi-user dBase; this
// driver keeps a change count in 16-19 and the place of an undo block in
// 20-23. Byte 14 is dBase IV's "incomplete transaction" flag.
constexpr int kChangeCountOffset = 16;
constexpr int kIncompleteFlagAt = 14;
constexpr int kUndoOffsetAt = 20;
constexpr int kUndoFlagBytes = kUndoOffsetAt + 4 - kIncompleteFlagAt;
constexpr char kUndoMagic[4] = {'V', 'U', 'N', 'D'};
constexpr uint64_t kPage = 4096;
constexpr uint32_t kMaxUncounted = 65536;  // uncounted records looked for behind the counted ones
constexpr uint64_t kMaxMemo = 16u << 20;   // longer memos are taken for garbled files
constexpr uint32_t kMaxRecordLength = 65535;

int g_lock_timeout_ms = 10000;

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Le16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
void PutLe32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}
void PutLe16(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

std::string Errno() {
  return std::strerror(errno);
}

// FNV-1a, enough to tell a whole undo block from a cut one.
uint32_t Checksum(const unsigned char* p, size_t n) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

// Reads exactly `n` bytes at `offset`; false on a short read or an error.
bool ReadAt(int fd, void* buf, size_t n, off_t offset) {
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    const ssize_t r = ::pread(fd, p, n, offset);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
    offset += r;
  }
  return true;
}

bool WriteAt(int fd, const void* buf, size_t n, off_t offset) {
  const auto* p = static_cast<const char*>(buf);
  while (n > 0) {
    const ssize_t r = ::pwrite(fd, p, n, offset);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
    offset += r;
  }
  return true;
}

std::string Hex(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof(buf), "0x%02X", v);
  return buf;
}

std::string Printable(std::string_view raw) {
  std::string out;
  for (char c : raw) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F) {
      out.push_back(c);
    } else {
      out += "\\x" + Hex(b).substr(2);
    }
  }
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && Upper(a) == Upper(b);
}

std::string Stem(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    return path.substr(0, dot);
  }
  return path;
}

// The memo file beside a table: stem + ".dbt" in any letter case.
std::string FindMemoFile(const std::string& dbf_path) {
  const std::string stem = Stem(dbf_path);
  for (const char* ext : {".dbt", ".DBT"}) {
    struct stat st;
    if (::stat((stem + ext).c_str(), &st) == 0) return stem + ext;
  }
  const size_t slash = stem.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : stem.substr(0, slash);
  const std::string want = (slash == std::string::npos ? stem : stem.substr(slash + 1)) + ".dbt";
  DIR* d = ::opendir(dir.c_str());
  if (!d) return {};
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (EqualNoCase(e->d_name, want)) {
      found = dir + "/" + e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

void TodayInto(unsigned char* ymd) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  ymd[0] = static_cast<unsigned char>(tm.tm_year);  // years since 1900
  ymd[1] = static_cast<unsigned char>(tm.tm_mon + 1);
  ymd[2] = static_cast<unsigned char>(tm.tm_mday);
}

constexpr int64_t kMtimeSlackNs = 1000000000;

int64_t WallNs() {
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string FieldTypeText(const Field& f) {
  std::string s(1, f.type);
  s += "(" + std::to_string(f.length);
  if (f.type == 'N' || f.type == 'F') s += "," + std::to_string(f.decimals);
  return s + ")";
}

// Checks a field's type and size; empty when it is fine.
std::string CheckField(char type, int length, int decimals) {
  switch (type) {
    case 'C':
      if (length < 1 || length > 254) return "a character field holds 1 to 254 characters";
      return {};
    case 'N':
    case 'F':
      if (length < 1 || length > 20) return "a numeric field is 1 to 20 characters wide";
      if (decimals < 0 || (decimals > 0 && decimals > length - 2) || decimals > 15) {
        return "a numeric field of width " + std::to_string(length) + " cannot have " +
               std::to_string(decimals) + " decimals";
      }
      return {};
    case 'D':
      if (length != 8) return "a date field is 8 characters wide";
      return {};
    case 'L':
      if (length != 1) return "a logical field is 1 character wide";
      return {};
    case 'M':
      if (length != 10) return "a memo field is 10 characters wide";
      return {};
    default:
      return "unknown field type '" + Printable(std::string_view(&type, 1)) + "'";
  }
}

bool ParseNumber(std::string_view s, bool want_integer, int64_t& i, double& d, bool& is_int) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || c == '-' || c == '.' || c == 'e' || c == 'E')) return false;
  }
  if (want_integer && s.find_first_of(".eE") == std::string_view::npos) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), i);
    if (ec == std::errc() && p == s.data() + s.size()) {
      is_int = true;
      return true;
    }
  }
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (ec != std::errc() || p != s.data() + s.size() || !std::isfinite(d)) return false;
  is_int = false;
  if (want_integer && d == std::floor(d) && std::fabs(d) < 9.0e18) {
    i = static_cast<int64_t>(d);
    is_int = true;
  }
  return true;
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

void DbfFile::SetLockTimeoutMs(int ms) {
  g_lock_timeout_ms = ms;
}

std::unique_ptr<DbfFile> DbfFile::Open(const std::string& path, bool writable) {
  std::unique_ptr<DbfFile> f(new DbfFile());
  f->path_ = path;
  f->writable_ = writable;
  f->OpenFiles();
  f->BeginRead();
  f->EndRead();
  return f;
}

DbfFile::~DbfFile() {
  CloseFiles();
}

void DbfFile::Fail(const std::string& what) const {
  throw DbaseError(path_ + ": " + what);
}

std::string DbfFile::Where(uint32_t rec, int field) const {
  std::string s = path_ + ", record " + std::to_string(static_cast<uint64_t>(rec) + 1);
  if (field >= 0) s += ", field " + fields_[field].name;
  return s;
}

void DbfFile::OpenFiles() {
  int flags = (writable_ ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  fd_ = ::open(path_.c_str(), flags);
  if (fd_ < 0 && writable_ && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    writable_ = false;
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd_ < 0) {
    if (errno == ENOENT) throw FileGone(path_ + ": the file does not exist");
    Fail("cannot open the file: " + Errno());
  }
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    CloseFiles();
    Fail("not a regular file");
  }
}

void DbfFile::CloseFiles() {
  if (fd_ >= 0) ::close(fd_);
  if (memo_fd_ >= 0) ::close(memo_fd_);
  fd_ = -1;
  memo_fd_ = -1;
  lock_ = LockMode::kNone;
}

void DbfFile::OpenMemo() {
  memo_path_ = FindMemoFile(path_);
  if (memo_path_.empty()) Fail("its memo file " + Stem(path_) + ".dbt is missing");
  memo_fd_ = ::open(memo_path_.c_str(), (writable_ ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (memo_fd_ < 0) Fail("cannot open the memo file " + memo_path_ + ": " + Errno());
  memo_dbase4_ = header_[0] == 0x8B;
  memo_block_size_ = 512;
  unsigned char h[32];
  if (!ReadAt(memo_fd_, h, sizeof(h), 0)) {
    Fail("the memo file " + memo_path_ + " is shorter than its header");
  }
  if (memo_dbase4_) {
    const uint32_t bs = Le16(h + 20);
    if (bs >= 64 && bs <= 32768 && bs % 64 == 0) memo_block_size_ = bs;
  }
}

void DbfFile::Lock(LockMode mode) {
  if (lock_ == mode || (lock_ == LockMode::kExclusive && mode == LockMode::kShared)) return;
  const int64_t deadline = NowMs() + g_lock_timeout_ms;
  int pause_us = 100;
  for (;;) {
    struct flock fl {};
    fl.l_type = mode == LockMode::kExclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) {
      lock_ = mode;
      return;
    }
    if (errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP) {
      // A file system without locks: statements still run, unguarded
      // against other processes, as the platform's driver does there.
      lock_ = mode;
      return;
    }
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
      Fail("cannot lock the file: " + Errno());
    }
    if (NowMs() >= deadline) Fail("the table is locked by another process");
    std::this_thread::sleep_for(std::chrono::microseconds(pause_us));
    pause_us = std::min(pause_us * 2, 5000);
  }
}

void DbfFile::Unlock() {
  if (lock_ == LockMode::kNone || fd_ < 0) return;
  struct flock fl {};
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  ::fcntl(fd_, F_OFD_SETLK, &fl);
  lock_ = LockMode::kNone;
}

void DbfFile::Sync() {
  for (int attempt = 0;; ++attempt) {
    struct stat st;
    if (::stat(path_.c_str(), &st) != 0) {
      throw FileGone(path_ + ": the file no longer exists");
    }
    if (st.st_ino != seen_.ino || st.st_dev != seen_.dev) {
      struct stat own;
      if (::fstat(fd_, &own) != 0) Fail("cannot read the file's status: " + Errno());
      if (own.st_ino != st.st_ino || own.st_dev != st.st_dev) {
        // Replaced by another file of the same name: take the new one, under
        // a lock of its own.
        if (attempt > 3) Fail("the file keeps being replaced");
        const LockMode held = lock_;
        CloseFiles();
        OpenFiles();
        Lock(held);
        stale_ = true;
        continue;
      }
    }
    const int64_t mtime_ns =
        static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    // A modification time that was already well in the past when the header
    // was last read cannot stay the same through another write, so size and
    // time then tell enough; otherwise the header's counts must be read.
    if (!stale_ && st.st_size == seen_.size && mtime_ns == seen_.mtime_ns &&
        seen_.mtime_ns + kMtimeSlackNs < verified_at_ns_) {
      return;
    }
    unsigned char h[32];
    if (st.st_size < 32 || !ReadAt(fd_, h, sizeof(h), 0)) {
      Fail("the file is shorter than a dBase header (" + std::to_string(st.st_size) + " bytes)");
    }
    Fingerprint now;
    now.ino = st.st_ino;
    now.dev = st.st_dev;
    now.size = st.st_size;
    now.mtime_ns = mtime_ns;
    now.count = Le32(h + 4);
    now.changes = Le32(h + kChangeCountOffset);
    if (stale_ || !(now == seen_)) Load(fd_, st);
    seen_ = now;
    verified_at_ns_ = WallNs();
    return;
  }
}

void DbfFile::Load(int fd, const struct ::stat& st) {
  // Until this load succeeds, the copy in memory may be half updated: the
  // next one must start from scratch.
  const bool full = full_reload_;
  full_reload_ = true;
  const off_t size = st.st_size;
  unsigned char h[32];
  if (size < 32 || !ReadAt(fd, h, sizeof(h), 0)) Fail("the file is shorter than a dBase header");
  const unsigned version = h[0];
  if (version != 0x03 && version != 0x83 && version != 0x8B) {
    Fail("unknown dBase version byte " + Hex(version));
  }
  uint32_t count = Le32(h + 4);
  const uint32_t header_length = Le16(h + 8);
  const uint32_t record_length = Le16(h + 10);
  if (header_length < 32 + 32 + 1) {
    Fail("the header length " + std::to_string(header_length) + " leaves no room for a field");
  }
  if (header_length > static_cast<uint64_t>(size)) {
    Fail("the header length " + std::to_string(header_length) + " runs past the end of the file (" +
         std::to_string(size) + " bytes)");
  }
  if (record_length < 2) {
    Fail("the record length " + std::to_string(record_length) + " leaves no room for a field");
  }
  std::vector<unsigned char> hdr(header_length);
  if (!ReadAt(fd, hdr.data(), hdr.size(), 0)) Fail("cannot read the header: " + Errno());

  std::vector<Field> fields;
  uint32_t pos = 32;
  int offset = 1;
  bool terminated = false;
  while (pos < header_length) {
    if (hdr[pos] == kHeaderEnd) {
      terminated = true;
      break;
    }
    const int n = static_cast<int>(fields.size()) + 1;
    if (pos + 32 > header_length) {
      Fail("field descriptor " + std::to_string(n) + " runs past the end of the header");
    }
    const unsigned char* d = &hdr[pos];
    Field f;
    const auto* name_end = static_cast<const unsigned char*>(std::memchr(d, 0, 11));
    f.name.assign(reinterpret_cast<const char*>(d),
                  name_end ? static_cast<size_t>(name_end - d) : 11);
    f.name = std::string(Trim(f.name));
    for (char c : f.name) {
      const auto b = static_cast<unsigned char>(c);
      if (b < 0x21 || b > 0x7E)
        Fail("field descriptor " + std::to_string(n) + " has a garbled name");
    }
    if (f.name.empty()) Fail("field descriptor " + std::to_string(n) + " has no name");
    f.name = Upper(f.name);
    f.type = static_cast<char>(d[11]);
    if (f.type >= 'a' && f.type <= 'z') f.type = static_cast<char>(f.type - 'a' + 'A');
    f.length = d[16];
    f.decimals = (f.type == 'N' || f.type == 'F') ? d[17] : 0;
    if (const std::string bad = CheckField(f.type, f.length, f.decimals); !bad.empty()) {
      Fail("field " + f.name + ": " + bad);
    }
    for (const Field& other : fields) {
      if (other.name == f.name) Fail("the field name " + f.name + " occurs twice");
    }
    f.offset = offset;
    offset += f.length;
    fields.push_back(std::move(f));
    pos += 32;
  }
  if (!terminated) Fail("the field descriptors are not ended within the header");
  if (fields.empty()) Fail("the table has no fields");
  if (static_cast<uint32_t>(offset) > record_length) {
    Fail("the fields need " + std::to_string(offset) + " bytes but the record length is " +
         std::to_string(record_length));
  }
  const bool has_memo =
      std::any_of(fields.begin(), fields.end(), [](const Field& f) { return f.type == 'M'; });
  if (has_memo && version == 0x03)
    Fail("memo fields in a table whose version byte has no memo file");
  const uint64_t needed = header_length + static_cast<uint64_t>(count) * record_length;
  if (needed > static_cast<uint64_t>(size)) {
    Fail("the header counts " + std::to_string(count) + " records, but the file holds only " +
         std::to_string((static_cast<uint64_t>(size) - header_length) / record_length));
  }

  count += UncountedRecords(fd, size, header_length, record_length, count);
  const bool known = !fields_.empty();
  if (known) {
    bool same = fields.size() == fields_.size() && header_length == header_length_ &&
                record_length == record_length_;
    for (size_t i = 0; same && i < fields.size(); ++i) {
      same = fields[i].name == fields_[i].name && fields[i].type == fields_[i].type &&
             fields[i].length == fields_[i].length && fields[i].decimals == fields_[i].decimals;
    }
    if (!same)
      throw StructureChanged(path_ + ": the table's fields were changed by another program");
  }

  // Another program's change usually touches a few records: compare the
  // file with the copy in memory and note only what differs, so the
  // driver's indexes can follow record by record instead of starting over.
  const bool incremental = known && !full && count >= committed_count_ &&
                           count_ == committed_count_ && dirty_.empty() &&
                           h[kIncompleteFlagAt] == 0;
  std::vector<uint32_t> changed;
  if (incremental) {
    const size_t old_bytes = data_.size();
    data_.resize(static_cast<size_t>(count) * record_length);
    constexpr size_t kChunkRecords = 4096;
    std::vector<char> chunk;
    for (uint32_t first = 0; first < count; first += kChunkRecords) {
      const uint32_t n = std::min<uint32_t>(kChunkRecords, count - first);
      const size_t bytes = static_cast<size_t>(n) * record_length;
      const size_t at = static_cast<size_t>(first) * record_length;
      chunk.resize(bytes);
      if (!ReadAt(fd, chunk.data(), bytes, static_cast<off_t>(header_length + at))) {
        Fail("cannot read the records: " + Errno());
      }
      if (at + bytes <= old_bytes && std::memcmp(chunk.data(), data_.data() + at, bytes) == 0)
        continue;
      for (uint32_t k = 0; k < n; ++k) {
        const size_t rec_at = at + static_cast<size_t>(k) * record_length;
        if (rec_at + record_length <= old_bytes &&
            std::memcmp(chunk.data() + static_cast<size_t>(k) * record_length,
                        data_.data() + rec_at, record_length) == 0) {
          continue;
        }
        std::memcpy(data_.data() + rec_at, chunk.data() + static_cast<size_t>(k) * record_length,
                    record_length);
        changed.push_back(first + k);
      }
    }
  } else {
    std::vector<char> data(static_cast<size_t>(count) * record_length);
    if (!data.empty() && !ReadAt(fd, data.data(), data.size(), header_length)) {
      Fail("cannot read the records: " + Errno());
    }
    data_ = std::move(data);
  }
  if (h[kIncompleteFlagAt] != 0) Recover(fd, h, size, header_length, record_length, count);
  const auto check_flag = [&](uint32_t r) {
    const auto flag = static_cast<unsigned char>(data_[static_cast<size_t>(r) * record_length]);
    if (flag != ' ' && flag != '*') {
      throw DbaseError(path_ + ", record " + std::to_string(static_cast<uint64_t>(r) + 1) +
                       ": the deletion flag " + Hex(flag) + " is neither blank nor '*'");
    }
  };
  if (incremental) {
    for (uint32_t r : changed) check_flag(r);
  } else {
    for (uint32_t r = 0; r < count; ++r) check_flag(r);
  }

  std::memcpy(header_, h, sizeof(header_));
  header_length_ = header_length;
  record_length_ = record_length;
  fields_ = std::move(fields);
  count_ = committed_count_ = count;
  dirty_.clear();
  before_.clear();
  dirty_flag_.assign(count, false);
  stale_ = false;
  full_reload_ = false;
  if (incremental && changed.size() <= count / 4 + 16) {
    changed_.insert(changed_.end(), changed.begin(), changed.end());
  } else {
    changed_.clear();
    ++generation_;
  }
  if (has_memo && memo_fd_ < 0) OpenMemo();
}

void DbfFile::Recover(int fd, unsigned char* h, off_t size, uint32_t header_length,
                      uint32_t record_length, uint32_t count) {
  // A writer was stopped between saving the old records and writing the
  // header: put the old records back, in memory always, on disk when this
  // handle may write.
  const uint64_t at = Le32(h + kUndoOffsetAt);
  std::vector<std::pair<uint32_t, std::vector<char>>> images;
  bool whole = false;
  unsigned char head[8];
  if (at >= header_length && at + 8 <= static_cast<uint64_t>(size) &&
      ReadAt(fd, head, sizeof(head), static_cast<off_t>(at)) &&
      std::memcmp(head, kUndoMagic, 4) == 0) {
    const uint64_t n = Le32(head + 4);
    const uint64_t length = 8 + n * (4 + static_cast<uint64_t>(record_length)) + 4;
    if (n <= count && at + length <= static_cast<uint64_t>(size)) {
      std::vector<unsigned char> block(static_cast<size_t>(length));
      if (ReadAt(fd, block.data(), block.size(), static_cast<off_t>(at)) &&
          Checksum(block.data(), block.size() - 4) == Le32(block.data() + block.size() - 4)) {
        whole = true;
        for (uint64_t k = 0; k < n && whole; ++k) {
          const unsigned char* p =
              block.data() + 8 + k * (4 + static_cast<uint64_t>(record_length));
          const uint32_t rec = Le32(p);
          whole = rec < count;
          images.emplace_back(rec, std::vector<char>(p + 4, p + 4 + record_length));
        }
      }
    }
  }
  if (!whole) images.clear();  // cut short before the flag was set: nothing to undo
  for (const auto& [rec, bytes] : images) {
    std::memcpy(data_.data() + static_cast<size_t>(rec) * record_length, bytes.data(),
                record_length);
  }
  if (lock_ != LockMode::kExclusive || !writable_) return;
  for (const auto& [rec, bytes] : images) {
    if (!WriteAt(fd, bytes.data(), record_length,
                 static_cast<off_t>(header_length + static_cast<uint64_t>(rec) * record_length))) {
      Fail("cannot repair record " + std::to_string(rec + 1) + ": " + Errno());
    }
  }
  unsigned char clear[kUndoFlagBytes] = {};
  if (!WriteAt(fd, clear, sizeof(clear), kIncompleteFlagAt))
    Fail("cannot repair the header: " + Errno());
  std::memset(h + kIncompleteFlagAt, 0, kUndoFlagBytes);
}

uint32_t DbfFile::UncountedRecords(int fd, off_t size, uint32_t header_length,
                                   uint32_t record_length, uint32_t count) const {
  // Whole records behind the counted ones, up to an end mark, are records a
  // writer appended and opened the gate to but did not count yet (killed
  // just then, or a writer that counts only when it closes the table).
  // Anything else behind the counted records is no record at all.
  uint64_t at = header_length + static_cast<uint64_t>(count) * record_length;
  uint32_t found = 0;
  for (;;) {
    unsigned char flag = 0;
    if (at >= static_cast<uint64_t>(size) || !ReadAt(fd, &flag, 1, static_cast<off_t>(at)))
      return 0;
    if (flag == kEofMark) return found;
    if ((flag != ' ' && flag != '*') || at + record_length >= static_cast<uint64_t>(size) ||
        found >= kMaxUncounted || found >= 0xFFFFFFFFu - count) {
      return 0;
    }
    ++found;
    at += record_length;
  }
}

std::vector<uint32_t> DbfFile::TakeChangedRecords() {
  std::vector<uint32_t> out;
  out.swap(changed_);
  return out;
}

void DbfFile::BeginRead() {
  if (lock_ == LockMode::kNone) {
    Lock(LockMode::kShared);
    try {
      Sync();
    } catch (...) {
      Unlock();
      throw;
    }
  }
  ++read_depth_;
}

void DbfFile::EndRead() {
  if (read_depth_ > 0) --read_depth_;
  if (read_depth_ == 0 && !writing_) Unlock();
}

void DbfFile::BeginWrite() {
  if (writing_) return;
  if (!writable_) Fail("the table is read-only");
  const bool had_lock = lock_ != LockMode::kNone;
  Lock(LockMode::kExclusive);
  if (header_[kIncompleteFlagAt] != 0)
    stale_ = true;  // repair what a reader could only undo in memory
  if (!had_lock || stale_) {
    try {
      Sync();
    } catch (...) {
      Unlock();
      throw;
    }
  }
  writing_ = true;
}

void DbfFile::Commit() {
  if (!writing_) return;
  try {
    FlushChanges();
  } catch (...) {
    // The saved images belong to this failed statement; left in place they
    // would be written into the next statement's undo block as records they
    // are not.
    before_.clear();
    stale_ = true;
    full_reload_ = true;
    writing_ = false;
    if (read_depth_ == 0) Unlock();
    throw;
  }
  writing_ = false;
  if (read_depth_ == 0) {
    Unlock();
  } else {
    struct flock fl {};
    fl.l_type = F_RDLCK;
    fl.l_whence = SEEK_SET;
    if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) lock_ = LockMode::kShared;
  }
}

void DbfFile::Rollback() {
  if (!writing_) return;
  writing_ = false;
  before_.clear();
  if (!dirty_.empty() || count_ != committed_count_) {
    stale_ = true;
    full_reload_ = true;
    try {
      Sync();  // still under the lock: drop the changes from memory at once
    } catch (const DbaseError&) {
      stale_ = true;
    }
  }
  if (read_depth_ == 0) Unlock();
}

void DbfFile::MarkDirty(uint32_t rec) {
  if (rec >= committed_count_ || dirty_flag_[rec]) return;
  dirty_flag_[rec] = true;
  dirty_.push_back(rec);
  before_.emplace_back(RecordPtr(rec), record_length_);
}

void DbfFile::FlushChanges() {
  if (dirty_.empty() && count_ == committed_count_) return;
  const auto offset_of = [&](uint32_t rec) {
    return static_cast<uint64_t>(header_length_) + static_cast<uint64_t>(rec) * record_length_;
  };
  // A write that spans pages can be cut short by a kill between two pages.
  // When that could tear a record, or leave a statement half done, the old
  // records are saved behind the end mark first and the header says so
  // (the "incomplete transaction" flag); whoever reads the table next puts
  // them back.
  bool need_undo = dirty_.size() > 1;
  for (uint32_t r : dirty_) {
    need_undo = need_undo || offset_of(r) / kPage != (offset_of(r) + record_length_ - 1) / kPage;
  }
  const uint64_t undo_at = offset_of(count_) + 1;
  const bool undo = need_undo && undo_at <= 0xFFFFFFFFu;
  if (undo) {
    std::vector<unsigned char> undo(8);
    std::memcpy(undo.data(), kUndoMagic, 4);
    PutLe32(undo.data() + 4, static_cast<uint32_t>(dirty_.size()));
    for (size_t k = 0; k < dirty_.size(); ++k) {
      unsigned char rec[4];
      PutLe32(rec, dirty_[k]);
      undo.insert(undo.end(), rec, rec + 4);
      undo.insert(undo.end(), before_[k].begin(), before_[k].end());
    }
    unsigned char sum[4];
    PutLe32(sum, Checksum(undo.data(), undo.size()));
    undo.insert(undo.end(), sum, sum + 4);
    unsigned char flag[kUndoFlagBytes] = {};
    flag[0] = 1;
    PutLe32(flag + (kUndoOffsetAt - kIncompleteFlagAt), static_cast<uint32_t>(undo_at));
    if (!WriteAt(fd_, undo.data(), undo.size(), static_cast<off_t>(undo_at)) ||
        !WriteAt(fd_, flag, sizeof(flag), kIncompleteFlagAt)) {
      Fail("cannot write: " + Errno());
    }
  }
  std::sort(dirty_.begin(), dirty_.end());
  size_t i = 0;
  while (i < dirty_.size()) {
    size_t j = i + 1;
    while (j < dirty_.size() && dirty_[j] == dirty_[j - 1] + 1) ++j;
    const uint32_t first = dirty_[i];
    const size_t bytes = (j - i) * record_length_;
    if (!WriteAt(fd_, RecordPtr(first), bytes, static_cast<off_t>(offset_of(first)))) {
      Fail("cannot write record " + std::to_string(first + 1) + ": " + Errno());
    }
    i = j;
  }
  if (count_ > committed_count_) {
    // The new records go in behind a closed gate: the end mark stays in the
    // place of the first one's deletion flag, so that no reader, not even
    // one that reads up to the end mark rather than the header's count,
    // sees a record a kill may have cut short. Opening the gate is a
    // one-byte write; the header that counts the records comes last.
    const size_t bytes = static_cast<size_t>(count_ - committed_count_) * record_length_;
    std::vector<char> tail(bytes + 1);
    std::memcpy(tail.data(), RecordPtr(committed_count_), bytes);
    tail[0] = static_cast<char>(kEofMark);
    tail[bytes] = static_cast<char>(kEofMark);
    const off_t at = static_cast<off_t>(offset_of(committed_count_));
    if (!WriteAt(fd_, tail.data(), tail.size(), at) ||
        !WriteAt(fd_, RecordPtr(committed_count_), 1, at)) {
      Fail("cannot append records: " + Errno());
    }
  }
  TodayInto(header_ + 1);
  PutLe32(header_ + 4, count_);
  const uint32_t changes = Le32(header_ + kChangeCountOffset) + 1;
  PutLe32(header_ + kChangeCountOffset, changes);
  std::memset(header_ + kIncompleteFlagAt, 0, 1);
  std::memset(header_ + kUndoOffsetAt, 0, 4);
  if (!WriteAt(fd_, header_ + 1, kUndoOffsetAt + 4 - 1, 1)) {
    Fail("cannot write the header: " + Errno());
  }
  // The saved records are no longer needed; the file ends at its end mark.
  if (undo && ::ftruncate(fd_, static_cast<off_t>(undo_at)) != 0)
    Fail("cannot shorten the file: " + Errno());
  before_.clear();
  for (uint32_t r : dirty_) dirty_flag_[r] = false;
  dirty_.clear();
  committed_count_ = count_;
  dirty_flag_.resize(count_, false);

  struct stat st;
  if (::fstat(fd_, &st) != 0) Fail("cannot read the file's status: " + Errno());
  seen_.size = st.st_size;
  seen_.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  verified_at_ns_ = WallNs();
  seen_.count = count_;
  seen_.changes = changes;
}

int DbfFile::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (EqualNoCase(fields_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

bool DbfFile::IsDeleted(uint32_t rec) const {
  return RecordPtr(rec)[0] == '*';
}

std::string_view DbfFile::Raw(uint32_t rec, int field) const {
  const Field& f = fields_[field];
  return {RecordPtr(rec) + f.offset, static_cast<size_t>(f.length)};
}

Cell DbfFile::Read(uint32_t rec, int field) const {
  const Field& f = fields_[field];
  std::string_view raw = Raw(rec, field);
  switch (f.type) {
    case 'C': {
      while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0')) raw.remove_suffix(1);
      return Cell::Text(text::AnsiToUtf8(raw));
    }
    case 'N':
    case 'F': {
      const std::string_view s = Trim(raw);
      // Blank is null; shapelib writes asterisks for a null number.
      if (s.find_first_not_of('*') == std::string_view::npos) return Cell::Null();
      int64_t i = 0;
      double d = 0;
      bool is_int = false;
      if (!ParseNumber(s, f.decimals == 0, i, d, is_int)) {
        throw DbaseError(Where(rec, field) + ": '" + Printable(raw) + "' is no number");
      }
      return is_int ? Cell::Integer(i) : Cell::Real(d);
    }
    case 'D': {
      // Blank is null; some writers put zeros ("00000000", "       0") instead.
      if (Trim(raw).find_first_not_of('0') == std::string_view::npos) return Cell::Null();
      int v[3] = {0, 0, 0};
      const int widths[3] = {4, 2, 2};
      size_t p = 0;
      bool ok = true;
      for (int k = 0; k < 3 && ok; ++k) {
        for (int n = 0; n < widths[k]; ++n, ++p) {
          const char c = raw[p];
          if (c < '0' || c > '9') {
            ok = false;
            break;
          }
          v[k] = v[k] * 10 + (c - '0');
        }
      }
      if (!ok || !IsValidDate(v[0], v[1], v[2])) {
        throw DbaseError(Where(rec, field) + ": '" + Printable(raw) + "' is no date");
      }
      return Cell::MakeDate({v[0], v[1], v[2]});
    }
    case 'L': {
      switch (raw[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
          return Cell::Logical(true);
        case 'F':
        case 'f':
        case 'N':
        case 'n':
          return Cell::Logical(false);
        case '?':
        case ' ':
        case '\0':
          return Cell::Null();
        default:
          throw DbaseError(Where(rec, field) + ": '" + Printable(raw) + "' is no logical value");
      }
    }
    case 'M': {
      const std::string_view s = Trim(raw);
      if (s.empty()) return Cell::Text("");
      uint64_t block = 0;
      auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), block);
      if (ec != std::errc() || p != s.data() + s.size()) {
        throw DbaseError(Where(rec, field) + ": '" + Printable(raw) + "' is no memo block number");
      }
      if (block == 0) return Cell::Text("");
      return Cell::Text(text::AnsiToUtf8(ReadMemo(rec, field, block)));
    }
    default:
      break;
  }
  return Cell::Null();
}

std::string DbfFile::ReadMemo(uint32_t rec, int field, uint64_t block) const {
  struct stat st;
  if (memo_fd_ < 0 || ::fstat(memo_fd_, &st) != 0) {
    throw DbaseError(Where(rec, field) + ": the memo file cannot be read");
  }
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  const uint64_t start = block * memo_block_size_;
  if (block > size / memo_block_size_ || start >= size) {
    throw DbaseError(Where(rec, field) + ": memo block " + std::to_string(block) +
                     " lies past the end of " + memo_path_);
  }
  std::string out;
  if (memo_dbase4_) {
    unsigned char h[8];
    if (start + 8 > size || !ReadAt(memo_fd_, h, sizeof(h), static_cast<off_t>(start)) ||
        h[0] != 0xFF || h[1] != 0xFF || h[2] != 0x08 || h[3] != 0x00) {
      throw DbaseError(Where(rec, field) + ": block " + std::to_string(block) + " of " +
                       memo_path_ + " is no memo block");
    }
    const uint32_t length = Le32(h + 4);
    if (length < 8 || start + length > size || length > kMaxMemo) {
      throw DbaseError(Where(rec, field) + ": the memo in block " + std::to_string(block) +
                       " runs past the end of " + memo_path_);
    }
    out.resize(length - 8);
    if (!out.empty() && !ReadAt(memo_fd_, out.data(), out.size(), static_cast<off_t>(start + 8))) {
      throw DbaseError(Where(rec, field) + ": cannot read the memo: " + Errno());
    }
    const size_t end =
        out.find_first_of(std::string{static_cast<char>(kMemoEnd3), static_cast<char>(kMemoEnd4)});
    if (end != std::string::npos) out.resize(end);
    return out;
  }
  uint64_t pos = start;
  char buf[512];
  while (pos < size && pos - start < kMaxMemo) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof(buf), size - pos));
    if (!ReadAt(memo_fd_, buf, n, static_cast<off_t>(pos))) {
      throw DbaseError(Where(rec, field) + ": cannot read the memo: " + Errno());
    }
    const void* end = std::memchr(buf, kMemoEnd3, n);
    if (end) {
      out.append(buf, static_cast<const char*>(end) - buf);
      return out;
    }
    out.append(buf, n);
    pos += n;
  }
  throw DbaseError(Where(rec, field) + ": the memo in block " + std::to_string(block) + " of " +
                   memo_path_ + " has no end mark");
}

uint64_t DbfFile::WriteMemo(uint32_t rec, int field, const std::string& bytes) {
  if (memo_fd_ < 0) throw DbaseError(Where(rec, field) + ": the table has no memo file");
  unsigned char h[4];
  struct stat st;
  if (!ReadAt(memo_fd_, h, sizeof(h), 0) || ::fstat(memo_fd_, &st) != 0) {
    throw DbaseError(Where(rec, field) + ": cannot read the header of " + memo_path_);
  }
  const uint64_t bs = memo_block_size_;
  // New memos go behind the last block in the file. The header's next-block
  // number is written for other programs but not trusted: pointing into
  // blocks in use it would overwrite memos, pointing far past the end it
  // would blow the file up.
  const uint64_t block = std::max<uint64_t>((static_cast<uint64_t>(st.st_size) + bs - 1) / bs, 1);
  std::vector<unsigned char> buf;
  if (memo_dbase4_) {
    buf.resize(8);
    buf[0] = 0xFF;
    buf[1] = 0xFF;
    buf[2] = 0x08;
    buf[3] = 0x00;
    PutLe32(buf.data() + 4, static_cast<uint32_t>(bytes.size() + 8));
    buf.insert(buf.end(), bytes.begin(), bytes.end());
    buf.push_back(kMemoEnd4);
  } else {
    buf.assign(bytes.begin(), bytes.end());
    buf.push_back(kMemoEnd3);
    buf.push_back(kMemoEnd3);
  }
  const uint64_t blocks = (buf.size() + bs - 1) / bs;
  buf.resize(blocks * bs, 0);
  const uint64_t next = block + blocks;
  if (next > 0xFFFFFFFFu) throw DbaseError(Where(rec, field) + ": the memo file is full");
  if (!WriteAt(memo_fd_, buf.data(), buf.size(), static_cast<off_t>(block * bs))) {
    throw DbaseError(Where(rec, field) + ": cannot write the memo: " + Errno());
  }
  PutLe32(h, static_cast<uint32_t>(next));
  if (!WriteAt(memo_fd_, h, sizeof(h), 0)) {
    throw DbaseError(Where(rec, field) + ": cannot write the header of " + memo_path_);
  }
  return block;
}

void DbfFile::Write(uint32_t rec, int field, const Cell& value) {
  if (!writing_) Fail("a change outside a write statement");
  if (rec >= count_) throw DbaseError(Where(rec, -1) + ": no such record");
  const Field& f = fields_[field];
  std::string out(static_cast<size_t>(f.length), ' ');
  const auto type_error = [&](const char* what) {
    throw DbaseError(Where(rec, field) + ": " + what + " cannot be stored in a field of type " +
                     FieldTypeText(f));
  };
  switch (f.type) {
    case 'C': {
      if (value.kind == Cell::Kind::kNull) break;
      if (value.kind != Cell::Kind::kText) type_error("this value");
      std::string bad;
      auto bytes = text::Utf8ToAnsiStrict(value.text, &bad);
      if (!bytes) throw DbaseError(Where(rec, field) + ": " + bad);
      if (bytes->size() > out.size()) {
        throw DbaseError(Where(rec, field) + ": a text of " + std::to_string(bytes->size()) +
                         " characters does not fit " + FieldTypeText(f));
      }
      std::memcpy(out.data(), bytes->data(), bytes->size());
      break;
    }
    case 'N':
    case 'F': {
      std::string digits;
      if (value.kind == Cell::Kind::kNull) break;
      if (value.kind == Cell::Kind::kInteger || value.kind == Cell::Kind::kLogical) {
        digits = std::to_string(value.integer);
        if (f.decimals > 0) digits += "." + std::string(static_cast<size_t>(f.decimals), '0');
      } else if (value.kind == Cell::Kind::kReal) {
        double d = value.real;
        if (!std::isfinite(d)) type_error("an infinite number");
        if (f.decimals == 0) {
          d = std::round(d);
          if (std::fabs(d) >= 9.0e18) {
            throw DbaseError(Where(rec, field) + ": the value " + std::to_string(value.real) +
                             " does not fit " + FieldTypeText(f));
          }
          digits = std::to_string(static_cast<int64_t>(d));
        } else {
          char buf[400];
          std::snprintf(buf, sizeof(buf), "%.*f", f.decimals, d == 0 ? 0.0 : d);
          digits = buf;
          // A negative value that rounds to zero is zero, not "-0.00".
          if (digits.front() == '-' && digits.find_first_not_of("-0.") == std::string::npos) {
            digits.erase(0, 1);
          }
        }
      } else {
        type_error("a text");
      }
      if (digits.size() > out.size()) {
        throw DbaseError(Where(rec, field) + ": the value " + digits + " does not fit " +
                         FieldTypeText(f));
      }
      std::memcpy(out.data() + out.size() - digits.size(), digits.data(), digits.size());
      break;
    }
    case 'D': {
      if (value.kind == Cell::Kind::kNull) break;
      if (value.kind != Cell::Kind::kDate) type_error("this value");
      if (!IsValidDate(value.date.year, value.date.month, value.date.day))
        type_error("an invalid date");
      char buf[16];
      std::snprintf(buf, sizeof(buf), "%04d%02d%02d", value.date.year, value.date.month,
                    value.date.day);
      out.assign(buf, 8);
      break;
    }
    case 'L': {
      if (value.kind == Cell::Kind::kNull) {
        out = "?";
      } else if (value.kind == Cell::Kind::kLogical || value.kind == Cell::Kind::kInteger) {
        out = value.integer ? "T" : "F";
      } else {
        type_error("this value");
      }
      break;
    }
    case 'M': {
      if (value.kind == Cell::Kind::kNull ||
          (value.kind == Cell::Kind::kText && value.text.empty())) {
        break;
      }
      if (value.kind != Cell::Kind::kText) type_error("this value");
      std::string bad;
      auto bytes = text::Utf8ToAnsiStrict(value.text, &bad);
      if (!bytes) throw DbaseError(Where(rec, field) + ": " + bad);
      if (bytes->find_first_of(std::string{static_cast<char>(kMemoEnd3),
                                           static_cast<char>(kMemoEnd4)}) != std::string::npos) {
        throw DbaseError(Where(rec, field) +
                         ": a memo text cannot hold the control characters "
                         "U+001A or U+001F");
      }
      const std::string digits = std::to_string(WriteMemo(rec, field, *bytes));
      std::memcpy(out.data() + out.size() - digits.size(), digits.data(), digits.size());
      break;
    }
    default:
      break;
  }
  MarkDirty(rec);
  std::memcpy(RecordPtr(rec) + f.offset, out.data(), out.size());
}

uint32_t DbfFile::Append() {
  if (!writing_) Fail("a change outside a write statement");
  if (count_ == 0xFFFFFFFFu) Fail("the table is full");
  data_.resize(data_.size() + record_length_, ' ');
  return count_++;
}

void DbfFile::Delete(uint32_t rec) {
  if (!writing_) Fail("a change outside a write statement");
  if (rec >= count_) throw DbaseError(Where(rec, -1) + ": no such record");
  MarkDirty(rec);
  RecordPtr(rec)[0] = '*';
}

std::unique_ptr<DbfFile> DbfFile::Create(const std::string& path, Flavor flavor,
                                         const std::vector<FieldSpec>& specs) {
  const auto fail = [&](const std::string& what) { throw DbaseError(path + ": " + what); };
  if (specs.empty()) fail("a table needs at least one field");
  if (specs.size() > 255) fail("a table holds at most 255 fields");
  std::vector<Field> fields;
  int offset = 1;
  bool has_memo = false;
  for (const FieldSpec& s : specs) {
    Field f;
    f.name = Upper(s.name);
    if (f.name.empty() || f.name.size() > 10) {
      fail("the field name '" + s.name + "' is not 1 to 10 characters long");
    }
    for (size_t i = 0; i < f.name.size(); ++i) {
      const char c = f.name[i];
      const bool letter = c >= 'A' && c <= 'Z';
      const bool ok = letter || (i > 0 && ((c >= '0' && c <= '9') || c == '_'));
      if (!ok) fail("the field name '" + s.name + "' is not a dBase field name");
    }
    for (const Field& other : fields) {
      if (other.name == f.name) fail("the field name " + f.name + " occurs twice");
    }
    f.type = s.type;
    f.length = s.type == 'D' ? 8 : s.type == 'L' ? 1 : s.type == 'M' ? 10 : s.length;
    f.decimals = (s.type == 'N' || s.type == 'F') ? s.decimals : 0;
    if (const std::string bad = CheckField(f.type, f.length, f.decimals); !bad.empty()) {
      fail("field " + f.name + ": " + bad);
    }
    has_memo = has_memo || f.type == 'M';
    f.offset = offset;
    offset += f.length;
    fields.push_back(f);
  }
  if (static_cast<uint32_t>(offset) > kMaxRecordLength)
    fail("the record is longer than 65535 bytes");

  const uint32_t header_length = 32 + 32 * static_cast<uint32_t>(fields.size()) + 1;
  std::vector<unsigned char> bytes(header_length + 1, 0);
  bytes[0] = has_memo ? (flavor == Flavor::kDBase4 ? 0x8B : 0x83) : 0x03;
  TodayInto(&bytes[1]);
  PutLe16(&bytes[8], header_length);
  PutLe16(&bytes[10], static_cast<uint32_t>(offset));
  bytes[29] = 0x57;  // language driver: Windows ANSI (code page 1252)
  for (size_t i = 0; i < fields.size(); ++i) {
    unsigned char* d = &bytes[32 + 32 * i];
    std::memcpy(d, fields[i].name.data(), fields[i].name.size());
    d[11] = static_cast<unsigned char>(fields[i].type);
    d[16] = static_cast<unsigned char>(fields[i].length);
    d[17] = static_cast<unsigned char>(fields[i].decimals);
  }
  bytes[header_length - 1] = kHeaderEnd;
  bytes[header_length] = kEofMark;

  struct stat st;
  if (::stat(path.c_str(), &st) == 0) fail("the table already exists");
  if (has_memo) {
    // The memo file first: a .dbf that exists always has its .dbt.
    const size_t slash = path.find_last_of('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const bool upper_ext = base.size() > 4 && base.substr(base.size() - 4) == ".DBF";
    const std::string memo_path = Stem(path) + (upper_ext ? ".DBT" : ".dbt");
    std::vector<unsigned char> memo(512, 0);
    PutLe32(&memo[0], 1);
    if (flavor == Flavor::kDBase4) {
      const std::string name = Upper(Stem(base)).substr(0, 8);
      std::memcpy(&memo[8], name.data(), name.size());
      memo[18] = 0x02;
      memo[19] = 0x01;
      PutLe16(&memo[20], 512);
    } else {
      memo[16] = 0x03;
    }
    const int mfd = ::open(memo_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (mfd < 0) fail("cannot create the memo file: " + Errno());
    const bool ok = WriteAt(mfd, memo.data(), memo.size(), 0);
    ::close(mfd);
    if (!ok) fail("cannot write the memo file: " + Errno());
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) fail("the table already exists");
    fail("cannot create the file: " + Errno());
  }
  const bool ok = WriteAt(fd, bytes.data(), bytes.size(), 0);
  ::close(fd);
  if (!ok) {
    ::unlink(path.c_str());
    fail("cannot write the file: " + Errno());
  }
  return Open(path, true);
}

void DbfFile::Remove(const std::string& path) {
  const std::string memo = FindMemoFile(path);
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    throw DbaseError(path + ": cannot delete the file: " + Errno());
  }
  if (!memo.empty()) ::unlink(memo.c_str());
}

}  // namespace platform::dbase
