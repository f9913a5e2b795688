// The SQLite virtual-table module "vdbase": every .dbf of a dBase folder
// connection is one virtual table over the dBase codec. Reads take a shared
// lock on the file for the length of the statement, writes an exclusive
// one; equality constraints are answered from in-memory indexes per column.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace platform::db {

// State of one connection that its tables share. Owned by the connection;
// must outlive the sqlite3 handle.
struct DbaseModuleState {
  // Set while the connection drops a table's registration without deleting
  // its files (the file went away or was changed by another program).
  bool detaching = false;
  // Tables that met a file that went away or changed its fields; the
  // connection registers them anew and runs the statement again.
  std::vector<std::string> stale_tables;
  // The last message the module handed SQLite. It is German already and
  // passes on as it is (SqliteSession); other messages are SQLite's own.
  std::string last_error;
};

// Registers the module on a connection.
void RegisterDbaseModule(sqlite3* db, DbaseModuleState* state);

// The statement that makes the .dbf at `path` the table `name`.
std::string AttachTableSql(const std::string& name, const std::string& path);

}  // namespace platform::db
