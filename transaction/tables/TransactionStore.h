// The transaction tables of the current project (TA_LIST, TA_KL, TA_ID and
// the preflight's fingerprints TA_FP) behind one interface. Two makes stand
// behind it, chosen once by the build profile: the full build reaches the
// tables through SQL on the transaction connection with the system's own
// statement texts (SqlTransactionStore), the earlier builds as table objects
// with named indexes (KeyedTransactionStore). Nothing outside transaction/
// sees the store: the rules, the exchange, status and report call the
// named procedures of TransActTools, which reach it.
//
// Errors: an operation that fails throws platform::db::DbError with the
// driver's text (naming file, record and field); nothing here talks to the
// mapper. Whether a project has transaction data is decided by the file of
// TA_LIST alone.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/dbase/DbfFile.h"
#include "transaction/tables/TransactionRows.h"

class TransactionStore {
 public:
  virtual ~TransactionStore() = default;

  // ---- The files -----------------------------------------------------------------
  // The file of "TA_LIST", "TA_KL", "TA_ID" or "TA_FP" in the project folder
  // (as found, or as it is created); empty without a project folder.
  virtual std::string TablePath(std::string_view table) = 0;
  // Whether that file is there (its name matched without regard to case).
  virtual bool TableExists(std::string_view table);
  // Each does nothing when its file exists.
  virtual void CreateKennungList() = 0;
  virtual void CreateTransactionList(std::string_view table_name) = 0;
  virtual void CreateTransactionIDTable() = 0;

  // ---- TA_LIST, by identifier (the first row found, as the system reads) --------
  virtual bool KennungInTransactionList(std::string_view K) = 0;
  virtual bool OriginalKennungInTransactionList(std::string_view K) = 0;
  virtual int32_t GetObjectStatus(std::string_view K) = 0;
  virtual int32_t GetTIDOfObject(std::string_view K) = 0;
  virtual std::string GetChangedFlag(std::string_view K) = 0;
  virtual std::string GetOriginalKennung(std::string_view K) = 0;
  virtual bool GetObjectMetadata(std::string_view K, TObjectMetadata& record) = 0;
  virtual TObjectMetadataList GetObjectsByStatus(int32_t S, int32_t T) = 0;
  virtual TObjectMetadataList GetChangedObjects(int32_t T) = 0;
  virtual int32_t CountObjectsByStatus(int32_t S, int32_t T) = 0;
  virtual int32_t CountChangedObjects(int32_t T) = 0;
  virtual void SaveObjectMetadata(const TObjectMetadata& R) = 0;
  virtual void DeleteTransactionListRow(std::string_view K) = 0;
  virtual void UpdateChangedFlag(std::string_view K, std::string_view M) = 0;
  virtual void UpdateKennungInTransactionList(std::string_view O, std::string_view N) = 0;
  // The earlier builds' assignment: the row found under K gets transaction
  // T, status 2 and "NEW" in place. Answers whether there was a row.
  virtual bool AssignRowInPlace(std::string_view K, int32_t T) = 0;
  virtual void RestoreRow(const TObjectMetadata& R) = 0;
  virtual void RewriteRow(std::string_view K, const TObjectMetadata& R) = 0;
  // For every identifier a row holds: true when only "DELETE" rows hold it.
  virtual std::unordered_map<std::string, bool> ListedKennungen() = 0;
  // Every row, in delivery order; a number the file leaves empty reads -1.
  virtual TObjectMetadataList AllRows() = 0;
  // The rows of one transaction as the export reads them (KENNUNG,
  // KENNUNGO, SCHREIBEND, CHANGED), in delivery order.
  virtual TObjectMetadataList ExportRows(int32_t T) = 0;

  // ---- TA_KL ------------------------------------------------------------------------
  virtual TStringList GetFreeKennungen(int32_t T) = 0;
  virtual bool KennungInPool(std::string_view K, int32_t T) = 0;
  virtual bool KennungListIsEmpty() = 0;
  // Gives an identifier back to a pool as the build does (the full build:
  // unless that transaction's pool holds it; the earlier builds: unless any
  // pool does), never for a TID of 0 or below. Answers whether a row came.
  virtual bool SetFreeKennung(int32_t T, std::string_view K) = 0;
  virtual void DeleteFreeKennung(std::string_view K) = 0;
  virtual std::vector<int32_t> PoolsHolding(std::string_view K) = 0;
  virtual void AddToPool(int32_t T, std::string_view K) = 0;
  virtual void RemoveFromPool(int32_t T, std::string_view K) = 0;
  // Every row, in delivery order; an empty TID reads -1.
  virtual std::vector<PoolRow> AllPoolRows() = 0;

  // ---- TA_ID --------------------------------------------------------------------------
  virtual TTransactionMetadataList GetTransactions() = 0;
  // Each transaction's number and name (no owner), in the table's order:
  // what the choosers list.
  virtual TTransactionMetadataList TransactionNames() = 0;
  virtual int32_t CountTransactions() = 0;
  virtual bool HasTransaction(int32_t T) = 0;

  // ---- The import's writes ----------------------------------------------------------
  // The merge, the pools and TA_ID, each table in one write. The tables
  // must exist (the import creates them first).
  virtual void ApplyImport(const ImportChanges& changes) = 0;
  // The package's free identifiers, in one write.
  virtual void AddFreeKennungen(const std::vector<PoolRow>& rows) = 0;
  // The rows of the tables that hold one of the identifiers.
  RowsOfKeys ReadKeys(const std::unordered_set<std::string>& keys);
  // The same, with TA_LIST's and TA_KL's rows as the caller read them
  // (whole, and unchanged since: TablesStamp says so).
  RowsOfKeys ReadKeys(const std::unordered_set<std::string>& keys, const TObjectMetadataList& list,
                      const std::vector<PoolRow>& pool);
  // Puts those rows back: the rows now holding one of the identifiers that
  // differ from the saved ones go and the saved ones come again; other rows
  // are not touched. Then the transaction `registered` (the import's
  // registration) leaves TA_ID when no row of TA_LIST or TA_KL belongs to
  // it any more; answers false when rows keep it there. A table that was not
  // there before and holds nothing afterwards is removed.
  bool RestoreKeys(const std::unordered_set<std::string>& keys, const RowsOfKeys& before,
                   std::optional<int32_t> registered = std::nullopt);
  // The transaction's row of TA_ID goes (the undo of its registration).
  virtual void RemoveTransaction(int32_t T) = 0;

  // ---- TA_FP (SQL on the transaction connection in every build: only the
  // full build's preflight reads it) ------------------------------------------------
  // Replaces the rows of the identifiers given with the new rows (an
  // identifier without a new row loses its row); creates the table when it
  // is missing.
  void StoreFingerprints(const std::vector<std::string>& replaced,
                         const std::vector<FingerprintRow>& rows);
  // Every row; throws DbError when the table cannot be read.
  std::vector<FingerprintRow> ReadFingerprints();

  // ---- Other processes --------------------------------------------------------------
  // Keeps other processes from the tables that exist now (and from those
  // the holder adds with Extend) for the life of the hold, while this
  // process reaches them as before. Throws DbError when another process
  // holds one longer than the lock timeout.
  class Hold : public TablesHold {
   public:
    void Extend(std::string_view table);
    void TakeNewTables() override;

   private:
    friend class TransactionStore;
    explicit Hold(TransactionStore& store) : store_(store) {}
    TransactionStore& store_;
    std::vector<std::unique_ptr<platform::dbase::TableHold>> holds_;
  };
  std::unique_ptr<Hold> HoldTables();
  // TA_LIST and TA_KL as their files stand on disk: equal stamps taken
  // before a reading and later mean that no program (this one included)
  // wrote them in between, so what was read then still holds.
  std::string TablesStamp();

 protected:
  // What RestoreKeys changes in TA_LIST and TA_KL, in one write each.
  struct Replacement {
    std::vector<TObjectMetadata> list_out;  // rows now there that go
    std::vector<TObjectMetadata> list_in;   // rows as they were, to come again
    std::vector<std::string> pool_out;      // every pool row of these identifiers goes
    std::vector<PoolRow> pool_in;
  };
  virtual void ReplaceRows(const Replacement& replacement) = 0;
  // Drops what the make keeps open of a table file that is removed.
  virtual void ForgetFiles() = 0;
};
