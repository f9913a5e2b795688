// A dBase table reached as a table object rather than through SQL: records
// addressed by number, looked up through named indexes on single fields, and
// changed in place. Each operation opens the table non-exclusively (a shared
// lock while it reads, the exclusive lock only while its changes are
// written) and closes it again, so other programs and the SQL connections of
// the same folder see every change at once and are seen in turn.
//
// The records stay in memory between operations (DbfFile); an operation
// only checks whether another program changed the file. The indexes are
// kept in memory too (ColumnIndex): built on first use, brought up to date
// record by record, built anew after the file was replaced. The index of a
// large table is kept in a file beside it (KeyIndexFile.h), read instead of
// the records when it still matches them and written when it was built or
// when the table object goes.
//
// Every failure is a DbError in German that names the file: a missing
// table, a damaged one, a read-only one, a value that does not fit its
// field (with record and field), a full disk.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/ColumnIndex.h"
#include "platform/db/Connection.h"
#include "platform/db/KeyIndexFile.h"
#include "platform/dbase/DbfFile.h"
#include "platform/env/Env.h"

namespace platform::db {

// A named index over one field.
struct KeyDef {
  std::string name;   // e.g. "idxKennung"
  std::string field;  // e.g. "KENNUNG"
};

class KeyedTable {
 public:
  // The table `file_name` (found without regard to case) in `folder`
  // (with its trailing delimiter), reached through the current Env of each
  // operation. Nothing is opened yet.
  KeyedTable(std::string folder, std::string file_name, std::vector<KeyDef> keys);
  ~KeyedTable();
  KeyedTable(const KeyedTable&) = delete;
  KeyedTable& operator=(const KeyedTable&) = delete;

  // Writes the new, empty table from its field definitions (dBase III).
  // Does nothing when the table exists; throws DbError when it cannot be
  // written.
  void Create(const std::vector<dbase::FieldSpec>& fields);
  // Whether the file is there (any letter case).
  bool Exists() const;
  // The path of the file as found, or as it would be created.
  std::string Path() const;

  // One operation. Read opens for reading, Write for changing; both throw
  // DbError when the table is missing or cannot be used. End writes the
  // changes; when it is not reached (an error), the changes are dropped.
  class Operation {
   public:
    Operation(KeyedTable& table, bool write);
    ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;
    void End();

   private:
    KeyedTable& table_;
    bool write_;
    bool open_ = true;
  };

  // Within an operation:
  bool HasField(std::string_view field) const;
  // The live records whose indexed field equals the key, in record order.
  std::vector<uint32_t> Seek(std::string_view key_name, const Value& key);
  // The first of them, or -1.
  int64_t SeekFirst(std::string_view key_name, const Value& key);
  // Every live record, in record order.
  std::vector<uint32_t> Records() const;
  Value Get(uint32_t rec, std::string_view field) const;
  // Changes a field of a record; throws DbError naming file, record and
  // field when the value does not fit.
  void Set(uint32_t rec, std::string_view field, const Value& value);
  uint32_t Append();
  void Delete(uint32_t rec);

 private:
  void Open(bool write);
  void Close(bool write, bool keep);
  int FieldOf(std::string_view field) const;
  int KeyOf(std::string_view key_name) const;
  ColumnIndex& Index(int key);
  void Build(int key);
  std::span<const uint32_t> Lookup(int key, const std::string& wanted);
  key_index::KeyOfRecord KeyFunction(int field) const;
  bool Large() const;
  void SaveIndexes() noexcept;
  void Reindex(uint32_t rec);
  void ResetIndexes();
  [[noreturn]] void Fail(const std::string& what) const;

  std::string folder_;
  std::string file_name_;
  std::vector<KeyDef> keys_;
  env::Env* opened_in_ = nullptr;  // the Env file_ was opened through
  std::unique_ptr<dbase::DbfFile> file_;
  std::vector<int> key_fields_;
  std::vector<ColumnIndex> indexes_;
  std::vector<char> built_;
  std::vector<char> from_file_;  // read from its index file: answers are checked
  std::vector<char> unsaved_;    // differs from its index file
  // How this table object makes keys of values, as its index files say.
  static constexpr std::string_view kKeyKind = "keyed";
  uint64_t generation_ = 0;
  std::string scratch_;
};

}  // namespace platform::db
