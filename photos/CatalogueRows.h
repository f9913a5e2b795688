// The photo catalogue "Fotos" as the import reads and writes it: which
// photos and pictures the project has, the package's photos appended in one
// write, and those rows taken out again when the import is undone.
//
// Errors are platform::db::DbError.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct CatalogueEntry {
  int32_t FotoID = 0;
  std::string PicFileName;
  int32_t IsNew = 0;
};

// A photo that comes from the central system.
struct ImportedFoto {
  int32_t FotoID = 0;
  std::string Kurzname;
  std::optional<int32_t> Rechtswert;
  std::optional<int32_t> Hochwert;
  std::optional<int32_t> Blickrichtung;
  std::optional<double> Aufnahmedatum;  // date-time, days since 1899-12-30
  std::string Quelle;
  std::string Beschreibung;
  std::string PicFileName;
  int32_t IsNew = 2;
};

// Every catalogue row with an id.
std::vector<CatalogueEntry> ReadCatalogueEntries();
// Appends the photos in one write.
void AppendImportedFotos(const std::vector<ImportedFoto>& fotos);
// Takes the rows of these ids out again, in one write.
void RemoveFotos(const std::vector<int32_t>& ids);
