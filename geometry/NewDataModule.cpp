#include "geometry/NewDataModule.h"

#include "context/ProjectStore.h"
#include "host/Tools.h"
#include "platform/text/Strings.h"

TNewDataModule::~TNewDataModule() {
  ClosePrjDatabase();
}

bool TNewDataModule::OpenPrjDatabase(const std::string& strDBName) {
  try {
    ADOConnectionProjekt =
        platform::db::Connection::Open(context::DatabaseConnectionString(strDBName));
  } catch (const platform::db::DbError&) {
    ADOConnectionProjekt.reset();
  }
  return ADOConnectionProjekt != nullptr;
}

void TNewDataModule::ClosePrjDatabase() {
  try {
    ADOConnectionProjekt.reset();
  } catch (...) {
  }
}

platform::db::Connection& TNewDataModule::Connected() {
  if (!ADOConnectionProjekt) {
    throw platform::db::DbError("Die Projektdatenbank ist nicht geöffnet.");
  }
  return *ADOConnectionProjekt;
}

std::vector<std::string> TNewDataModule::TableNames() {
  return Connected().TableNames();
}

void TNewDataModule::CreateTableLifecycle() {
  Connected().Execute(
      "create table KT_SYS_LIFECYCLE\r\n"
      " (ID autoincrement, \r\n"
      "KENNUNG text(128), \r\n"
      "OKL long, \r\n"
      "OKL_TYPE text(1), \r\n"
      "LC_CHANGE_TYPE integer, \r\n"
      "ZEITSTEMPEL datetime, \r\n"
      "REL_TYPE integer)");
  Connected().Execute(
      "Create unique index PrimaryKey on KT_SYS_LIFECYCLE\r\n"
      "(ID) with primary");
}

namespace LifecycleJournal {

void EnsureTableLifecycle() {
  TNewDataModule module;
  module.OpenPrjDatabase(Tools::MyGetProjectDB());
  bool present = false;
  // Table names of the database are matched without regard to case, as
  // the database itself matches them.
  for (const std::string& name : module.TableNames()) {
    if (platform::text::EqualsIgnoreCase(name, "KT_SYS_LIFECYCLE")) present = true;
  }
  if (!present) module.CreateTableLifecycle();
}

}  // namespace LifecycleJournal
