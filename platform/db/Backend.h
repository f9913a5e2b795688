// What a Connection stands on: one back-end per kind of data source, a
// folder of dBase files (DbaseBackend.h) or an SQLite database file
// (SqliteBackend.h). Both run SQL on an SQLite connection of their own
// (SqliteSession.h); they differ in what a table is and in how the data
// definition statements of the system's dialect are carried out. On
// Windows, an Access database goes to the platform's own engine through ADO
// (WinAdoBackend.h), which reads the dialect itself.
//
// Internal to the driver: the plug-in sees Connection, Query and Table only.
// Every call throws DbError carrying the driver's message.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/Connection.h"
#include "platform/db/Dialect.h"
#include "platform/db/SqliteSession.h"

namespace platform::db {

// What a query or table object without a current row tells.
inline constexpr const char* kNoCurrentRecord =
    "Es gibt keinen aktuellen Datensatz: Anfang oder Ende ist erreicht, oder der Datensatz wurde "
    "gelöscht.";

class Backend {
 public:
  virtual ~Backend() = default;

  bool IsDBase() const { return dbase_; }
  // The folder of a dBase back-end, the database file otherwise.
  const std::string& DataSource() const { return data_source_; }
  // The SQLite connection statements run on.
  virtual SqliteSession& Session() = 0;

  // Whether the engine reads the system's statements as written; the
  // back-ends over SQLite want them read by the dialect layer first (Run).
  virtual bool NativeDialect() const { return false; }
  // Carries out a statement as written, on a back-end of NativeDialect().
  virtual void RunNative(std::string_view, Rows*) {
    throw DbError("Dieser Datenbanktreiber braucht die Anweisung übersetzt.");
  }

  // Carries out one statement of the system's dialect; fills `out` when not
  // null.
  virtual void Run(const dialect::Statement& st, Rows* out) = 0;
  // Runs one SQLite statement with bound values.
  virtual void RunSql(const std::string& sql, const std::vector<Value>& binds, Rows* out) = 0;
  // The statement as SQLite would run it.
  virtual std::string Translate(const dialect::Statement& st) const = 0;
  // User tables, system tables left out, sorted without regard to case.
  virtual std::vector<std::string> TableNames() = 0;
  // Whether a table of this name (as SQL names it) exists.
  virtual bool HasTable(std::string_view name) = 0;

  // The key of the row inserted last.
  virtual int64_t LastInsertRowid() = 0;

  // Whether rows carry SQLite's rowid, which a table object addresses them
  // by; without it, a row is addressed by the values it was read with.
  virtual bool HasRowid() const { return true; }
  // A table's or column's name as the engine's statements write it. Each
  // back-end says it: a default here would tie ADO's to the dialect layer.
  virtual std::string QuoteName(std::string_view name) const = 0;

 protected:
  Backend(bool dbase, std::string data_source)
      : dbase_(dbase), data_source_(std::move(data_source)) {}

 private:
  bool dbase_;
  std::string data_source_;
};

}  // namespace platform::db
