// The dBase III/IV table codec: a .dbf file (header, field descriptors,
// records with deletion flag, end-of-file mark) and, for memo fields, its
// .dbt file in the dBase III or dBase IV layout. Other dBase readers and
// writers open the same files.
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
//   flag, with the place in bytes 20-23); the next reader puts them back;
// - appended records are written with the end mark still standing where
//   the first of them begins, the gate is then opened by writing its
//   deletion flag, and the header with the new count comes last. Whole
//   records behind an open gate that the header does not count yet are
//   taken, as readers that read up to the end mark take them.
// Rollback drops the changes of the statement.
//
// Every error is a DbaseError whose text names the file and, where there is
// one, the record (counted from 1) and the field. Bad files never crash,
// hang or get written to: a table whose header, descriptors or records do not
// add up is refused when read.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::dbase {

class DbaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The table's field layout no longer matches the one it was opened with:
// another process recreated the file. The handle must be opened anew.
class StructureChanged : public DbaseError {
 public:
  using DbaseError::DbaseError;
};

// The file went away (deleted or renamed by another process).
class FileGone : public DbaseError {
 public:
  using DbaseError::DbaseError;
};

// Which dBase a new table is written as: the version byte (0x03 without
// memo fields; 0x83 or 0x8B with them) and the layout of the .dbt.
enum class Flavor { kDBase3, kDBase4 };

struct FieldSpec {
  std::string name;  // at most 10 characters: letters, digits, '_', a letter first
  char type = 'C';   // C, N, F, D, L or M
  int length = 0;    // ignored for D (8), L (1) and M (10)
  int decimals = 0;  // N and F only
};

struct Field {
  std::string name;  // upper case as stored
  char type = 'C';
  int length = 0;
  int decimals = 0;
  int offset = 0;  // from the start of the record, deletion flag included
};

struct Date {
  int year = 0;
  int month = 0;
  int day = 0;
  bool operator==(const Date&) const = default;
};

bool IsValidDate(int year, int month, int day);

// One field value as the codec reads and writes it.
struct Cell {
  enum class Kind { kNull, kInteger, kReal, kText, kDate, kLogical };
  Kind kind = Kind::kNull;
  int64_t integer = 0;  // kInteger; kLogical as 0 or 1
  double real = 0;      // kReal
  std::string text;     // kText, UTF-8
  Date date;            // kDate

  static Cell Null() { return {}; }
  static Cell Integer(int64_t v) {
    Cell c;
    c.kind = Kind::kInteger;
    c.integer = v;
    return c;
  }
  static Cell Real(double v) {
    Cell c;
    c.kind = Kind::kReal;
    c.real = v;
    return c;
  }
  static Cell Text(std::string v) {
    Cell c;
    c.kind = Kind::kText;
    c.text = std::move(v);
    return c;
  }
  static Cell MakeDate(Date d) {
    Cell c;
    c.kind = Kind::kDate;
    c.date = d;
    return c;
  }
  static Cell Logical(bool v) {
    Cell c;
    c.kind = Kind::kLogical;
    c.integer = v ? 1 : 0;
    return c;
  }
};

class DbfFile {
 public:
  // Opens an existing table for reading and, when `writable` and the file
  // permits it, for writing. Throws DbaseError when it is missing or bad.
  static std::unique_ptr<DbfFile> Open(const std::string& path, bool writable);

  // Writes a new, empty table (and its .dbt when a field is a memo) and
  // opens it. Throws DbaseError when the file exists or a field is invalid.
  static std::unique_ptr<DbfFile> Create(const std::string& path, Flavor flavor,
                                         const std::vector<FieldSpec>& fields);

  // Deletes a table's .dbf and its .dbt. Throws DbaseError when the .dbf
  // cannot be removed.
  static void Remove(const std::string& path);

  // How long BeginRead and BeginWrite wait for another holder of the lock
  // before they give up with a DbaseError (default 10 s).
  static void SetLockTimeoutMs(int ms);

  ~DbfFile();
  DbfFile(const DbfFile&) = delete;
  DbfFile& operator=(const DbfFile&) = delete;

  const std::string& Path() const { return path_; }
  const std::vector<Field>& Fields() const { return fields_; }
  // Position of the field with this name (without regard to case), or -1.
  int FieldIndex(std::string_view name) const;
  uint8_t VersionByte() const { return header_[0]; }
  bool IsWritable() const { return writable_; }

  // Statement frame. Reads and writes below are valid only inside it.
  // Begin calls nest; EndRead, Commit and Rollback close what they opened.
  void BeginRead();
  void EndRead();
  void BeginWrite();
  void Commit();
  void Rollback();

  // Goes up by one whenever the records were reloaded from disk as a whole,
  // so that anything derived from them (the driver's indexes) knows to start
  // over. When another program changed only some records, the generation
  // stays and TakeChangedRecords names them (once).
  uint64_t Generation() const { return generation_; }
  std::vector<uint32_t> TakeChangedRecords();

  // Records from 0, deleted ones included, appended ones of the running
  // statement included.
  uint32_t RecordCount() const { return count_; }
  bool IsDeleted(uint32_t rec) const;

  // Reads a field; throws DbaseError naming file, record and field when its
  // bytes are no value of the field's type. Text comes without trailing
  // blanks; blank numbers, dates and logicals are null; a blank memo is
  // empty text.
  Cell Read(uint32_t rec, int field) const;
  // The stored bytes of a field, as they are.
  std::string_view Raw(uint32_t rec, int field) const;

  // Writes a field of a record in memory; throws DbaseError when the value
  // does not fit the field (never cuts it). Memo texts go to the .dbt at once.
  void Write(uint32_t rec, int field, const Cell& value);
  // Adds a blank record; its number is returned.
  uint32_t Append();
  void Delete(uint32_t rec);

 private:
  enum class LockMode { kNone, kShared, kExclusive };
  DbfFile() = default;
  struct Fingerprint {
    ino_t ino = 0;
    dev_t dev = 0;
    off_t size = -1;
    int64_t mtime_ns = -1;
    uint32_t count = 0;
    uint32_t changes = 0;
    bool operator==(const Fingerprint&) const = default;
  };

  void OpenFiles();
  void OpenMemo();
  void CloseFiles();
  void Lock(LockMode mode);
  void Unlock();
  void Sync();
  void Load(int fd, const struct ::stat& st);
  void FlushChanges();
  void MarkDirty(uint32_t rec);
  uint32_t UncountedRecords(int fd, off_t size, uint32_t header_length, uint32_t record_length,
                            uint32_t count) const;
  void Recover(int fd, unsigned char* header, off_t size, uint32_t header_length,
               uint32_t record_length, uint32_t count);
  std::string Where(uint32_t rec, int field) const;
  [[noreturn]] void Fail(const std::string& what) const;
  char* RecordPtr(uint32_t rec) { return data_.data() + static_cast<size_t>(rec) * record_length_; }
  const char* RecordPtr(uint32_t rec) const {
    return data_.data() + static_cast<size_t>(rec) * record_length_;
  }
  std::string ReadMemo(uint32_t rec, int field, uint64_t block) const;
  uint64_t WriteMemo(uint32_t rec, int field, const std::string& bytes);

  std::string path_;
  std::string memo_path_;
  bool writable_ = false;
  int fd_ = -1;
  int memo_fd_ = -1;
  uint32_t memo_block_size_ = 512;
  bool memo_dbase4_ = false;

  unsigned char header_[32] = {};
  uint32_t header_length_ = 0;
  uint32_t record_length_ = 0;
  std::vector<Field> fields_;

  std::vector<char> data_;        // all records, deleted ones included
  uint32_t count_ = 0;            // records in data_
  uint32_t committed_count_ = 0;  // records on disk according to the header
  std::vector<uint32_t> dirty_;   // changed records below committed_count_
  std::vector<bool> dirty_flag_;
  std::vector<std::string> before_;  // the records of dirty_ as they were on disk
  Fingerprint seen_;
  int64_t verified_at_ns_ = 0;     // wall clock when the header was last read
  bool stale_ = true;              // reload at the next check
  bool full_reload_ = false;       // ... as a whole, not by comparison
  std::vector<uint32_t> changed_;  // records another program changed, not yet taken
  uint64_t generation_ = 0;

  LockMode lock_ = LockMode::kNone;
  int read_depth_ = 0;
  bool writing_ = false;
};

}  // namespace platform::dbase
