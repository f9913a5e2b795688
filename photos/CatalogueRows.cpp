#include "photos/CatalogueRows.h"

#include "exchange/Package.h"
#include "photos/FVTools.h"
#include "platform/db/Connection.h"

using platform::db::Query;
using platform::db::SqlText;

namespace {

std::string NumberOrNull(const std::optional<int32_t>& v) {
  return v ? std::to_string(*v) : std::string("null");
}

std::string InsertSql(const ImportedFoto& foto) {
  std::string date = foto.Aufnahmedatum ? Package::DateLiteral(*foto.Aufnahmedatum) : "";
  if (date.empty()) date = "null";
  return "insert into Fotos (FotoID,Kurzname,RW,HW,Blickrichtung,Aufnahmedatum,Quelle,"
         "Bildbeschreibung,PicFileName,IsNew) values (" +
         std::to_string(foto.FotoID) + ",'" + SqlText(foto.Kurzname) + "'," +
         NumberOrNull(foto.Rechtswert) + "," + NumberOrNull(foto.Hochwert) + "," +
         NumberOrNull(foto.Blickrichtung) + "," + date + ",'" + SqlText(foto.Quelle) + "','" +
         SqlText(foto.Beschreibung) + "','" + SqlText(foto.PicFileName) + "'," +
         std::to_string(foto.IsNew) + ")";
}

}  // namespace

std::vector<CatalogueEntry> ReadCatalogueEntries() {
  std::vector<CatalogueEntry> rows;
  Query query(EnsureFotoverwaltung().ProjectConnection(),
              "select FotoID, PicFileName, IsNew from Fotos");
  for (; !query.Eof(); query.Next()) {
    if (query.IsNull(0)) continue;
    rows.push_back({query.AsInt32(0), query.AsString(1), query.IsNull(2) ? 0 : query.AsInt32(2)});
  }
  return rows;
}

void AppendImportedFotos(const std::vector<ImportedFoto>& fotos) {
  if (fotos.empty()) return;
  platform::db::Connection& db = EnsureFotoverwaltung().ProjectConnection();
  platform::db::InOneWrite(db, [&] {
    for (const ImportedFoto& foto : fotos) db.Execute(InsertSql(foto));
  });
}

void RemoveFotos(const std::vector<int32_t>& ids) {
  if (ids.empty()) return;
  platform::db::Connection& db = EnsureFotoverwaltung().ProjectConnection();
  platform::db::InOneWrite(db, [&] {
    for (const int32_t id : ids) {
      db.Execute("delete from Fotos where FotoID = " + std::to_string(id));
    }
  });
}
