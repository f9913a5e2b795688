// The transaction tables as the earlier builds (VD1TransAction,
// TransactHooks) reach them: the files "TA_LIST.DBF", "TA_KL.DBF" and
// "TA_ID.DBF" as table objects with named indexes instead of SQL. Rows are
// found by key on "idxKennung", a transaction's pool is the key range of its
// TID on "idxTID", rows are changed in place; each operation opens its table
// non-exclusively and closes it again.
//
// The operations answer as those of TransActTools (which hands over to
// these in those builds), over the same files: the import, the export and
// the report of those builds read and write the same tables through SQL and
// see each other's changes. A failure throws platform::db::DbError in German,
// naming the file.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "transaction/TransActTools.h"

namespace TransActTables {

// The file of "TA_LIST", "TA_ID" or "TA_KL" as found in the project folder
// (any letter case), or as it is created.
std::string TablePath(std::string_view table);

bool TransactionListExists();
bool TransactionIDTableExists();
bool KennungListExists();

void CreateKennungList();
void CreateTransactionList(std::string_view table_name);
void CreateTransactionIDTable();

bool KennungInTransactionList(std::string_view K);
bool OriginalKennungInTransactionList(std::string_view K);
int32_t GetObjectStatus(std::string_view K);
int32_t GetTIDOfObject(std::string_view K);
std::string GetChangedFlag(std::string_view K);
std::string GetOriginalKennung(std::string_view K);
bool GetObjectMetadata(std::string_view K, TObjectMetadata& record);
TObjectMetadataList GetObjectsByStatus(int32_t S, int32_t T);
TObjectMetadataList GetChangedObjects(int32_t T);
int32_t CountObjectsByStatus(int32_t S, int32_t T);
int32_t CountChangedObjects(int32_t T);
void SaveObjectMetadata(const TObjectMetadata& record);
void DeleteTransactionListRow(std::string_view K);
void UpdateChangedFlag(std::string_view K, std::string_view M);
void UpdateKennungInTransactionList(std::string_view O, std::string_view N);
// The row found under K gets the assignment's transaction, status 2 and
// "NEW" in place; its other columns stay. Answers whether there was a row.
bool AssignRowInPlace(std::string_view K, int32_t T);

TStringList GetFreeKennungen(int32_t T);
bool KennungInPool(std::string_view K, int32_t T);
bool KennungListIsEmpty();
// Adds the identifier only when it is nowhere in TA_KL, and only for a TID
// above 0. Answers whether a row was added.
bool SetFreeKennung(int32_t T, std::string_view K);
void DeleteFreeKennung(std::string_view K);
std::vector<int32_t> PoolsHolding(std::string_view K);
void AddToPool(int32_t T, std::string_view K);
void RemoveFromPool(int32_t T, std::string_view K);
void RestoreRow(const TObjectMetadata& R);
void RewriteRow(std::string_view K, const TObjectMetadata& R);
std::unordered_map<std::string, bool> ListedKennungen();

// The name reads "unbekannt" when TA_ID has no NAME column.
TTransactionMetadataList GetTransactions();
TNumberedStringList GetTransactionNames();
int32_t CountTransactions();

}  // namespace TransActTables
