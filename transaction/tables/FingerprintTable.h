// TA_FP, the preflight's fingerprints: an object's geometry and attributes
// at its import, one FingerprintRow (TransactionRows.h) per identifier. SQL
// on the transaction connection in every build: only the full build's
// preflight reads it. For the transaction store alone (TransactionStore.h).
#pragma once

#include <string>
#include <vector>

#include "transaction/tables/TransactionRows.h"

class FingerprintTable {
 public:
  std::string Path();
  bool Exists();
  // Replaces the rows of the identifiers given with the new rows (an
  // identifier without a new row loses its row); creates the table when it
  // is missing.
  void Store(const std::vector<std::string>& replaced, const std::vector<FingerprintRow>& rows);
  // Every row; throws DbError when the table cannot be read.
  std::vector<FingerprintRow> ReadAll();
};
