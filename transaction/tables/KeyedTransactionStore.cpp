// The earlier builds' transaction store: the files "TA_LIST.DBF",
// "TA_KL.DBF" and "TA_ID.DBF" as table objects with named indexes instead of
// SQL. Rows are found by key on "idxKennung" (the import's merge on
// "idxOKenn"), a transaction's pool is the key range of its TID on "idxTID",
// rows are changed in place; each operation opens its table non-exclusively
// and closes it again, so the SQL connections of the same folder and other
// programs see each change at once. A failure throws DbError in German,
// naming the file.
#include "context/PluginContext.h"
#include "platform/db/KeyedTable.h"
#include "transaction/tables/TransactionStores.h"

using platform::db::KeyDef;
using platform::db::KeyedTable;
using platform::db::Value;
using Operation = platform::db::KeyedTable::Operation;
using namespace transaction_rows;

namespace transaction_store {
namespace {

constexpr std::string_view kList = "TA_LIST.DBF";
constexpr std::string_view kPool = "TA_KL.DBF";
constexpr std::string_view kIds = "TA_ID.DBF";

// The field widths of the tables: integers as the dBase III driver writes
// them for SQL's "integer", so that files made either way are alike.
platform::dbase::FieldSpec Int(const char* name) {
  return {name, 'N', 11, 0};
}
platform::dbase::FieldSpec Text(const char* name, int width) {
  return {name, 'C', width, 0};
}

// The project store keeps the table objects while the project folder stays
// the same; the indexes are the same for every project, and named once.
KeyedTable& Table(std::string_view file, const std::vector<KeyDef>& keys) {
  return context::Current().Store().ProjectTable(file, keys);
}

KeyedTable& List() {
  static const std::vector<KeyDef> kKeys = {{"idxKennung", "KENNUNG"},
                                            {"idxTID", "TID"},
                                            {"idxSchreib", "SCHREIBEND"},
                                            {"idxOKenn", "KENNUNGO"}};
  return Table(kList, kKeys);
}
KeyedTable& Pool() {
  static const std::vector<KeyDef> kKeys = {{"idxKennung", "KENNUNG"}, {"idxTID", "TID"}};
  return Table(kPool, kKeys);
}
KeyedTable& Ids() {
  static const std::vector<KeyDef> kKeys = {{"idxTID", "TID"}};
  return Table(kIds, kKeys);
}

bool NoProject() {
  return context::Current().Store().Paths().Dir().empty();
}

// Without a project folder there are no tables, not even in the program's
// working folder.
bool Exists(KeyedTable& (*table)()) {
  if (NoProject()) return false;
  return table().Exists();
}
bool ListExists() {
  return Exists(List);
}
bool PoolExists() {
  return Exists(Pool);
}
bool IdsExist() {
  return Exists(Ids);
}

void CreateIfMissing(KeyedTable& table, const std::vector<platform::dbase::FieldSpec>& fields) {
  if (table.Exists()) return;
  table.Create(fields);
}

int32_t IntOr(const KeyedTable& t, uint32_t rec, std::string_view field, int32_t fallback) {
  const Value v = t.Get(rec, field);
  return v.IsNull() ? fallback : v.AsInt32();
}

// TA_LIST's row codec: a record into its row; a number the record leaves
// empty reads `empty`.
TObjectMetadata ReadRow(const KeyedTable& t, uint32_t rec, int32_t empty = 0) {
  TObjectMetadata row;
  row.TID = IntOr(t, rec, "TID", empty);
  row.KartulID = IntOr(t, rec, "KARTULID", empty);
  row.Vorgangsnummer = IntOr(t, rec, "VGNR", empty);
  row.Schreibend = IntOr(t, rec, "SCHREIBEND", empty);
  row.Kennung = t.Get(rec, "KENNUNG").AsString();
  row.Changed = t.Get(rec, "CHANGED").AsString();
  row.Originalkennung = t.Get(rec, "KENNUNGO").AsString();
  return row;
}

void WriteRow(KeyedTable& t, uint32_t rec, const TObjectMetadata& R) {
  t.Set(rec, "TID", Value(R.TID));
  t.Set(rec, "KARTULID", Value(R.KartulID));
  t.Set(rec, "VGNR", Value(R.Vorgangsnummer));
  t.Set(rec, "SCHREIBEND", Value(R.Schreibend));
  t.Set(rec, "KENNUNG", Value(R.Kennung));
  t.Set(rec, "CHANGED", Value(R.Changed));
  t.Set(rec, "KENNUNGO", Value(R.Originalkennung));
}

void AppendPoolRow(KeyedTable& t, int32_t T, std::string_view K) {
  const uint32_t rec = t.Append();
  t.Set(rec, "TID", Value(T));
  t.Set(rec, "KENNUNG", Value(std::string(K)));
}

// One field of the first row found under K; `fallback` when there is none.
Value FirstOf(std::string_view K, std::string_view field, Value fallback) {
  if (!ListExists()) return fallback;
  KeyedTable& t = List();
  Operation op(t, false);
  const int64_t rec = t.SeekFirst("idxKennung", Value(std::string(K)));
  Value v = rec < 0 ? std::move(fallback) : t.Get(static_cast<uint32_t>(rec), field);
  op.End();
  return v;
}

// The rows of a status, optionally of one transaction and with one mark.
TObjectMetadataList RowsOf(int32_t S, int32_t T, std::string_view changed) {
  TObjectMetadataList list;
  if (!ListExists()) return list;
  KeyedTable& t = List();
  Operation op(t, false);
  for (uint32_t rec : t.Seek("idxSchreib", Value(S))) {
    TObjectMetadata row = ReadRow(t, rec);
    if (T >= 0 && row.TID != T) continue;
    if (!changed.empty() && row.Changed != changed) continue;
    list.push_back(std::move(row));
  }
  op.End();
  return list;
}

}  // namespace

std::string KeyedTransactionStore::TablePath(std::string_view table) {
  if (NoProject()) return {};
  if (table == "TA_ID") return Ids().Path();
  if (table == "TA_KL") return Pool().Path();
  if (table == "TA_LIST") return List().Path();
  return context::Current().Store().Paths().DbaseTable(table).path;
}

void KeyedTransactionStore::CreateKennungList() {
  CreateIfMissing(Pool(), {Int("TID"), Text("KENNUNG", 50)});
}

void KeyedTransactionStore::CreateTransactionList(std::string_view /*table_name*/) {
  // The table is always TA_LIST: its indexes are named for its columns.
  CreateIfMissing(List(), {Int("TID"), Int("KARTULID"), Int("VGNR"), Int("SCHREIBEND"),
                           Text("KENNUNG", 50), Text("CHANGED", 15), Text("KENNUNGO", 50)});
}

void KeyedTransactionStore::CreateTransactionIDTable() {
  CreateIfMissing(Ids(), {Int("TID"), Text("NAME", 75), Text("OWNER", 75)});
}

bool KeyedTransactionStore::KennungInTransactionList(std::string_view K) {
  if (!ListExists()) return false;
  KeyedTable& t = List();
  Operation op(t, false);
  const bool found = t.SeekFirst("idxKennung", Value(std::string(K))) >= 0;
  op.End();
  return found;
}

bool KeyedTransactionStore::OriginalKennungInTransactionList(std::string_view K) {
  if (!ListExists()) return false;
  KeyedTable& t = List();
  Operation op(t, false);
  const bool found = t.SeekFirst("idxOKenn", Value(std::string(K))) >= 0;
  op.End();
  return found;
}

int32_t KeyedTransactionStore::GetObjectStatus(std::string_view K) {
  return FirstOf(K, "SCHREIBEND", Value(-1)).AsInt32();
}

int32_t KeyedTransactionStore::GetTIDOfObject(std::string_view K) {
  return FirstOf(K, "TID", Value(-1)).AsInt32();
}

std::string KeyedTransactionStore::GetChangedFlag(std::string_view K) {
  return FirstOf(K, "CHANGED", Value()).AsString();
}

std::string KeyedTransactionStore::GetOriginalKennung(std::string_view K) {
  return FirstOf(K, "KENNUNGO", Value()).AsString();
}

bool KeyedTransactionStore::GetObjectMetadata(std::string_view K, TObjectMetadata& record) {
  if (!ListExists()) return false;
  KeyedTable& t = List();
  Operation op(t, false);
  const int64_t rec = t.SeekFirst("idxKennung", Value(std::string(K)));
  if (rec >= 0) {
    record = ReadRow(t, static_cast<uint32_t>(rec));
    record.Kennung = std::string(K);
  }
  op.End();
  return rec >= 0;
}

TObjectMetadataList KeyedTransactionStore::GetObjectsByStatus(int32_t S, int32_t T) {
  return RowsOf(S, T, "");
}

TObjectMetadataList KeyedTransactionStore::GetChangedObjects(int32_t T) {
  return RowsOf(kSchreibend, T, kUpdate);
}

int32_t KeyedTransactionStore::CountObjectsByStatus(int32_t S, int32_t T) {
  if (!ListExists()) return -1;
  return static_cast<int32_t>(RowsOf(S, T, "").size());
}

int32_t KeyedTransactionStore::CountChangedObjects(int32_t T) {
  if (!ListExists()) return -1;
  return static_cast<int32_t>(GetChangedObjects(T).size());
}

void KeyedTransactionStore::SaveObjectMetadata(const TObjectMetadata& R) {
  KeyedTable& t = List();
  Operation op(t, true);
  const std::vector<uint32_t> found = t.Seek("idxKennung", Value(R.Kennung));
  if (!found.empty()) {
    for (uint32_t rec : found) {
      t.Set(rec, "TID", Value(R.TID));
      t.Set(rec, "KARTULID", Value(R.KartulID));
      t.Set(rec, "VGNR", Value(R.Vorgangsnummer));
      t.Set(rec, "SCHREIBEND", Value(R.Schreibend));
      t.Set(rec, "CHANGED", Value(R.Changed));
      t.Set(rec, "KENNUNGO", Value(R.Originalkennung));
    }
  } else {
    TObjectMetadata row = R;
    row.Originalkennung = R.Kennung;
    WriteRow(t, t.Append(), row);
  }
  op.End();
}

void KeyedTransactionStore::DeleteTransactionListRow(std::string_view K) {
  KeyedTable& t = List();
  Operation op(t, true);
  for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) t.Delete(rec);
  op.End();
}

void KeyedTransactionStore::UpdateChangedFlag(std::string_view K, std::string_view M) {
  KeyedTable& t = List();
  Operation op(t, true);
  for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) {
    t.Set(rec, "CHANGED", Value(std::string(M)));
  }
  op.End();
}

void KeyedTransactionStore::UpdateKennungInTransactionList(std::string_view O, std::string_view N) {
  if (!ListExists()) return;
  KeyedTable& t = List();
  Operation op(t, true);
  const std::vector<uint32_t> found = t.Seek("idxKennung", Value(std::string(O)));
  if (!found.empty()) {
    const int32_t S = t.Get(found.front(), "SCHREIBEND").AsInt32();
    for (uint32_t rec : found) {
      t.Set(rec, "KENNUNG", Value(std::string(N)));
      if (S == kSchreibend) t.Set(rec, "CHANGED", Value(std::string(kUpdate)));
    }
  }
  op.End();
}

bool KeyedTransactionStore::AssignRowInPlace(std::string_view K, int32_t T) {
  KeyedTable& t = List();
  Operation op(t, true);
  const std::vector<uint32_t> found = t.Seek("idxKennung", Value(std::string(K)));
  for (uint32_t rec : found) {
    t.Set(rec, "TID", Value(T));
    t.Set(rec, "SCHREIBEND", Value(kNeu));
    t.Set(rec, "CHANGED", Value(std::string(kNew)));
  }
  op.End();
  return !found.empty();
}

void KeyedTransactionStore::RestoreRow(const TObjectMetadata& R) {
  KeyedTable& t = List();
  Operation op(t, true);
  WriteRow(t, t.Append(), R);
  op.End();
}

void KeyedTransactionStore::RewriteRow(std::string_view K, const TObjectMetadata& R) {
  KeyedTable& t = List();
  Operation op(t, true);
  for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) WriteRow(t, rec, R);
  op.End();
}

std::unordered_map<std::string, bool> KeyedTransactionStore::ListedKennungen() {
  std::unordered_map<std::string, bool> listed;
  if (!ListExists()) return listed;
  KeyedTable& t = List();
  Operation op(t, false);
  for (uint32_t rec : t.Records()) {
    const bool deleted = t.Get(rec, "CHANGED").AsString() == kDelete;
    auto [it, added] = listed.try_emplace(t.Get(rec, "KENNUNG").AsString(), deleted);
    if (!added) it->second = it->second && deleted;
  }
  op.End();
  return listed;
}

TObjectMetadataList KeyedTransactionStore::AllRows() {
  TObjectMetadataList list;
  if (!ListExists()) return list;
  KeyedTable& t = List();
  Operation op(t, false);
  for (uint32_t rec : t.Records()) list.push_back(ReadRow(t, rec, -1));
  op.End();
  return list;
}

TObjectMetadataList KeyedTransactionStore::ExportRows(int32_t T) {
  TObjectMetadataList list;
  KeyedTable& t = List();
  Operation op(t, false);
  for (uint32_t rec : t.Seek("idxTID", Value(T))) {
    TObjectMetadata& row = list.emplace_back(ReadRow(t, rec));
    row.TID = T;
  }
  op.End();
  return list;
}

TStringList KeyedTransactionStore::GetFreeKennungen(int32_t T) {
  TStringList list;
  if (!PoolExists()) return list;
  KeyedTable& t = Pool();
  Operation op(t, false);
  for (uint32_t rec : t.Seek("idxTID", Value(T))) list.push_back(t.Get(rec, "KENNUNG").AsString());
  op.End();
  return list;
}

bool KeyedTransactionStore::KennungInPool(std::string_view K, int32_t T) {
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

bool KeyedTransactionStore::KennungListIsEmpty() {
  if (!PoolExists()) return true;
  KeyedTable& t = Pool();
  Operation op(t, false);
  const bool empty = t.Records().empty();
  op.End();
  return empty;
}

bool KeyedTransactionStore::SetFreeKennung(int32_t T, std::string_view K) {
  if (T <= 0) return false;
  KeyedTable& t = Pool();
  Operation op(t, true);
  if (t.SeekFirst("idxKennung", Value(std::string(K))) >= 0) return false;
  AppendPoolRow(t, T, K);
  op.End();
  return true;
}

void KeyedTransactionStore::DeleteFreeKennung(std::string_view K) {
  if (!PoolExists()) return;
  KeyedTable& t = Pool();
  Operation op(t, true);
  for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) t.Delete(rec);
  op.End();
}

std::vector<int32_t> KeyedTransactionStore::PoolsHolding(std::string_view K) {
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

void KeyedTransactionStore::AddToPool(int32_t T, std::string_view K) {
  KeyedTable& t = Pool();
  Operation op(t, true);
  AppendPoolRow(t, T, K);
  op.End();
}

void KeyedTransactionStore::RemoveFromPool(int32_t T, std::string_view K) {
  KeyedTable& t = Pool();
  Operation op(t, true);
  for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) {
    if (t.Get(rec, "TID").AsInt32() == T) t.Delete(rec);
  }
  op.End();
}

std::vector<PoolRow> KeyedTransactionStore::AllPoolRows() {
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

TTransactionMetadataList KeyedTransactionStore::GetTransactions() {
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

TTransactionMetadataList KeyedTransactionStore::TransactionNames() {
  TTransactionMetadataList list = GetTransactions();
  for (TTransactionMetadata& t : list) t.Owner.clear();
  return list;
}

int32_t KeyedTransactionStore::CountTransactions() {
  if (!IdsExist()) return -1;
  return static_cast<int32_t>(GetTransactions().size());
}

bool KeyedTransactionStore::HasTransaction(int32_t T) {
  if (!IdsExist()) return false;
  KeyedTable& t = Ids();
  Operation op(t, false);
  const bool found = t.SeekFirst("idxTID", Value(T)) >= 0;
  op.End();
  return found;
}

void KeyedTransactionStore::ApplyImport(const ImportChanges& changes) {
  {
    KeyedTable& t = List();
    Operation op(t, true);
    for (const auto& [K, original] : changes.dropped) {
      for (uint32_t rec : t.Seek("idxKennung", Value(K))) {
        if (t.Get(rec, "KENNUNGO").AsString() == original) t.Delete(rec);
      }
    }
    for (const ListMerge& merge : changes.list) {
      const TObjectMetadata& R = merge.row;
      if (merge.kind == ListMerge::Kind::kInsert) {
        TObjectMetadata row = R;
        row.Originalkennung = R.Kennung;
        WriteRow(t, t.Append(), row);
        continue;
      }
      for (uint32_t rec : t.Seek("idxOKenn", Value(R.Kennung))) {
        t.Set(rec, "KENNUNG", Value(R.Kennung));
        if (merge.kind == ListMerge::Kind::kResetKennung) continue;
        if (merge.kind == ListMerge::Kind::kMove) t.Set(rec, "TID", Value(R.TID));
        t.Set(rec, "KARTULID", Value(R.KartulID));
        t.Set(rec, "VGNR", Value(R.Vorgangsnummer));
        t.Set(rec, "SCHREIBEND", Value(R.Schreibend));
        t.Set(rec, "CHANGED", Value(R.Changed));
      }
    }
    op.End();
  }
  if ((!changes.leave_pools.empty() || !changes.enter_pools.empty()) && PoolExists()) {
    KeyedTable& t = Pool();
    Operation op(t, true);
    for (const std::string& K : changes.leave_pools) {
      for (uint32_t rec : t.Seek("idxKennung", Value(K))) t.Delete(rec);
    }
    for (const PoolRow& row : changes.enter_pools) AppendPoolRow(t, row.TID, row.Kennung);
    op.End();
  }
  if (changes.transaction) {
    KeyedTable& t = Ids();
    Operation op(t, true);
    const uint32_t rec = t.Append();
    t.Set(rec, "TID", Value(changes.transaction->ID));
    if (t.HasField("NAME")) t.Set(rec, "NAME", Value(changes.transaction->Name));
    if (t.HasField("OWNER")) t.Set(rec, "OWNER", Value(changes.transaction->Owner));
    op.End();
  }
}

void KeyedTransactionStore::AddFreeKennungen(const std::vector<PoolRow>& rows) {
  if (rows.empty()) return;
  KeyedTable& t = Pool();
  Operation op(t, true);
  for (const PoolRow& row : rows) AppendPoolRow(t, row.TID, row.Kennung);
  op.End();
}

void KeyedTransactionStore::RemoveTransaction(int32_t T) {
  if (!IdsExist()) return;
  KeyedTable& t = Ids();
  Operation op(t, true);
  for (uint32_t rec : t.Seek("idxTID", Value(T))) t.Delete(rec);
  op.End();
}

void KeyedTransactionStore::ReplaceRows(const Replacement& r) {
  if (!r.list_out.empty() || !r.list_in.empty()) {
    KeyedTable& t = List();
    Operation op(t, true);
    for (const TObjectMetadata& row : r.list_out) {
      for (uint32_t rec : t.Seek("idxKennung", Value(row.Kennung))) {
        if (t.Get(rec, "KENNUNGO").AsString() == row.Originalkennung) t.Delete(rec);
      }
    }
    for (const TObjectMetadata& row : r.list_in) WriteRow(t, t.Append(), row);
    op.End();
  }
  if (!r.pool_out.empty() || !r.pool_in.empty()) {
    KeyedTable& t = Pool();
    Operation op(t, true);
    for (const std::string& K : r.pool_out) {
      for (uint32_t rec : t.Seek("idxKennung", Value(K))) t.Delete(rec);
    }
    for (const PoolRow& row : r.pool_in) AppendPoolRow(t, row.TID, row.Kennung);
    op.End();
  }
}

void KeyedTransactionStore::ForgetFiles() {
  context::Current().Store().CloseProject();
}

}  // namespace transaction_store
