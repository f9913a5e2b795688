// The photo catalogue's data module: the project database with the catalogue
// table Fotos, the link count of a photo, a new id for a local photo, and the
// dBase folder of an import's photo list. One instance at a time serves a
// photo task (PhotoTask::GlobaldmFotoverwaltung); the catalogue check at
// project load makes its own and frees it again.
//
// Errors of the driver come as platform::db::DbError, except that a failed
// connect is swallowed by OpenPrjDatabase, as the system does; the next use
// of the connection then throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/Connection.h"

class TdmFotoverwaltung {
 public:
  TdmFotoverwaltung() = default;
  // Closes the project database; errors of that close are swallowed.
  ~TdmFotoverwaltung();
  TdmFotoverwaltung(const TdmFotoverwaltung&) = delete;
  TdmFotoverwaltung& operator=(const TdmFotoverwaltung&) = delete;

  // Connects ADOConnectionProjekt to the database file; answers whether it
  // is open.
  bool OpenPrjDatabase(const std::string& strDBName);
  void ClosePrjDatabase();
  // Opens ADOTblFotos on the table "Fotos".
  void OpenTables();
  // The catalogue table and its primary index, as the system creates them.
  void CreateTableFotos();
  // A new id for a local photo: below the first row's id and every id in
  // use, and never 0 or above (-1, -2, ...).
  int32_t GetFotoID();
  // How many link rows of Objektphotos point at the photo.
  int32_t FotoWirdVerwendet(int32_t FotoID);
  // Connects ADODBaseConnection1 to a folder of dBase III tables (the photo
  // list of an import); failures propagate.
  void InitImportDBaseDB(const std::string& pDBaseDirPath);

  // The project database's user tables.
  std::vector<std::string> TableNames();

  // The components the photo dialog, the export and the import use. Each
  // throws DbError when it is not open.
  platform::db::Connection& ProjectConnection();
  platform::db::Table& Fotos();
  platform::db::Connection& ImportConnection();

 private:
  std::unique_ptr<platform::db::Connection> ADOConnectionProjekt;
  std::unique_ptr<platform::db::Table> ADOTblFotos;
  std::unique_ptr<platform::db::Connection> ADODBaseConnection1;
};
