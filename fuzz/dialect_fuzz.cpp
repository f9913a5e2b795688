// Fuzz target for the dialect layer: any text goes through the tokenizer,
// the date literals and the data definition parser, and then runs on an
// in-memory SQLite database and on a dBase folder holding one table. Errors
// are DbError, never a crash; statements are kept from attaching files and
// from running forever. The dBase folder is in an in-memory Env: nothing is
// written to disk.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/db/Backend.h"
#include "platform/db/Connection.h"
#include "platform/db/Dialect.h"
#include "platform/env/MemEnv.h"

namespace {

using platform::db::Connection;
using platform::db::DbError;

int Deny(void*, int action, const char*, const char*, const char*, const char*) {
  return action == SQLITE_ATTACH || action == SQLITE_DETACH || action == SQLITE_PRAGMA ? SQLITE_DENY
                                                                                       : SQLITE_OK;
}

int Stop(void* steps) {
  return ++*static_cast<int*>(steps) > 2000;
}

void Guard(Connection& c, int* steps) {
  sqlite3* db = c.Engine().Session().Handle();
  sqlite3_set_authorizer(db, Deny, nullptr);
  sqlite3_progress_handler(db, 100, Stop, steps);
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 100000);
}

bool Runnable(const std::string& sql) {
  const size_t start = sql.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return false;
  std::string word;
  for (size_t i = start; i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])); ++i) {
    word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(sql[i]))));
  }
  return word == "select" || word == "insert" || word == "update" || word == "delete" ||
         word == "create" || word == "drop";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string sql(reinterpret_cast<const char*>(data), size);
  static int steps = 0;
  static std::unique_ptr<Connection> memory = [] {
    auto c = Connection::Open("Data Source=:memory:");
    Guard(*c, &steps);
    return c;
  }();
  // Never destroyed: the connection's tables hold files of it to the end.
  static platform::env::MemEnv* env = new platform::env::MemEnv();
  platform::env::ScopedEnv scoped(*env);
  const std::string dir = "/dialect";
  static std::unique_ptr<Connection> dbase = [&] {
    env->CreateFolder(dir);
    auto c = Connection::Open("Data Source=" + dir + ";Extended Properties=DBASE III;");
    Guard(*c, &steps);
    return c;
  }();
  // Keep the folder small: only the one table, as it was.
  for (const std::string& name : env->ListFolder(dir)) {
    if (name != "T.dbf") env->Remove(dir + "/" + name);
  }
  try {
    if (!env->Stat(dir + "/T.dbf")) {
      dbase->Execute("create Table T (TID integer, KENNUNG char(50), D date)");
      dbase->Execute("insert into T (TID,KENNUNG,D) values (1,'NSG-0001',#3-5-2024#)");
    }
  } catch (const DbError&) {
  }

  try {
    platform::db::dialect::Parse(sql);
  } catch (const DbError&) {
  }
  if (!Runnable(sql)) return 0;
  for (Connection* c : {memory.get(), dbase.get()}) {
    steps = 0;
    try {
      platform::db::Query q(*c, sql);
      for (; !q.Eof(); q.Next()) {
        for (int i = 0; i < q.FieldCount(); ++i) q.AsString(i);
      }
    } catch (const DbError&) {
    }
  }
  return 0;
}
