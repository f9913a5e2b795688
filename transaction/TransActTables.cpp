#include "transaction/TransActTables.h"

#include "context/PluginContext.h"
#include "dialogs/DialogTools.h"
#include "host/Tools.h"
#include "platform/db/KeyedTable.h"
#include "platform/ui/Ui.h"

using platform::db::KeyDef;
using platform::db::KeyedTable;
using platform::db::Value;
using Operation = platform::db::KeyedTable::Operation;

namespace TransActTables {
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

KeyedTable& Table(std::string_view file, std::vector<KeyDef> keys) {
  return context::Current().Store().ProjectTable(file, keys);
}

KeyedTable& List() {
  return Table(kList, {{"idxKennung", "KENNUNG"},
                       {"idxTID", "TID"},
                       {"idxSchreib", "SCHREIBEND"},
                       {"idxOKenn", "KENNUNGO"}});
}
KeyedTable& Pool() {
  return Table(kPool, {{"idxKennung", "KENNUNG"}, {"idxTID", "TID"}});
}
KeyedTable& Ids() {
  return Table(kIds, {{"idxTID", "TID"}});
}

// Without a project folder there are no tables, not even in the program's
// working folder.
bool Exists(KeyedTable& (*table)()) {
  if (Tools::MyGetProjectDir().empty()) return false;
  return table().Exists();
}

void CreateIfMissing(KeyedTable& table, const std::vector<platform::dbase::FieldSpec>& fields) {
  if (table.Exists()) return;
  platform::ui::HourglassGuard hourglass;
  table.Create(fields);
}

TObjectMetadata ReadRow(const KeyedTable& t, uint32_t rec) {
  TObjectMetadata row;
  row.TID = t.Get(rec, "TID").AsInt32();
  row.KartulID = t.Get(rec, "KARTULID").AsInt32();
  row.Vorgangsnummer = t.Get(rec, "VGNR").AsInt32();
  row.Schreibend = t.Get(rec, "SCHREIBEND").AsInt32();
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

// One field of the first row found under K; `fallback` when there is none.
Value FirstOf(std::string_view K, std::string_view field, Value fallback) {
  if (!TransactionListExists()) return fallback;
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
  if (!TransactionListExists()) return list;
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

std::string TablePath(std::string_view table) {
  if (table == "TA_ID") return Ids().Path();
  if (table == "TA_KL") return Pool().Path();
  return List().Path();
}

bool TransactionListExists() {
  return Exists(List);
}
bool TransactionIDTableExists() {
  return Exists(Ids);
}
bool KennungListExists() {
  return Exists(Pool);
}

void CreateKennungList() {
  CreateIfMissing(Pool(), {Int("TID"), Text("KENNUNG", 50)});
}

void CreateTransactionList(std::string_view /*table_name*/) {
  // The table is always TA_LIST: its indexes are named for its columns.
  CreateIfMissing(List(), {Int("TID"), Int("KARTULID"), Int("VGNR"), Int("SCHREIBEND"),
                           Text("KENNUNG", 50), Text("CHANGED", 15), Text("KENNUNGO", 50)});
}

void CreateTransactionIDTable() {
  CreateIfMissing(Ids(), {Int("TID"), Text("NAME", 75), Text("OWNER", 75)});
}

bool KennungInTransactionList(std::string_view K) {
  if (!TransactionListExists()) return false;
  KeyedTable& t = List();
  Operation op(t, false);
  const bool found = t.SeekFirst("idxKennung", Value(std::string(K))) >= 0;
  op.End();
  return found;
}

bool OriginalKennungInTransactionList(std::string_view K) {
  if (!TransactionListExists()) return false;
  KeyedTable& t = List();
  Operation op(t, false);
  const bool found = t.SeekFirst("idxOKenn", Value(std::string(K))) >= 0;
  op.End();
  return found;
}

int32_t GetObjectStatus(std::string_view K) {
  return FirstOf(K, "SCHREIBEND", Value(-1)).AsInt32();
}

int32_t GetTIDOfObject(std::string_view K) {
  return FirstOf(K, "TID", Value(-1)).AsInt32();
}

std::string GetChangedFlag(std::string_view K) {
  return FirstOf(K, "CHANGED", Value()).AsString();
}

std::string GetOriginalKennung(std::string_view K) {
  return FirstOf(K, "KENNUNGO", Value()).AsString();
}

bool GetObjectMetadata(std::string_view K, TObjectMetadata& record) {
  if (!TransactionListExists()) return false;
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

TObjectMetadataList GetObjectsByStatus(int32_t S, int32_t T) {
  return RowsOf(S, T, "");
}

TObjectMetadataList GetChangedObjects(int32_t T) {
  return RowsOf(TransActTools::kSchreibend, T, TransActTools::kUpdate);
}

int32_t CountObjectsByStatus(int32_t S, int32_t T) {
  if (!TransactionListExists()) return -1;
  return static_cast<int32_t>(RowsOf(S, T, "").size());
}

int32_t CountChangedObjects(int32_t T) {
  if (!TransactionListExists()) return -1;
  return static_cast<int32_t>(GetChangedObjects(T).size());
}

void SaveObjectMetadata(const TObjectMetadata& R) {
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

void DeleteTransactionListRow(std::string_view K) {
  KeyedTable& t = List();
  Operation op(t, true);
  for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) t.Delete(rec);
  op.End();
}

void UpdateChangedFlag(std::string_view K, std::string_view M) {
  KeyedTable& t = List();
  Operation op(t, true);
  for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) {
    t.Set(rec, "CHANGED", Value(std::string(M)));
  }
  op.End();
}

void UpdateKennungInTransactionList(std::string_view O, std::string_view N) {
  if (!TransactionListExists()) return;
  KeyedTable& t = List();
  Operation op(t, true);
  const std::vector<uint32_t> found = t.Seek("idxKennung", Value(std::string(O)));
  if (!found.empty()) {
    const int32_t S = t.Get(found.front(), "SCHREIBEND").AsInt32();
    for (uint32_t rec : found) {
      t.Set(rec, "KENNUNG", Value(std::string(N)));
      if (S == TransActTools::kSchreibend) {
        t.Set(rec, "CHANGED", Value(std::string(TransActTools::kUpdate)));
      }
    }
  }
  op.End();
}

bool AssignRowInPlace(std::string_view K, int32_t T) {
  KeyedTable& t = List();
  Operation op(t, true);
  const std::vector<uint32_t> found = t.Seek("idxKennung", Value(std::string(K)));
  for (uint32_t rec : found) {
    t.Set(rec, "TID", Value(T));
    t.Set(rec, "SCHREIBEND", Value(TransActTools::kNeu));
    t.Set(rec, "CHANGED", Value(std::string(TransActTools::kNew)));
  }
  op.End();
  return !found.empty();
}

TStringList GetFreeKennungen(int32_t T) {
  TStringList list;
  if (!KennungListExists()) return list;
  KeyedTable& t = Pool();
  Operation op(t, false);
  for (uint32_t rec : t.Seek("idxTID", Value(T))) list.push_back(t.Get(rec, "KENNUNG").AsString());
  op.End();
  return list;
}

bool KennungInPool(std::string_view K, int32_t T) {
  if (!KennungListExists()) return false;
  KeyedTable& t = Pool();
  Operation op(t, false);
  bool found = false;
  for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) {
    if (t.Get(rec, "TID").AsInt32() == T) found = true;
  }
  op.End();
  return found;
}

bool KennungListIsEmpty() {
  if (!KennungListExists()) return true;
  KeyedTable& t = Pool();
  Operation op(t, false);
  const bool empty = t.Records().empty();
  op.End();
  return empty;
}

bool SetFreeKennung(int32_t T, std::string_view K) {
  if (T <= 0) return false;
  KeyedTable& t = Pool();
  Operation op(t, true);
  if (t.SeekFirst("idxKennung", Value(std::string(K))) >= 0) return false;
  const uint32_t rec = t.Append();
  t.Set(rec, "TID", Value(T));
  t.Set(rec, "KENNUNG", Value(std::string(K)));
  op.End();
  return true;
}

void DeleteFreeKennung(std::string_view K) {
  if (!KennungListExists()) return;
  KeyedTable& t = Pool();
  Operation op(t, true);
  for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) t.Delete(rec);
  op.End();
}

std::vector<int32_t> PoolsHolding(std::string_view K) {
  std::vector<int32_t> tids;
  if (!KennungListExists()) return tids;
  KeyedTable& t = Pool();
  Operation op(t, false);
  for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) {
    tids.push_back(t.Get(rec, "TID").AsInt32());
  }
  op.End();
  return tids;
}

void AddToPool(int32_t T, std::string_view K) {
  KeyedTable& t = Pool();
  Operation op(t, true);
  const uint32_t rec = t.Append();
  t.Set(rec, "TID", Value(T));
  t.Set(rec, "KENNUNG", Value(std::string(K)));
  op.End();
}

void RemoveFromPool(int32_t T, std::string_view K) {
  KeyedTable& t = Pool();
  Operation op(t, true);
  for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) {
    if (t.Get(rec, "TID").AsInt32() == T) t.Delete(rec);
  }
  op.End();
}

void RestoreRow(const TObjectMetadata& R) {
  KeyedTable& t = List();
  Operation op(t, true);
  WriteRow(t, t.Append(), R);
  op.End();
}

void RewriteRow(std::string_view K, const TObjectMetadata& R) {
  KeyedTable& t = List();
  Operation op(t, true);
  for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) WriteRow(t, rec, R);
  op.End();
}

std::unordered_map<std::string, bool> ListedKennungen() {
  std::unordered_map<std::string, bool> listed;
  if (!TransactionListExists()) return listed;
  KeyedTable& t = List();
  Operation op(t, false);
  for (uint32_t rec : t.Records()) {
    const bool deleted = t.Get(rec, "CHANGED").AsString() == TransActTools::kDelete;
    auto [it, added] = listed.try_emplace(t.Get(rec, "KENNUNG").AsString(), deleted);
    if (!added) it->second = it->second && deleted;
  }
  op.End();
  return listed;
}

TTransactionMetadataList GetTransactions() {
  TTransactionMetadataList list;
  if (!TransactionIDTableExists()) return list;
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

TNumberedStringList GetTransactionNames() {
  TNumberedStringList list;
  for (const TTransactionMetadata& t : GetTransactions()) {
    list.push_back({DialogTools::TransactionEntry(t.ID, t.Name), t.ID});
  }
  return list;
}

int32_t CountTransactions() {
  if (!TransactionIDTableExists()) return -1;
  return static_cast<int32_t>(GetTransactions().size());
}

}  // namespace TransActTables
