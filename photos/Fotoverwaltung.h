// The photo catalogue's data module and the one owner of the tables the
// photos live in: the catalogue Fotos in the project database, and the
// host's link table Objektphotos, read by statement from the project
// database and through the host's cursor on the rows of the active object.
// Every other module (the photo hooks and dialog, the import, the export,
// the preflight) reads and writes them through this module, so each
// statement is written once and the layer check can hold everyone else to
// it. One instance of the data module at a time serves a photo task
// (PhotoTask::GlobaldmFotoverwaltung); the catalogue check at project load
// makes its own and frees it again.
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

#include "dialogs/FotoActions.h"
#include "exchange/Package.h"
#include "platform/db/Connection.h"

// The host's link table between objects and photos.
inline constexpr std::string_view kLinkTable = "Objektphotos";

// What the import and the preflight need of every catalogue row with an id.
struct CatalogueEntry {
  int32_t FotoID = 0;
  std::string PicFileName;
  int32_t IsNew = 0;  // 0 when null
  std::string Kurzname;
};

// A row of Objektphotos: which object links which photo.
struct PhotoLink {
  int32_t KartulID = 0;
  int32_t PhotoID = 0;
};

// One row the host keeps per object in Objektphotos or Pflanzenliste:
// every field but the row's key and the object id, as text (null where the
// row has no value). The host drops them with the object, and its geodata
// and attribute files do not carry them; the import reads them before it
// deletes objects and appends them again to the object loaded anew or put
// back.
struct ObjectRow {
  std::string table;
  int32_t KartulID = 0;
  std::vector<std::pair<std::string, std::optional<std::string>>> fields;
  bool operator==(const ObjectRow&) const = default;
};

// The host's tables with rows per object that the import must carry over.
inline constexpr std::string_view kObjectRowTables[] = {kLinkTable, "Pflanzenliste"};

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
  // The rows of photos taken in this project (state 3); their picture's
  // name is the record's Dateiname.
  std::vector<Package::TFotoMetadaten> LocalFotos();
  // The photo dialog's row of the photo; nothing when there is none. A
  // date the driver cannot read is none.
  std::optional<DialogTools::FotoRecord> FindFoto(int32_t FotoID);
  // Writes the dialog's row: the row of its FotoID changed, or a new one
  // appended. RW, HW and Blickrichtung must be whole numbers when given.
  void PostFoto(const DialogTools::FotoRecord& row);
  // The picture names the rows hold.
  std::vector<std::string> PicFileNames();
  // Appends the photos in one write, each in the state its record's Status
  // names, under its Dateiname.
  void AppendFotos(const std::vector<Package::TFotoMetadaten>& fotos);
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
  // The rows of `table` (one of kObjectRowTables) whose object is one of
  // `ids`, in the table's order.
  std::vector<ObjectRow> ReadObjectRows(std::string_view table,
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
bool AppendObjectRows(int32_t id, const std::vector<const ObjectRow*>& rows);
