// Every database file is an SQLite database here.
#include "platform/db/DatabaseFile.h"

#include "platform/db/SqliteBackend.h"

namespace platform::db {

std::unique_ptr<Backend> OpenDatabaseFile(std::string_view, const std::string& source) {
  return SqliteBackend::Open(source);
}

void CreateDatabaseFile(const std::string& path) {
  CreateSqliteDatabase(path);
}

}  // namespace platform::db
