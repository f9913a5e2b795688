// What the tables' two makes share, for the files of transaction/tables
// alone: the full build's SQL on the transaction connection, and the
// earlier builds' table objects with named indexes.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "context/ProjectPaths.h"
#include "platform/db/Connection.h"
#include "platform/db/KeyedTable.h"

namespace transaction_store {

// The two makes; the build profile chooses one for every table.
enum class Make { kSql, kKeyed };

namespace sql {

platform::db::Connection& Connection();
// A statement of several lines is sent as one text, a line break between the
// lines, as the query objects of the system join them.
std::string Lines(std::initializer_list<std::string> lines);
// A text value as it goes between single quotes.
std::string Quoted(std::string_view value);
std::string TidLine(int32_t T);
// The first column of the first row as a number; fallback when none comes.
int32_t FirstInt(std::string_view sql, int32_t fallback);
std::string FirstText(std::string_view sql);
bool HasRow(std::string_view sql);
int32_t IntOr(const platform::db::Query& query, int pos, int32_t fallback);
// A command on the transaction connection; a failure throws and nothing
// after it runs.
void Command(const std::string& sql);
// The file of a table in the project folder, named once per project: nearly
// every operation asks whether its table is there first. Without a project
// folder there are no tables, not even in the program's working folder.
const context::ProjectFile& TableFile(std::string_view table);
bool TableExists(std::string_view table);
void CreateIfMissing(std::string_view table, const std::string& statement);
// Runs `work` between "begin" and "commit" on the transaction connection.
void InOneWrite(const std::function<void()>& work);

}  // namespace sql

namespace keyed {

using platform::db::KeyDef;
using platform::db::KeyedTable;
using platform::db::Value;
using Operation = platform::db::KeyedTable::Operation;

// The field widths of the tables: integers as the dBase III driver writes
// them for SQL's "integer", so that files made either way are alike.
platform::dbase::FieldSpec Int(const char* name);
platform::dbase::FieldSpec Text(const char* name, int width);
// The project store keeps the table objects while the project folder stays
// the same.
KeyedTable& Table(std::string_view file, const std::vector<KeyDef>& keys);
bool NoProject();
// Without a project folder there are no tables, not even in the program's
// working folder.
// The table is reached only when there is a project.
bool Exists(KeyedTable& (*table)());
// The table's file as found, or as it is created; empty without a project.
std::string PathOf(KeyedTable& (*table)());
// Whether that file is there, its name matched without regard to case.
bool FileExists(const std::string& path);
void CreateIfMissing(KeyedTable& table, const std::vector<platform::dbase::FieldSpec>& fields);
int32_t IntOr(const KeyedTable& t, uint32_t rec, std::string_view field, int32_t fallback);

}  // namespace keyed
}  // namespace transaction_store
