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
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/db/Connection.h"

// One TA_LIST row.
struct TObjectMetadata {
  int32_t TID = 0;
  int32_t KartulID = 0;        // column KARTULID
  int32_t Vorgangsnummer = 0;  // column VGNR
  int32_t Schreibend = 0;
  std::string Kennung;
  std::string Changed;
  std::string Originalkennung;  // column KENNUNGO
};

// One TA_ID row.
struct TTransactionMetadata {
  int32_t ID = 0;  // column TID
  std::string Name;
  std::string Owner;
};

// A text that carries a number, as the choosers' lists hold them.
struct TNumberedString {
  std::string Text;
  int32_t Number = 0;
};

using TObjectMetadataList = std::vector<TObjectMetadata>;
using TTransactionMetadataList = std::vector<TTransactionMetadata>;
using TNumberedStringList = std::vector<TNumberedString>;
using TStringList = std::vector<std::string>;

namespace TransActTools {

// Editing status codes (column SCHREIBEND).
inline constexpr int32_t kLesend = 0;
inline constexpr int32_t kSchreibend = 1;
inline constexpr int32_t kNeu = 2;
inline constexpr int32_t kGeloescht = 3;

// Change marks (column CHANGED).
inline constexpr std::string_view kIgnored = "IGNORED";
inline constexpr std::string_view kUpdate = "UPDATE";
inline constexpr std::string_view kNew = "NEW";
inline constexpr std::string_view kDelete = "DELETE";

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

}  // namespace TransActTools
