// The two makes of the transaction store (TransactionStore.h), for the
// store's own files and their tests: the full build's SQL statements and the
// earlier builds' table objects. The rest of the plug-in reaches them only
// through the named procedures of TransActTools, which find the running
// build's make with Current() below.
#pragma once

#include "transaction/tables/TransactionStore.h"

namespace transaction_store {

class SqlTransactionStore : public TransactionStore {
 public:
  std::string TablePath(std::string_view table) override;
  bool TableExists(std::string_view table) override;
  void CreateKennungList() override;
  void CreateTransactionList(std::string_view table_name) override;
  void CreateTransactionIDTable() override;

  bool KennungInTransactionList(std::string_view K) override;
  bool OriginalKennungInTransactionList(std::string_view K) override;
  int32_t GetObjectStatus(std::string_view K) override;
  int32_t GetTIDOfObject(std::string_view K) override;
  std::string GetChangedFlag(std::string_view K) override;
  std::string GetOriginalKennung(std::string_view K) override;
  bool GetObjectMetadata(std::string_view K, TObjectMetadata& record) override;
  TObjectMetadataList GetObjectsByStatus(int32_t S, int32_t T) override;
  TObjectMetadataList GetChangedObjects(int32_t T) override;
  int32_t CountObjectsByStatus(int32_t S, int32_t T) override;
  int32_t CountChangedObjects(int32_t T) override;
  void SaveObjectMetadata(const TObjectMetadata& R) override;
  void DeleteTransactionListRow(std::string_view K) override;
  void UpdateChangedFlag(std::string_view K, std::string_view M) override;
  void UpdateKennungInTransactionList(std::string_view O, std::string_view N) override;
  bool AssignRowInPlace(std::string_view K, int32_t T) override;
  void RestoreRow(const TObjectMetadata& R) override;
  void RewriteRow(std::string_view K, const TObjectMetadata& R) override;
  std::unordered_map<std::string, bool> ListedKennungen() override;
  TObjectMetadataList AllRows() override;
  TObjectMetadataList ExportRows(int32_t T) override;

  TStringList GetFreeKennungen(int32_t T) override;
  bool KennungInPool(std::string_view K, int32_t T) override;
  bool KennungListIsEmpty() override;
  bool SetFreeKennung(int32_t T, std::string_view K) override;
  void DeleteFreeKennung(std::string_view K) override;
  std::vector<int32_t> PoolsHolding(std::string_view K) override;
  void AddToPool(int32_t T, std::string_view K) override;
  void RemoveFromPool(int32_t T, std::string_view K) override;
  std::vector<PoolRow> AllPoolRows() override;

  TTransactionMetadataList GetTransactions() override;
  TTransactionMetadataList TransactionNames() override;
  int32_t CountTransactions() override;
  bool HasTransaction(int32_t T) override;

  void ApplyImport(const ImportChanges& changes) override;
  void AddFreeKennungen(const std::vector<PoolRow>& rows) override;
  void RemoveTransaction(int32_t T) override;

 protected:
  void ReplaceRows(const Replacement& replacement) override;
  void ForgetFiles() override;
};

class KeyedTransactionStore : public TransactionStore {
 public:
  std::string TablePath(std::string_view table) override;
  void CreateKennungList() override;
  void CreateTransactionList(std::string_view table_name) override;
  void CreateTransactionIDTable() override;

  bool KennungInTransactionList(std::string_view K) override;
  bool OriginalKennungInTransactionList(std::string_view K) override;
  int32_t GetObjectStatus(std::string_view K) override;
  int32_t GetTIDOfObject(std::string_view K) override;
  std::string GetChangedFlag(std::string_view K) override;
  std::string GetOriginalKennung(std::string_view K) override;
  bool GetObjectMetadata(std::string_view K, TObjectMetadata& record) override;
  TObjectMetadataList GetObjectsByStatus(int32_t S, int32_t T) override;
  TObjectMetadataList GetChangedObjects(int32_t T) override;
  int32_t CountObjectsByStatus(int32_t S, int32_t T) override;
  int32_t CountChangedObjects(int32_t T) override;
  void SaveObjectMetadata(const TObjectMetadata& R) override;
  void DeleteTransactionListRow(std::string_view K) override;
  void UpdateChangedFlag(std::string_view K, std::string_view M) override;
  void UpdateKennungInTransactionList(std::string_view O, std::string_view N) override;
  bool AssignRowInPlace(std::string_view K, int32_t T) override;
  void RestoreRow(const TObjectMetadata& R) override;
  void RewriteRow(std::string_view K, const TObjectMetadata& R) override;
  std::unordered_map<std::string, bool> ListedKennungen() override;
  TObjectMetadataList AllRows() override;
  TObjectMetadataList ExportRows(int32_t T) override;

  TStringList GetFreeKennungen(int32_t T) override;
  bool KennungInPool(std::string_view K, int32_t T) override;
  bool KennungListIsEmpty() override;
  bool SetFreeKennung(int32_t T, std::string_view K) override;
  void DeleteFreeKennung(std::string_view K) override;
  std::vector<int32_t> PoolsHolding(std::string_view K) override;
  void AddToPool(int32_t T, std::string_view K) override;
  void RemoveFromPool(int32_t T, std::string_view K) override;
  std::vector<PoolRow> AllPoolRows() override;

  TTransactionMetadataList GetTransactions() override;
  TTransactionMetadataList TransactionNames() override;
  int32_t CountTransactions() override;
  bool HasTransaction(int32_t T) override;

  void ApplyImport(const ImportChanges& changes) override;
  void AddFreeKennungen(const std::vector<PoolRow>& rows) override;
  void RemoveTransaction(int32_t T) override;

 protected:
  void ReplaceRows(const Replacement& replacement) override;
  void ForgetFiles() override;
};

// The store of the running build, over the tables of the host's current
// project folder; for TransActTools and the steps beside it alone.
TransactionStore& Current();

}  // namespace transaction_store
