// The database driver as the plug-in sees it. A connection opens from the
// very connection strings the system uses: with "Extended Properties=DBASE
// III;" or "DBASE IV;" it opens a folder of dBase files, otherwise the data
// source is a database file (an SQLite database here). Statements are the
// system's own texts; a small dialect layer lets them run as written.
//
// Errors come back as DbError carrying the driver's message. The driver
// never talks to the user; callers decide whether a message box shows it,
// so the message is German, naming file, record and field where there are
// some (SQLite's own messages are put into German in SqliteMessages.h).
//
// A Connection is a façade over one back-end (Backend.h): a folder of dBase
// files (DbaseBackend.h, over the virtual-table module of DbaseModule.h and
// the codec of platform/dbase) or an SQLite database file
// (SqliteBackend.h). Files are reached through the current platform Env.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform::db {

class DbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A date-time as the system's records hold it: days since 1899-12-30, the
// fraction being the time of day.
using DateTime = double;

// One field value: null, whole number, floating-point number or text (UTF-8).
class Value {
 public:
  Value() = default;
  Value(int64_t v) : v_(v) {}
  Value(int32_t v) : v_(static_cast<int64_t>(v)) {}
  Value(double v) : v_(v) {}
  Value(std::string v) : v_(std::move(v)) {}
  Value(const char* v) : v_(std::string(v)) {}

  bool IsNull() const { return std::holds_alternative<std::monostate>(v_); }
  bool IsInteger() const { return std::holds_alternative<int64_t>(v_); }
  bool IsFloat() const { return std::holds_alternative<double>(v_); }
  bool IsText() const { return std::holds_alternative<std::string>(v_); }

  // Conversions as the platform's field objects make them: null reads as 0
  // or empty; a text that is no number converts by throwing DbError ("Der
  // Wert 'abc' ist keine ganze Zahl."), as does a number too large for the
  // integer asked for.
  int64_t AsInt64() const;
  int32_t AsInt32() const;
  double AsDouble() const;
  std::string AsString() const;
  DateTime AsDateTime() const;

  bool operator==(const Value&) const = default;

  using Data = std::variant<std::monostate, int64_t, double, std::string>;
  // The value as it is held, for a back-end that hands it to another engine.
  const Data& Held() const { return v_; }

 private:
  Data v_;
};

class Backend;
class Connection;

// The rows of one query, read front to back by column position. The
// statement runs to its end in the constructor and is finalized there,
// whatever happens; the rows are kept by the object, so no lock on a table
// outlasts the constructor.
class Query {
 public:
  Query(Connection& connection, std::string_view sql);  // runs it; throws DbError
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  bool Eof() const { return eof_; }
  void Next();  // throws DbError
  int FieldCount() const;
  std::string FieldName(int pos) const;

  bool IsNull(int pos) const;
  Value Field(int pos) const;
  // Conversions as Value's; a value that does not convert is told with its
  // column, its row (from 1, in the order the rows came) and, when the
  // column is read straight from a table, the table: "Der Wert 'abc' in
  // Tabelle Ppc, Spalte PHOTOID, Datensatz 3, ist keine ganze Zahl."
  int32_t AsInt32(int pos) const;
  int64_t AsInt64(int pos) const;
  double AsDouble(int pos) const;
  std::string AsString(int pos) const;
  DateTime AsDateTime(int pos) const;

 private:
  void CheckPos(int pos) const;
  const Value& Cell(int pos) const;
  template <class Read>
  auto Convert(int pos, Read read) const;
  std::vector<std::string> names_;
  std::vector<std::string> tables_;  // per column; empty where it is no table's
  std::vector<std::vector<Value>> rows_;
  size_t row_ = 0;
  bool eof_ = true;
};

// A table object: a current row, walked and changed in place. Edit or Append
// start a change; Post writes it, Cancel drops it.
class Table {
 public:
  Table(Connection& connection, std::string table_name);
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  void Open();  // throws DbError when the table does not exist
  void Close();
  bool IsOpen() const { return open_; }
  void Refresh();

  void First();
  void Next();
  bool Eof() const;
  int64_t RecordCount() const;
  // Makes the first row whose column equals the value current.
  bool Locate(std::string_view column, const Value& value);

  Value FieldByName(std::string_view column) const;
  void SetFieldByName(std::string_view column, const Value& value);

  void Edit();
  void Append();
  void Post();
  void Cancel();
  void Delete();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  bool open_ = false;
};

class Connection {
 public:
  // Opens from a connection string; throws DbError when the data source
  // cannot be opened.
  static std::unique_ptr<Connection> Open(std::string_view connection_string);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs a statement that returns no rows (create, insert, update, delete).
  void Execute(std::string_view sql);

  // User tables of the database, system tables left out; for a dBase folder
  // the tables of its .dbf files.
  std::vector<std::string> TableNames();

  bool IsDBase() const { return dbase_; }
  // The folder of a dBase connection, the database file otherwise.
  const std::string& DataSource() const { return data_source_; }

  // The statement text as SQLite runs it (the dialect applied).
  std::string Translate(std::string_view sql) const;

  // Makes an empty SQLite database file at `path` when there is none (the
  // platform's "create database"); throws DbError when it cannot, or when
  // a file that is no database is in the way.
  static void CreateDatabase(const std::string& path);

  // The back-end, for the driver's own Query and Table and its tests; the
  // connection owns it.
  Backend& Engine() { return *backend_; }
  // A connection over a back-end made by hand, for the driver's tests.
  static std::unique_ptr<Connection> Over(std::unique_ptr<Backend> backend);

 private:
  explicit Connection(std::unique_ptr<Backend> backend);

  std::unique_ptr<Backend> backend_;
  bool dbase_ = false;
  std::string data_source_;
};

// A text value with its single quotes doubled, to be put between the quotes
// of a statement.
std::string SqlText(std::string_view text);

// Runs the statements of `work` as one transaction of the connection: their
// rows reach the file in one write (row by row, a hundred thousand rows would
// take minutes), and none of them when an error escapes.
template <class Work>
void InOneWrite(Connection& connection, Work&& work) {
  connection.Execute("begin");
  try {
    work();
    connection.Execute("commit");
  } catch (...) {
    try {
      connection.Execute("rollback");
    } catch (const DbError&) {
      // The error that brought us here is the one to tell.
    }
    throw;
  }
}

}  // namespace platform::db
