// The back-end of a data source that is a database file, the platform's
// choice: an SQLite database everywhere (PosixDatabaseFile.cpp), and on
// Windows an Access database (.mdb, .accdb) through ADO with the platform's
// own engine (WinDatabaseFile.cpp, WinAdoBackend.h).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/db/Backend.h"

namespace platform::db {

// Opens the database file `source` that `connection_string` names; throws
// DbError when it cannot.
std::unique_ptr<Backend> OpenDatabaseFile(std::string_view connection_string,
                                          const std::string& source);

// Makes an empty database file at `path` when there is none; throws DbError
// when it cannot, or when a file that is no database is in the way.
void CreateDatabaseFile(const std::string& path);

}  // namespace platform::db
