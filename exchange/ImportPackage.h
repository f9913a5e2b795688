// A transaction package as the import reads it, whole, before anything of
// the project changes: the transaction list, the transaction file, every
// shape of the geodata (matched to its attribute rows), every object of the
// attribute file, the free identifiers, the photo list and the header of
// every picture. Only regular files are taken: a link, a folder or a device
// where a package file belongs refuses the package, naming it. A file the
// package shows belongs there and lacks (the list or the attribute file
// beside objects, the photo list beside pictures, a table beside its memo
// or index file) refuses it too. Package files come from Windows and are
// found without regard to case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "exchange/Package.h"
#include "platform/env/Env.h"

namespace ImportFuncs {

// One row of the package's transaction list.
struct TTransaktionslistenDaten {
  std::string Kennung;
  std::string Originalkennung;  // always empty in the import
  int32_t TID = 0;
  int32_t KartulID = 0;
  int32_t VNr = 0;
  int32_t Schreibend = 0;
  std::string changed = "IGNORED";
};

// One row of the package's free identifiers.
struct FreeKennung {
  int32_t TID = 0;
  std::string Kennung;
};

// One picture of the package's photo folder, as it was checked: the copy
// takes the same file or none.
struct PackagePicture {
  std::string name;  // as the folder spells it
  std::string path;
  platform::env::FileStatus status;
  // Why the file is no JPEG picture (German, naming it); empty when it is one.
  std::string damage;
};

// A layer of the package's geodata, read whole: the identifier of each
// record, in record order.
struct GeoLayer {
  std::string path;  // of the .shp
  std::vector<std::string> ids;
  std::vector<int32_t> classes;  // KLASSE of each record, when the table has it
};

// The package as read before anything changes.
struct PackageContent {
  bool has_list = false;  // P + "t.dbf" is there
  std::vector<TTransaktionslistenDaten> rows;
  bool has_tid = false;
  Package::TidData tid;
  // D + the geodata's name without extension, as the host takes it; empty:
  // none. Its layers (P.shp and the host's P_*.shp beside it) were read
  // whole; every identifier they hold, layer by layer.
  std::string geodata;
  std::vector<GeoLayer> layers;
  std::string xml;  // the attribute file; empty: none
  std::vector<std::string> xml_ids;
  std::vector<int32_t> xml_classes;  // "Klasse" of each object, 0 where it has none
  std::vector<FreeKennung> kennungen;
  bool has_photos = false;  // P + "pc.dbf" is there
  std::vector<tables::TFotoMetadaten> fotos;
  std::optional<std::string> photo_folder;
  std::vector<PackagePicture> pictures;  // the .jpg files of the photo folder, sorted
  // What the mapper is told at the end of an import that went through:
  // identifiers named twice, damaged pictures, photos without a picture.
  std::vector<std::string> notes;
};

// Reads and checks the whole package; nothing on failure, with the text to
// tell the mapper in `error`.
std::optional<PackageContent> ReadPackage(const Package::Names& names, std::string& error);

// Package photo texts: German letters of code page 850 read as ANSI are put
// right.
std::string ConvertOemUmlauts(std::string text);

}  // namespace ImportFuncs
