#include "transaction/TableSteps.h"

#include <exception>

#include "transaction/tables/TransactionStore.h"

using namespace TransActTools;

void TableSteps::SaveRow(const TObjectMetadata& R) {
  TObjectMetadata before;
  const bool existed = GetObjectMetadata(R.Kennung, before);
  SaveObjectMetadata(R);
  if (existed) {
    undo_.push_back([before] { RewriteRow(before.Kennung, before); });
  } else {
    undo_.push_back([K = R.Kennung] { DeleteTransactionListRow(K); });
  }
}

void TableSteps::DeleteRow(std::string_view K) {
  TObjectMetadata before;
  const bool existed = GetObjectMetadata(K, before);
  DeleteTransactionListRow(K);
  if (existed) undo_.push_back([before] { RestoreRow(before); });
}

void TableSteps::RenameRow(std::string_view O, std::string_view N) {
  TObjectMetadata before;
  const bool existed = GetObjectMetadata(O, before);
  UpdateKennungInTransactionList(O, N);
  if (existed) undo_.push_back([before, N = std::string(N)] { RewriteRow(N, before); });
}

void TableSteps::AssignInPlace(std::string_view K, int32_t T) {
  TObjectMetadata before;
  const bool existed = GetObjectMetadata(K, before);
  transaction_store::Current().List().AssignRowInPlace(K, T);
  if (existed) undo_.push_back([before] { RewriteRow(before.Kennung, before); });
}

void TableSteps::MarkChanged(std::string_view K, std::string_view M) {
  const std::string before = GetChangedFlag(K);
  UpdateChangedFlag(K, M);
  undo_.push_back([K = std::string(K), before] { UpdateChangedFlag(K, before); });
}

void TableSteps::ReturnToPool(int32_t T, std::string_view K) {
  if (SetFreeKennung(T, K)) undo_.push_back([T, K = std::string(K)] { RemoveFromPool(T, K); });
}

void TableSteps::TakeFromPools(std::string_view K) {
  const std::vector<int32_t> pools = PoolsHolding(K);
  DeleteFreeKennung(K);
  undo_.push_back([pools, K = std::string(K)] {
    for (int32_t T : pools) AddToPool(T, K);
  });
}

void TableSteps::OnTakeBack(std::function<void()> undo) {
  undo_.push_back(std::move(undo));
}

std::string TableSteps::TakeBack() noexcept {
  std::string first_error;
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
    try {
      (*it)();
    } catch (const std::exception& e) {
      if (first_error.empty()) first_error = e.what();
    } catch (...) {
      if (first_error.empty()) first_error = "Unbekannter Fehler";
    }
  }
  undo_.clear();
  return first_error;
}
