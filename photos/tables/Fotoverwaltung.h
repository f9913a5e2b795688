// The photo catalogue's data module and the one owner of the tables the
// photos live in: the catalogue Fotos in the project database, and the
// host's link table Objektphotos, read by statement from the project
// database and through the host's cursor on the rows of the active object.
// Every other module (the photo hooks and dialog, the import, the export,
// the preflight) reaches them through this module, so each statement is
// written here once and no table's name leaves this file pair. One instance
// of the data module at a time (GlobaldmFotoverwaltung) serves the photo
// task, the export and the import, opened by EnsureFotoverwaltung and left
// open until the project closes; the catalogue check at project load makes
// its own and frees it again. It lives with the tables, below the dialogs,
// and shows nothing.
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

#include "photos/tables/PhotoRows.h"
#include "platform/db/Connection.h"

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
  // Whether a table of that name (as the database spells it) is the
  // catalogue: its name, compared without regard to case.
  static bool IsFotosTable(std::string_view table);
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

namespace tables {

// Whether a table the host names in a hook is the link table.
bool IsLinkTable(std::string_view host_table);

}  // namespace tables

// ---- The link rows the host shows of the active object, through its cursor
namespace LinkRows {

// More link rows than an object ever has; a walk over the rows stops there,
// so that a host that never reports the end cannot hang the mapper.
inline constexpr int kMaxLinkRows = 100000;

// PhotoID of the current row; 0 when it cannot be read.
int32_t CurrentPhotoID();
// PKEY of the current row; -1 when it cannot be read (a row not stored yet).
int32_t CurrentPKey();
// Saves a pending edit of the current row; it then has its key.
void PostCurrent();
// The one walk over the rows: from the first, until `here` answers true for
// the current row (true), the end, or kMaxLinkRows rows (false).
bool Walk(const std::function<bool()>& here);
// Makes the row with the key current, or leaves the walk at the end.
void GoTo(int32_t pkey);
// "FALSCH" into Hauptphoto of every row but the one with the key, the host's
// controls off meanwhile; that row is current again afterwards.
void ClearOtherMainPhotos(int32_t pkey);
// Points a link row at the photo: the row with the key, or for -1 the first
// row without a photo, or else a new row.
void LinkPhoto(int32_t pkey, int32_t FotoID);
// Refreshes the host's view of the table.
void Refresh();

}  // namespace LinkRows

// Appends the rows to the object `id` through the host's cursor (its rows
// become the host's data view). Change marks stay off meanwhile: the rows
// are the object's own, not an edit of the mapper's. False when the host
// refused one; the rows before it are appended.
bool AppendObjectRows(int32_t id, const std::vector<const tables::ObjectRow*>& rows);
