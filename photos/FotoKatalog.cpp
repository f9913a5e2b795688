// The photo dialog's access to the catalogue and the running photo task:
// reads go by statement, so they see what another program wrote since the
// table was opened; the row is written through the table object, which
// stores dates as the project database keeps them.
#include <optional>

#include "host/Tools.h"
#include "photos/FVTools.h"
#include "platform/db/Connection.h"

using DialogTools::FotoRecord;
using platform::db::DbError;
using platform::db::Query;
using platform::db::Value;

namespace {

// A whole-number column's value from the dialog's text; null for nothing.
Value WholeNumber(const std::optional<std::string>& text, const char* column) {
  if (!text) return Value();
  int32_t value = 0;
  if (!Tools::TryStrToInt(Tools::Trim(*text), value)) {
    throw DbError("Die Spalte " + std::string(column) +
                  " der Tabelle Fotos nimmt nur ganze Zahlen: \"" + *text + "\"");
  }
  return Value(value);
}

std::optional<std::string> TextOrNull(const Query& q, int pos) {
  if (q.IsNull(pos)) return std::nullopt;
  return q.AsString(pos);
}

class Katalog : public DialogTools::FotoKatalog {
 public:
  explicit Katalog(PhotoTask& task) : task_(task) {}

  void EnsureFotoverwaltung() override { ::EnsureFotoverwaltung(); }
  void CloseFotoverwaltung() override { ::CloseFotoverwaltung(); }

  void FreeDataModule() override {
    try {
      if (task_.GlobaldmFotoverwaltung) task_.GlobaldmFotoverwaltung->ClosePrjDatabase();
    } catch (...) {
    }
    task_.GlobaldmFotoverwaltung.reset();
  }

  std::optional<FotoRecord> FindFoto(int32_t FotoID) override {
    Query q(::EnsureFotoverwaltung().ProjectConnection(),
            "select FotoID, Kurzname, RW, HW, Blickrichtung, Aufnahmedatum, Quelle, IsNew, "
            "PicFileName, Bildbeschreibung from Fotos where FotoID = " +
                std::to_string(FotoID));
    if (q.Eof()) return std::nullopt;
    FotoRecord row;
    row.FotoID = q.AsInt32(0);
    row.Kurzname = q.AsString(1);
    row.RW = TextOrNull(q, 2);
    row.HW = TextOrNull(q, 3);
    row.Blickrichtung = TextOrNull(q, 4);
    if (!q.IsNull(5)) {
      try {
        row.Aufnahmedatum = q.AsDateTime(5);
      } catch (const DbError&) {
        // A date the driver cannot read is shown as none.
      }
    }
    row.Quelle = q.AsString(6);
    if (!q.IsNull(7)) {
      try {
        row.IsNew = q.AsInt32(7);
      } catch (const DbError&) {
      }
    }
    row.PicFileName = q.AsString(8);
    row.Bildbeschreibung = q.AsString(9);
    return row;
  }

  int32_t GetFotoID() override {
    TdmFotoverwaltung& module = ::EnsureFotoverwaltung();
    module.Fotos().Refresh();
    return module.GetFotoID();
  }

  void PostFoto(const FotoRecord& row) override {
    platform::db::Table& fotos = ::EnsureFotoverwaltung().Fotos();
    fotos.Refresh();
    if (fotos.Locate("FotoID", Value(row.FotoID))) {
      fotos.Edit();
    } else {
      fotos.Append();
    }
    try {
      fotos.SetFieldByName("FotoID", Value(row.FotoID));
      fotos.SetFieldByName("RW", WholeNumber(row.RW, "RW"));
      fotos.SetFieldByName("HW", WholeNumber(row.HW, "HW"));
      fotos.SetFieldByName("PicFileName", Value(row.PicFileName));
      fotos.SetFieldByName("Kurzname", Value(row.Kurzname));
      fotos.SetFieldByName("Aufnahmedatum",
                           row.Aufnahmedatum ? Value(*row.Aufnahmedatum) : Value());
      fotos.SetFieldByName("Blickrichtung", WholeNumber(row.Blickrichtung, "Blickrichtung"));
      fotos.SetFieldByName("Quelle", Value(row.Quelle));
      fotos.SetFieldByName("Bildbeschreibung", Value(row.Bildbeschreibung));
      fotos.SetFieldByName("IsNew", row.IsNew ? Value(*row.IsNew) : Value());
      fotos.Post();
    } catch (...) {
      fotos.Cancel();
      throw;
    }
  }

  std::vector<std::string> PicFileNames() override {
    std::vector<std::string> names;
    Query q(::EnsureFotoverwaltung().ProjectConnection(),
            "select PicFileName from Fotos where PicFileName is not null");
    for (; !q.Eof(); q.Next()) names.push_back(q.AsString(0));
    return names;
  }

  int32_t TaskObject() override { return task_.lngFvKARTULID; }
  int32_t PKeyFoto() override { return task_.iFvPKeyFoto; }
  void SetPKeyFoto(int32_t pkey) override { task_.iFvPKeyFoto = pkey; }

 private:
  PhotoTask& task_;
};

}  // namespace

std::unique_ptr<DialogTools::FotoKatalog> MakeFotoKatalog(PhotoTask& task) {
  return std::make_unique<Katalog>(task);
}
