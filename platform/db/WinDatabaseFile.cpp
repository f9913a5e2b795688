// Access databases go to the platform's own engine through ADO; any other
// database file (the tools' and tests' SQLite files) stays SQLite's.
#include "platform/db/DatabaseFile.h"
#include "platform/db/SqliteBackend.h"
#include "platform/db/WinAdoBackend.h"

namespace platform::db {

std::unique_ptr<Backend> OpenDatabaseFile(std::string_view connection_string,
                                          const std::string& source) {
  if (IsAccessFile(source)) return AdoBackend::Open(connection_string, source);
  return SqliteBackend::Open(source);
}

void CreateDatabaseFile(const std::string& path) {
  if (IsAccessFile(path)) {
    AdoBackend::CreateDatabase(path);
  } else {
    CreateSqliteDatabase(path);
  }
}

}  // namespace platform::db
