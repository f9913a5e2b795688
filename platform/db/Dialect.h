// The dialect layer: the system's statements are written for the platform's
// database engine; this turns each into what SQLite runs. It reads date
// literals (#m-d-yyyy#), quotes names that begin with a digit, and takes
// apart the data definition statements the engine words its own way
// (column types text(n), memo, long, autoincrement, datetime; "create unique
// index ... with primary"; "drop index ... on ..."), which the connection
// then carries out for a dBase folder or an SQLite database.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/db/Connection.h"

namespace platform::db::dialect {

enum class TokenKind { kSpace, kComment, kWord, kNumber, kString, kQuoted, kDate, kPunct };

struct Token {
  TokenKind kind;
  std::string_view text;
};

// Splits a statement into tokens; throws DbError on an unclosed text, name
// or date literal.
std::vector<Token> Tokenize(std::string_view sql);

// A date literal's inner text (between the #) as ISO-8601: "YYYY-MM-DD" or
// "YYYY-MM-DD HH:MM:SS". Month before day; two-digit years 00-29 are 20xx.
// Throws DbError when it is no valid date.
std::string DateLiteralToIso(std::string_view inner);

struct ColumnDef {
  std::string name;
  std::string type;  // lower case, as written
  int size = -1;     // the n of text(n), char(n), numeric(n,m); -1 when absent
  int scale = -1;    // the m of numeric(n,m)
  std::string rest;  // what follows the type (not null, primary key, ...), translated
};

enum class Kind { kOther, kCreateTable, kCreateIndex, kDropTable, kDropIndex };

struct Statement {
  Kind kind = Kind::kOther;
  std::string sql;                         // kOther: the text for SQLite
  std::vector<Value> params;               // kOther with lifted literals: the values of its '?'s
  std::string table;                       // the table of all other kinds, unquoted
  std::vector<ColumnDef> columns;          // kCreateTable
  std::string index;                       // kCreateIndex, kDropIndex
  std::vector<std::string> index_columns;  // kCreateIndex, with " DESC" where given
  bool unique = false;
  bool primary = false;        // "with primary"
  bool disallow_null = false;  // "with primary" or "with disallow null"
};

// Throws the DbError for a column type neither back-end knows.
[[noreturn]] void RefuseColumnType(const ColumnDef& col);

// Reads one statement. Throws DbError on malformed dates and on data
// definition statements it cannot read.
//
// With `lift_literals`, the literal values of a select, insert, update or
// delete from its WHERE, VALUES or SET part on (up to ORDER, GROUP, HAVING
// or LIMIT) become parameters, so that statements the system builds by
// concatenation share one prepared statement. Bound parameters compare as
// literals do in SQLite (neither has an affinity), so results stay the same.
Statement Parse(std::string_view sql, bool lift_literals = false);

// A name between double quotes, inner quotes doubled.
std::string QuoteName(std::string_view name);

}  // namespace platform::db::dialect
