// The rows of the transaction tables (TA_LIST, TA_KL, TA_ID and the
// preflight's fingerprints TA_FP) as the rules read and write them, and the
// values their columns hold. The tables themselves, their names in
// statements and their files, are the store's (transaction/tables/TransactionStore.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

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

// One TA_KL row.
struct PoolRow {
  int32_t TID = 0;
  std::string Kennung;
  bool operator==(const PoolRow&) const = default;
};

// One TA_FP row: an object's geometry and attributes at its import.
struct FingerprintRow {
  int32_t TID = 0;
  std::string Kennung;
  std::string Geometrie;
  std::string Attribute;
  bool operator==(const FingerprintRow&) const = default;
};

// One change of the import's merge of a package row into TA_LIST, found by
// the row's original identifier (KENNUNGO) as the merge finds it.
struct ListMerge {
  enum class Kind {
    kInsert,        // no row yet: the package row comes in
    kUpdate,        // the row of the same transaction takes the package's values
    kMove,          // the row moves to the package's transaction (higher status)
    kResetKennung,  // another transaction keeps the row; only its identifier is reset
  };
  Kind kind = Kind::kInsert;
  // Kennung (= the original identifier), TID, KartulID, Vorgangsnummer,
  // Schreibend and Changed of the package row.
  TObjectMetadata row;
};

// What the import writes into the tables once the host deleted the
// package's objects: the merged rows, the identifiers that leave every
// pool and those that go back to one, and the transaction to register
// (none when TA_ID has it).
struct ImportChanges {
  // Rows (KENNUNG, KENNUNGO) that go before the merge: those of new objects
  // the package's version replaces.
  std::vector<std::pair<std::string, std::string>> dropped;
  std::vector<ListMerge> list;
  std::vector<std::string> leave_pools;
  std::vector<PoolRow> enter_pools;  // identifiers that go back to a pool
  std::optional<TTransactionMetadata> transaction;
};

// The rows of the four tables that hold any of a set of identifiers, as
// they were: what the import saves before its first change and puts back
// when it must be undone. `exists` tells which tables were there at all.
struct RowsOfKeys {
  std::vector<TObjectMetadata> list;  // rows whose KENNUNG or KENNUNGO is one of them
  std::vector<PoolRow> pool;          // rows whose KENNUNG is one of them
  std::vector<FingerprintRow> fingerprints;
  bool list_exists = false;
  bool pool_exists = false;
  bool ids_exists = false;
  bool fingerprints_exist = false;
};

// How ReadKeys and RestoreKeys look at rows: a row as one comparable text;
// whether it holds one of the identifiers (as KENNUNG or KENNUNGO); and the
// identifier it is filed under, the one it was entered under when that is
// one of them, else its present one. A row's group is what is compared and
// put back as a whole.
std::string RowText(const TObjectMetadata& row);
bool Holds(const TObjectMetadata& row, const std::unordered_set<std::string>& keys);
const std::string& FiledUnder(const TObjectMetadata& row,
                              const std::unordered_set<std::string>& keys);

// Keeps other processes from the transaction tables that exist when it is
// taken, for its life, while this process reaches them as before.
class TablesHold {
 public:
  virtual ~TablesHold() = default;
  // Holds also TA_LIST, TA_KL and TA_ID when they were made since.
  virtual void TakeNewTables() = 0;
};

using TObjectMetadataList = std::vector<TObjectMetadata>;
using TTransactionMetadataList = std::vector<TTransactionMetadata>;
using TStringList = std::vector<std::string>;

namespace transaction_rows {

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

}  // namespace transaction_rows
