// TA_LIST in the two makes. The full build's statement texts are the
// system's own and must stay exactly as they are (spacing included): other
// tools and the check-in side read the same tables, and support engineers
// compare them with what the driver logs. Text values go into statements
// with their single quotes doubled, so an identifier with a quote is stored
// and found like any other.
#include "transaction/tables/ListTable.h"

#include <array>

#include "platform/text/Strings.h"

using namespace transaction_rows;

namespace transaction_store {
namespace {

// ---- SQL on the transaction connection ------------------------------------------
using namespace sql;
using platform::db::Query;

// The row codec: the current row of a select on TA_LIST into its record.
// Each select names the columns it reads, in the system's order for that
// statement; they are found by name once per query, and the record's other
// fields are left as they are. A number the row leaves empty reads `empty`.
class ListRowReader {
 public:
  ListRowReader(const Query& query, int32_t empty) : query_(query), empty_(empty) {
    for (int pos = 0; pos < query.FieldCount(); ++pos) {
      const std::string name = query.FieldName(pos);
      for (size_t i = 0; i < kColumns.size(); ++i) {
        if (platform::text::EqualsIgnoreCase(name, kColumns[i])) at_[i] = pos;
      }
    }
  }

  void Into(TObjectMetadata& row) const {
    Number(kTid, row.TID);
    Number(kKartulId, row.KartulID);
    Number(kVgnr, row.Vorgangsnummer);
    Number(kSchreibend, row.Schreibend);
    Text(kKennung, row.Kennung);
    Text(kChanged, row.Changed);
    Text(kKennungo, row.Originalkennung);
  }

 private:
  enum Column { kTid, kKartulId, kVgnr, kSchreibend, kKennung, kChanged, kKennungo };
  static constexpr std::array<std::string_view, 7> kColumns = {
      "TID", "KARTULID", "VGNR", "SCHREIBEND", "KENNUNG", "CHANGED", "KENNUNGO"};

  void Number(Column c, int32_t& field) const {
    if (at_[c] >= 0) field = query_.IsNull(at_[c]) ? empty_ : query_.AsInt32(at_[c]);
  }
  void Text(Column c, std::string& field) const {
    if (at_[c] >= 0) field = query_.AsString(at_[c]);
  }

  const Query& query_;
  int32_t empty_;
  std::array<int, 7> at_ = {-1, -1, -1, -1, -1, -1, -1};
};

// Every row of a select on TA_LIST, in delivery order.
TObjectMetadataList ReadObjects(std::string_view sql, int32_t empty = 0) {
  TObjectMetadataList list;
  Query query(Connection(), sql);
  const ListRowReader reader(query, empty);
  for (; !query.Eof(); query.Next()) reader.Into(list.emplace_back());
  return list;
}

constexpr std::string_view kSelectObjects =
    "select TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO from TA_LIST";

std::string InsertRowSql(const TObjectMetadata& R) {
  return "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values (" +
         std::to_string(R.TID) + "," + std::to_string(R.KartulID) + "," +
         std::to_string(R.Vorgangsnummer) + "," + std::to_string(R.Schreibend) + ",'" +
         Quoted(R.Kennung) + "','" + Quoted(R.Changed) + "','" + Quoted(R.Originalkennung) + "')";
}

class SqlListTable final : public ListTable {
 public:
  std::string Path() override { return TableFile("TA_LIST").path; }
  bool Exists() override { return TableExists("TA_LIST"); }

  void Create(std::string_view table_name) override {
    CreateIfMissing(table_name, "create Table " + std::string(table_name) +
                                    " (TID integer, KARTULID integer,VGNR integer,SCHREIBEND "
                                    "integer,KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))");
  }

  bool KennungInTransactionList(std::string_view K) override {
    if (!TableExists("TA_LIST")) return false;
    return FirstInt(Lines({"select count(*) from TA_LIST", "where KENNUNG = '" + Quoted(K) + "'"}),
                    0) > 0;
  }

  bool OriginalKennungInTransactionList(std::string_view K) override {
    if (!TableExists("TA_LIST")) return false;
    return HasRow(Lines({"select KARTULID from TA_LIST", "where KENNUNGO = '" + Quoted(K) + "'"}));
  }

  int32_t GetObjectStatus(std::string_view K) override {
    if (!TableExists("TA_LIST")) return -1;
    return FirstInt(Lines({"select SCHREIBEND from TA_LIST", "where KENNUNG= '" + Quoted(K) + "'"}),
                    -1);
  }

  int32_t GetTIDOfObject(std::string_view K) override {
    if (!TableExists("TA_LIST")) return -1;
    return FirstInt(Lines({"select TID from TA_LIST", "where KENNUNG= '" + Quoted(K) + "'"}), -1);
  }

  std::string GetChangedFlag(std::string_view K) override {
    if (!TableExists("TA_LIST")) return {};
    return FirstText(Lines({"select CHANGED from TA_LIST", "where KENNUNG = '" + Quoted(K) + "'"}));
  }

  std::string GetOriginalKennung(std::string_view K) override {
    if (!TableExists("TA_LIST")) return {};
    return FirstText(
        Lines({"select KENNUNGO from TA_LIST", "where KENNUNG = '" + Quoted(K) + "'"}));
  }

  bool GetObjectMetadata(std::string_view K, TObjectMetadata& record) override {
    if (!TableExists("TA_LIST")) return false;
    Query query(Connection(),
                Lines({"select TID,KARTULID,VGNR,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST",
                       "where KENNUNG = '" + Quoted(K) + "'"}));
    if (query.Eof()) return false;
    ListRowReader(query, 0).Into(record);
    record.Kennung = std::string(K);
    return true;
  }

  TObjectMetadataList GetObjectsByStatus(int32_t S, int32_t T) override {
    if (!TableExists("TA_LIST")) return {};
    std::string where = "where SCHREIBEND = " + std::to_string(S);
    return ReadObjects(T >= 0 ? Lines({std::string(kSelectObjects), where, TidLine(T)})
                              : Lines({std::string(kSelectObjects), where}));
  }

  TObjectMetadataList GetChangedObjects(int32_t T) override {
    if (!TableExists("TA_LIST")) return {};
    const std::string select(kSelectObjects);
    return ReadObjects(
        T >= 0 ? Lines({select, "where SCHREIBEND = 1", "and CHANGED = 'UPDATE'", TidLine(T)})
               : Lines({select, "where SCHREIBEND = 1", "and CHANGED = 'UPDATE'"}));
  }

  int32_t CountObjectsByStatus(int32_t S, int32_t T) override {
    if (!TableExists("TA_LIST")) return -1;
    std::string where = "where SCHREIBEND = " + std::to_string(S);
    return FirstInt(T >= 0 ? Lines({"select count(*) from TA_LIST", where, TidLine(T)})
                           : Lines({"select count(*) from TA_LIST", where}),
                    -1);
  }

  int32_t CountChangedObjects(int32_t T) override {
    if (!TableExists("TA_LIST")) return -1;
    return FirstInt(T >= 0 ? Lines({"select count(*) from TA_LIST", "where SCHREIBEND = 1",
                                    "and CHANGED = 'UPDATE'", TidLine(T)})
                           : Lines({"select count(*) from TA_LIST", "where SCHREIBEND = 1",
                                    "and CHANGED = 'UPDATE'"}),
                    -1);
  }

  void SaveObjectMetadata(const TObjectMetadata& R) override {
    // The update addresses the row by KENNUNG, so that is where it must be
    // found. Looking only at KENNUNGO would insert a second row for an object
    // whose identifier was switched, and would send the update of a row found
    // under its old identifier into the void.
    if (KennungInTransactionList(R.Kennung)) {
      Command("update TA_LIST set TID = " + std::to_string(R.TID) + ",KARTULID = " +
              std::to_string(R.KartulID) + ",VGNR = " + std::to_string(R.Vorgangsnummer) +
              ",SCHREIBEND = " + std::to_string(R.Schreibend) + ",CHANGED = '" + Quoted(R.Changed) +
              "',KENNUNGO = '" + Quoted(R.Originalkennung) + "' where KENNUNG = '" +
              Quoted(R.Kennung) + "'");
    } else {
      TObjectMetadata row = R;
      row.Originalkennung = R.Kennung;
      Command(InsertRowSql(row));
    }
  }

  void DeleteTransactionListRow(std::string_view K) override {
    Command("delete from TA_LIST where KENNUNG = '" + Quoted(K) + "'");
  }

  void UpdateChangedFlag(std::string_view K, std::string_view M) override {
    Command("update TA_LIST set CHANGED = '" + Quoted(M) + "' where KENNUNG = '" + Quoted(K) + "'");
  }

  void UpdateKennungInTransactionList(std::string_view O, std::string_view N) override {
    if (!KennungInTransactionList(O)) return;
    const int32_t S = GetObjectStatus(O);
    std::string sql = "update TA_LIST set KENNUNG = '" + Quoted(N) + "'";
    if (S == kSchreibend) sql += ", CHANGED = 'UPDATE'";
    sql += " where KENNUNG = '" + Quoted(O) + "'";
    Command(sql);
  }

  bool AssignRowInPlace(std::string_view K, int32_t T) override {
    // The full build rewrites an assigned row instead; kept for a complete
    // store, with the same effect as the table objects'.
    if (!KennungInTransactionList(K)) return false;
    Command("update TA_LIST set TID = " + std::to_string(T) + ",SCHREIBEND = " +
            std::to_string(kNeu) + ",CHANGED = 'NEW' where KENNUNG = '" + Quoted(K) + "'");
    return true;
  }

  void RestoreRow(const TObjectMetadata& R) override { Command(InsertRowSql(R)); }

  void RewriteRow(std::string_view K, const TObjectMetadata& R) override {
    Command("update TA_LIST set TID = " + std::to_string(R.TID) + ",KARTULID = " +
            std::to_string(R.KartulID) + ",VGNR = " + std::to_string(R.Vorgangsnummer) +
            ",SCHREIBEND = " + std::to_string(R.Schreibend) + ",KENNUNG = '" + Quoted(R.Kennung) +
            "',CHANGED = '" + Quoted(R.Changed) + "',KENNUNGO = '" + Quoted(R.Originalkennung) +
            "' where KENNUNG = '" + Quoted(K) + "'");
  }

  std::unordered_map<std::string, bool> ListedKennungen() override {
    std::unordered_map<std::string, bool> listed;
    if (!TableExists("TA_LIST")) return listed;
    Query query(Connection(), "select KENNUNG,CHANGED from TA_LIST");
    for (; !query.Eof(); query.Next()) {
      const bool deleted = query.AsString(1) == kDelete;
      auto [it, added] = listed.try_emplace(query.AsString(0), deleted);
      if (!added) it->second = it->second && deleted;
    }
    return listed;
  }

  TObjectMetadataList AllRows() override {
    if (!TableExists("TA_LIST")) return {};
    return ReadObjects(kSelectObjects, -1);
  }

  TObjectMetadataList ExportRows(int32_t T) override {
    TObjectMetadataList rows =
        ReadObjects("select KENNUNG,KENNUNGO,SCHREIBEND,CHANGED\r\nfrom TA_LIST\r\nwhere TID = " +
                    std::to_string(T));
    for (TObjectMetadata& row : rows) row.TID = T;
    return rows;
  }

  void Merge(const std::vector<std::pair<std::string, std::string>>& dropped,
             const std::vector<ListMerge>& merges) override {
    platform::db::Connection& connection = Connection();
    for (const auto& [K, original] : dropped) {
      connection.Execute("delete from TA_LIST where KENNUNG = '" + Quoted(K) +
                         "' and KENNUNGO = '" + Quoted(original) + "'");
    }
    for (const ListMerge& merge : merges) {
      const TObjectMetadata& R = merge.row;
      const std::string K = Quoted(R.Kennung);
      const std::string values = "KARTULID = " + std::to_string(R.KartulID) +
                                 ",VGNR = " + std::to_string(R.Vorgangsnummer) +
                                 ",SCHREIBEND = " + std::to_string(R.Schreibend) + ",CHANGED = '" +
                                 Quoted(R.Changed) + "',KENNUNG = '" + K + "' where KENNUNGO = '" +
                                 K + "'";
      switch (merge.kind) {
        case ListMerge::Kind::kInsert:
          connection.Execute(
              "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values "
              "(" +
              std::to_string(R.TID) + "," + std::to_string(R.KartulID) + "," +
              std::to_string(R.Vorgangsnummer) + "," + std::to_string(R.Schreibend) + ",'" + K +
              "','" + K + "','" + Quoted(R.Changed) + "')");
          break;
        case ListMerge::Kind::kUpdate:
          connection.Execute("update TA_LIST set " + values);
          break;
        case ListMerge::Kind::kMove:
          connection.Execute("update TA_LIST set TID = " + std::to_string(R.TID) + "," + values);
          break;
        case ListMerge::Kind::kResetKennung:
          connection.Execute("update TA_LIST set KENNUNG = '" + K + "' where KENNUNGO = '" + K +
                             "'");
          break;
      }
    }
  }

  void Replace(const std::vector<TObjectMetadata>& out,
               const std::vector<TObjectMetadata>& in) override {
    platform::db::Connection& connection = Connection();
    for (const TObjectMetadata& row : out) {
      connection.Execute("delete from TA_LIST where KENNUNG = '" + Quoted(row.Kennung) +
                         "' and KENNUNGO = '" + Quoted(row.Originalkennung) + "'");
    }
    for (const TObjectMetadata& row : in) connection.Execute(InsertRowSql(row));
  }
};

// ---- Table objects with named indexes ------------------------------------------
using namespace keyed;

KeyedTable& List() {
  static const std::vector<KeyDef> kKeys = {{"idxKennung", "KENNUNG"},
                                            {"idxTID", "TID"},
                                            {"idxSchreib", "SCHREIBEND"},
                                            {"idxOKenn", "KENNUNGO"}};
  return Table("TA_LIST.DBF", kKeys);
}

bool ListExists() {
  return keyed::Exists(List);
}

// The row codec: a record into its row; a number the record leaves empty
// reads `empty`.
TObjectMetadata ReadRow(const KeyedTable& t, uint32_t rec, int32_t empty = 0) {
  TObjectMetadata row;
  row.TID = keyed::IntOr(t, rec, "TID", empty);
  row.KartulID = keyed::IntOr(t, rec, "KARTULID", empty);
  row.Vorgangsnummer = keyed::IntOr(t, rec, "VGNR", empty);
  row.Schreibend = keyed::IntOr(t, rec, "SCHREIBEND", empty);
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

// Each operation opens the table non-exclusively and closes it again, so the
// SQL connections of the same folder and other programs see each change at
// once; rows are found by key on "idxKennung" (the import's merge on
// "idxOKenn") and changed in place.
class KeyedListTable final : public ListTable {
 public:
  std::string Path() override { return PathOf(List); }
  bool Exists() override { return FileExists(Path()); }

  void Create(std::string_view /*table_name*/) override {
    CreateIfMissing(List(), {Int("TID"), Int("KARTULID"), Int("VGNR"), Int("SCHREIBEND"),
                             keyed::Text("KENNUNG", 50), keyed::Text("CHANGED", 15),
                             keyed::Text("KENNUNGO", 50)});
  }

  bool KennungInTransactionList(std::string_view K) override {
    if (!ListExists()) return false;
    KeyedTable& t = List();
    Operation op(t, false);
    const bool found = t.SeekFirst("idxKennung", Value(std::string(K))) >= 0;
    op.End();
    return found;
  }

  bool OriginalKennungInTransactionList(std::string_view K) override {
    if (!ListExists()) return false;
    KeyedTable& t = List();
    Operation op(t, false);
    const bool found = t.SeekFirst("idxOKenn", Value(std::string(K))) >= 0;
    op.End();
    return found;
  }

  int32_t GetObjectStatus(std::string_view K) override {
    return FirstOf(K, "SCHREIBEND", Value(-1)).AsInt32();
  }

  int32_t GetTIDOfObject(std::string_view K) override {
    return FirstOf(K, "TID", Value(-1)).AsInt32();
  }

  std::string GetChangedFlag(std::string_view K) override {
    return FirstOf(K, "CHANGED", Value()).AsString();
  }

  std::string GetOriginalKennung(std::string_view K) override {
    return FirstOf(K, "KENNUNGO", Value()).AsString();
  }

  bool GetObjectMetadata(std::string_view K, TObjectMetadata& record) override {
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

  TObjectMetadataList GetObjectsByStatus(int32_t S, int32_t T) override { return RowsOf(S, T, ""); }

  TObjectMetadataList GetChangedObjects(int32_t T) override {
    return RowsOf(kSchreibend, T, kUpdate);
  }

  int32_t CountObjectsByStatus(int32_t S, int32_t T) override {
    if (!ListExists()) return -1;
    return static_cast<int32_t>(RowsOf(S, T, "").size());
  }

  int32_t CountChangedObjects(int32_t T) override {
    if (!ListExists()) return -1;
    return static_cast<int32_t>(GetChangedObjects(T).size());
  }

  void SaveObjectMetadata(const TObjectMetadata& R) override {
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

  void DeleteTransactionListRow(std::string_view K) override {
    KeyedTable& t = List();
    Operation op(t, true);
    for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) t.Delete(rec);
    op.End();
  }

  void UpdateChangedFlag(std::string_view K, std::string_view M) override {
    KeyedTable& t = List();
    Operation op(t, true);
    for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) {
      t.Set(rec, "CHANGED", Value(std::string(M)));
    }
    op.End();
  }

  void UpdateKennungInTransactionList(std::string_view O, std::string_view N) override {
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

  bool AssignRowInPlace(std::string_view K, int32_t T) override {
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

  void RestoreRow(const TObjectMetadata& R) override {
    KeyedTable& t = List();
    Operation op(t, true);
    WriteRow(t, t.Append(), R);
    op.End();
  }

  void RewriteRow(std::string_view K, const TObjectMetadata& R) override {
    KeyedTable& t = List();
    Operation op(t, true);
    for (uint32_t rec : t.Seek("idxKennung", Value(std::string(K)))) WriteRow(t, rec, R);
    op.End();
  }

  std::unordered_map<std::string, bool> ListedKennungen() override {
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

  TObjectMetadataList AllRows() override {
    TObjectMetadataList list;
    if (!ListExists()) return list;
    KeyedTable& t = List();
    Operation op(t, false);
    for (uint32_t rec : t.Records()) list.push_back(ReadRow(t, rec, -1));
    op.End();
    return list;
  }

  TObjectMetadataList ExportRows(int32_t T) override {
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

  void Merge(const std::vector<std::pair<std::string, std::string>>& dropped,
             const std::vector<ListMerge>& merges) override {
    KeyedTable& t = List();
    Operation op(t, true);
    for (const auto& [K, original] : dropped) {
      for (uint32_t rec : t.Seek("idxKennung", Value(K))) {
        if (t.Get(rec, "KENNUNGO").AsString() == original) t.Delete(rec);
      }
    }
    for (const ListMerge& merge : merges) {
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

  void Replace(const std::vector<TObjectMetadata>& out,
               const std::vector<TObjectMetadata>& in) override {
    KeyedTable& t = List();
    Operation op(t, true);
    for (const TObjectMetadata& row : out) {
      for (uint32_t rec : t.Seek("idxKennung", Value(row.Kennung))) {
        if (t.Get(rec, "KENNUNGO").AsString() == row.Originalkennung) t.Delete(rec);
      }
    }
    for (const TObjectMetadata& row : in) WriteRow(t, t.Append(), row);
    op.End();
  }
};

}  // namespace
}  // namespace transaction_store

ListTable& ListTable::Of(transaction_store::Make make) {
  // The makes keep no state of their own (the connections and open tables
  // are the plug-in context's), so one of each serves every project.
  static transaction_store::SqlListTable sql;
  static transaction_store::KeyedListTable keyed;
  return make == transaction_store::Make::kKeyed ? static_cast<ListTable&>(keyed) : sql;
}
