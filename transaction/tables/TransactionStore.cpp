// What the store does across its tables: the choice of the make, reading
// and restoring the rows of a set of identifiers, and the hold against
// other processes.
#include "transaction/tables/TransactionStore.h"

#include <algorithm>
#include <map>

#include "context/PluginContext.h"

std::string RowText(const TObjectMetadata& r) {
  return std::to_string(r.TID) + '\x1f' + std::to_string(r.KartulID) + '\x1f' +
         std::to_string(r.Vorgangsnummer) + '\x1f' + std::to_string(r.Schreibend) + '\x1f' +
         r.Kennung + '\x1f' + r.Changed + '\x1f' + r.Originalkennung;
}

bool Holds(const TObjectMetadata& row, const std::unordered_set<std::string>& keys) {
  return keys.count(row.Kennung) > 0 || keys.count(row.Originalkennung) > 0;
}

const std::string& FiledUnder(const TObjectMetadata& row,
                              const std::unordered_set<std::string>& keys) {
  return keys.count(row.Originalkennung) ? row.Originalkennung : row.Kennung;
}

TransactionStore& transaction_store::Current() {
  // The tables keep no state of their own (the connections and open tables
  // are the plug-in context's), so one store of each make serves every
  // project.
  static TransactionStore sql(Make::kSql);
  static TransactionStore keyed(Make::kKeyed);
  if (CurrentProfile().keyed_transaction_tables) return keyed;
  return sql;
}

TransactionStore::TransactionStore(transaction_store::Make make)
    : make_(make),
      list_(ListTable::Of(make)),
      pool_(PoolTable::Of(make)),
      ids_(TransactionIdTable::Of(make)) {}

std::string TransactionStore::TablePath(std::string_view table) {
  if (table == "TA_LIST") return list_.Path();
  if (table == "TA_KL") return pool_.Path();
  if (table == "TA_ID") return ids_.Path();
  if (table == "TA_FP") return fingerprints_.Path();
  return transaction_store::sql::TableFile(table).path;
}

bool TransactionStore::TableExists(std::string_view table) {
  if (table == "TA_LIST") return list_.Exists();
  if (table == "TA_KL") return pool_.Exists();
  if (table == "TA_ID") return ids_.Exists();
  if (table == "TA_FP") return fingerprints_.Exists();
  return transaction_store::sql::TableExists(table);
}

void TransactionStore::InOneWrite(const std::function<void()>& work) {
  if (make_ == transaction_store::Make::kSql) {
    transaction_store::sql::InOneWrite(work);
  } else {
    work();
  }
}

void TransactionStore::ApplyImport(const ImportChanges& changes) {
  InOneWrite([&] {
    list_.Merge(changes.dropped, changes.list);
    if (!changes.leave_pools.empty() || !changes.enter_pools.empty()) {
      pool_.Exchange(changes.leave_pools, changes.enter_pools);
    }
    if (changes.transaction) ids_.Register(*changes.transaction);
  });
}

RowsOfKeys TransactionStore::ReadKeys(const std::unordered_set<std::string>& keys) {
  const bool list = TableExists("TA_LIST");
  const bool pool = TableExists("TA_KL");
  return ReadKeys(keys, list ? list_.AllRows() : TObjectMetadataList(),
                  pool ? pool_.AllPoolRows() : std::vector<PoolRow>());
}

RowsOfKeys TransactionStore::ReadKeys(const std::unordered_set<std::string>& keys,
                                      const TObjectMetadataList& list,
                                      const std::vector<PoolRow>& pool) {
  RowsOfKeys rows;
  rows.list_exists = TableExists("TA_LIST");
  rows.pool_exists = TableExists("TA_KL");
  rows.ids_exists = TableExists("TA_ID");
  rows.fingerprints_exist = TableExists("TA_FP");
  for (const TObjectMetadata& row : list) {
    if (Holds(row, keys)) rows.list.push_back(row);
  }
  for (const PoolRow& row : pool) {
    if (keys.count(row.Kennung)) rows.pool.push_back(row);
  }
  if (rows.fingerprints_exist) {
    for (FingerprintRow& row : fingerprints_.ReadAll()) {
      if (keys.count(row.Kennung)) rows.fingerprints.push_back(std::move(row));
    }
  }
  return rows;
}

bool TransactionStore::RestoreKeys(const std::unordered_set<std::string>& keys,
                                   const RowsOfKeys& before, std::optional<int32_t> registered) {
  const RowsOfKeys now = ReadKeys(keys);
  std::vector<TObjectMetadata> list_out;  // rows now there that go
  std::vector<TObjectMetadata> list_in;   // rows as they were, to come again
  std::vector<std::string> pool_out;      // every pool row of these identifiers goes
  std::vector<PoolRow> pool_in;

  // TA_LIST: the rows filed under an identifier go back as a group when
  // the group differs in any way (a row more, a row less, a value).
  std::map<std::string, std::vector<const TObjectMetadata*>> now_groups, before_groups;
  for (const TObjectMetadata& row : now.list) now_groups[FiledUnder(row, keys)].push_back(&row);
  for (const TObjectMetadata& row : before.list) {
    before_groups[FiledUnder(row, keys)].push_back(&row);
  }
  const auto texts = [](const std::vector<const TObjectMetadata*>& group) {
    std::vector<std::string> out;
    for (const TObjectMetadata* row : group) out.push_back(RowText(*row));
    std::sort(out.begin(), out.end());
    return out;
  };
  static const std::vector<const TObjectMetadata*> kNone;
  std::vector<std::string> group_keys;
  for (const auto& [key, group] : now_groups) group_keys.push_back(key);
  for (const auto& [key, group] : before_groups) {
    if (!now_groups.count(key)) group_keys.push_back(key);
  }
  for (const std::string& key : group_keys) {
    const auto n = now_groups.find(key);
    const auto b = before_groups.find(key);
    const auto& now_rows = n == now_groups.end() ? kNone : n->second;
    const auto& before_rows = b == before_groups.end() ? kNone : b->second;
    if (texts(now_rows) == texts(before_rows)) continue;
    for (const TObjectMetadata* row : now_rows) list_out.push_back(*row);
    for (const TObjectMetadata* row : before_rows) list_in.push_back(*row);
  }

  // TA_KL: each identifier's pool rows as a set.
  std::map<std::string, std::vector<int32_t>> now_pools, before_pools;
  for (const PoolRow& row : now.pool) now_pools[row.Kennung].push_back(row.TID);
  for (const PoolRow& row : before.pool) before_pools[row.Kennung].push_back(row.TID);
  for (auto& [key, tids] : now_pools) std::sort(tids.begin(), tids.end());
  for (auto& [key, tids] : before_pools) std::sort(tids.begin(), tids.end());
  for (const auto& [key, tids] : now_pools) {
    const auto b = before_pools.find(key);
    if (b != before_pools.end() && b->second == tids) continue;
    pool_out.push_back(key);
    if (b != before_pools.end()) {
      for (const int32_t T : b->second) pool_in.push_back({T, key});
    }
  }
  for (const auto& [key, tids] : before_pools) {
    if (now_pools.count(key)) continue;
    for (const int32_t T : tids) pool_in.push_back({T, key});
  }
  const bool list_changes = !list_out.empty() || !list_in.empty();
  const bool pool_changes = !pool_out.empty() || !pool_in.empty();
  if (list_changes || pool_changes) {
    InOneWrite([&] {
      if (list_changes) list_.Replace(list_out, list_in);
      if (pool_changes) pool_.Exchange(pool_out, pool_in);
    });
  }

  // TA_FP: each identifier's row as it was.
  if (now.fingerprints_exist) {
    std::map<std::string, FingerprintRow> was;
    for (const FingerprintRow& row : before.fingerprints) was[row.Kennung] = row;
    std::vector<std::string> replaced;
    std::vector<FingerprintRow> rows;
    std::map<std::string, std::vector<FingerprintRow>> is;
    for (const FingerprintRow& row : now.fingerprints) is[row.Kennung].push_back(row);
    for (const auto& [key, now_rows] : is) {
      const auto b = was.find(key);
      if (b != was.end() && now_rows.size() == 1 && now_rows.front() == b->second) continue;
      replaced.push_back(key);
      if (b != was.end()) rows.push_back(b->second);
    }
    for (const auto& [key, row] : was) {
      if (is.count(key)) continue;
      replaced.push_back(key);
      rows.push_back(row);
    }
    if (!replaced.empty()) fingerprints_.Store(replaced, rows);
  }

  bool dropped = true;
  if (registered && ids_.Exists() && ids_.HasTransaction(*registered)) {
    const auto in_it = [&](int32_t T) { return T == *registered; };
    bool used = false;
    if (list_.Exists()) {
      for (const TObjectMetadata& row : list_.AllRows()) used = used || in_it(row.TID);
    }
    if (!used && pool_.Exists()) {
      for (const PoolRow& row : pool_.AllPoolRows()) used = used || in_it(row.TID);
    }
    if (used) {
      dropped = false;
    } else {
      ids_.RemoveTransaction(*registered);
    }
  }

  // Tables the import made: gone again when nothing is left in them.
  bool removed = false;
  const auto remove_if_empty = [&](std::string_view table, bool existed, bool empty) {
    if (existed || !TableExists(table) || !empty) return;
    platform::dbase::DbfFile::Remove(TablePath(table));
    removed = true;
  };
  remove_if_empty("TA_FP", before.fingerprints_exist,
                  now.fingerprints_exist && fingerprints_.ReadAll().empty());
  remove_if_empty("TA_KL", before.pool_exists, pool_.Exists() && pool_.AllPoolRows().empty());
  remove_if_empty("TA_ID", before.ids_exists, ids_.Exists() && ids_.GetTransactions().empty());
  remove_if_empty("TA_LIST", before.list_exists, list_.Exists() && list_.AllRows().empty());
  // What the makes keep open of a removed file goes with the project's.
  if (removed) context::Current().Store().CloseProject();
  return dropped;
}

void TransactionStore::Hold::Extend(std::string_view table) {
  if (!store_.TableExists(table)) return;
  const std::string path = store_.TablePath(table);
  for (const auto& hold : holds_) {
    if (hold->Path() == path) return;
  }
  try {
    holds_.push_back(platform::dbase::TableHold::Take(path));
  } catch (const platform::dbase::DbaseError& e) {
    throw platform::db::DbError(e.what());
  }
}

void TransactionStore::Hold::TakeNewTables() {
  for (const char* table : {"TA_LIST", "TA_KL", "TA_ID"}) Extend(table);
}

std::string TransactionStore::TablesStamp() {
  std::string stamp;
  for (const char* table : {"TA_LIST", "TA_KL"}) {
    const std::string path = TablePath(table);
    try {
      stamp += path.empty() ? std::string("-") : platform::dbase::FileStamp(path);
    } catch (const platform::dbase::DbaseError& e) {
      throw platform::db::DbError(e.what());
    }
    stamp += '\x1e';
  }
  return stamp;
}

std::unique_ptr<TransactionStore::Hold> TransactionStore::HoldTables() {
  std::unique_ptr<Hold> hold(new Hold(*this));
  for (const char* table : {"TA_LIST", "TA_KL", "TA_ID", "TA_FP"}) hold->Extend(table);
  return hold;
}
