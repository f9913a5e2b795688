// The table keeps the records it has read in memory between statements and
// compares the file's fingerprint at the start of each statement: point
// lookups then need no I/O at all. Records are read in chunks when first
// needed, so that opening a table of a million records and looking up one
// of them through an index reads a chunk, not 160 MB. Changes collect in
// memory until Commit, which is the only place that writes the .dbf (memo
// blocks go to the .dbt at once, before the record that points at them).
// All I/O goes through the Env the table was opened with; the bytes are the
// format layer's.
#include "platform/dbase/DbfFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/env/Path.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

namespace platform::dbase {
namespace {

using env::EnvError;
using format::Le32;
using format::PutLe32;

constexpr uint64_t kPage = 4096;
constexpr uint64_t kUncountedBlock = 65536;  // bytes read at once behind the counted records
constexpr int64_t kMtimeSlackNs = 1000000000;
// How long a table goes on without looking for a second file of its name.
constexpr int64_t kRivalCheckNs = 100000000;
// Records are read in blocks of this size: large enough that a cold open
// costs a few system calls, small enough for the comparison of a reload.
constexpr size_t kReadBlock = size_t{8} << 20;
// About the bytes of a chunk of records in memory: few enough records that a
// lookup reads little, enough that a scan makes few system calls.
constexpr uint32_t kChunkBytes = 32 * 1024;
// Chunks read at once when a scan goes from one to the next (4 MB).
constexpr uint32_t kReadAheadChunks = 128;
constexpr size_t kSlabBytes = size_t{4} << 20;

int g_lock_timeout_ms = 10000;

// The files this process holds (TableHold), by identity: a table may be
// reached under several spellings of its name.
struct HeldFiles {
  std::mutex mutex;
  std::vector<std::pair<uint64_t, uint64_t>> files;  // device, inode
};
HeldFiles& Held() {
  static HeldFiles* held = new HeldFiles;  // never destroyed: handles may outlive statics
  return *held;
}
// How many holds stand; without any, a lock needs no look at the list.
std::atomic<int> g_holds{0};
// Texts more than one place throws.
const std::string kNoStatus = "Der Zustand der Datei kann nicht abgefragt werden";
const std::string kNoHeader = "Der Dateikopf kann nicht gelesen werden";
const std::string kNoRecords = "Die Datensätze können nicht gelesen werden";
const std::string kRecordsCut =
    "Die Datensätze können nicht gelesen werden: Die Datei endet vorzeitig";
const std::string kOutsideWrite = "Eine Änderung ist nur in einer schreibenden Anweisung möglich";
const std::string kExists = "Die Tabelle ist schon vorhanden";

std::string ShortFileText(uint64_t size) {
  return "Die Datei ist kürzer als ein dBase-Dateikopf (" + std::to_string(size) + " Bytes)";
}

// The memo file beside a table: stem + ".dbt" in any letter case; throws
// DbaseError when more than one file answers to it.
std::string FindMemoFile(env::Env& env, const std::string& dbf_path) {
  const std::string stem = env::WithoutExtension(dbf_path);
  const std::string folder = env::FolderOf(stem);
  const std::optional<std::string> name = DbfFile::Locate(env, folder, env::NameOf(stem) + ".dbt");
  if (!name) return {};
  return env::IsPlainName(dbf_path) ? *name : env::JoinPath(folder, *name);
}

void TodayInto(env::Env& env, unsigned char* ymd) {
  const std::tm tm = env.LocalNow();
  ymd[0] = static_cast<unsigned char>(tm.tm_year);  // years since 1900
  ymd[1] = static_cast<unsigned char>(tm.tm_mon + 1);
  ymd[2] = static_cast<unsigned char>(tm.tm_mday);
}

}  // namespace

std::optional<std::string> DbfFile::Locate(env::Env& env, const std::string& folder,
                                           std::string_view name) {
  std::vector<std::string> matches;
  try {
    for (std::string& entry : env.ListFolder(folder)) {
      if (text::EqualsIgnoreCase(entry, name)) matches.push_back(std::move(entry));
    }
  } catch (const EnvError&) {
    // A folder that may be entered but not listed: the name as it is given.
    matches.assign(1, std::string(name));
  }
  if (matches.empty()) return std::nullopt;
  std::sort(matches.begin(), matches.end());
  if (matches.size() > 1) {
    // Taking one of them would be a guess, and each program that guesses
    // may guess another: the records would be split between two files.
    std::string all;
    for (size_t i = 0; i < matches.size(); ++i) {
      if (i > 0) all += i + 1 == matches.size() ? " und " : ", ";
      all += env::JoinPath(folder, matches[i]);
    }
    throw DbaseError(all + (matches.size() == 2 ? " passen beide" : " passen alle") +
                     " zum Namen " + std::string(name) +
                     " (Groß- und Kleinschreibung zählt bei Namen nicht): Welche Datei gemeint "
                     "ist, lässt sich nicht entscheiden.");
  }
  const std::string path = env::JoinPath(folder, matches[0]);
  std::optional<env::FileStatus> st;
  try {
    st = env.Stat(path);
  } catch (const EnvError& e) {
    format::Throw({path}, kNoStatus + ": " + e.Reason());
  }
  if (!st) return std::nullopt;
  if (st->IsFolder()) throw DbaseError(path + " ist ein Ordner, keine Datei.");
  if (!st->IsRegular()) throw DbaseError(path + " ist keine gewöhnliche Datei.");
  return matches[0];
}

void DbfFile::SetLockTimeoutMs(int ms) {
  g_lock_timeout_ms = ms;
}

std::unique_ptr<DbfFile> DbfFile::Open(const std::string& path, bool writable, env::Env& env) {
  std::unique_ptr<DbfFile> f(new DbfFile(env));
  f->path_ = path;
  f->folder_ = env::FolderOf(path);
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
  format::Throw({path_}, what);
}

void DbfFile::Fail(const std::string& what, const EnvError& e) const {
  format::Throw({path_}, what + ": " + e.Reason());
}

void DbfFile::OpenFiles() {
  try {
    try {
      file_ = env_.Open(path_, writable_ ? env::OpenMode::kReadWrite : env::OpenMode::kRead);
    } catch (const EnvError& e) {
      if (!writable_ || (e.Code() != EACCES && e.Code() != EROFS && e.Code() != EPERM)) throw;
      writable_ = false;
      file_ = env_.Open(path_, env::OpenMode::kRead);
    }
  } catch (const EnvError& e) {
    if (e.Code() == ENOENT) throw FileGone(path_ + ": Die Datei ist nicht vorhanden.");
    Fail("Die Datei kann nicht geöffnet werden", e);
  }
  bool regular = false;
  try {
    regular = file_->Status().IsRegular();
  } catch (const EnvError&) {
  }
  if (!regular) {
    CloseFiles();
    Fail("Das ist keine gewöhnliche Datei");
  }
}

void DbfFile::CloseFiles() {
  file_.reset();
  memo_file_.reset();
  lock_ = LockMode::kNone;
}

void DbfFile::OpenMemo() {
  memo_path_ = FindMemoFile(env_, path_);
  if (memo_path_.empty())
    Fail("Die zugehörige Memodatei " + env::WithoutExtension(path_) + ".dbt fehlt");
  unsigned char h[32];
  try {
    memo_file_ =
        env_.Open(memo_path_, writable_ ? env::OpenMode::kReadWrite : env::OpenMode::kRead);
  } catch (const EnvError& e) {
    Fail("Die Memodatei " + memo_path_ + " kann nicht geöffnet werden", e);
  }
  bool whole = false;
  try {
    whole = memo_file_->ReadExactly(0, h, sizeof(h));
  } catch (const EnvError&) {
  }
  if (!whole) Fail("Die Memodatei " + memo_path_ + " ist kürzer als ihr Dateikopf");
  memo_ = format::ParseMemoHeader(h, header_.version());
}

bool DbfFile::HeldHere() {
  if (g_holds.load() == 0) return false;
  env::FileStatus st;
  try {
    st = file_->Status();
  } catch (const EnvError&) {
    return false;
  }
  HeldFiles& held = Held();
  std::lock_guard<std::mutex> guard(held.mutex);
  return std::find(held.files.begin(), held.files.end(), std::make_pair(st.device, st.inode)) !=
         held.files.end();
}

void DbfFile::Lock(LockMode mode, int timeout_ms) {
  if (lock_ == mode || (lock_ == LockMode::kExclusive && mode == LockMode::kShared)) return;
  if (lock_ == LockMode::kNone && HeldHere()) {
    lock_ = mode;
    lent_ = true;
    return;
  }
  if (lent_) {
    lock_ = mode;
    return;
  }
  bool locked = false;
  try {
    locked = env::LockWithin(
        env_, *file_,
        mode == LockMode::kExclusive ? env::LockKind::kExclusive : env::LockKind::kShared,
        timeout_ms < 0 ? g_lock_timeout_ms : timeout_ms);
  } catch (const EnvError& e) {
    Fail("Die Datei kann nicht gesperrt werden", e);
  }
  if (!locked) Fail("Die Tabelle ist von einem anderen Programm gesperrt");
  lock_ = mode;
}

void DbfFile::Unlock() {
  if (lent_) {
    lent_ = false;
    lock_ = LockMode::kNone;
    return;
  }
  if (lock_ == LockMode::kNone || !file_) return;
  file_->Unlock();
  lock_ = LockMode::kNone;
}

std::unique_ptr<TableHold> TableHold::Take(const std::string& path, env::Env& env) {
  std::unique_ptr<TableHold> hold(new TableHold);
  hold->path_ = path;
  env::LockKind kind = env::LockKind::kExclusive;
  // A second hold of this process on a held file shares the first one's
  // lock: its own would wait for the first.
  try {
    if (const std::optional<env::FileStatus> st = env.Stat(path); st && g_holds.load() > 0) {
      HeldFiles& held = Held();
      std::lock_guard<std::mutex> guard(held.mutex);
      const auto identity = std::make_pair(st->device, st->inode);
      if (std::find(held.files.begin(), held.files.end(), identity) != held.files.end()) {
        hold->device_ = st->device;
        hold->inode_ = st->inode;
        held.files.push_back(identity);
        ++g_holds;
        return hold;
      }
    }
  } catch (const EnvError&) {
    // Opening it below tells what is wrong.
  }
  try {
    try {
      hold->file_ = env.Open(path, env::OpenMode::kReadWrite);
    } catch (const EnvError& e) {
      if (e.Code() != EACCES && e.Code() != EROFS && e.Code() != EPERM) throw;
      // Nobody may write the file; a shared lock keeps the writers of
      // other processes out all the same.
      hold->file_ = env.Open(path, env::OpenMode::kRead);
      kind = env::LockKind::kShared;
    }
    const env::FileStatus st = hold->file_->Status();
    hold->device_ = st.device;
    hold->inode_ = st.inode;
    if (!env::LockWithin(env, *hold->file_, kind, g_lock_timeout_ms)) {
      format::Throw({path}, "Die Tabelle ist von einem anderen Programm gesperrt");
    }
  } catch (const EnvError& e) {
    format::Throw({path}, "Die Datei kann nicht gesperrt werden: " + e.Reason());
  }
  HeldFiles& held = Held();
  std::lock_guard<std::mutex> guard(held.mutex);
  held.files.emplace_back(hold->device_, hold->inode_);
  ++g_holds;
  return hold;
}

TableHold::~TableHold() {
  HeldFiles& held = Held();
  {
    std::lock_guard<std::mutex> guard(held.mutex);
    const auto it =
        std::find(held.files.begin(), held.files.end(), std::make_pair(device_, inode_));
    if (it != held.files.end()) held.files.erase(it);
  }
  --g_holds;
  // Closing the handle drops its lock.
}

void DbfFile::CheckNoRivals() {
  // Another file (or a folder) that answers to the table's name or its memo
  // file's may come at any time; the folder's modification time tells when
  // to look. Reading it is a system call, which would cost a point lookup a
  // tenth of its time at every statement: it is read at most every
  // kRivalCheckNs, through an open handle on the folder (no path to walk).
  // Once a rival is found, every statement looks until it is gone.
  const int64_t now = env_.WallNs();
  if (rivals_checked_at_ns_ != 0 && now >= rivals_checked_at_ns_ &&
      now - rivals_checked_at_ns_ < kRivalCheckNs) {
    return;
  }
  std::optional<env::FileStatus> st;
  try {
    if (!folder_file_) folder_file_ = env_.Open(folder_, env::OpenMode::kRead);
    st = folder_file_->Status();
  } catch (const EnvError&) {
    folder_file_.reset();
    return;  // the table's own file tells what is wrong
  }
  if (st->mtime_ns == folder_mtime_ns_) {
    // Looked at well after the folder last changed: a change since would
    // have moved its time.
    const bool settled = folder_mtime_ns_ + kMtimeSlackNs < folder_verified_at_ns_;
    // Looked at just after it changed, a change within the same tick of a
    // coarse file clock would not show: looked at once more when that tick
    // lies well in the past, rather than at every statement till then (a
    // table just made takes its first rows in that time).
    if (settled || now <= folder_mtime_ns_ + kMtimeSlackNs) {
      rivals_checked_at_ns_ = now;
      return;
    }
  }
  Locate(env_, folder_, env::NameOf(path_));
  if (!memo_path_.empty()) FindMemoFile(env_, path_);
  folder_mtime_ns_ = st->mtime_ns;
  folder_verified_at_ns_ = env_.WallNs();
  rivals_checked_at_ns_ = now;
}

void DbfFile::Sync() {
  for (int attempt = 0;; ++attempt) {
    std::optional<env::FileStatus> st;
    try {
      st = env_.Stat(path_);
    } catch (const EnvError& e) {
      Fail(kNoStatus, e);
    }
    if (!st) throw FileGone(path_ + ": Die Datei ist nicht mehr vorhanden.");
    if (st->device != seen_.device || st->inode != seen_.inode) {
      env::FileStatus own;
      try {
        own = file_->Status();
      } catch (const EnvError& e) {
        Fail(kNoStatus, e);
      }
      if (!own.SameFile(*st)) {
        // Replaced by another file of the same name: take the new one, under
        // a lock of its own.
        if (attempt > 3) Fail("Die Datei wird immer wieder durch eine andere ersetzt");
        const LockMode held = lock_;
        CloseFiles();
        OpenFiles();
        Lock(held);
        stale_ = true;
        continue;
      }
    }
    const auto size = static_cast<int64_t>(st->size);
    // A modification time that was already well in the past when the header
    // was last read cannot stay the same through another write, so size and
    // time then tell enough; otherwise the header's counts must be read.
    if (!stale_ && size == seen_.size && st->mtime_ns == seen_.mtime_ns &&
        seen_.mtime_ns + kMtimeSlackNs < verified_at_ns_) {
      return;
    }
    format::Header h;
    bool whole = false;
    try {
      whole = st->size >= 32 && file_->ReadExactly(0, h.bytes, sizeof(h.bytes));
    } catch (const EnvError& e) {
      Fail(kNoHeader, e);
    }
    if (!whole) Fail(ShortFileText(st->size));
    Fingerprint now;
    now.device = st->device;
    now.inode = st->inode;
    now.size = size;
    now.mtime_ns = st->mtime_ns;
    now.count = h.count();
    now.changes = h.changes();
    if (stale_ || !(now == seen_)) Load(*st);
    seen_ = now;
    verified_at_ns_ = env_.WallNs();
    return;
  }
}

void DbfFile::ReadRecords(uint32_t first, uint32_t n, char* into) const {
  const uint64_t at = header_length_ + static_cast<uint64_t>(first) * record_length_;
  const uint64_t bytes = static_cast<uint64_t>(n) * record_length_;
  try {
    for (uint64_t done = 0; done < bytes;) {
      const size_t step = static_cast<size_t>(std::min<uint64_t>(kReadBlock, bytes - done));
      if (!file_->ReadExactly(at + done, into + done, step)) {
        Fail(kRecordsCut);
      }
      done += step;
    }
  } catch (const EnvError& e) {
    Fail(kNoRecords, e);
  }
}

char* DbfFile::NewChunks(uint32_t n) const {
  const size_t bytes = static_cast<size_t>(n) * (size_t{chunk_mask_} + 1) * record_length_;
  if (slabs_.empty() || slab_used_ + bytes > slabs_.back().size()) {
    env::LargeBuffer slab;
    slab.resize(std::max(kSlabBytes, bytes));
    slabs_.push_back(std::move(slab));
    slab_used_ = 0;
  }
  char* at = slabs_.back().data() + slab_used_;
  slab_used_ += bytes;
  return at;
}

char* DbfFile::LoadChunk(uint32_t chunk, bool check) const {
  const size_t records = size_t{chunk_mask_} + 1;
  // A scan asks for chunk after chunk: the chunks that follow one already
  // read are read with it, a few megabytes at once.
  uint32_t n = 1;
  if (chunk > 0 && chunks_[chunk - 1]) {
    while (n < kReadAheadChunks && chunk + n < chunks_.size() && !chunks_[chunk + n] &&
           (uint64_t{chunk + n} << chunk_shift_) < committed_count_) {
      ++n;
    }
  }
  char* bytes = NewChunks(n);
  const uint32_t first = chunk << chunk_shift_;
  // Only records the disk holds are read; the others of the chunk are
  // appended by this statement and written by Append.
  const uint32_t on_disk =
      first < committed_count_
          ? static_cast<uint32_t>(std::min<uint64_t>(records * n, committed_count_ - first))
          : 0;
  if (on_disk > 0) ReadRecords(first, on_disk, bytes);
  if (check) {
    for (uint32_t k = 0; k < on_disk; ++k) {
      format::CheckDeletionFlag(path_, first + k,
                                static_cast<unsigned char>(bytes[size_t{k} * record_length_]));
    }
  }
  for (uint32_t k = 0; k < n; ++k) chunks_[chunk + k] = bytes + k * records * record_length_;
  chunks_loaded_ += n;
  return bytes;
}

void DbfFile::DropChunks() {
  chunks_.clear();
  chunks_loaded_ = 0;
  slabs_.clear();
  slab_used_ = 0;
}

void DbfFile::Load(const env::FileStatus& st) {
  // Until this load succeeds, the copy in memory may be half updated: the
  // next one must start from scratch.
  const bool full = full_reload_;
  full_reload_ = true;
  const uint64_t size = st.size;
  format::Header h;
  std::vector<unsigned char> hdr;
  try {
    if (size < 32 || !file_->ReadExactly(0, h.bytes, sizeof(h.bytes))) {
      Fail(ShortFileText(size));
    }
    hdr.resize(format::CheckHeader(path_, h, size));
    if (!file_->ReadExactly(0, hdr.data(), hdr.size())) Fail(kNoHeader);
  } catch (const EnvError& e) {
    Fail(kNoHeader, e);
  }
  std::vector<Field> fields = format::ParseFields(path_, h, hdr, size);
  const uint32_t header_length = h.header_length();
  const uint32_t record_length = h.record_length();
  uint32_t count = h.count();
  count += UncountedRecords(size, header_length, record_length, count);
  const bool known = !fields_.empty();
  if (known) {
    bool same = fields.size() == fields_.size() && header_length == header_length_ &&
                record_length == record_length_;
    for (size_t i = 0; same && i < fields.size(); ++i) {
      same = fields[i].name == fields_[i].name && fields[i].type == fields_[i].type &&
             fields[i].length == fields_[i].length && fields[i].decimals == fields_[i].decimals;
    }
    if (!same)
      throw StructureChanged(
          path_ + ": Die Felder der Tabelle wurden von einem anderen Programm geändert.");
  }
  // Counted records the file does not hold whole: read short, the next
  // append would overwrite what the header counts.
  if (header_length + static_cast<uint64_t>(count) * record_length > size) Fail(kRecordsCut);
  header_length_ = header_length;
  record_length_ = record_length;

  // Another program's change usually touches a few records: compare the
  // file with the records in memory and note only what differs, so the
  // driver's indexes can follow record by record instead of starting over.
  // That needs every record in memory: a record never read may have changed
  // unseen, so with chunks still unread the indexes start over.
  const bool incremental = known && !full && count >= committed_count_ &&
                           count_ == committed_count_ && dirty_.empty() && !h.incomplete() &&
                           AllChunksLoaded();
  std::vector<uint32_t> changed;
  if (incremental) {
    const uint32_t old_count = count_;
    chunks_.resize(ChunkCount(count));
    // The records the file gained are read with their chunk, as on disk now.
    committed_count_ = count;
    std::vector<char> disk;
    for (uint32_t c = 0; c < chunks_.size(); ++c) {
      const uint32_t first = c << chunk_shift_;
      const uint32_t n =
          static_cast<uint32_t>(std::min<uint64_t>(size_t{chunk_mask_} + 1, count - first));
      if (!chunks_[c]) {
        LoadChunk(c, false);
        for (uint32_t k = 0; k < n; ++k) changed.push_back(first + k);
        continue;
      }
      const size_t bytes = static_cast<size_t>(n) * record_length;
      disk.resize(bytes);
      ReadRecords(first, n, disk.data());
      char* mem = chunks_[c];
      const uint32_t known_n = first < old_count ? std::min(n, old_count - first) : 0;
      if (known_n == n && std::memcmp(disk.data(), mem, bytes) == 0) continue;
      for (uint32_t k = 0; k < n; ++k) {
        const size_t at = static_cast<size_t>(k) * record_length;
        if (k < known_n && std::memcmp(disk.data() + at, mem + at, record_length) == 0) continue;
        std::memcpy(mem + at, disk.data() + at, record_length);
        changed.push_back(first + k);
      }
    }
    count_ = count;
  } else {
    // The old records go first, so that a reload never holds two copies;
    // the new ones are read as they are needed.
    DropChunks();
    dirty_.clear();
    before_.clear();
    dirty_flag_.clear();
    chunk_shift_ = 0;
    while ((uint64_t{2} << chunk_shift_) * record_length <= kChunkBytes && chunk_shift_ < 20) {
      ++chunk_shift_;
    }
    chunk_mask_ = (1u << chunk_shift_) - 1;
    count_ = committed_count_ = count;
    chunks_.resize(ChunkCount(count));
  }
  if (h.incomplete()) Recover(h, size, header_length, record_length, count);
  for (uint32_t r : changed) {
    format::CheckDeletionFlag(path_, r, static_cast<unsigned char>(RecordPtr(r)[0]));
  }

  header_ = h;
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
  if (format::HasMemo(fields_) && !memo_file_) OpenMemo();
}

void DbfFile::Recover(format::Header& h, uint64_t size, uint32_t header_length,
                      uint32_t record_length, uint32_t count) {
  // A writer was stopped between saving the old records and writing the
  // header: put the old records back, in memory always, on disk when this
  // handle may write.
  const uint64_t at = h.undo_offset();
  std::optional<format::RecordImages> images;
  unsigned char head[8];
  try {
    if (at >= header_length && at + 8 <= size && file_->ReadExactly(at, head, sizeof(head))) {
      const std::optional<uint64_t> length = format::UndoLength(head, record_length);
      if (length && Le32(head + 4) <= count && at + *length <= size) {
        std::vector<unsigned char> block(static_cast<size_t>(*length));
        if (file_->ReadExactly(at, block.data(), block.size())) {
          images = format::DecodeUndo(block, record_length, count);
        }
      }
    }
  } catch (const EnvError& e) {
    Fail("Die gesicherten Datensätze können nicht gelesen werden", e);
  }
  // Cut short before the flag was set when not whole: nothing to undo.
  if (!images) images.emplace();
  // The chunks of the records put back are read without the check of their
  // flags: torn records are what is being put right. They are checked once
  // whole.
  for (const auto& [rec, bytes] : *images) {
    const uint32_t c = rec >> chunk_shift_;
    char* chunk = chunks_[c] ? chunks_[c] : LoadChunk(c, false);
    std::memcpy(chunk + static_cast<size_t>(rec & chunk_mask_) * record_length, bytes.data(),
                record_length);
  }
  for (size_t c = 0; c < chunks_.size(); ++c) {
    if (!chunks_[c]) continue;
    const uint32_t first = static_cast<uint32_t>(c) << chunk_shift_;
    const uint32_t n =
        static_cast<uint32_t>(std::min<uint64_t>(size_t{chunk_mask_} + 1, count - first));
    for (uint32_t k = 0; k < n; ++k) {
      format::CheckDeletionFlag(path_, first + k,
                                static_cast<unsigned char>(chunks_[c][size_t{k} * record_length]));
    }
  }
  if (lock_ != LockMode::kExclusive || !writable_) return;
  // Killed again in the middle of this, the flag still stands and the next
  // reader starts over: putting the same records back twice does no harm.
  std::string failed;
  try {
    for (const auto& [rec, bytes] : *images) {
      failed = "Datensatz " + std::to_string(rec + 1) + " kann nicht wiederhergestellt werden";
      file_->WriteAt(header_length + static_cast<uint64_t>(rec) * record_length, bytes.data(),
                     record_length);
    }
    failed = "Der Dateikopf kann nicht wiederhergestellt werden";
    unsigned char clear[format::kUndoFlagBytes];
    std::memcpy(clear, h.bytes + format::kIncompleteFlagAt, sizeof(clear));
    clear[0] = 0;
    std::memset(clear + (format::kUndoOffsetAt - format::kIncompleteFlagAt), 0, 4);
    file_->WriteAt(format::kIncompleteFlagAt, clear, sizeof(clear));
  } catch (const EnvError& e) {
    // A reader goes on with the records put back in memory; a writer must
    // not build on a file that still holds half a statement.
    if (repair_optional_) {
      repair_failed_ = true;
      return;
    }
    Fail(failed, e);
  }
  h.bytes[format::kIncompleteFlagAt] = 0;
  std::memset(h.bytes + format::kUndoOffsetAt, 0, 4);
  // The saved records, where the writer put them, are no longer needed.
  if (at == header_length + static_cast<uint64_t>(count) * record_length + 1) {
    try {
      file_->Truncate(at);
    } catch (const EnvError&) {
      // Behind the end mark they are no record to any reader.
    }
  }
}

void DbfFile::RepairForReaders() {
  // A writer was killed in the middle of a statement. Put right in memory
  // only, the file would go on showing the half-done statement to readers
  // that know nothing of the undo block; so a reader that may write takes
  // the exclusive lock, waiting as a writer does, repairs the file and goes
  // on under its shared lock. When others keep the lock past the timeout,
  // it reads what it put right in memory, and tries again next time.
  Unlock();
  bool exclusive = true;
  try {
    Lock(LockMode::kExclusive);
  } catch (const DbaseError&) {
    exclusive = false;
  }
  if (!exclusive) Lock(LockMode::kShared);
  stale_ = true;
  repair_optional_ = true;
  repair_failed_ = false;
  try {
    Sync();
  } catch (...) {
    repair_optional_ = false;
    throw;
  }
  repair_optional_ = false;
  // A file that cannot be written is not tried again until it changes.
  if (repair_failed_) repair_refused_ = seen_;
  if (lock_ == LockMode::kExclusive && lent_) {
    lock_ = LockMode::kShared;
  } else if (lock_ == LockMode::kExclusive) {
    try {
      if (file_->TryLock(env::LockKind::kShared)) lock_ = LockMode::kShared;
    } catch (const EnvError&) {
      // Still exclusive: more than the reader needs, and dropped at its end.
    }
  }
}

uint32_t DbfFile::UncountedRecords(uint64_t size, uint32_t header_length, uint32_t record_length,
                                   uint32_t count) const {
  // Behind the counted records the file may end, or hold an end mark with
  // anything behind it (an undo block, an append stopped before its gate
  // opened). Whole records up to an end mark are records a writer appended
  // and opened the gate to but did not count yet (killed just then, or a
  // writer that counts only when it closes the table): they are taken, as
  // readers that read up to the end mark take them. Anything else says the
  // count is wrong; read short, the table would let the next append
  // overwrite what the header does not count, so it is refused.
  const uint64_t end = header_length + static_cast<uint64_t>(count) * record_length;
  if (end >= size) return 0;
  // The flags are read in blocks: one read for the usual end mark, few for
  // many uncounted records.
  std::vector<unsigned char> block;
  uint64_t block_at = 0;
  const auto byte_at = [&](uint64_t at) {
    if (at < block_at || at >= block_at + block.size()) {
      block.resize(static_cast<size_t>(std::min<uint64_t>(kUncountedBlock, size - at)));
      block_at = at;
      if (!file_->ReadExactly(at, block.data(), block.size())) {
        Fail(kRecordsCut);
      }
    }
    return block[static_cast<size_t>(at - block_at)];
  };
  uint64_t at = end;
  uint32_t found = 0;
  std::string stray;
  try {
    for (;; ++found, at += record_length) {
      if (at >= size) break;
      const unsigned char flag = byte_at(at);
      if (flag == format::kEofMark) return found;
      if (flag != ' ' && flag != '*') {
        stray = std::to_string(size - at) +
                (size - at == 1 ? " überzähliges Byte (" : " überzählige Bytes (das erste ist ") +
                format::Hex(flag) + ")";
        break;
      }
      if (at + record_length > size) {
        stray = std::to_string(size - at) + " Bytes eines abgeschnittenen Datensatzes";
        break;
      }
      if (found == 0xFFFFFFFFu - count) {
        stray = "mehr Datensätze, als ein Dateikopf zählen kann,";
        break;
      }
    }
  } catch (const EnvError& e) {
    Fail(kNoRecords, e);
  }
  std::string behind;
  if (found > 0) {
    behind = std::to_string(found) + (found == 1 ? " ganzer Datensatz" : " ganze Datensätze");
  }
  if (!stray.empty()) behind += (behind.empty() ? "" : " und ") + stray;
  Fail("Die Tabelle ist beschädigt: Der Dateikopf zählt " + std::to_string(count) +
       (count == 1 ? " Datensatz" : " Datensätze") + ", dahinter folgen aber " + behind +
       " ohne Endmarke");
}

std::optional<DbfFile::DiskState> DbfFile::CurrentDiskState() const {
  if (lock_ == LockMode::kNone || stale_ || !dirty_.empty() || count_ != committed_count_ ||
      header_.incomplete() || repair_failed_) {
    return std::nullopt;
  }
  DiskState state;
  state.size = seen_.size;
  state.mtime_ns = seen_.mtime_ns;
  state.record_length = record_length_;
  state.header.assign(reinterpret_cast<const char*>(header_.bytes), sizeof(header_.bytes));
  return state;
}

std::vector<uint32_t> DbfFile::TakeChangedRecords() {
  std::vector<uint32_t> out;
  out.swap(changed_);
  return out;
}

void DbfFile::BeginRead() {
  if (lock_ == LockMode::kNone) {
    Lock(LockMode::kShared);
    SyncForReading();
  }
  ++read_depth_;
}

bool DbfFile::TryBeginRead() {
  if (lock_ == LockMode::kNone) {
    try {
      Lock(LockMode::kShared, 0);
    } catch (const DbaseError&) {
      return false;
    }
    SyncForReading();
  }
  ++read_depth_;
  return true;
}

void DbfFile::SyncForReading() {
  try {
    CheckNoRivals();
    Sync();
    if (header_.incomplete() && writable_ && !(repair_refused_ && *repair_refused_ == seen_)) {
      RepairForReaders();
    }
  } catch (...) {
    Unlock();
    throw;
  }
}

void DbfFile::EndRead() {
  if (read_depth_ > 0) --read_depth_;
  if (read_depth_ == 0 && !writing_) Unlock();
}

void DbfFile::BeginWrite() {
  if (writing_) return;
  if (!writable_) Fail("Die Tabelle ist schreibgeschützt");
  const bool had_lock = lock_ != LockMode::kNone;
  Lock(LockMode::kExclusive);
  if (header_.incomplete()) stale_ = true;  // repair what a reader could only undo in memory
  try {
    CheckNoRivals();
    if (!had_lock || stale_) Sync();
  } catch (...) {
    Unlock();
    throw;
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
  } else if (lent_) {
    lock_ = LockMode::kShared;
  } else {
    try {
      if (file_->TryLock(env::LockKind::kShared)) lock_ = LockMode::kShared;
    } catch (const EnvError&) {
      // Still exclusive: more than the reader needs, and dropped at its end.
    }
  }
}

void DbfFile::Rollback() noexcept {
  if (!writing_) return;
  writing_ = false;
  before_.clear();
  if (!dirty_.empty() || count_ != committed_count_) {
    stale_ = true;
    full_reload_ = true;
    try {
      Sync();  // still under the lock: drop the changes from memory at once
    } catch (...) {
      // Whatever failed, the next statement reloads the records as a whole.
      stale_ = true;
      full_reload_ = true;
    }
  }
  if (read_depth_ == 0) {
    try {
      Unlock();
    } catch (...) {
      lock_ = LockMode::kNone;  // closing the file drops the lock at the latest
    }
  }
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
  format::RecordImages images;
  images.reserve(dirty_.size());
  for (size_t k = 0; k < dirty_.size(); ++k) images.emplace_back(dirty_[k], std::move(before_[k]));
  before_.clear();
  const format::Header old_header = header_;
  // The size at the statement's start, known without asking: under the
  // lock no other writer has been at the file since it was last looked at.
  const auto old_size = static_cast<uint64_t>(seen_.size);

  const auto step = [&](const auto& write, const auto& what) {
    try {
      write();
    } catch (const EnvError& e) {
      // Put back what this statement wrote, as far as the disk lets us; the
      // header's flag, when it was set, leaves the rest to the next reader.
      header_ = old_header;
      PutBack(images, old_header, old_size);
      Fail(what(), e);
    }
  };
  if (undo) {
    const std::vector<unsigned char> block = format::EncodeUndo(images);
    // Bytes 15-19 (the change count among them) stay as they are: a kill
    // leaves them for the reader that repairs the file.
    unsigned char flag[format::kUndoFlagBytes];
    std::memcpy(flag, header_.bytes + format::kIncompleteFlagAt, sizeof(flag));
    flag[0] = 1;
    PutLe32(flag + (format::kUndoOffsetAt - format::kIncompleteFlagAt),
            static_cast<uint32_t>(undo_at));
    step(
        [&] {
          file_->WriteAt(undo_at, block.data(), block.size());
          file_->WriteAt(format::kIncompleteFlagAt, flag, sizeof(flag));
        },
        [] { return std::string("Die Datei kann nicht geschrieben werden"); });
  }
  std::sort(dirty_.begin(), dirty_.end());
  size_t i = 0;
  while (i < dirty_.size()) {
    size_t j = i + 1;
    while (j < dirty_.size() && dirty_[j] == dirty_[j - 1] + 1) ++j;
    // A run is written at most a chunk at a time: a chunk's records lie
    // together in memory, two chunks' do not.
    while (j > i + 1 && (dirty_[j - 1] >> chunk_shift_) != (dirty_[i] >> chunk_shift_)) --j;
    const uint32_t first = dirty_[i];
    const size_t bytes = (j - i) * record_length_;
    step([&] { file_->WriteAt(offset_of(first), RecordPtr(first), bytes); },
         [&] {
           return "Datensatz " + std::to_string(first + 1) + " kann nicht geschrieben werden";
         });
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
    for (uint32_t r = committed_count_; r < count_; ++r) {
      std::memcpy(tail.data() + static_cast<size_t>(r - committed_count_) * record_length_,
                  RecordPtr(r), record_length_);
    }
    tail[0] = static_cast<char>(format::kEofMark);
    tail[bytes] = static_cast<char>(format::kEofMark);
    const uint64_t at = offset_of(committed_count_);
    step(
        [&] {
          file_->WriteAt(at, tail.data(), tail.size());
          file_->WriteAt(at, RecordPtr(committed_count_), 1);
        },
        [] { return std::string("Die neuen Datensätze können nicht angehängt werden"); });
  }
  TodayInto(env_, header_.bytes + 1);
  PutLe32(header_.bytes + 4, count_);
  const uint32_t changes = header_.changes() + 1;
  PutLe32(header_.bytes + format::kChangeCountOffset, changes);
  std::memset(header_.bytes + format::kIncompleteFlagAt, 0, 1);
  std::memset(header_.bytes + format::kUndoOffsetAt, 0, 4);
  step([&] { file_->WriteAt(1, header_.bytes + 1, format::kUndoOffsetAt + 4 - 1); },
       [] { return std::string("Der Dateikopf kann nicht geschrieben werden"); });
  // The statement stands. The saved records are no longer needed and the
  // file ends at its end mark again; if it cannot be shortened, what lies
  // behind the mark is no record to any reader.
  if (undo) {
    try {
      file_->Truncate(undo_at);
    } catch (const EnvError&) {
    }
  }
  for (uint32_t r : dirty_) dirty_flag_[r] = false;
  dirty_.clear();
  committed_count_ = count_;
  dirty_flag_.resize(count_, false);

  env::FileStatus st;
  try {
    st = file_->Status();
  } catch (const EnvError& e) {
    Fail(kNoStatus, e);
  }
  seen_.size = static_cast<int64_t>(st.size);
  seen_.mtime_ns = st.mtime_ns;
  verified_at_ns_ = env_.WallNs();
  seen_.count = count_;
  seen_.changes = changes;
}

void DbfFile::PutBack(const format::RecordImages& images, const format::Header& old_header,
                      uint64_t old_size) {
  try {
    for (const auto& [rec, bytes] : images) {
      file_->WriteAt(header_length_ + static_cast<uint64_t>(rec) * record_length_, bytes.data(),
                     bytes.size());
    }
    const uint64_t end = header_length_ + static_cast<uint64_t>(committed_count_) * record_length_;
    if (count_ > committed_count_ && end < old_size) {
      const auto mark = static_cast<char>(format::kEofMark);
      file_->WriteAt(end, &mark, 1);  // the gate closed again
    }
    file_->WriteAt(1, old_header.bytes + 1, format::kUndoOffsetAt + 4 - 1);
    const uint64_t counted =
        header_length_ + static_cast<uint64_t>(committed_count_) * record_length_;
    if (old_size >= counted && file_->Size() > old_size) file_->Truncate(old_size);
  } catch (const EnvError&) {
    // The disk refuses even this; a set flag leaves the repair to the next reader.
  }
}

int DbfFile::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (text::EqualsIgnoreCase(fields_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

Cell DbfFile::Read(uint32_t rec, int field) const {
  const Field& f = fields_[field];
  const format::Where where{path_, rec, &f};
  Cell cell = format::DecodeCell(f, Raw(rec, field), where);
  if (f.type != 'M') return cell;
  if (cell.integer == 0) return Cell::Text("");
  return Cell::Text(text::AnsiToUtf8(ReadMemo(rec, field, static_cast<uint64_t>(cell.integer))));
}

std::string DbfFile::ReadMemo(uint32_t rec, int field, uint64_t block) const {
  const format::Where where{path_, rec, &fields_[field]};
  uint64_t size = 0;
  try {
    if (!memo_file_) throw EnvError(EBADF, "status", memo_path_);
    size = memo_file_->Size();
  } catch (const EnvError& e) {
    format::Throw(where, "Die Memodatei kann nicht gelesen werden: " + e.Reason());
  }
  const uint64_t bs = memo_.block_size;
  const uint64_t start = block * bs;
  if (block > size / bs || start >= size) {
    format::Throw(
        where, "Memoblock " + std::to_string(block) + " liegt hinter dem Ende von " + memo_path_);
  }
  const auto cut = [&] {
    format::Throw(where,
                  "Der Memotext kann nicht gelesen werden: " + memo_path_ + " endet vorzeitig");
  };
  try {
    std::string out;
    if (memo_.dbase4) {
      unsigned char h[8];
      if (start + 8 > size || !memo_file_->ReadExactly(start, h, sizeof(h))) {
        format::RefuseMemoBlock(block, memo_path_, where);
      }
      out.resize(format::MemoTextLength(h, block, start, size, memo_path_, where));
      if (!out.empty() && !memo_file_->ReadExactly(start + 8, out.data(), out.size())) cut();
      if (const std::optional<size_t> end = format::MemoEnd(out, true)) out.resize(*end);
      return out;
    }
    uint64_t pos = start;
    char buf[512];
    while (pos < size && pos - start < format::kMaxMemo) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof(buf), size - pos));
      if (!memo_file_->ReadExactly(pos, buf, n)) cut();
      if (const std::optional<size_t> end = format::MemoEnd(std::string_view(buf, n), false)) {
        out.append(buf, *end);
        return out;
      }
      out.append(buf, n);
      pos += n;
    }
  } catch (const EnvError& e) {
    format::Throw(where, "Der Memotext kann nicht gelesen werden: " + e.Reason());
  }
  format::Throw(where, "Der Memotext in Block " + std::to_string(block) + " von " + memo_path_ +
                           " hat keine Endmarke");
}

uint64_t DbfFile::WriteMemo(uint32_t rec, int field, const std::string& bytes) {
  const format::Where where{path_, rec, &fields_[field]};
  if (!memo_file_) format::Throw(where, "Die Tabelle hat keine Memodatei");
  unsigned char h[4];
  uint64_t size = 0;
  try {
    if (!memo_file_->ReadExactly(0, h, sizeof(h))) throw EnvError(EIO, "read", memo_path_);
    size = memo_file_->Size();
  } catch (const EnvError& e) {
    format::Throw(where,
                  "Der Dateikopf von " + memo_path_ + " kann nicht gelesen werden: " + e.Reason());
  }
  const uint64_t bs = memo_.block_size;
  // New memos go behind the last block in the file. The header's next-block
  // number is written for other programs but not trusted: pointing into
  // blocks in use it would overwrite memos, pointing far past the end it
  // would blow the file up.
  const uint64_t block = std::max<uint64_t>((size + bs - 1) / bs, 1);
  const std::vector<unsigned char> buf = format::EncodeMemo(memo_, bytes);
  const uint64_t next = block + buf.size() / bs;
  if (next > 0xFFFFFFFFu) format::Throw(where, "Die Memodatei ist voll");
  try {
    memo_file_->WriteAt(block * bs, buf.data(), buf.size());
  } catch (const EnvError& e) {
    format::Throw(where, "Der Memotext kann nicht geschrieben werden: " + e.Reason());
  }
  PutLe32(h, static_cast<uint32_t>(next));
  try {
    memo_file_->WriteAt(0, h, sizeof(h));
  } catch (const EnvError& e) {
    format::Throw(
        where, "Der Dateikopf von " + memo_path_ + " kann nicht geschrieben werden: " + e.Reason());
  }
  return block;
}

void DbfFile::Write(uint32_t rec, int field, const Cell& value) {
  if (!writing_) Fail(kOutsideWrite);
  if (rec >= count_) format::Throw({path_, rec}, format::kNoSuchRecord);
  const Field& f = fields_[field];
  const format::Where where{path_, rec, &f};
  std::string out;
  if (f.type != 'M') {
    out = format::EncodeCell(f, value, where);
  } else if (value.kind == Cell::Kind::kNull ||
             (value.kind == Cell::Kind::kText && value.text.empty())) {
    out = format::EncodeCell(f, Cell::Null(), where);
  } else {
    if (value.kind != Cell::Kind::kText) format::RefuseValue(f, "Dieser Wert", where);
    const std::string bytes = format::FieldBytes(value.text, where);
    format::CheckMemoText(bytes, where);
    const uint64_t block = WriteMemo(rec, field, bytes);
    out = format::EncodeCell(f, Cell::Integer(static_cast<int64_t>(block)), where);
  }
  MarkDirty(rec);
  std::memcpy(RecordPtr(rec) + f.offset, out.data(), out.size());
}

uint32_t DbfFile::Append() {
  if (!writing_) Fail(kOutsideWrite);
  if (count_ == 0xFFFFFFFFu) Fail("Die Tabelle ist voll");
  const uint32_t rec = count_;
  const uint32_t c = rec >> chunk_shift_;
  if (c >= chunks_.size()) {
    chunks_.push_back(NewChunks(1));
    ++chunks_loaded_;
  }
  // A chunk that also holds records of the disk is read before the new
  // record goes into it.
  char* chunk = chunks_[c] ? chunks_[c] : LoadChunk(c);
  std::memset(chunk + static_cast<size_t>(rec & chunk_mask_) * record_length_, ' ', record_length_);
  return count_++;
}

void DbfFile::Delete(uint32_t rec) {
  if (!writing_) Fail(kOutsideWrite);
  if (rec >= count_) format::Throw({path_, rec}, format::kNoSuchRecord);
  MarkDirty(rec);
  RecordPtr(rec)[0] = '*';
}

std::unique_ptr<DbfFile> DbfFile::Create(const std::string& path, Flavor flavor,
                                         const std::vector<FieldSpec>& specs, env::Env& env) {
  const auto fail = [&](const std::string& what) { format::Throw({path}, what); };
  unsigned char today[3];
  TodayInto(env, today);
  const format::NewTable table = format::BuildTable(path, flavor, specs, today);
  std::optional<env::FileStatus> existing;
  try {
    existing = env.Stat(path);
  } catch (const EnvError& e) {
    fail("Die Datei kann nicht angelegt werden: " + e.Reason());
  }
  if (existing) fail(kExists);
  // Another spelling of the name would make two files answer to it.
  const std::string folder = env::FolderOf(path);
  if (const std::optional<std::string> other = Locate(env, folder, env::NameOf(path))) {
    fail("Die Tabelle ist schon als " + env::JoinPath(folder, *other) + " vorhanden");
  }
  if (table.has_memo) {
    // The memo file first: a .dbf that exists always has its .dbt. One left
    // by a table long gone is taken over in its own spelling.
    const std::string base = env::NameOf(path);
    const bool upper_ext = base.size() > 4 && base.substr(base.size() - 4) == ".DBF";
    std::string memo_path = FindMemoFile(env, path);
    if (memo_path.empty()) memo_path = env::WithoutExtension(path) + (upper_ext ? ".DBT" : ".dbt");
    const std::vector<unsigned char> memo = format::BuildMemoHeader(flavor, base);
    std::unique_ptr<env::File> m;
    try {
      m = env.Open(memo_path, env::OpenMode::kTruncate);
    } catch (const EnvError& e) {
      fail("Die Memodatei kann nicht angelegt werden: " + e.Reason());
    }
    try {
      m->WriteAt(0, memo.data(), memo.size());
    } catch (const EnvError& e) {
      fail("Die Memodatei kann nicht geschrieben werden: " + e.Reason());
    }
  }
  std::unique_ptr<env::File> f;
  try {
    f = env.Open(path, env::OpenMode::kCreateNew);
  } catch (const EnvError& e) {
    if (e.Code() == EEXIST) fail(kExists);
    fail("Die Datei kann nicht angelegt werden: " + e.Reason());
  }
  try {
    f->WriteAt(0, table.bytes.data(), table.bytes.size());
  } catch (const EnvError& e) {
    f.reset();
    try {
      env.Remove(path);
    } catch (const EnvError&) {
    }
    fail("Die Datei kann nicht geschrieben werden: " + e.Reason());
  }
  f.reset();
  return Open(path, true, env);
}

void DbfFile::Remove(const std::string& path, env::Env& env) {
  const std::string memo = FindMemoFile(env, path);
  try {
    env.Remove(path);
  } catch (const EnvError& e) {
    if (e.Code() != ENOENT) {
      format::Throw({path}, "Die Datei kann nicht gelöscht werden: " + e.Reason());
    }
  }
  if (!memo.empty()) {
    try {
      env.Remove(memo);
    } catch (const EnvError& e) {
      // The table is gone; what is left of it is named, not kept quiet.
      if (e.Code() != ENOENT) {
        format::Throw({memo},
                      "Die Tabelle wurde gelöscht, ihre Memodatei aber nicht: " + e.Reason());
      }
    }
  }
}

std::string FileStamp(const std::string& path, env::Env& env) {
  std::unique_ptr<env::File> file;
  try {
    if (!env.Stat(path)) return "-";
    file = env.Open(path, env::OpenMode::kRead);
    const env::FileStatus st = file->Status();
    char header[32] = {};
    const size_t got = file->ReadAt(0, header, sizeof header);
    std::string stamp = std::to_string(st.device) + ':' + std::to_string(st.inode) + ':' +
                        std::to_string(st.size) + ':' + std::to_string(st.mtime_ns) + ':';
    stamp.append(header, got);
    return stamp;
  } catch (const EnvError& e) {
    throw DbaseError(path + ": " + e.what());
  }
}

}  // namespace platform::dbase
