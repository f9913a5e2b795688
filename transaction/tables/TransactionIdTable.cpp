// TA_ID in the two makes: the full build's statements (the system's own
// texts, as they stand) and the earlier builds' table object, keyed on
// "idxTID".
#include "transaction/tables/TransactionIdTable.h"

namespace transaction_store {
namespace {

// ---- SQL on the transaction connection ------------------------------------------
using namespace sql;
using platform::db::Query;

class SqlTransactionIdTable final : public TransactionIdTable {
 public:
  std::string Path() override { return TableFile("TA_ID").path; }
  bool Exists() override { return TableExists("TA_ID"); }
  void Create() override {
    CreateIfMissing("TA_ID", "create Table TA_ID (TID integer, NAME char(75),OWNER char(75))");
  }

  TTransactionMetadataList GetTransactions() override {
    TTransactionMetadataList list;
    if (!TableExists("TA_ID")) return list;
    Query query(Connection(), "select TID,NAME,OWNER from TA_ID");
    for (; !query.Eof(); query.Next()) {
      list.push_back({query.AsInt32(0), query.AsString(1), query.AsString(2)});
    }
    return list;
  }

  TTransactionMetadataList TransactionNames() override {
    TTransactionMetadataList list;
    if (!TableExists("TA_ID")) return list;
    Query query(Connection(), "select TID,NAME from TA_ID");
    for (; !query.Eof(); query.Next()) list.push_back({query.AsInt32(0), query.AsString(1), {}});
    return list;
  }

  int32_t CountTransactions() override {
    if (!TableExists("TA_ID")) return -1;
    return FirstInt("select count (*) from TA_ID", -1);
  }

  bool HasTransaction(int32_t T) override {
    if (!TableExists("TA_ID")) return false;
    return HasRow("select TID from TA_ID \r\nwhere TID = " + std::to_string(T));
  }

  void RemoveTransaction(int32_t T) override {
    if (!TableExists("TA_ID")) return;
    Command("delete from TA_ID where TID = " + std::to_string(T));
  }

  void Register(const TTransactionMetadata& t) override {
    Command("insert into TA_ID (TID,NAME,OWNER) values (" + std::to_string(t.ID) + ",'" +
            Quoted(t.Name) + "','" + Quoted(t.Owner) + "')");
  }
};

// ---- Table objects with named indexes ------------------------------------------
using namespace keyed;

KeyedTable& Ids() {
  static const std::vector<KeyDef> kKeys = {{"idxTID", "TID"}};
  return Table("TA_ID.DBF", kKeys);
}

bool IdsExist() {
  return keyed::Exists(Ids);
}

class KeyedTransactionIdTable final : public TransactionIdTable {
 public:
  std::string Path() override { return PathOf(Ids); }
  bool Exists() override { return FileExists(Path()); }
  void Create() override {
    CreateIfMissing(Ids(), {Int("TID"), keyed::Text("NAME", 75), keyed::Text("OWNER", 75)});
  }

  TTransactionMetadataList GetTransactions() override {
    TTransactionMetadataList list;
    if (!IdsExist()) return list;
    KeyedTable& t = Ids();
    Operation op(t, false);
    // A transaction table of another make may lack the name or the owner; the
    // choosers still list the transaction.
    const bool has_name = t.HasField("NAME");
    const bool has_owner = t.HasField("OWNER");
    for (uint32_t rec : t.Records()) {
      list.push_back({t.Get(rec, "TID").AsInt32(),
                      has_name ? t.Get(rec, "NAME").AsString() : std::string("unbekannt"),
                      has_owner ? t.Get(rec, "OWNER").AsString() : std::string()});
    }
    op.End();
    return list;
  }

  TTransactionMetadataList TransactionNames() override {
    TTransactionMetadataList list = GetTransactions();
    for (TTransactionMetadata& t : list) t.Owner.clear();
    return list;
  }

  int32_t CountTransactions() override {
    if (!IdsExist()) return -1;
    return static_cast<int32_t>(GetTransactions().size());
  }

  bool HasTransaction(int32_t T) override {
    if (!IdsExist()) return false;
    KeyedTable& t = Ids();
    Operation op(t, false);
    const bool found = t.SeekFirst("idxTID", Value(T)) >= 0;
    op.End();
    return found;
  }

  void RemoveTransaction(int32_t T) override {
    if (!IdsExist()) return;
    KeyedTable& t = Ids();
    Operation op(t, true);
    for (uint32_t rec : t.Seek("idxTID", Value(T))) t.Delete(rec);
    op.End();
  }

  void Register(const TTransactionMetadata& transaction) override {
    KeyedTable& t = Ids();
    Operation op(t, true);
    const uint32_t rec = t.Append();
    t.Set(rec, "TID", Value(transaction.ID));
    if (t.HasField("NAME")) t.Set(rec, "NAME", Value(transaction.Name));
    if (t.HasField("OWNER")) t.Set(rec, "OWNER", Value(transaction.Owner));
    op.End();
  }
};

}  // namespace
}  // namespace transaction_store

TransactionIdTable& TransactionIdTable::Of(transaction_store::Make make) {
  static transaction_store::SqlTransactionIdTable sql;
  static transaction_store::KeyedTransactionIdTable keyed;
  return make == transaction_store::Make::kKeyed ? static_cast<TransactionIdTable&>(keyed) : sql;
}
