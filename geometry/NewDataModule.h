// The lifecycle journal: every project database the full build loads gets
// the table KT_SYS_LIFECYCLE with its primary index. The plug-in neither
// writes nor reads its rows; the host and the central system do.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/db/Connection.h"

class TNewDataModule {
 public:
  TNewDataModule() = default;
  // Closes the connection; errors of that close are swallowed.
  ~TNewDataModule();
  TNewDataModule(const TNewDataModule&) = delete;
  TNewDataModule& operator=(const TNewDataModule&) = delete;

  // Connects to the project database; a failure to connect is swallowed,
  // the answer tells whether the connection is open.
  bool OpenPrjDatabase(const std::string& strDBName);
  void ClosePrjDatabase();
  // The database's table names; throws DbError when it is not open.
  std::vector<std::string> TableNames();
  void CreateTableLifecycle();

 private:
  platform::db::Connection& Connected();
  std::unique_ptr<platform::db::Connection> ADOConnectionProjekt;
};

namespace LifecycleJournal {
// Creates KT_SYS_LIFECYCLE in the project database when it is missing; an
// existing table and its rows are left untouched.
void EnsureTableLifecycle();
}  // namespace LifecycleJournal
