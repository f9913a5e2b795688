// The full build's transaction store: SQL on the transaction connection.
// Statement texts are the system's own and must stay exactly as they are
// (spacing included): other tools and the check-in side read the same
// tables, and support engineers compare them with what the driver logs. Text
// values go into statements with their single quotes doubled, so an
// identifier or name with a quote is stored and found like any other.
#include <array>
#include <initializer_list>

#include "context/PluginContext.h"
#include "host/Tools.h"
#include "platform/db/Connection.h"
#include "platform/env/Env.h"
#include "platform/text/Strings.h"
#include "transaction/tables/TransactionStores.h"

using platform::db::Query;
using platform::db::SqlText;
using namespace transaction_rows;

namespace transaction_store {
namespace {

// A statement of several lines is sent as one text, a line break between the
// lines, as the query objects of the system join them.
std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}

std::string Quoted(std::string_view value) {
  return SqlText(value);
}

std::string TidLine(int32_t T) {
  return "and TID = " + std::to_string(T);
}

platform::db::Connection& Connection() {
  return context::Current().Store().TransactionConnection();
}

// The first column of the first row as a number; fallback when none comes.
int32_t FirstInt(std::string_view sql, int32_t fallback) {
  Query query(Connection(), sql);
  return query.Eof() ? fallback : query.AsInt32(0);
}

std::string FirstText(std::string_view sql) {
  Query query(Connection(), sql);
  return query.Eof() ? std::string() : query.AsString(0);
}

bool HasRow(std::string_view sql) {
  Query query(Connection(), sql);
  return !query.Eof();
}

int32_t IntOr(const Query& query, int pos, int32_t fallback) {
  return query.IsNull(pos) ? fallback : query.AsInt32(pos);
}

// TA_LIST's row codec: the current row of a select on TA_LIST into its
// record. Each select names the columns it reads, in the system's order
// for that statement; they are found by name once per query, and the
// record's other fields are left as they are. A number the row leaves
// empty reads `empty`.
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

// A command on the transaction connection; a failure throws and nothing
// after it runs.
void Command(const std::string& sql) {
  Connection().Execute(sql);
}

std::string InsertRowSql(const TObjectMetadata& R) {
  return "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values (" +
         std::to_string(R.TID) + "," + std::to_string(R.KartulID) + "," +
         std::to_string(R.Vorgangsnummer) + "," + std::to_string(R.Schreibend) + ",'" +
         Quoted(R.Kennung) + "','" + Quoted(R.Changed) + "','" + Quoted(R.Originalkennung) + "')";
}

std::string AddToPoolSql(int32_t T, std::string_view K) {
  return "insert into TA_KL (TID,KENNUNG) values (" + std::to_string(T) + ",'" + Quoted(K) + "')";
}

// The file of a table in the project folder, named once per project: nearly
// every operation asks whether its table is there first. Without a project
// folder there are no tables, not even in the program's working folder.
const context::ProjectFile& TableFile(std::string_view table) {
  return context::Current().Store().Paths().DbaseTable(table);
}

}  // namespace

std::string SqlTransactionStore::TablePath(std::string_view table) {
  return TableFile(table).path;
}

bool SqlTransactionStore::TableExists(std::string_view table) {
  const context::ProjectFile& file = TableFile(table);
  return !file.path.empty() &&
         platform::env::FileExistsNoCase(platform::env::Env::Current(), file.folder, file.name);
}

namespace {
void CreateIfMissing(TransactionStore& store, std::string_view table,
                     const std::string& statement) {
  if (store.TableExists(table)) return;
  Command(statement);
}
}  // namespace

void SqlTransactionStore::CreateKennungList() {
  CreateIfMissing(*this, "TA_KL", "create Table TA_KL (TID integer, KENNUNG char(50))");
}

void SqlTransactionStore::CreateTransactionList(std::string_view table_name) {
  CreateIfMissing(*this, table_name,
                  "create Table " + std::string(table_name) +
                      " (TID integer, KARTULID integer,VGNR integer,SCHREIBEND integer,"
                      "KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))");
}

void SqlTransactionStore::CreateTransactionIDTable() {
  CreateIfMissing(*this, "TA_ID", "create Table TA_ID (TID integer, NAME char(75),OWNER char(75))");
}

bool SqlTransactionStore::KennungInTransactionList(std::string_view K) {
  if (!TableExists("TA_LIST")) return false;
  return FirstInt(Lines({"select count(*) from TA_LIST", "where KENNUNG = '" + Quoted(K) + "'"}),
                  0) > 0;
}

bool SqlTransactionStore::OriginalKennungInTransactionList(std::string_view K) {
  if (!TableExists("TA_LIST")) return false;
  return HasRow(Lines({"select KARTULID from TA_LIST", "where KENNUNGO = '" + Quoted(K) + "'"}));
}

int32_t SqlTransactionStore::GetObjectStatus(std::string_view K) {
  if (!TableExists("TA_LIST")) return -1;
  return FirstInt(Lines({"select SCHREIBEND from TA_LIST", "where KENNUNG= '" + Quoted(K) + "'"}),
                  -1);
}

int32_t SqlTransactionStore::GetTIDOfObject(std::string_view K) {
  if (!TableExists("TA_LIST")) return -1;
  return FirstInt(Lines({"select TID from TA_LIST", "where KENNUNG= '" + Quoted(K) + "'"}), -1);
}

std::string SqlTransactionStore::GetChangedFlag(std::string_view K) {
  if (!TableExists("TA_LIST")) return {};
  return FirstText(Lines({"select CHANGED from TA_LIST", "where KENNUNG = '" + Quoted(K) + "'"}));
}

std::string SqlTransactionStore::GetOriginalKennung(std::string_view K) {
  if (!TableExists("TA_LIST")) return {};
  return FirstText(Lines({"select KENNUNGO from TA_LIST", "where KENNUNG = '" + Quoted(K) + "'"}));
}

bool SqlTransactionStore::GetObjectMetadata(std::string_view K, TObjectMetadata& record) {
  if (!TableExists("TA_LIST")) return false;
  Query query(Connection(),
              Lines({"select TID,KARTULID,VGNR,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST",
                     "where KENNUNG = '" + Quoted(K) + "'"}));
  if (query.Eof()) return false;
  ListRowReader(query, 0).Into(record);
  record.Kennung = std::string(K);
  return true;
}

TObjectMetadataList SqlTransactionStore::GetObjectsByStatus(int32_t S, int32_t T) {
  if (!TableExists("TA_LIST")) return {};
  std::string where = "where SCHREIBEND = " + std::to_string(S);
  return ReadObjects(T >= 0 ? Lines({std::string(kSelectObjects), where, TidLine(T)})
                            : Lines({std::string(kSelectObjects), where}));
}

TObjectMetadataList SqlTransactionStore::GetChangedObjects(int32_t T) {
  if (!TableExists("TA_LIST")) return {};
  const std::string select(kSelectObjects);
  return ReadObjects(
      T >= 0 ? Lines({select, "where SCHREIBEND = 1", "and CHANGED = 'UPDATE'", TidLine(T)})
             : Lines({select, "where SCHREIBEND = 1", "and CHANGED = 'UPDATE'"}));
}

int32_t SqlTransactionStore::CountObjectsByStatus(int32_t S, int32_t T) {
  if (!TableExists("TA_LIST")) return -1;
  std::string where = "where SCHREIBEND = " + std::to_string(S);
  return FirstInt(T >= 0 ? Lines({"select count(*) from TA_LIST", where, TidLine(T)})
                         : Lines({"select count(*) from TA_LIST", where}),
                  -1);
}

int32_t SqlTransactionStore::CountChangedObjects(int32_t T) {
  if (!TableExists("TA_LIST")) return -1;
  return FirstInt(T >= 0 ? Lines({"select count(*) from TA_LIST", "where SCHREIBEND = 1",
                                  "and CHANGED = 'UPDATE'", TidLine(T)})
                         : Lines({"select count(*) from TA_LIST", "where SCHREIBEND = 1",
                                  "and CHANGED = 'UPDATE'"}),
                  -1);
}

void SqlTransactionStore::SaveObjectMetadata(const TObjectMetadata& R) {
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

void SqlTransactionStore::DeleteTransactionListRow(std::string_view K) {
  Command("delete from TA_LIST where KENNUNG = '" + Quoted(K) + "'");
}

void SqlTransactionStore::UpdateChangedFlag(std::string_view K, std::string_view M) {
  Command("update TA_LIST set CHANGED = '" + Quoted(M) + "' where KENNUNG = '" + Quoted(K) + "'");
}

void SqlTransactionStore::UpdateKennungInTransactionList(std::string_view O, std::string_view N) {
  if (!KennungInTransactionList(O)) return;
  const int32_t S = GetObjectStatus(O);
  std::string sql = "update TA_LIST set KENNUNG = '" + Quoted(N) + "'";
  if (S == kSchreibend) sql += ", CHANGED = 'UPDATE'";
  sql += " where KENNUNG = '" + Quoted(O) + "'";
  Command(sql);
}

bool SqlTransactionStore::AssignRowInPlace(std::string_view K, int32_t T) {
  // The full build rewrites an assigned row instead; kept for a complete
  // store, with the same effect as the table objects'.
  if (!KennungInTransactionList(K)) return false;
  Command("update TA_LIST set TID = " + std::to_string(T) + ",SCHREIBEND = " +
          std::to_string(kNeu) + ",CHANGED = 'NEW' where KENNUNG = '" + Quoted(K) + "'");
  return true;
}

void SqlTransactionStore::RestoreRow(const TObjectMetadata& R) {
  Command(InsertRowSql(R));
}

void SqlTransactionStore::RewriteRow(std::string_view K, const TObjectMetadata& R) {
  Command("update TA_LIST set TID = " + std::to_string(R.TID) + ",KARTULID = " +
          std::to_string(R.KartulID) + ",VGNR = " + std::to_string(R.Vorgangsnummer) +
          ",SCHREIBEND = " + std::to_string(R.Schreibend) + ",KENNUNG = '" + Quoted(R.Kennung) +
          "',CHANGED = '" + Quoted(R.Changed) + "',KENNUNGO = '" + Quoted(R.Originalkennung) +
          "' where KENNUNG = '" + Quoted(K) + "'");
}

std::unordered_map<std::string, bool> SqlTransactionStore::ListedKennungen() {
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

TObjectMetadataList SqlTransactionStore::AllRows() {
  if (!TableExists("TA_LIST")) return {};
  return ReadObjects(kSelectObjects, -1);
}

TObjectMetadataList SqlTransactionStore::ExportRows(int32_t T) {
  TObjectMetadataList rows =
      ReadObjects("select KENNUNG,KENNUNGO,SCHREIBEND,CHANGED\r\nfrom TA_LIST\r\nwhere TID = " +
                  std::to_string(T));
  for (TObjectMetadata& row : rows) row.TID = T;
  return rows;
}

TStringList SqlTransactionStore::GetFreeKennungen(int32_t T) {
  TStringList list;
  if (!TableExists("TA_KL")) return list;
  Query query(Connection(),
              Lines({"select KENNUNG from TA_KL", "where TID = " + std::to_string(T)}));
  for (; !query.Eof(); query.Next()) list.push_back(query.AsString(0));
  return list;
}

bool SqlTransactionStore::KennungInPool(std::string_view K, int32_t T) {
  if (!TableExists("TA_KL")) return false;
  return HasRow(Lines({"select * from TA_KL", "where TID = " + std::to_string(T),
                       "and KENNUNG = '" + Quoted(K) + "'"}));
}

bool SqlTransactionStore::KennungListIsEmpty() {
  if (!TableExists("TA_KL")) return true;
  return FirstInt("select count(*) from TA_KL", 0) == 0;
}

bool SqlTransactionStore::SetFreeKennung(int32_t T, std::string_view K) {
  if (T <= 0) return false;
  // A pool holds each identifier once per transaction; giving an identifier
  // back twice must not make it offered twice.
  if (KennungInPool(K, T)) return false;
  Command(AddToPoolSql(T, K));
  return true;
}

void SqlTransactionStore::DeleteFreeKennung(std::string_view K) {
  Command("delete from TA_KL where KENNUNG = '" + Quoted(K) + "'");
}

std::vector<int32_t> SqlTransactionStore::PoolsHolding(std::string_view K) {
  std::vector<int32_t> tids;
  if (!TableExists("TA_KL")) return tids;
  Query query(Connection(), "select TID from TA_KL where KENNUNG = '" + Quoted(K) + "'");
  for (; !query.Eof(); query.Next()) tids.push_back(query.AsInt32(0));
  return tids;
}

void SqlTransactionStore::AddToPool(int32_t T, std::string_view K) {
  Command(AddToPoolSql(T, K));
}

void SqlTransactionStore::RemoveFromPool(int32_t T, std::string_view K) {
  Command("delete from TA_KL where TID = " + std::to_string(T) + " and KENNUNG = '" + Quoted(K) +
          "'");
}

std::vector<PoolRow> SqlTransactionStore::AllPoolRows() {
  std::vector<PoolRow> rows;
  if (!TableExists("TA_KL")) return rows;
  Query query(Connection(), "select TID,KENNUNG from TA_KL");
  for (; !query.Eof(); query.Next()) rows.push_back({IntOr(query, 0, -1), query.AsString(1)});
  return rows;
}

TTransactionMetadataList SqlTransactionStore::GetTransactions() {
  TTransactionMetadataList list;
  if (!TableExists("TA_ID")) return list;
  Query query(Connection(), "select TID,NAME,OWNER from TA_ID");
  for (; !query.Eof(); query.Next()) {
    list.push_back({query.AsInt32(0), query.AsString(1), query.AsString(2)});
  }
  return list;
}

TTransactionMetadataList SqlTransactionStore::TransactionNames() {
  TTransactionMetadataList list;
  if (!TableExists("TA_ID")) return list;
  Query query(Connection(), "select TID,NAME from TA_ID");
  for (; !query.Eof(); query.Next()) list.push_back({query.AsInt32(0), query.AsString(1), {}});
  return list;
}

int32_t SqlTransactionStore::CountTransactions() {
  if (!TableExists("TA_ID")) return -1;
  return FirstInt("select count (*) from TA_ID", -1);
}

bool SqlTransactionStore::HasTransaction(int32_t T) {
  if (!TableExists("TA_ID")) return false;
  return HasRow("select TID from TA_ID \r\nwhere TID = " + std::to_string(T));
}

void SqlTransactionStore::ApplyImport(const ImportChanges& changes) {
  platform::db::Connection& connection = Connection();
  platform::db::InOneWrite(connection, [&] {
    for (const auto& [K, original] : changes.dropped) {
      connection.Execute("delete from TA_LIST where KENNUNG = '" + Quoted(K) +
                         "' and KENNUNGO = '" + Quoted(original) + "'");
    }
    for (const ListMerge& merge : changes.list) {
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
    for (const std::string& K : changes.leave_pools) {
      connection.Execute("delete from TA_KL where KENNUNG = '" + Quoted(K) + "'");
    }
    for (const PoolRow& row : changes.enter_pools) {
      connection.Execute(AddToPoolSql(row.TID, row.Kennung));
    }
    if (changes.transaction) {
      const TTransactionMetadata& t = *changes.transaction;
      connection.Execute("insert into TA_ID (TID,NAME,OWNER) values (" + std::to_string(t.ID) +
                         ",'" + Quoted(t.Name) + "','" + Quoted(t.Owner) + "')");
    }
  });
}

void SqlTransactionStore::AddFreeKennungen(const std::vector<PoolRow>& rows) {
  if (rows.empty()) return;
  platform::db::Connection& connection = Connection();
  platform::db::InOneWrite(connection, [&] {
    for (const PoolRow& row : rows) {
      connection.Execute("insert into TA_KL(TID,KENNUNG) values (" + std::to_string(row.TID) +
                         ",'" + Quoted(row.Kennung) + "')");
    }
  });
}

void SqlTransactionStore::RemoveTransaction(int32_t T) {
  if (!TableExists("TA_ID")) return;
  Command("delete from TA_ID where TID = " + std::to_string(T));
}

void SqlTransactionStore::ReplaceRows(const Replacement& r) {
  platform::db::Connection& connection = Connection();
  platform::db::InOneWrite(connection, [&] {
    for (const TObjectMetadata& row : r.list_out) {
      connection.Execute("delete from TA_LIST where KENNUNG = '" + Quoted(row.Kennung) +
                         "' and KENNUNGO = '" + Quoted(row.Originalkennung) + "'");
    }
    for (const TObjectMetadata& row : r.list_in) connection.Execute(InsertRowSql(row));
    for (const std::string& K : r.pool_out) {
      connection.Execute("delete from TA_KL where KENNUNG = '" + Quoted(K) + "'");
    }
    for (const PoolRow& row : r.pool_in) connection.Execute(AddToPoolSql(row.TID, row.Kennung));
  });
}

void SqlTransactionStore::ForgetFiles() {
  context::Current().Store().CloseProject();
}

}  // namespace transaction_store
