// The dBase III/IV table: the handle on a .dbf file (and, for memo fields,
// its .dbt file in the dBase III or dBase IV layout) through the platform's
// Env. The bytes themselves are the format layer's (DbfFormat.h); this layer
// owns the open files, the lock, the records in memory (read from disk in
// chunks, each when a record of it is first needed) with their change
// detection, the undo block of the crash contract below, and memo
// I/O. Other dBase readers and writers open the same files.
//
// A table is used statement by statement: BeginRead or BeginWrite take an
// advisory lock on the .dbf (shared or exclusive, per open file, so two
// handles in one process exclude each other too) and bring the in-memory copy
// of the records up to date with the disk when another handle or process
// changed the file (size, modification time, header count and a change count
// kept in the header's multi-user bytes 16-19). Changes are made in memory
// and written by Commit, so that a process killed at any instant (a kill can
// cut a write short between two pages) leaves only whole records:
// - records rewritten in place are first saved behind the end-of-file mark,
//   and the header says so (byte 14, dBase IV's "incomplete transaction"
//   flag, with the place in bytes 20-23); the next reader puts them back.
//   A handle that may write does so on disk: a reader takes the exclusive
//   lock for it (waiting as a writer does, within the lock timeout), puts
//   the records back, clears the flag and goes on under its shared lock, so
//   that no other reader sees the half-done statement. A read-only handle,
//   or one whose writes fail or that does not get the lock in time, puts
//   them back in memory only and leaves the file as it is; a writer that
//   cannot repair the file fails instead of building on it;
// - appended records are written with the end mark still standing where
//   the first of them begins, the gate is then opened by writing its
//   deletion flag, and the header with the new count comes last. Whole
//   records behind an open gate that the header does not count yet are
//   taken, as readers that read up to the end mark take them.
// Behind the counted records the file ends, or an end mark stands (with
// anything behind it), or whole records up to an end mark do. A table with
// anything else there is refused as damaged, the error naming the count and
// what lies behind it: its count cannot be trusted, and read short, the next
// append would overwrite the records it does not count.
// Rollback drops the changes of the statement.
//
// If a write fails (a full disk, an I/O error), Commit puts back what it had
// written of the statement as far as the disk lets it, and the header's
// flag leaves the rest to the next reader as after a kill; the error names
// the file and the system's reason.
//
// Every error is a DbaseError whose text names the file and, where there is
// one, the record (counted from 1) and the field. Bad files never crash,
// hang or get written to: a table whose header, descriptors or records do not
// add up is refused when read.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dbase/DbfFormat.h"
#include "platform/env/Env.h"
#include "platform/env/LargeBuffer.h"

namespace platform::dbase {

class DbfFile {
 public:
  // Opens an existing table for reading and, when `writable` and the file
  // permits it, for writing, through `env` (which must outlive the handle).
  // Throws DbaseError when it is missing or bad.
  static std::unique_ptr<DbfFile> Open(const std::string& path, bool writable,
                                       env::Env& env = env::Env::Current());

  // Writes a new, empty table (and its .dbt when a field is a memo) and
  // opens it. Throws DbaseError when the file exists or a field is invalid.
  static std::unique_ptr<DbfFile> Create(const std::string& path, Flavor flavor,
                                         const std::vector<FieldSpec>& fields,
                                         env::Env& env = env::Env::Current());

  // Deletes a table's .dbf and then its .dbt. Throws DbaseError naming the
  // file and the reason when the .dbf cannot be removed (nothing is then
  // removed), or when the .dbt cannot be (the table is then gone).
  static void Remove(const std::string& path, env::Env& env = env::Env::Current());

  // The name of the entry of `folder` that is `name` without regard to case,
  // or nothing when there is none. Throws DbaseError naming the paths when
  // more than one entry answers to the name (TA_LIST.dbf and TA_LIST.DBF:
  // which one is meant cannot be told), and naming the entry when it is a
  // folder or no regular file. A table's .dbf and .dbt are found so: a
  // table that more than one file answers to is an error at its opening,
  // and at its statements once the folder was looked at again (at most
  // every tenth of a second, and at each statement while the error
  // stands), never a silent choice of one.
  static std::optional<std::string> Locate(env::Env& env, const std::string& folder,
                                           std::string_view name);

  // How long BeginRead and BeginWrite wait for another holder of the lock
  // before they give up with a DbaseError (default 10 s).
  static void SetLockTimeoutMs(int ms);

  ~DbfFile();
  DbfFile(const DbfFile&) = delete;
  DbfFile& operator=(const DbfFile&) = delete;

  const std::string& Path() const { return path_; }
  // The Env the table is reached through.
  env::Env& Environment() const { return env_; }
  const std::vector<Field>& Fields() const { return fields_; }
  // Position of the field with this name (without regard to case), or -1.
  int FieldIndex(std::string_view name) const;
  uint8_t VersionByte() const { return header_.version(); }
  bool IsWritable() const { return writable_; }

  // Statement frame. Reads and writes below are valid only inside it.
  // Begin calls nest; EndRead, Commit and Rollback close what they opened.
  void BeginRead();
  // As BeginRead, but false at once instead of waiting for another holder
  // of the lock: for work that may as well be left undone.
  bool TryBeginRead();
  void EndRead();
  void BeginWrite();
  void Commit();
  // Drops the statement's changes; never throws (it runs where a failure
  // is already being answered).
  void Rollback() noexcept;

  // Goes up by one whenever the records were reloaded from disk as a whole,
  // so that anything derived from them (the driver's indexes) knows to start
  // over. When another program changed only some records, the generation
  // stays and TakeChangedRecords names them (once).
  uint64_t Generation() const { return generation_; }
  std::vector<uint32_t> TakeChangedRecords();

  // Records from 0, deleted ones included, appended ones of the running
  // statement included.
  uint32_t RecordCount() const { return count_; }
  // Throws DbaseError when the record's chunk cannot be read or holds a
  // record that is neither live nor deleted.
  bool IsDeleted(uint32_t rec) const { return RecordPtr(rec)[0] == '*'; }

  // The bytes of a whole record as stored, deletion flag first.
  std::string_view RecordBytes(uint32_t rec) const {
    return {RecordPtr(rec), static_cast<size_t>(record_length_)};
  }

  // The table as it stands on disk, for checking what was derived from it
  // earlier (an index file): size, modification time and header. Nothing
  // inside a write statement with changes not yet committed, or while a
  // killed writer's records are put back in memory only: then the records
  // in memory are not the disk's.
  struct DiskState {
    int64_t size = 0;
    int64_t mtime_ns = 0;
    uint32_t record_length = 0;
    std::string header;  // the first 32 bytes
  };
  std::optional<DiskState> CurrentDiskState() const;

  // Reads a field; throws DbaseError naming file, record and field when its
  // bytes are no value of the field's type. Text comes without trailing
  // blanks; blank numbers, dates and logicals are null; a blank memo is
  // empty text.
  Cell Read(uint32_t rec, int field) const;
  // The stored bytes of a field, as they are.
  std::string_view Raw(uint32_t rec, int field) const {
    const Field& f = fields_[field];
    return {RecordPtr(rec) + f.offset, static_cast<size_t>(f.length)};
  }

  // Writes a field of a record in memory; throws DbaseError when the value
  // does not fit the field (never cuts it). Memo texts go to the .dbt at once.
  void Write(uint32_t rec, int field, const Cell& value);
  // Adds a blank record; its number is returned.
  uint32_t Append();
  void Delete(uint32_t rec);

 private:
  enum class LockMode { kNone, kShared, kExclusive };
  explicit DbfFile(env::Env& env) : env_(env) {}
  struct Fingerprint {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t mtime_ns = -1;
    uint32_t count = 0;
    uint32_t changes = 0;
    bool operator==(const Fingerprint&) const = default;
  };

  void OpenFiles();
  void OpenMemo();
  void CloseFiles();
  void Lock(LockMode mode, int timeout_ms = -1);
  void Unlock();
  // Whether a TableHold of this process holds the file.
  bool HeldHere();
  void Sync();
  // Brings the records up to date under a new shared lock (dropped again
  // when this throws).
  void SyncForReading();
  void CheckNoRivals();
  void Load(const env::FileStatus& st);
  void ReadRecords(uint32_t first, uint32_t n, char* into) const;
  // The records in memory are chunks of 2^chunk_shift_ records, read from
  // disk when a record of the chunk is first needed: a lookup on a large
  // table reads a few chunks, not the table.
  uint32_t ChunkCount(uint32_t records) const {
    return static_cast<uint32_t>((uint64_t{records} + chunk_mask_) >> chunk_shift_);
  }
  char* LoadChunk(uint32_t chunk, bool check = true) const;
  void DropChunks();
  bool AllChunksLoaded() const { return chunks_loaded_ == chunks_.size(); }
  void FlushChanges();
  void PutBack(const format::RecordImages& images, const format::Header& old_header,
               uint64_t old_size);
  void MarkDirty(uint32_t rec);
  uint32_t UncountedRecords(uint64_t size, uint32_t header_length, uint32_t record_length,
                            uint32_t count) const;
  void Recover(format::Header& h, uint64_t size, uint32_t header_length, uint32_t record_length,
               uint32_t count);
  void RepairForReaders();
  [[noreturn]] void Fail(const std::string& what) const;
  // An Env error as this table's DbaseError: "<file>: <what>: <reason>".
  [[noreturn]] void Fail(const std::string& what, const env::EnvError& e) const;
  char* RecordPtr(uint32_t rec) {
    return const_cast<char*>(static_cast<const DbfFile*>(this)->RecordPtr(rec));
  }
  const char* RecordPtr(uint32_t rec) const {
    char* chunk = chunks_[rec >> chunk_shift_];
    return (chunk ? chunk : LoadChunk(rec >> chunk_shift_)) +
           static_cast<size_t>(rec & chunk_mask_) * record_length_;
  }
  std::string ReadMemo(uint32_t rec, int field, uint64_t block) const;
  uint64_t WriteMemo(uint32_t rec, int field, const std::string& bytes);

  env::Env& env_;
  std::string path_;
  std::string folder_;  // of path_
  std::string memo_path_;
  bool writable_ = false;
  std::unique_ptr<env::File> file_;
  std::unique_ptr<env::File> memo_file_;
  std::unique_ptr<env::File> folder_file_;  // of folder_, to see when its entries change
  format::MemoLayout memo_;

  format::Header header_;
  uint32_t header_length_ = 0;
  uint32_t record_length_ = 0;
  std::vector<Field> fields_;

  // The records, deleted ones included, chunk by chunk; a chunk not read
  // yet is null (reading a record is const, hence mutable).
  mutable std::vector<char*> chunks_;
  mutable size_t chunks_loaded_ = 0;
  // The chunks' memory: carved from slabs of a few megabytes (in huge pages
  // where the kernel offers them), so that reading a whole table costs a
  // few hundred page faults, not one per 4 KB.
  char* NewChunks(uint32_t n) const;
  mutable std::vector<env::LargeBuffer> slabs_;
  mutable size_t slab_used_ = 0;
  uint32_t chunk_shift_ = 0;
  uint32_t chunk_mask_ = 0;
  uint32_t count_ = 0;            // records of the table, appended ones included
  uint32_t committed_count_ = 0;  // records on disk according to the header
  std::vector<uint32_t> dirty_;   // changed records below committed_count_
  std::vector<bool> dirty_flag_;
  std::vector<std::string> before_;  // the records of dirty_ as they were on disk
  Fingerprint seen_;
  int64_t verified_at_ns_ = 0;    // wall clock when the header was last read
  int64_t folder_mtime_ns_ = -1;  // of the folder when no rival file was found in it
  int64_t folder_verified_at_ns_ = 0;
  int64_t rivals_checked_at_ns_ = 0;  // wall clock when the folder's time was last read
  bool stale_ = true;                 // reload at the next check
  bool full_reload_ = false;          // ... as a whole, not by comparison
  std::vector<uint32_t> changed_;     // records another program changed, not yet taken
  uint64_t generation_ = 0;

  // A reader's repair of a killed writer's statement: a failed write leaves
  // the records put back in memory only (repair_failed_), and the file is
  // not tried again while its fingerprint stays repair_refused_.
  bool repair_optional_ = false;
  bool repair_failed_ = false;
  std::optional<Fingerprint> repair_refused_;

  LockMode lock_ = LockMode::kNone;
  // The lock is the process's TableHold on the file, not one of this handle.
  bool lent_ = false;
  int read_depth_ = 0;
  bool writing_ = false;
};

// A table file as it stands on disk, as one comparable text: its identity,
// size, modification time and header (record count and the change count
// every write of this driver raises). Two equal stamps mean no program
// wrote the file in between, by the rule DbfFile keeps its records by; a
// missing file has a stamp of its own. Throws DbaseError naming the file
// when it is there but cannot be read.
std::string FileStamp(const std::string& path, env::Env& env = env::Env::Current());

// Keeps other processes away from a table for as long as it lives, while
// the handles of this process reach it as before: an exclusive lock on the
// .dbf (a shared one when the file may only be read) through a handle of
// its own, which this process's DbfFile handles take for their own lock.
// A work of several statements with other work in between (the import
// around the host's loads) thus cannot be mixed with another writer's
// statements, and no handle of its own waits for it. Only one thread may
// use the tables while a hold stands, as the host calls the plug-in.
//
// A second hold of this process on a held file shares the first one's lock
// and must end before it. The lock goes with the first hold, or with the
// process when it is killed.
class TableHold {
 public:
  // Takes the lock, waiting as long as DbfFile waits for one. Throws
  // DbaseError naming the file when it is missing, cannot be opened or
  // another process keeps its lock past the timeout.
  static std::unique_ptr<TableHold> Take(const std::string& path,
                                         env::Env& env = env::Env::Current());
  ~TableHold();
  TableHold(const TableHold&) = delete;
  TableHold& operator=(const TableHold&) = delete;

  const std::string& Path() const { return path_; }

 private:
  TableHold() = default;
  std::string path_;
  std::unique_ptr<env::File> file_;
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
};

}  // namespace platform::dbase
