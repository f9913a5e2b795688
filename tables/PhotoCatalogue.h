// The one owner of the tables the photos live in: the catalogue Fotos in the
// project database, and the host's link table Objektphotos, read by
// statement from the project database and through the host's cursor on the
// rows of the active object. The photo data module (photos/Fotoverwaltung)
// holds the connections and reaches the tables through these functions;
// every other module reaches them through the data module, so each
// statement is written once, here, and no table name leaves this file pair.
//
// Errors of the driver come as platform::db::DbError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/db/Connection.h"
#include "tables/PhotoRows.h"

namespace tables::catalogue {

using platform::db::Connection;
using platform::db::Table;

// ---- The catalogue Fotos
// The catalogue's table object, open.
std::unique_ptr<Table> OpenTable(Connection& db);
// Whether a table of that name (as the database spells it) is the
// catalogue: its name, compared without regard to case.
bool IsCatalogueName(std::string_view table);
// The catalogue table and its primary index, as the system creates them.
void Create(Connection& db);
// The catalogue's columns the table of that name lacks.
std::vector<std::string> MissingColumns(Connection& db, const std::string& table);

// A new id for a local photo: below the first row's id and every id in
// use, and never 0 or above (-1, -2, ...).
int32_t NewFotoID(Table& fotos);
// Every row with an id.
std::vector<CatalogueEntry> Entries(Connection& db);
// The ids of the photos taken in this project (state 3).
std::unordered_set<int32_t> LocalFotoIDs(Connection& db);
// The rows of photos taken in this project; their picture's name is the
// record's Dateiname.
std::vector<TFotoMetadaten> LocalFotos(Connection& db);
// The photo dialog's row of the photo; nothing when there is none. A date
// the driver cannot read is none.
std::optional<FotoRecord> Find(Connection& db, int32_t FotoID);
// Writes the dialog's row through the table object: the row of its FotoID
// changed, or a new one appended. RW, HW and Blickrichtung must be whole
// numbers when given.
void Post(Table& fotos, const FotoRecord& row);
// The picture names the rows hold.
std::vector<std::string> PicFileNames(Connection& db);
// Appends the photos in one write, each in the state its record's Status
// names, under its Dateiname.
void Append(Connection& db, const std::vector<TFotoMetadaten>& fotos);
// Takes the rows of these ids out again, in one write.
void Remove(Connection& db, const std::vector<int32_t>& ids);
// Every column of the rows of these ids as one text per id.
std::unordered_map<int32_t, std::string> RowTexts(Connection& db,
                                                  const std::unordered_set<int32_t>& ids);
// The row of a local photo goes; its picture's name is answered. Nothing
// when there is no such row or the photo is not local.
std::optional<std::string> DeleteLocal(Connection& db, int32_t FotoID);
// Whether a row of another photo names the file, without regard to case.
bool FileNamedElsewhere(Connection& db, int32_t FotoID, const std::string& file);

// ---- The links, by statement
// How many link rows point at the photo.
int32_t LinkCount(Connection& db, int32_t FotoID);
// Every link with an object and a photo, in the order the table delivers them.
std::vector<PhotoLink> Links(Connection& db);
// The rows of the table whose object is one of `ids`, in the table's order.
std::vector<ObjectRow> ObjectRows(Connection& db, ObjectRowTable table,
                                  const std::unordered_set<int32_t>& ids);

}  // namespace tables::catalogue

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
