// TA_KL in the two makes: the full build's statements (the system's own
// texts, as they stand) and the earlier builds' table object, where a
// transaction's pool is the key range of its TID on "idxTID".
#include "transaction/tables/PoolTable.h"

namespace transaction_store {
namespace {

// ---- SQL on the transaction connection ------------------------------------------
using namespace sql;
using platform::db::Query;

std::string AddToPoolSql(int32_t T, std::string_view K) {
  return "insert into TA_KL (TID,KENNUNG) values (" + std::to_string(T) + ",'" + Quoted(K) + "')";
}

class SqlPoolTable final : public PoolTable {
 public:
  std::string Path() override { return TableFile("TA_KL").path; }
  bool Exists() override { return TableExists("TA_KL"); }
  void Create() override {
    CreateIfMissing("TA_KL", "create Table TA_KL (TID integer, KENNUNG char(50))");
  }

  TStringList GetFreeKennungen(int32_t T) override {
    TStringList list;
    if (!TableExists("TA_KL")) return list;
    Query query(Connection(),
                Lines({"select KENNUNG from TA_KL", "where TID = " + std::to_string(T)}));
    for (; !query.Eof(); query.Next()) list.push_back(query.AsString(0));
    return list;
  }

  bool KennungInPool(std::string_view K, int32_t T) override {
    if (!TableExists("TA_KL")) return false;
    return HasRow(Lines({"select * from TA_KL", "where TID = " + std::to_string(T),
                         "and KENNUNG = '" + Quoted(K) + "'"}));
  }

  bool KennungListIsEmpty() override {
    if (!TableExists("TA_KL")) return true;
    return FirstInt("select count(*) from TA_KL", 0) == 0;
  }

  bool SetFreeKennung(int32_t T, std::string_view K) override {
    if (T <= 0) return false;
    // A pool holds each identifier once per transaction; giving an identifier
    // back twice must not make it offered twice.
    if (KennungInPool(K, T)) return false;
    Command(AddToPoolSql(T, K));
    return true;
  }

  void DeleteFreeKennung(std::string_view K) override {
    Command("delete from TA_KL where KENNUNG = '" + Quoted(K) + "'");
  }

  std::vector<int32_t> PoolsHolding(std::string_view K) override {
    std::vector<int32_t> tids;
    if (!TableExists("TA_KL")) return tids;
    Query query(Connection(), "select TID from TA_KL where KENNUNG = '" + Quoted(K) + "'");
    for (; !query.Eof(); query.Next()) tids.push_back(query.AsInt32(0));
    return tids;
  }

  void AddToPool(int32_t T, std::string_view K) override { Command(AddToPoolSql(T, K)); }

  void RemoveFromPool(int32_t T, std::string_view K) override {
    Command("delete from TA_KL where TID = " + std::to_string(T) + " and KENNUNG = '" + Quoted(K) +
            "'");
  }

  std::vector<PoolRow> AllPoolRows() override {
    std::vector<PoolRow> rows;
    if (!TableExists("TA_KL")) return rows;
    Query query(Connection(), "select TID,KENNUNG from TA_KL");
    for (; !query.Eof(); query.Next()) rows.push_back({IntOr(query, 0, -1), query.AsString(1)});
    return rows;
  }

  void AddFreeKennungen(const std::vector<PoolRow>& rows) override {
    if (rows.empty()) return;
    platform::db::Connection& connection = Connection();
    platform::db::InOneWrite(connection, [&] {
      for (const PoolRow& row : rows) {
        connection.Execute("insert into TA_KL(TID,KENNUNG) values (" + std::to_string(row.TID) +
                           ",'" + Quoted(row.Kennung) + "')");
      }
    });
  }

  void Exchange(const std::vector<std::string>& leave, const std::vector<PoolRow>& enter) override {
    platform::db::Connection& connection = Connection();
    for (const std::string& K : leave) {
      connection.Execute("delete from TA_KL where KENNUNG = '" + Quoted(K) + "'");
    }
    for (const PoolRow& row : enter) connection.Execute(AddToPoolSql(row.TID, row.Kennung));
  }
};

// ---- Table objects with named indexes ------------------------------------------
using namespace keyed;

KeyedTable& Pool() {
  static const std::vector<KeyDef> kKeys = {{"idxKennung", "KENNUNG"}, {"idxTID", "TID"}};
  return Table("TA_KL.DBF", kKeys);
}

bool PoolExists() {
  return keyed::Exists(Pool);
}

void AppendPoolRow(KeyedTable& t, int32_t T, std::string_view K) {
  const uint32_t rec = t.Append();
  t.Set(rec, "TID", Value(T));
  t.Set(rec, "KENNUNG", Value(std::string(K)));
}

class KeyedPoolTable final : public PoolTable {
 public:
  std::string Path() override { return PathOf(Pool); }
  bool Exists() override { return FileExists(Path()); }
  void Create() override { CreateIfMissing(Pool(), {Int("TID"), keyed::Text("KENNUNG", 50)}); }

  TStringList GetFreeKennungen(int32_t T) override {
    TStringList list;
    if (!PoolExists()) return list;
    KeyedTable& t = Pool();
    Operation op(t, false);
    for (uint32_t rec : t.Seek("idxTID", Value(T)))
      list.push_back(t.Get(rec, "KENNUNG").AsString());
    op.End();
    return list;
  }

  bool KennungInPool(std::string_view K, int32_t T) override {
    if (!PoolExists()) return false;
    KeyedTable& t = Pool();
    Operation op(t, false);
    bool found = false;
    for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) {
      if (t.Get(rec, "TID").AsInt32() == T) found = true;
    }
    op.End();
    return found;
  }

  bool KennungListIsEmpty() override {
    if (!PoolExists()) return true;
    KeyedTable& t = Pool();
    Operation op(t, false);
    const bool empty = t.Records().empty();
    op.End();
    return empty;
  }

  bool SetFreeKennung(int32_t T, std::string_view K) override {
    if (T <= 0) return false;
    KeyedTable& t = Pool();
    Operation op(t, true);
    if (t.SeekFirst("idxKennung", Value(std::string(K))) >= 0) return false;
    AppendPoolRow(t, T, K);
    op.End();
    return true;
  }

  void DeleteFreeKennung(std::string_view K) override {
    if (!PoolExists()) return;
    KeyedTable& t = Pool();
    Operation op(t, true);
    for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) t.Delete(rec);
    op.End();
  }

  std::vector<int32_t> PoolsHolding(std::string_view K) override {
    std::vector<int32_t> tids;
    if (!PoolExists()) return tids;
    KeyedTable& t = Pool();
    Operation op(t, false);
    for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) {
      tids.push_back(t.Get(rec, "TID").AsInt32());
    }
    op.End();
    return tids;
  }

  void AddToPool(int32_t T, std::string_view K) override {
    KeyedTable& t = Pool();
    Operation op(t, true);
    AppendPoolRow(t, T, K);
    op.End();
  }

  void RemoveFromPool(int32_t T, std::string_view K) override {
    KeyedTable& t = Pool();
    Operation op(t, true);
    for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) {
      if (t.Get(rec, "TID").AsInt32() == T) t.Delete(rec);
    }
    op.End();
  }

  std::vector<PoolRow> AllPoolRows() override {
    std::vector<PoolRow> rows;
    if (!PoolExists()) return rows;
    KeyedTable& t = Pool();
    Operation op(t, false);
    for (uint32_t rec : t.Records()) {
      rows.push_back({IntOr(t, rec, "TID", -1), t.Get(rec, "KENNUNG").AsString()});
    }
    op.End();
    return rows;
  }

  void AddFreeKennungen(const std::vector<PoolRow>& rows) override {
    if (rows.empty()) return;
    KeyedTable& t = Pool();
    Operation op(t, true);
    for (const PoolRow& row : rows) AppendPoolRow(t, row.TID, row.Kennung);
    op.End();
  }

  void Exchange(const std::vector<std::string>& leave, const std::vector<PoolRow>& enter) override {
    KeyedTable& t = Pool();
    Operation op(t, true);
    for (const std::string& K : leave) {
      for (uint32_t rec : t.Seek("idxKennung", Value(K))) t.Delete(rec);
    }
    for (const PoolRow& row : enter) AppendPoolRow(t, row.TID, row.Kennung);
    op.End();
  }
};

}  // namespace
}  // namespace transaction_store

PoolTable& PoolTable::Of(transaction_store::Make make) {
  static transaction_store::SqlPoolTable sql;
  static transaction_store::KeyedPoolTable keyed;
  return make == transaction_store::Make::kKeyed ? static_cast<PoolTable&>(keyed) : sql;
}
