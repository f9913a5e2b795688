// TA_LIST, the transaction list: one row per object a transaction holds,
// found by its identifier (the first row found, as the system reads). Its
// row is TObjectMetadata (TransactionRows.h); each make reads a row with one
// codec of its own. For the transaction store alone (TransactionStore.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "transaction/tables/Makes.h"
#include "transaction/tables/TransactionRows.h"

class ListTable {
 public:
  static ListTable& Of(transaction_store::Make make);
  virtual ~ListTable() = default;

  // The file as found, or as it is created; empty without a project folder.
  virtual std::string Path() = 0;
  virtual bool Exists() = 0;
  // Does nothing when the file exists. The table objects' make always makes
  // TA_LIST: its indexes are named for its columns.
  virtual void Create(std::string_view table_name) = 0;

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

  // The import's merge: the rows of replaced new objects (KENNUNG,
  // KENNUNGO) go, then each package row comes in or changes its row. Inside
  // the store's one write; the table must exist.
  virtual void Merge(const std::vector<std::pair<std::string, std::string>>& dropped,
                     const std::vector<ListMerge>& merges) = 0;
  // The undo's put-back: rows `out` go (found by both identifiers), rows
  // `in` come again. Inside the store's one write.
  virtual void Replace(const std::vector<TObjectMetadata>& out,
                       const std::vector<TObjectMetadata>& in) = 0;
};
