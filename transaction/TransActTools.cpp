// The transaction tables and their statements. Statement texts are the
// system's own and must stay exactly as they are (spacing included): other
// tools and the check-in side read the same tables, and support engineers
// compare them with what the driver logs. Text values go into statements with
// their single quotes doubled, so an identifier or name with a quote is stored
// and found like any other.
#include "transaction/TransActTools.h"

#include <initializer_list>

#include "context/PluginContext.h"
#include "dialogs/DialogTools.h"
#include "host/Tools.h"
#include "platform/ui/Ui.h"
#include "transaction/KennungsTools.h"
#include "transaction/TransActTables.h"

using platform::db::Connection;
using platform::db::DbError;
using platform::db::Query;
using platform::db::SqlText;

namespace TransActTools {
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

// The first column of the first row as a number; fallback when none comes.
int32_t FirstInt(std::string_view sql, int32_t fallback) {
  Query query(OpenTransactionConnection(), sql);
  return query.Eof() ? fallback : query.AsInt32(0);
}

std::string FirstText(std::string_view sql) {
  Query query(OpenTransactionConnection(), sql);
  return query.Eof() ? std::string() : query.AsString(0);
}

bool HasRow(std::string_view sql) {
  Query query(OpenTransactionConnection(), sql);
  return !query.Eof();
}

// Rows of the seven-column select, in delivery order.
TObjectMetadataList ReadObjects(std::string_view sql) {
  TObjectMetadataList list;
  Query query(OpenTransactionConnection(), sql);
  for (; !query.Eof(); query.Next()) {
    TObjectMetadata& row = list.emplace_back();
    row.TID = query.AsInt32(0);
    row.KartulID = query.AsInt32(1);
    row.Vorgangsnummer = query.AsInt32(2);
    row.Schreibend = query.AsInt32(3);
    row.Kennung = query.AsString(4);
    row.Changed = query.AsString(5);
    row.Originalkennung = query.AsString(6);
  }
  return list;
}

constexpr std::string_view kSelectObjects =
    "select TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO from TA_LIST";

// A command on the transaction connection; a failure throws and nothing
// after it runs.
void Command(const std::string& sql) {
  OpenTransactionConnection().Execute(sql);
}

void CreateIfMissing(std::string_view table, const std::string& statement) {
  if (Tools::FileExists(TransactionTablePath(table))) return;
  platform::ui::HourglassGuard hourglass;
  Command(statement);
}

// The earlier builds reach the tables as table objects.
bool Keyed() {
  return CurrentProfile().keyed_transaction_tables;
}

}  // namespace

std::string TransactionTablePath(std::string_view table) {
  // Without a project folder there are no tables, not even in the program's
  // working folder.
  const std::string dir = Tools::MyGetProjectDir();
  if (dir.empty()) return {};
  if (Keyed()) return TransActTables::TablePath(table);
  return dir + std::string(table) + ".dbf";
}

bool TransactionListExists() {
  if (Keyed()) return TransActTables::TransactionListExists();
  return Tools::FileExists(TransactionTablePath("TA_LIST"));
}
bool TransactionIDTableExists() {
  if (Keyed()) return TransActTables::TransactionIDTableExists();
  return Tools::FileExists(TransactionTablePath("TA_ID"));
}
bool KennungListExists() {
  if (Keyed()) return TransActTables::KennungListExists();
  return Tools::FileExists(TransactionTablePath("TA_KL"));
}

Connection& OpenTransactionConnection() {
  return context::Current().Store().TransactionConnection();
}

Connection& OpenVerfahrenConnection() {
  return context::Current().Store().VerfahrenConnection();
}

Connection& OpenImportConnection(std::string_view directory) {
  return context::Current().Store().ImportConnection(directory);
}

Connection& OpenExportConnection(std::string_view directory) {
  return context::Current().Store().ExportConnection(directory);
}

void CloseExportConnection() {
  context::Current().Store().CloseExportConnection();
}

void CreateKennungList() {
  if (Keyed()) return TransActTables::CreateKennungList();
  CreateIfMissing("TA_KL", "create Table TA_KL (TID integer, KENNUNG char(50))");
}

void CreateTransactionList(std::string_view table_name) {
  if (Keyed()) return TransActTables::CreateTransactionList(table_name);
  CreateIfMissing(table_name, "create Table " + std::string(table_name) +
                                  " (TID integer, KARTULID integer,VGNR integer,SCHREIBEND integer,"
                                  "KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))");
}

void CreateTransactionIDTable() {
  if (Keyed()) return TransActTables::CreateTransactionIDTable();
  CreateIfMissing("TA_ID", "create Table TA_ID (TID integer, NAME char(75),OWNER char(75))");
}

bool KennungInTransactionList(std::string_view K) {
  if (Keyed()) return TransActTables::KennungInTransactionList(K);
  if (!TransactionListExists()) return false;
  return FirstInt(Lines({"select count(*) from TA_LIST", "where KENNUNG = '" + Quoted(K) + "'"}),
                  0) > 0;
}

bool OriginalKennungInTransactionList(std::string_view K) {
  if (Keyed()) return TransActTables::OriginalKennungInTransactionList(K);
  if (!TransactionListExists()) return false;
  return HasRow(Lines({"select KARTULID from TA_LIST", "where KENNUNGO = '" + Quoted(K) + "'"}));
}

int32_t GetObjectStatus(std::string_view K) {
  if (Keyed()) return TransActTables::GetObjectStatus(K);
  if (!TransactionListExists()) return -1;
  return FirstInt(Lines({"select SCHREIBEND from TA_LIST", "where KENNUNG= '" + Quoted(K) + "'"}),
                  -1);
}

int32_t GetTIDOfObject(std::string_view K) {
  if (Keyed()) return TransActTables::GetTIDOfObject(K);
  if (!TransactionListExists()) return -1;
  return FirstInt(Lines({"select TID from TA_LIST", "where KENNUNG= '" + Quoted(K) + "'"}), -1);
}

std::string GetChangedFlag(std::string_view K) {
  if (Keyed()) return TransActTables::GetChangedFlag(K);
  if (!TransactionListExists()) return {};
  return FirstText(Lines({"select CHANGED from TA_LIST", "where KENNUNG = '" + Quoted(K) + "'"}));
}

std::string GetOriginalKennung(std::string_view K) {
  if (Keyed()) return TransActTables::GetOriginalKennung(K);
  if (!TransactionListExists()) return {};
  return FirstText(Lines({"select KENNUNGO from TA_LIST", "where KENNUNG = '" + Quoted(K) + "'"}));
}

bool GetObjectMetadata(std::string_view K, TObjectMetadata& record) {
  if (Keyed()) return TransActTables::GetObjectMetadata(K, record);
  if (!TransactionListExists()) return false;
  Query query(OpenTransactionConnection(),
              Lines({"select TID,KARTULID,VGNR,SCHREIBEND,CHANGED,KENNUNGO from TA_LIST",
                     "where KENNUNG = '" + Quoted(K) + "'"}));
  if (query.Eof()) return false;
  record.TID = query.AsInt32(0);
  record.KartulID = query.AsInt32(1);
  record.Vorgangsnummer = query.AsInt32(2);
  record.Schreibend = query.AsInt32(3);
  record.Changed = query.AsString(4);
  record.Originalkennung = query.AsString(5);
  record.Kennung = std::string(K);
  return true;
}

TObjectMetadataList GetObjectsByStatus(int32_t S, int32_t T) {
  if (Keyed()) return TransActTables::GetObjectsByStatus(S, T);
  if (!TransactionListExists()) return {};
  std::string where = "where SCHREIBEND = " + std::to_string(S);
  return ReadObjects(T >= 0 ? Lines({std::string(kSelectObjects), where, TidLine(T)})
                            : Lines({std::string(kSelectObjects), where}));
}

TObjectMetadataList GetChangedObjects(int32_t T) {
  if (Keyed()) return TransActTables::GetChangedObjects(T);
  if (!TransactionListExists()) return {};
  const std::string select(kSelectObjects);
  return ReadObjects(
      T >= 0 ? Lines({select, "where SCHREIBEND = 1", "and CHANGED = 'UPDATE'", TidLine(T)})
             : Lines({select, "where SCHREIBEND = 1", "and CHANGED = 'UPDATE'"}));
}

int32_t CountObjectsByStatus(int32_t S, int32_t T) {
  if (Keyed()) return TransActTables::CountObjectsByStatus(S, T);
  if (!TransactionListExists()) return -1;
  std::string where = "where SCHREIBEND = " + std::to_string(S);
  return FirstInt(T >= 0 ? Lines({"select count(*) from TA_LIST", where, TidLine(T)})
                         : Lines({"select count(*) from TA_LIST", where}),
                  -1);
}

int32_t CountChangedObjects(int32_t T) {
  if (Keyed()) return TransActTables::CountChangedObjects(T);
  if (!TransactionListExists()) return -1;
  return FirstInt(T >= 0 ? Lines({"select count(*) from TA_LIST", "where SCHREIBEND = 1",
                                  "and CHANGED = 'UPDATE'", TidLine(T)})
                         : Lines({"select count(*) from TA_LIST", "where SCHREIBEND = 1",
                                  "and CHANGED = 'UPDATE'"}),
                  -1);
}

void SaveObjectMetadata(const TObjectMetadata& R) {
  if (Keyed()) return TransActTables::SaveObjectMetadata(R);
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
    Command("insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values (" +
            std::to_string(R.TID) + "," + std::to_string(R.KartulID) + "," +
            std::to_string(R.Vorgangsnummer) + "," + std::to_string(R.Schreibend) + ",'" +
            Quoted(R.Kennung) + "','" + Quoted(R.Changed) + "','" + Quoted(R.Kennung) + "')");
  }
}

void DeleteTransactionListRow(std::string_view K) {
  if (Keyed()) return TransActTables::DeleteTransactionListRow(K);
  Command("delete from TA_LIST where KENNUNG = '" + Quoted(K) + "'");
}

void UpdateChangedFlag(std::string_view K, std::string_view M) {
  if (Keyed()) return TransActTables::UpdateChangedFlag(K, M);
  Command("update TA_LIST set CHANGED = '" + Quoted(M) + "' where KENNUNG = '" + Quoted(K) + "'");
}

void UpdateKennungInTransactionList(std::string_view O, std::string_view N) {
  if (Keyed()) return TransActTables::UpdateKennungInTransactionList(O, N);
  if (!KennungInTransactionList(O)) return;
  const int32_t S = GetObjectStatus(O);
  std::string sql = "update TA_LIST set KENNUNG = '" + Quoted(N) + "'";
  if (S == kSchreibend) sql += ", CHANGED = 'UPDATE'";
  sql += " where KENNUNG = '" + Quoted(O) + "'";
  Command(sql);
}

TStringList GetFreeKennungen(int32_t T) {
  if (Keyed()) return TransActTables::GetFreeKennungen(T);
  TStringList list;
  if (!KennungListExists()) return list;
  Query query(OpenTransactionConnection(),
              Lines({"select KENNUNG from TA_KL", "where TID = " + std::to_string(T)}));
  for (; !query.Eof(); query.Next()) list.push_back(query.AsString(0));
  return list;
}

TStringList GetFittingFreeKennungen(std::string_view C, int32_t T, std::string_view B) {
  // The class's rule is settled once for the whole pool rather than once per
  // identifier: a pool holds thousands of identifiers.
  const KennungsTools::OKLRule rule = KennungsTools::RuleForOKL(C, B);
  TStringList list;
  if (Keyed()) {
    for (std::string& K : TransActTables::GetFreeKennungen(T)) {
      if (rule.Fits(K)) list.push_back(std::move(K));
    }
    return list;
  }
  if (!KennungListExists()) return list;
  Query query(OpenTransactionConnection(),
              Lines({"select KENNUNG from TA_KL", "where TID = " + std::to_string(T)}));
  for (; !query.Eof(); query.Next()) {
    std::string K = query.AsString(0);
    if (rule.Fits(K)) list.push_back(std::move(K));
  }
  return list;
}

namespace {
bool InPool(std::string_view K, int32_t T) {
  if (!KennungListExists()) return false;
  return HasRow(Lines({"select * from TA_KL", "where TID = " + std::to_string(T),
                       "and KENNUNG = '" + Quoted(K) + "'"}));
}
}  // namespace

bool KennungIsValid(std::string_view K, int32_t T) {
  // The earlier builds know no "BRB" rule set.
  if (Keyed()) return TransActTables::KennungInPool(K, T);
  if (KennungsTools::StateCode() == "BRB") return true;
  return InPool(K, T);
}

bool KennungListIsEmpty() {
  if (Keyed()) return TransActTables::KennungListIsEmpty();
  if (!KennungListExists()) return true;
  return FirstInt("select count(*) from TA_KL", 0) == 0;
}

bool SetFreeKennung(int32_t T, std::string_view K) {
  if (Keyed()) return TransActTables::SetFreeKennung(T, K);
  if (T <= 0) return false;
  // A pool holds each identifier once per transaction; giving an identifier
  // back twice must not make it offered twice.
  if (InPool(K, T)) return false;
  Command("insert into TA_KL (TID,KENNUNG) values (" + std::to_string(T) + ",'" + Quoted(K) + "')");
  return true;
}

void DeleteFreeKennung(std::string_view K) {
  if (Keyed()) return TransActTables::DeleteFreeKennung(K);
  Command("delete from TA_KL where KENNUNG = '" + Quoted(K) + "'");
}

std::vector<int32_t> PoolsHolding(std::string_view K) {
  if (Keyed()) return TransActTables::PoolsHolding(K);
  std::vector<int32_t> tids;
  if (!KennungListExists()) return tids;
  Query query(OpenTransactionConnection(),
              "select TID from TA_KL where KENNUNG = '" + Quoted(K) + "'");
  for (; !query.Eof(); query.Next()) tids.push_back(query.AsInt32(0));
  return tids;
}

void AddToPool(int32_t T, std::string_view K) {
  if (Keyed()) return TransActTables::AddToPool(T, K);
  Command("insert into TA_KL (TID,KENNUNG) values (" + std::to_string(T) + ",'" + Quoted(K) + "')");
}

void RemoveFromPool(int32_t T, std::string_view K) {
  if (Keyed()) return TransActTables::RemoveFromPool(T, K);
  Command("delete from TA_KL where TID = " + std::to_string(T) + " and KENNUNG = '" + Quoted(K) +
          "'");
}

void RestoreRow(const TObjectMetadata& R) {
  if (Keyed()) return TransActTables::RestoreRow(R);
  Command("insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,CHANGED,KENNUNGO)values (" +
          std::to_string(R.TID) + "," + std::to_string(R.KartulID) + "," +
          std::to_string(R.Vorgangsnummer) + "," + std::to_string(R.Schreibend) + ",'" +
          Quoted(R.Kennung) + "','" + Quoted(R.Changed) + "','" + Quoted(R.Originalkennung) + "')");
}

void RewriteRow(std::string_view K, const TObjectMetadata& R) {
  if (Keyed()) return TransActTables::RewriteRow(K, R);
  Command("update TA_LIST set TID = " + std::to_string(R.TID) + ",KARTULID = " +
          std::to_string(R.KartulID) + ",VGNR = " + std::to_string(R.Vorgangsnummer) +
          ",SCHREIBEND = " + std::to_string(R.Schreibend) + ",KENNUNG = '" + Quoted(R.Kennung) +
          "',CHANGED = '" + Quoted(R.Changed) + "',KENNUNGO = '" + Quoted(R.Originalkennung) +
          "' where KENNUNG = '" + Quoted(K) + "'");
}

std::unordered_map<std::string, bool> ListedKennungen() {
  if (Keyed()) return TransActTables::ListedKennungen();
  std::unordered_map<std::string, bool> listed;
  if (!TransactionListExists()) return listed;
  Query query(OpenTransactionConnection(), "select KENNUNG,CHANGED from TA_LIST");
  for (; !query.Eof(); query.Next()) {
    const bool deleted = query.AsString(1) == kDelete;
    auto [it, added] = listed.try_emplace(query.AsString(0), deleted);
    if (!added) it->second = it->second && deleted;
  }
  return listed;
}

TTransactionMetadataList GetTransactions() {
  if (Keyed()) return TransActTables::GetTransactions();
  TTransactionMetadataList list;
  if (!TransactionIDTableExists()) return list;
  Query query(OpenTransactionConnection(), "select TID,NAME,OWNER from TA_ID");
  for (; !query.Eof(); query.Next()) {
    list.push_back({query.AsInt32(0), query.AsString(1), query.AsString(2)});
  }
  return list;
}

TNumberedStringList GetTransactionNames() {
  if (Keyed()) return TransActTables::GetTransactionNames();
  TNumberedStringList list;
  if (!TransactionIDTableExists()) return list;
  Query query(OpenTransactionConnection(), "select TID,NAME from TA_ID");
  for (; !query.Eof(); query.Next()) {
    const int32_t tid = query.AsInt32(0);
    list.push_back({DialogTools::TransactionEntry(tid, query.AsString(1)), tid});
  }
  return list;
}

int32_t CountTransactions() {
  if (Keyed()) return TransActTables::CountTransactions();
  if (!TransactionIDTableExists()) return -1;
  return FirstInt("select count (*) from TA_ID", -1);
}

}  // namespace TransActTools
