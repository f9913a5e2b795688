// The transaction tables of the current project (TA_LIST, TA_KL, TA_ID and
// the preflight's fingerprints TA_FP), one class each with its rows, its row
// codec and its queries, and what the import does across them. Two makes
// stand behind the first three, chosen once by the build profile: the full
// build reaches the tables through SQL on the transaction connection with
// the system's own statement texts, the earlier builds as table objects with
// named indexes. Nothing outside transaction/ sees the store: the rules, the
// exchange, status and report call the named procedures of TransActTools,
// which reach it.
//
// Errors: an operation that fails throws platform::db::DbError with the
// driver's text (naming file, record and field); nothing here talks to the
// mapper. Whether a project has transaction data is decided by the file of
// TA_LIST alone.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/dbase/DbfFile.h"
#include "transaction/tables/FingerprintTable.h"
#include "transaction/tables/ListTable.h"
#include "transaction/tables/PoolTable.h"
#include "transaction/tables/TransactionIdTable.h"
#include "transaction/tables/TransactionRows.h"

class TransactionStore {
 public:
  explicit TransactionStore(transaction_store::Make make);
  TransactionStore(const TransactionStore&) = delete;
  TransactionStore& operator=(const TransactionStore&) = delete;

  ListTable& List() { return list_; }
  PoolTable& Pool() { return pool_; }
  TransactionIdTable& Ids() { return ids_; }
  FingerprintTable& Fingerprints() { return fingerprints_; }

  // The file of "TA_LIST", "TA_KL", "TA_ID" or "TA_FP" in the project folder
  // (as found, or as it is created); empty without a project folder.
  std::string TablePath(std::string_view table);
  // Whether that file is there (its name matched without regard to case).
  bool TableExists(std::string_view table);

  // ---- The import's writes ----------------------------------------------------------
  // The merge, the pools and TA_ID, each table in one write. The tables
  // must exist (the import creates them first).
  void ApplyImport(const ImportChanges& changes);
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

 private:
  // Runs the writes of several tables as the make groups them: the SQL
  // make between one "begin" and "commit", the table objects each in its
  // own operation.
  void InOneWrite(const std::function<void()>& work);

  transaction_store::Make make_;
  ListTable& list_;
  PoolTable& pool_;
  TransactionIdTable& ids_;
  FingerprintTable fingerprints_;
};

namespace transaction_store {

// The store of the running build, over the tables of the host's current
// project folder; for TransActTools and the steps beside it alone.
TransactionStore& Current();

}  // namespace transaction_store
