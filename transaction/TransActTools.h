// The three transaction tables of a project (TA_LIST, TA_ID, TA_KL, dBase III
// files in the project folder) and every operation on them, each issuing its
// statement as the system defines it, over the connections of the plug-in
// context's store: the transaction connection serves only the project it was
// opened for; the procedure connection reads the class list; the import and
// export connections open the exchange folders.
//
// Nothing here talks to the mapper: a query or command that fails throws
// platform::db::DbError with the driver's text (naming file, record and
// field), and the rule that issued it tells the mapper once and makes no
// statement after it. Whether a project has transaction data is decided by
// the file TA_LIST.dbf alone, checked before any query.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/db/Connection.h"
#include "transaction/tables/TransactionRows.h"

// A text that carries a number, as the choosers' lists hold them.
struct TNumberedString {
  std::string Text;
  int32_t Number = 0;
};

using TNumberedStringList = std::vector<TNumberedString>;

namespace TransActTools {

// The values of the columns SCHREIBEND and CHANGED.
using transaction_rows::kDelete;
using transaction_rows::kGeloescht;
using transaction_rows::kIgnored;
using transaction_rows::kLesend;
using transaction_rows::kNeu;
using transaction_rows::kNew;
using transaction_rows::kSchreibend;
using transaction_rows::kUpdate;

// Paths of the tables in the current project folder and their existence.
std::string TransactionTablePath(std::string_view table);  // e.g. "TA_LIST"
bool TransactionListExists();                              // TA_LIST.dbf
bool TransactionIDTableExists();                           // TA_ID.dbf
bool KennungListExists();                                  // TA_KL.dbf

// Connections, kept by the plug-in context's store: each opens on first
// use; the transaction connection is opened again when the project folder
// is no longer the one it was opened for.
platform::db::Connection& OpenTransactionConnection();
platform::db::Connection& OpenVerfahrenConnection();
platform::db::Connection& OpenImportConnection(std::string_view directory);
void CloseImportConnection();
platform::db::Connection& OpenExportConnection(std::string_view directory);
void CloseExportConnection();

// Table creation; each does nothing when its file exists.
void CreateKennungList();
void CreateTransactionList(std::string_view table_name);
void CreateTransactionIDTable();

// TA_LIST.
bool KennungInTransactionList(std::string_view K);
bool OriginalKennungInTransactionList(std::string_view K);
int32_t GetObjectStatus(std::string_view K);
int32_t GetTIDOfObject(std::string_view K);
std::string GetChangedFlag(std::string_view K);
std::string GetOriginalKennung(std::string_view K);
// Fills the record from the first row and sets its Kennung to K; leaves it
// untouched when there is none. Answers whether a row was found.
bool GetObjectMetadata(std::string_view K, TObjectMetadata& record);
TObjectMetadataList GetObjectsByStatus(int32_t S, int32_t T);
TObjectMetadataList GetChangedObjects(int32_t T);
int32_t CountObjectsByStatus(int32_t S, int32_t T);
int32_t CountChangedObjects(int32_t T);
void SaveObjectMetadata(const TObjectMetadata& record);
void DeleteTransactionListRow(std::string_view K);
void UpdateChangedFlag(std::string_view K, std::string_view M);
void UpdateKennungInTransactionList(std::string_view O, std::string_view N);

// TA_KL.
TStringList GetFreeKennungen(int32_t T);
TStringList GetFittingFreeKennungen(std::string_view C, int32_t T, std::string_view B);
bool KennungIsValid(std::string_view K, int32_t T);
bool KennungListIsEmpty();
// Answers whether a row was added (none for a TID of 0 or below, nor when
// the transaction's pool holds the identifier already).
bool SetFreeKennung(int32_t T, std::string_view K);
void DeleteFreeKennung(std::string_view K);

// What the rules need beyond the catalogue above: taking a failed rule's
// writes back, and which identifiers the rows hold. Same connection, same
// errors.
// The transactions whose pools hold the identifier, in delivery order.
std::vector<int32_t> PoolsHolding(std::string_view K);
// Adds the identifier to one pool, whatever the TID.
void AddToPool(int32_t T, std::string_view K);
// Removes the identifier from one pool only.
void RemoveFromPool(int32_t T, std::string_view K);
// Inserts the row as it is, its KENNUNGO included.
void RestoreRow(const TObjectMetadata& R);
// Rewrites the row now found under K with every column of R, KENNUNG too.
void RewriteRow(std::string_view K, const TObjectMetadata& R);
// For every identifier a row holds: true when only "DELETE" rows hold it.
std::unordered_map<std::string, bool> ListedKennungen();

// TA_ID.
TTransactionMetadataList GetTransactions();
TNumberedStringList GetTransactionNames();
int32_t CountTransactions();
bool HasTransaction(int32_t T);

// What the import, the export and the preflight read and write of the
// tables as a whole, here so that every rule reaches the tables through
// these procedures.
// Every row of TA_LIST, in delivery order; a number the file leaves empty
// reads -1.
TObjectMetadataList AllRows();
// Every row of TA_KL, in delivery order; an empty TID reads -1.
std::vector<PoolRow> AllPoolRows();
// The rows of one transaction as the export reads them (KENNUNG, KENNUNGO,
// SCHREIBEND, CHANGED), in delivery order.
TObjectMetadataList ExportRows(int32_t T);
// The import's merge, its pools and TA_ID, each table in one write; the
// tables must exist.
void ApplyImport(const ImportChanges& changes);
// The package's free identifiers, in one write.
void AddFreeKennungen(const std::vector<PoolRow>& rows);
// The rows of the tables that hold one of the identifiers; the second form
// with TA_LIST's and TA_KL's rows as the caller read them (whole, and
// unchanged since: TablesStamp says so).
RowsOfKeys ReadKeys(const std::unordered_set<std::string>& keys);
RowsOfKeys ReadKeys(const std::unordered_set<std::string>& keys, const TObjectMetadataList& list,
                    const std::vector<PoolRow>& pool);
// Puts those rows back, and takes the import's registration `registered`
// out of TA_ID when nothing belongs to it any more; false when rows keep it.
bool RestoreKeys(const std::unordered_set<std::string>& keys, const RowsOfKeys& before,
                 std::optional<int32_t> registered = std::nullopt);
// Keeps other processes from the tables that exist now; see TablesHold.
std::unique_ptr<TablesHold> HoldTables();
// TA_LIST and TA_KL as their files stand on disk: equal stamps mean that no
// program wrote them in between.
std::string TablesStamp();

// TA_FP, the preflight's fingerprints.
std::string FingerprintTablePath();
bool FingerprintTableExists();
// Replaces the rows of the identifiers given with the new rows; creates the
// table when it is missing.
void StoreFingerprints(const std::vector<std::string>& replaced,
                       const std::vector<FingerprintRow>& rows);
// Every row; throws DbError when the table cannot be read.
std::vector<FingerprintRow> ReadFingerprints();

}  // namespace TransActTools
