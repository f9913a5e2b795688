// The rows of the photo catalogue and of the links between objects and
// photos, as the rules read and write them. The tables themselves, their
// names and statements, stay with their owner (photos/tables/Fotoverwaltung.cpp).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tables {

// The state of a photo's picture: the catalogue's IsNew, the dialog's
// PictureState and the Status an imported photo gets hold these numbers;
// any other number (a null column reads 0) is no known state.
enum PhotoState : int32_t {
  kPhotoNotStored = 1,   // a new photo, its picture not yet stored
  kPhotoFromVandra = 2,  // came with a package from the central system; read-only
  kPhotoLocal = 3,       // taken in in this project; exported, may be deleted
};

// One row of the catalogue as the photo dialog reads and writes it. Numbers
// the mapper types stay texts until they are stored; a null column is
// nothing.
struct FotoRecord {
  int32_t FotoID = 0;
  std::string Kurzname;
  std::optional<std::string> RW;
  std::optional<std::string> HW;
  std::optional<std::string> Blickrichtung;
  std::optional<double> Aufnahmedatum;  // days since 1899-12-30
  std::string Quelle;
  std::optional<int32_t> IsNew;
  std::string PicFileName;
  std::string Bildbeschreibung;
};

// One photo's metadata as the packages carry it. Numbers and the date are
// empty when the catalogue has none; they go into a table as null, never as
// 0 or a made-up date.
struct TFotoMetadaten {
  int32_t Status = 0;  // the IsNew state an imported photo gets
  int32_t FotoID = 0;
  std::string Kurzname;
  std::optional<int32_t> Rechtswert;
  std::optional<int32_t> Hochwert;
  std::optional<int32_t> Blickrichtung;
  std::optional<double> Aufnahmedatum;  // date-time, days since 1899-12-30
  std::string Quelle;
  std::string Beschreibung;
  std::string Dateiname;
};

// What the import and the preflight need of every catalogue row with an id.
struct CatalogueEntry {
  int32_t FotoID = 0;
  std::string PicFileName;
  int32_t IsNew = 0;  // 0 when null
  std::string Kurzname;
};

// A link row: which object links which photo.
struct PhotoLink {
  int32_t KartulID = 0;
  int32_t PhotoID = 0;
};

// The host's tables with rows per object, which the host drops with the
// object and its geodata and attribute files do not carry.
enum class ObjectRowTable { kPhotoLinks, kPlantList };

// One such row: every field but the row's key and the object id, as text
// (null where the row has no value). The import reads them before it
// deletes objects and appends them again to the object loaded anew or put
// back; its journal keeps the table by name.
struct ObjectRow {
  std::string table;
  int32_t KartulID = 0;
  std::vector<std::pair<std::string, std::optional<std::string>>> fields;
  bool operator==(const ObjectRow&) const = default;

  // Whether the row links a photo (and is no row of the plant list).
  bool IsPhotoLink() const;
  // Its photo's id; nothing when the row names none.
  std::optional<int32_t> PhotoID() const;
};

}  // namespace tables
