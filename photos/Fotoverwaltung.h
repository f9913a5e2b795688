// The photo catalogue's data module: the connections to the project
// database and to an import's photo list, through which every other module
// (the photo hooks and dialog, the import, the export, the preflight)
// reaches the catalogue Fotos and the link table Objektphotos. The tables'
// rows and statements are the tables layer's (tables/PhotoCatalogue.h). One
// instance of the data module at a time serves a photo task
// (GlobaldmFotoverwaltung), opened by EnsureFotoverwaltung for the photo
// task, the export and the import and left open until the project closes;
// the catalogue check at project load makes its own and frees it again.
//
// Errors of the driver come as platform::db::DbError, except that a failed
// connect is swallowed by OpenPrjDatabase, as the system does; the next use
// of the connection then throws.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/db/Connection.h"
#include "tables/PhotoCatalogue.h"
#include "tables/PhotoRows.h"

using tables::CatalogueEntry;
using tables::ObjectRow;
using tables::ObjectRowTable;
using tables::PhotoLink;

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
  // Connects ADODBaseConnection1 to a folder of dBase III tables (the photo
  // list of an import); failures propagate.
  void InitImportDBaseDB(const std::string& pDBaseDirPath);

  // The project database's user tables.
  std::vector<std::string> TableNames();
  // The catalogue's columns the table of that name (as the database spells
  // it) lacks.
  std::vector<std::string> MissingFotoColumns(const std::string& table);

  // ---- The catalogue Fotos
  // A new id for a local photo: below the first row's id and every id in
  // use, and never 0 or above (-1, -2, ...). Reads the table as it is now.
  int32_t GetFotoID();
  // Every row with an id.
  std::vector<CatalogueEntry> CatalogueEntries();
  // The ids of the photos taken in this project (state 3).
  std::unordered_set<int32_t> LocalFotoIDs();
  // The rows of photos taken in this project (state 3); their picture's
  // name is the record's Dateiname.
  std::vector<tables::TFotoMetadaten> LocalFotos();
  // The photo dialog's row of the photo; nothing when there is none. A
  // date the driver cannot read is none.
  std::optional<tables::FotoRecord> FindFoto(int32_t FotoID);
  // Writes the dialog's row: the row of its FotoID changed, or a new one
  // appended. RW, HW and Blickrichtung must be whole numbers when given.
  void PostFoto(const tables::FotoRecord& row);
  // The picture names the rows hold.
  std::vector<std::string> PicFileNames();
  // Appends the photos in one write, each in the state its record's Status
  // names, under its Dateiname.
  void AppendFotos(const std::vector<tables::TFotoMetadaten>& fotos);
  // Takes the rows of these ids out again, in one write.
  void RemoveFotos(const std::vector<int32_t>& ids);
  // Every column of the rows of these ids as one text per id (a row the
  // table holds twice: both, in the table's order): what tells whether a
  // row is still as it was written. Ids without a row are not answered.
  std::unordered_map<int32_t, std::string> FotoRowTexts(const std::unordered_set<int32_t>& ids);
  // The row of a local photo (state 3) goes; its picture's name is
  // answered (empty when it names none). Nothing when there is no such
  // row or the photo is not local: only those are the project's to delete.
  std::optional<std::string> DeleteLocalFoto(int32_t FotoID);
  // Whether a row of another photo names the file, compared without
  // regard to case as Windows names files.
  bool FileNamedElsewhere(int32_t FotoID, const std::string& file);

  // ---- The links Objektphotos, by statement
  // How many link rows point at the photo.
  int32_t FotoWirdVerwendet(int32_t FotoID);
  // Every link with an object and a photo, in the order the table
  // delivers them.
  std::vector<PhotoLink> PhotoLinks();
  // The rows of the table whose object is one of `ids`, in the table's order.
  std::vector<ObjectRow> ReadObjectRows(ObjectRowTable table,
                                        const std::unordered_set<int32_t>& ids);

  // The connections, for what only tests and benchmarks do to them. Each
  // throws DbError when it is not open.
  platform::db::Connection& ProjectConnection();
  platform::db::Table& Fotos();
  platform::db::Connection& ImportConnection();

 private:
  std::unique_ptr<platform::db::Connection> ADOConnectionProjekt;
  std::unique_ptr<platform::db::Table> ADOTblFotos;
  std::unique_ptr<platform::db::Connection> ADODBaseConnection1;
};

// The plug-in's one data module (held by the plug-in context); empty until
// opened, and again once freed.
std::unique_ptr<TdmFotoverwaltung>& GlobaldmFotoverwaltung();
// Opens the data module when there is none: the project database and the
// table Fotos. A module that cannot be opened is not kept, so the next use
// tries again; the error passes through.
TdmFotoverwaltung& EnsureFotoverwaltung();
