// The transaction import: a transaction checked out from the central system
// VANDRA comes into the project as a package (Package.h) in one folder. The
// plug-in merges the package's transaction list, registers the transaction,
// adds its free identifiers and catalogues its photos; the host loads the
// geodata and the attribute data.
//
// All or nothing: the whole package is read and checked before anything
// changes, and a step that still fails later puts the three transaction
// tables, the photo catalogue and the pictures of KTPhotos back as they
// were. The mapper is told what failed, and the run answers false. Package
// files come from Windows and are found without regard to case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/Package.h"

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

// The package as read before anything changes.
struct PackageContent {
  bool has_list = false;  // P + "t.dbf" is there
  std::vector<TTransaktionslistenDaten> rows;
  bool has_tid = false;
  Package::TidData tid;
  std::string geodata;  // D + the geodata's name without extension; empty: none
  std::string xml;      // the attribute file; empty: none
  std::vector<FreeKennung> kennungen;
  bool has_photos = false;  // P + "pc.dbf" is there
  std::vector<Package::TFotoMetadaten> fotos;
};

// The import hook's work: true after an import, false when the mapper
// cancels the file dialog or the import failed (after telling why).
bool VD1CustomImportProc();

// The package prefix of any file of the package, lower case; empty when
// the name carries none of the package's tags.
std::string getFilenamePrefix(std::string_view path);

// Whether an imported status N replaces the existing status E.
bool IsHigherState(int32_t N, int32_t E);

// Package photo texts: German letters of code page 850 read as ANSI are put
// right.
std::string ConvertOemUmlauts(std::string text);

// Reads and checks the whole package; nothing on failure, with the text to
// tell the mapper in `error`.
std::optional<PackageContent> ReadPackage(const Package::Names& names, std::string& error);

// The longest picture file name the catalogue's column holds.
inline constexpr size_t kPicFileNameWidth = 50;

}  // namespace ImportFuncs
