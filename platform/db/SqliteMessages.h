// SQLite's own error messages in the mapper's language. SQLite words its
// errors in English ("no such table: TA_LIST", "UNIQUE constraint failed:
// Fotos.FotoID", "database is locked"); the driver passes them on inside
// messages the mapper reads, so the ones a mapper can meet are put into
// German here, once, keeping the names they carry. A message without a text
// of its own keeps SQLite's words inside a German frame.
#pragma once

#include <string>
#include <string_view>

namespace platform::db {

// The German text for a message of sqlite3_errmsg (or of sqlite3_exec),
// a sentence with its full stop.
std::string GermanSqliteMessage(std::string_view message);

}  // namespace platform::db
