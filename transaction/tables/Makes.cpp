#include "transaction/tables/Makes.h"

#include "context/PluginContext.h"
#include "platform/env/Env.h"

namespace transaction_store {
namespace sql {

platform::db::Connection& Connection() {
  return context::Current().Store().TransactionConnection();
}

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}

std::string Quoted(std::string_view value) {
  return platform::db::SqlText(value);
}

std::string TidLine(int32_t T) {
  return "and TID = " + std::to_string(T);
}

int32_t FirstInt(std::string_view sql, int32_t fallback) {
  platform::db::Query query(Connection(), sql);
  return query.Eof() ? fallback : query.AsInt32(0);
}

std::string FirstText(std::string_view sql) {
  platform::db::Query query(Connection(), sql);
  return query.Eof() ? std::string() : query.AsString(0);
}

bool HasRow(std::string_view sql) {
  platform::db::Query query(Connection(), sql);
  return !query.Eof();
}

int32_t IntOr(const platform::db::Query& query, int pos, int32_t fallback) {
  return query.IsNull(pos) ? fallback : query.AsInt32(pos);
}

void Command(const std::string& sql) {
  Connection().Execute(sql);
}

const context::ProjectFile& TableFile(std::string_view table) {
  return context::Current().Store().Paths().DbaseTable(table);
}

bool TableExists(std::string_view table) {
  const context::ProjectFile& file = TableFile(table);
  return !file.path.empty() &&
         platform::env::FileExistsNoCase(platform::env::Env::Current(), file.folder, file.name);
}

void CreateIfMissing(std::string_view table, const std::string& statement) {
  if (TableExists(table)) return;
  Command(statement);
}

void InOneWrite(const std::function<void()>& work) {
  platform::db::InOneWrite(Connection(), work);
}

}  // namespace sql

namespace keyed {

platform::dbase::FieldSpec Int(const char* name) {
  return {name, 'N', 11, 0};
}

platform::dbase::FieldSpec Text(const char* name, int width) {
  return {name, 'C', width, 0};
}

KeyedTable& Table(std::string_view file, const std::vector<KeyDef>& keys) {
  return context::Current().Store().ProjectTable(file, keys);
}

bool NoProject() {
  return context::Current().Store().Paths().Dir().empty();
}

bool Exists(KeyedTable& (*table)()) {
  if (NoProject()) return false;
  return table().Exists();
}

std::string PathOf(KeyedTable& (*table)()) {
  if (NoProject()) return {};
  return table().Path();
}

bool FileExists(const std::string& path) {
  return !path.empty() && platform::env::FileExistsNoCase(platform::env::Env::Current(), path);
}

void CreateIfMissing(KeyedTable& table, const std::vector<platform::dbase::FieldSpec>& fields) {
  if (table.Exists()) return;
  table.Create(fields);
}

int32_t IntOr(const KeyedTable& t, uint32_t rec, std::string_view field, int32_t fallback) {
  const Value v = t.Get(rec, field);
  return v.IsNull() ? fallback : v.AsInt32();
}

}  // namespace keyed
}  // namespace transaction_store
