// TA_ID, the transactions the project holds: number, name and owner, one
// TTransactionMetadata (TransactionRows.h) each. For the transaction store
// alone (TransactionStore.h).
#pragma once

#include <cstdint>
#include <string>

#include "transaction/tables/Makes.h"
#include "transaction/tables/TransactionRows.h"

class TransactionIdTable {
 public:
  static TransactionIdTable& Of(transaction_store::Make make);
  virtual ~TransactionIdTable() = default;

  virtual std::string Path() = 0;
  virtual bool Exists() = 0;
  // Does nothing when the file exists.
  virtual void Create() = 0;

  virtual TTransactionMetadataList GetTransactions() = 0;
  // Each transaction's number and name (no owner), in the table's order:
  // what the choosers list.
  virtual TTransactionMetadataList TransactionNames() = 0;
  virtual int32_t CountTransactions() = 0;
  virtual bool HasTransaction(int32_t T) = 0;
  // The import's registration of its transaction, inside the store's one
  // write; the table must exist.
  virtual void Register(const TTransactionMetadata& t) = 0;
  // The transaction's row goes (the undo of its registration).
  virtual void RemoveTransaction(int32_t T) = 0;
};
