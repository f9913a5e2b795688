// The photo dialog's access to the catalogue and the running photo task:
// reads go by statement, so they see what another program wrote since the
// table was opened; the row is written through the table object, which
// stores dates as the project database keeps them.
#include <cerrno>
#include <optional>
#include <unordered_set>

#include "host/Tools.h"
#include "photos/FVTools.h"
#include "platform/db/Connection.h"
#include "platform/env/Env.h"
#include "platform/text/Strings.h"

namespace env = platform::env;
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

  std::optional<DialogTools::ChosenPicture> OpenPicture(const std::string& path,
                                                        std::string& why) override {
    env::Env& e = env::Env::Current();
    const std::string file = "Die Datei \"" + path + "\"";
    try {
      const std::optional<env::FileStatus> named = e.LinkStatus(path);
      if (!named) {
        why = "Die Bilddatei \"" + path + "\" gibt es nicht.";
        return std::nullopt;
      }
      if (!named->IsRegular()) {
        // A link is told by the name standing for another file when
        // followed (or for none).
        const std::optional<env::FileStatus> followed = e.Stat(path);
        const bool link = !followed || !followed->SameFile(*named);
        why = named->IsFolder() ? "\"" + path + "\" ist ein Ordner und keine Bilddatei."
              : link            ? file +
                           " ist eine Verknüpfung. Es werden nur Bilddateien selbst "
                           "übernommen; bitte wählen Sie die Datei, auf die sie zeigt."
                     : file + " ist keine gewöhnliche Datei und wird nicht übernommen.";
        return std::nullopt;
      }
      DialogTools::ChosenPicture picture;
      picture.path = path;
      picture.file = e.Open(path, env::OpenMode::kReadNoLink);
      picture.checked = picture.file->Status();
      // Put under the name between the look and the opening.
      if (!picture.checked.IsRegular() || !picture.checked.SameFile(*named)) {
        why = file + " wurde eben ersetzt und wird nicht übernommen; bitte wählen Sie sie erneut.";
        return std::nullopt;
      }
      return picture;
    } catch (const env::EnvError& error) {
      why = error.Code() == ELOOP
                ? file +
                      " ist eine Verknüpfung. Es werden nur Bilddateien selbst übernommen; "
                      "bitte wählen Sie die Datei, auf die sie zeigt."
                : "Die Bilddatei \"" + path + "\" kann nicht gelesen werden: " + error.Reason();
      return std::nullopt;
    }
  }

  std::optional<std::string> StorePicture(DialogTools::ChosenPicture& picture,
                                          const std::string& target) override {
    env::Env& e = env::Env::Current();
    const std::string refused = "Die Bilddatei \"" + picture.path +
                                "\" wurde ersetzt oder verändert, seit sie ausgewählt wurde, und "
                                "wird nicht übernommen. Bitte wählen Sie das Bild erneut aus.";
    // The name must still stand for the file checked: a file swapped for
    // another, or for a link, is told, not taken.
    try {
      const std::optional<env::FileStatus> named = e.LinkStatus(picture.path);
      if (!named || !named->IsRegular() || !named->SameFile(picture.checked)) return refused;
    } catch (const env::EnvError&) {
      return refused;
    }
    env::CopyJob job(picture.path, target);
    job.source = picture.file.get();
    job.expect = picture.checked;
    const std::vector<std::string> errors = env::CopyFiles(e, {job});
    if (errors.front().empty()) return std::nullopt;
    const env::FileStatus now = picture.file->Status();
    if (now.size != picture.checked.size || now.mtime_ns != picture.checked.mtime_ns) {
      return refused;
    }
    return "Das Bild \"" + picture.path + "\" konnte nicht in den Fotoordner kopiert werden (" +
           errors.front() + ").";
  }

  std::string FreePictureName() override {
    // As Windows compares names: without regard to case.
    std::unordered_set<std::string> taken;
    const std::string folder = Tools::MyGetProjectDir() + "KTPhotos";
    try {
      for (const std::string& name : env::Env::Current().ListFolder(folder))
        taken.insert(platform::text::ToLowerAscii(name));
    } catch (const env::EnvError&) {
      // An unreadable folder fails the copy with its reason.
    }
    for (const std::string& name : PicFileNames()) taken.insert(platform::text::ToLowerAscii(name));
    int64_t n = 1;
    while (taken.count("ktfoto" + std::to_string(n) + ".jpg") != 0) ++n;
    return "KTFoto" + std::to_string(n) + ".jpg";
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
