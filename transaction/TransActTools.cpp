// The transaction tables' procedures as the rules call them, each handed to
// the running build's transaction store (TransactionStore.h), which holds
// the statements and table objects; the connections are the plug-in
// context's.
#include "transaction/TransActTools.h"

#include "context/PluginContext.h"
#include "dialogs/DialogTools.h"
#include "platform/ui/Ui.h"
#include "transaction/KennungsTools.h"
#include "transaction/tables/TransactionStore.h"

namespace TransActTools {
namespace {

TransactionStore& Store() {
  return transaction_store::Current();
}

}  // namespace

std::string TransactionTablePath(std::string_view table) {
  return Store().TablePath(table);
}

bool TransactionListExists() {
  return Store().TableExists("TA_LIST");
}
bool TransactionIDTableExists() {
  return Store().TableExists("TA_ID");
}
bool KennungListExists() {
  return Store().TableExists("TA_KL");
}

platform::db::Connection& OpenTransactionConnection() {
  return context::Current().Store().TransactionConnection();
}

platform::db::Connection& OpenVerfahrenConnection() {
  return context::Current().Store().VerfahrenConnection();
}

platform::db::Connection& OpenImportConnection(std::string_view directory) {
  return context::Current().Store().ImportConnection(directory);
}

platform::db::Connection& OpenExportConnection(std::string_view directory) {
  return context::Current().Store().ExportConnection(directory);
}

void CloseExportConnection() {
  context::Current().Store().CloseExportConnection();
}

void CloseImportConnection() {
  context::Current().Store().CloseImportConnection();
}

// Each table is made only when its file is missing, with the hourglass
// showing while it is; the store below shows nothing.
void CreateKennungList() {
  if (KennungListExists()) return;
  platform::ui::HourglassGuard hourglass;
  Store().Pool().Create();
}

void CreateTransactionList(std::string_view table_name) {
  if (Store().TableExists(table_name)) return;
  platform::ui::HourglassGuard hourglass;
  Store().List().Create(table_name);
}

void CreateTransactionIDTable() {
  if (TransactionIDTableExists()) return;
  platform::ui::HourglassGuard hourglass;
  Store().Ids().Create();
}

bool KennungInTransactionList(std::string_view K) {
  return Store().List().KennungInTransactionList(K);
}

bool OriginalKennungInTransactionList(std::string_view K) {
  return Store().List().OriginalKennungInTransactionList(K);
}

int32_t GetObjectStatus(std::string_view K) {
  return Store().List().GetObjectStatus(K);
}

int32_t GetTIDOfObject(std::string_view K) {
  return Store().List().GetTIDOfObject(K);
}

std::string GetChangedFlag(std::string_view K) {
  return Store().List().GetChangedFlag(K);
}

std::string GetOriginalKennung(std::string_view K) {
  return Store().List().GetOriginalKennung(K);
}

bool GetObjectMetadata(std::string_view K, TObjectMetadata& record) {
  return Store().List().GetObjectMetadata(K, record);
}

TObjectMetadataList GetObjectsByStatus(int32_t S, int32_t T) {
  return Store().List().GetObjectsByStatus(S, T);
}

TObjectMetadataList GetChangedObjects(int32_t T) {
  return Store().List().GetChangedObjects(T);
}

int32_t CountObjectsByStatus(int32_t S, int32_t T) {
  return Store().List().CountObjectsByStatus(S, T);
}

int32_t CountChangedObjects(int32_t T) {
  return Store().List().CountChangedObjects(T);
}

void SaveObjectMetadata(const TObjectMetadata& R) {
  Store().List().SaveObjectMetadata(R);
}

void DeleteTransactionListRow(std::string_view K) {
  Store().List().DeleteTransactionListRow(K);
}

void UpdateChangedFlag(std::string_view K, std::string_view M) {
  Store().List().UpdateChangedFlag(K, M);
}

void UpdateKennungInTransactionList(std::string_view O, std::string_view N) {
  Store().List().UpdateKennungInTransactionList(O, N);
}

TStringList GetFreeKennungen(int32_t T) {
  return Store().Pool().GetFreeKennungen(T);
}

TStringList GetFittingFreeKennungen(std::string_view C, int32_t T, std::string_view B) {
  // The class's rule is settled once for the whole pool rather than once per
  // identifier: a pool holds thousands of identifiers.
  const KennungsTools::OKLRule rule = KennungsTools::RuleForOKL(C, B);
  TStringList list;
  for (std::string& K : Store().Pool().GetFreeKennungen(T)) {
    if (rule.Fits(K)) list.push_back(std::move(K));
  }
  return list;
}

bool KennungIsValid(std::string_view K, int32_t T) {
  // The "BRB" rule set takes any identifier; builds without it check the pool.
  if (CurrentProfile().second_generation_creation && KennungsTools::StateCode() == "BRB") {
    return true;
  }
  return Store().Pool().KennungInPool(K, T);
}

bool KennungListIsEmpty() {
  return Store().Pool().KennungListIsEmpty();
}

bool SetFreeKennung(int32_t T, std::string_view K) {
  return Store().Pool().SetFreeKennung(T, K);
}

void DeleteFreeKennung(std::string_view K) {
  Store().Pool().DeleteFreeKennung(K);
}

std::vector<int32_t> PoolsHolding(std::string_view K) {
  return Store().Pool().PoolsHolding(K);
}

void AddToPool(int32_t T, std::string_view K) {
  Store().Pool().AddToPool(T, K);
}

void RemoveFromPool(int32_t T, std::string_view K) {
  Store().Pool().RemoveFromPool(T, K);
}

void RestoreRow(const TObjectMetadata& R) {
  Store().List().RestoreRow(R);
}

void RewriteRow(std::string_view K, const TObjectMetadata& R) {
  Store().List().RewriteRow(K, R);
}

std::unordered_map<std::string, bool> ListedKennungen() {
  return Store().List().ListedKennungen();
}

TTransactionMetadataList GetTransactions() {
  return Store().Ids().GetTransactions();
}

TNumberedStringList GetTransactionNames() {
  TNumberedStringList list;
  for (const TTransactionMetadata& t : Store().Ids().TransactionNames()) {
    list.push_back({DialogTools::TransactionEntry(t.ID, t.Name), t.ID});
  }
  return list;
}

bool HasTransaction(int32_t T) {
  return Store().Ids().HasTransaction(T);
}

TObjectMetadataList AllRows() {
  return Store().List().AllRows();
}

std::vector<PoolRow> AllPoolRows() {
  return Store().Pool().AllPoolRows();
}

TObjectMetadataList ExportRows(int32_t T) {
  return Store().List().ExportRows(T);
}

void ApplyImport(const ImportChanges& changes) {
  Store().ApplyImport(changes);
}

void AddFreeKennungen(const std::vector<PoolRow>& rows) {
  Store().Pool().AddFreeKennungen(rows);
}

RowsOfKeys ReadKeys(const std::unordered_set<std::string>& keys) {
  return Store().ReadKeys(keys);
}

RowsOfKeys ReadKeys(const std::unordered_set<std::string>& keys, const TObjectMetadataList& list,
                    const std::vector<PoolRow>& pool) {
  return Store().ReadKeys(keys, list, pool);
}

bool RestoreKeys(const std::unordered_set<std::string>& keys, const RowsOfKeys& before,
                 std::optional<int32_t> registered) {
  return Store().RestoreKeys(keys, before, registered);
}

std::unique_ptr<TablesHold> HoldTables() {
  return Store().HoldTables();
}

std::string TablesStamp() {
  return Store().TablesStamp();
}

std::string FingerprintTablePath() {
  return Store().Fingerprints().Path();
}

bool FingerprintTableExists() {
  return Store().Fingerprints().Exists();
}

void StoreFingerprints(const std::vector<std::string>& replaced,
                       const std::vector<FingerprintRow>& rows) {
  Store().Fingerprints().Store(replaced, rows);
}

std::vector<FingerprintRow> ReadFingerprints() {
  return Store().Fingerprints().ReadAll();
}

int32_t CountTransactions() {
  return Store().Ids().CountTransactions();
}

}  // namespace TransActTools
