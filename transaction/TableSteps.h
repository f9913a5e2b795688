// The writes of one lifecycle rule to the transaction tables, each with its
// inverse. A rule that fails halfway must leave the tables as they were: the
// steps already done are taken back, newest first. The rules order their
// steps so that a process killed between two of them leaves an identifier at
// worst in both lists (a row and a pool), never in neither; the choosers do
// not offer an identifier that a row holds.
//
// Every step issues the statements of TransActTools and throws what they
// throw; the object only remembers how to undo what went through.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "transaction/TransActTools.h"

class TableSteps {
 public:
  TableSteps() = default;
  TableSteps(const TableSteps&) = delete;
  TableSteps& operator=(const TableSteps&) = delete;

  // SaveObjectMetadata: the row under R.Kennung is updated, or inserted.
  void SaveRow(const TObjectMetadata& R);
  // DeleteTransactionListRow.
  void DeleteRow(std::string_view K);
  // UpdateKennungInTransactionList.
  void RenameRow(std::string_view O, std::string_view N);
  // The earlier builds' assignment of a row found under K: transaction T,
  // status 2, "NEW", in place.
  void AssignInPlace(std::string_view K, int32_t T);
  // UpdateChangedFlag.
  void MarkChanged(std::string_view K, std::string_view M);
  // SetFreeKennung: the identifier goes back to the transaction's pool.
  void ReturnToPool(int32_t T, std::string_view K);
  // DeleteFreeKennung: the identifier leaves the pools of all transactions.
  void TakeFromPools(std::string_view K);
  // Anything else to take back with the tables (the host's identifier).
  void OnTakeBack(std::function<void()> undo);

  // Takes back every step done, newest first, and forgets them. Answers the
  // text of the first error that kept a step from being taken back, or empty.
  std::string TakeBack() noexcept;

 private:
  std::vector<std::function<void()>> undo_;
};
