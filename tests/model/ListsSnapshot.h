// The three transaction tables of a project as the model test sees them,
// read straight from the files by a reader of its own: the plug-in's driver
// is what is under test, so the test does not look through it. The reader
// takes the records the header counts and says so when a file is shorter,
// longer than a repair could explain, or marked as left half-written.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace model {

// One TA_LIST row.
struct ListRow {
  int tid = 0;
  int kartulid = 0;
  int vgnr = 0;
  int status = 0;  // SCHREIBEND
  std::string kennung;
  std::string changed;
  std::string kennungo;

  bool operator==(const ListRow&) const = default;
  // "KENNUNG TID STATUS CHANGED KENNUNGO #KARTULID" for messages.
  std::string Text() const;
};

struct PoolEntry {
  int tid = 0;
  std::string kennung;
  bool operator==(const PoolEntry&) const = default;
  auto operator<=>(const PoolEntry&) const = default;
};

struct Tables {
  std::vector<ListRow> rows;            // TA_LIST, in file order
  std::vector<PoolEntry> pool;          // TA_KL, in file order
  std::vector<PoolEntry> transactions;  // TA_ID: TID and NAME
  // Why a table could not be read whole; empty when all were.
  std::string problem;

  // The first row under the identifier, or null.
  const ListRow* Row(std::string_view kennung) const;
  // The transactions whose pools hold the identifier.
  std::vector<int> PoolsOf(std::string_view kennung) const;
  bool InPool(int tid, std::string_view kennung) const;
  bool HasTransaction(int tid) const;
  // The same rows, pool entries and transactions, in any order.
  bool SameAs(const Tables& other) const;
};

// Reads TA_LIST.dbf, TA_KL.dbf and TA_ID.dbf of the folder (with trailing
// '/'). A missing or unreadable file is a problem, not an exception.
Tables ReadTables(const std::string& project_dir);

// One dBase file: the field names and the records the header counts that
// are not marked deleted, each value with the padding trimmed.
struct DbfRecords {
  std::vector<std::string> fields;
  std::vector<std::vector<std::string>> records;
  std::string problem;
};
DbfRecords ReadDbfFile(const std::string& path);

}  // namespace model
