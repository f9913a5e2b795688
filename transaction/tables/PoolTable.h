// TA_KL, the identifier pools: the free identifiers of each transaction,
// one PoolRow (TransactionRows.h) each. For the transaction store alone
// (TransactionStore.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "transaction/tables/Makes.h"
#include "transaction/tables/TransactionRows.h"

class PoolTable {
 public:
  static PoolTable& Of(transaction_store::Make make);
  virtual ~PoolTable() = default;

  virtual std::string Path() = 0;
  virtual bool Exists() = 0;
  // Does nothing when the file exists.
  virtual void Create() = 0;

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
  // The package's free identifiers, in one write.
  virtual void AddFreeKennungen(const std::vector<PoolRow>& rows) = 0;

  // The identifiers in `leave` leave every pool, the rows `enter` come: the
  // import's share, and the undo's put-back. Inside the store's one write;
  // the table must exist.
  virtual void Exchange(const std::vector<std::string>& leave,
                        const std::vector<PoolRow>& enter) = 0;
};
