// TA_FP: SQL on the transaction connection in every build.
#include "transaction/tables/FingerprintTable.h"

#include <unordered_set>

#include "transaction/tables/Makes.h"

using namespace transaction_store::sql;
using platform::db::Query;

std::string FingerprintTable::Path() {
  return TableFile("TA_FP").path;
}

bool FingerprintTable::Exists() {
  return TableExists("TA_FP");
}

void FingerprintTable::Store(const std::vector<std::string>& replaced,
                             const std::vector<FingerprintRow>& rows) {
  platform::db::Connection& connection = Connection();
  if (!Exists()) {
    connection.Execute(
        "create Table TA_FP (TID integer, KENNUNG char(50), GEOMETRIE char(16), ATTRIBUTE "
        "char(16))");
  }
  std::unordered_set<std::string> stored;
  {
    Query query(connection, "select KENNUNG from TA_FP");
    for (; !query.Eof(); query.Next()) stored.insert(query.AsString(0));
  }
  platform::db::InOneWrite(connection, [&] {
    for (const std::string& K : replaced) {
      if (stored.erase(K)) {
        connection.Execute("delete from TA_FP where KENNUNG = '" + Quoted(K) + "'");
      }
    }
    for (const FingerprintRow& row : rows) {
      connection.Execute("insert into TA_FP (TID,KENNUNG,GEOMETRIE,ATTRIBUTE) values (" +
                         std::to_string(row.TID) + ",'" + Quoted(row.Kennung) + "','" +
                         Quoted(row.Geometrie) + "','" + Quoted(row.Attribute) + "')");
    }
  });
}

// The row codec: a number the row leaves empty reads 0.
std::vector<FingerprintRow> FingerprintTable::ReadAll() {
  std::vector<FingerprintRow> rows;
  Query query(Connection(), "select KENNUNG,TID,GEOMETRIE,ATTRIBUTE from TA_FP");
  for (; !query.Eof(); query.Next()) {
    FingerprintRow& row = rows.emplace_back();
    row.Kennung = query.AsString(0);
    row.TID = IntOr(query, 1, 0);
    row.Geometrie = query.AsString(2);
    row.Attribute = query.AsString(3);
  }
  return rows;
}
