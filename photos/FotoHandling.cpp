#include "photos/FotoHandling.h"

#include "host/HostApi.h"
#include "host/Tools.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "platform/env/Env.h"
#include "platform/text/Strings.h"
#include "platform/ui/Ui.h"

using platform::ui::MsgButtons;
using platform::ui::MsgKind;

namespace {

constexpr const char* kLinks = "Objektphotos";

// A file name inside the picture folder: no folder of its own, no way out.
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

// Whether another catalogue row names the file, as Windows names files:
// without regard to case.
bool FileNamedElsewhere(platform::db::Connection& db, int32_t FotoID, const std::string& file) {
  platform::db::Query query(db, "select count(*) from Fotos where FotoID <> " +
                                    std::to_string(FotoID) + " and lower(PicFileName) = lower('" +
                                    platform::db::SqlText(file) + "')");
  return !query.Eof() && query.AsInt64(0) > 0;
}

}  // namespace

void ProcessFotoProc() {
  PhotoTask& task = FotoTask();
  if (task.blnFotoVerwaltungAktiv) return;
  try {
    EnsureFotoverwaltung();
    task.blnFotoVerwaltungAktiv = true;
    HandleFoto();
  } catch (...) {
    // No task stays half open: the next photo command starts afresh.
    CloseFotoverwaltung();
    throw;
  }
}

void HandleFoto() {
  PhotoTask& task = FotoTask();
  task.lngFvKARTULID = host::ActiveObject();
  if (task.lngFvKARTULID <= 0) {
    CloseFotoverwaltung();
    return;
  }
  int32_t photo_id = 0;
  if (!Tools::MyGetIntValueByNameEx(kLinks, "PhotoID", photo_id)) photo_id = 0;
  task.iFvFotoID = photo_id;
  if (task.iFvFotoID != 0 && EnsureFotoverwaltung().FotoWirdVerwendet(task.iFvFotoID) >= 2 &&
      platform::ui::MessageBox(
          MsgKind::kWarning,
          "Das ausgewählte Foto ist auch mit mindestens einem anderen Objekt verknüpft. "
          "Änderungen daran wirken sich auch auf andere Objekt aus! Möglicherweise ist es besser, "
          "den Datensatz zu löschen und ein neues Foto hinzuzufügen. Mit der Bearbeitung "
          "fortfahren?",
          MsgButtons::kYesNo) != platform::ui::MsgAnswer::kYes) {
    CloseFotoverwaltung();
    return;
  }
  if (!task.fvControlForm) {
    if (!task.katalog) task.katalog = MakeFotoKatalog(task);
    task.fvControlForm = std::make_unique<TFormEditFoto>(*task.katalog);
  }
  task.fvControlForm->lngOKL = host::ClassOf(task.lngFvKARTULID);
  task.fvControlForm->InitControls(task.iFvFotoID);
  task.fvControlForm->Show();
}

void DeleteFoto() {
  int32_t FotoID = 0;
  if (!Tools::MyGetIntValueByNameEx(kLinks, "PhotoID", FotoID)) FotoID = 0;
  TdmFotoverwaltung& module = EnsureFotoverwaltung();
  // The row that goes is still counted: more than it links the photo still.
  if (module.FotoWirdVerwendet(FotoID) > 1) return;
  platform::db::Connection& db = module.ProjectConnection();
  std::string file;
  {
    platform::db::Query row(
        db, "select IsNew, PicFileName from Fotos where FotoID = " + std::to_string(FotoID));
    if (row.Eof()) return;
    // Only a photo taken in locally is the project's to delete.
    if (row.IsNull(0) || row.AsInt32(0) != 3) return;
    file = row.AsString(1);
  }
  db.Execute("delete from Fotos where FotoID = " + std::to_string(FotoID));
  module.Fotos().Refresh();
  if (file.empty() || FileNamedElsewhere(db, FotoID, file)) return;
  if (!IsPlainFileName(file)) {
    platform::ui::MessageBox(MsgKind::kWarning,
                             "Der Dateiname \"" + file + "\" des Fotos " + std::to_string(FotoID) +
                                 " nennt keine Datei im Fotoordner. Es wird keine Datei gelöscht.");
    return;
  }
  platform::env::Env& env = platform::env::Env::Current();
  const std::string folder = FotoDir();
  const std::optional<std::string> real = platform::env::FindNoCase(env, folder, file);
  if (!real) return;  // a missing picture is no error
  try {
    env.Remove(folder + *real);
  } catch (const platform::env::EnvError& e) {
    platform::ui::MessageBox(MsgKind::kWarning, "Die Bilddatei " + folder + *real +
                                                    " konnte nicht gelöscht werden: " + e.Reason());
  }
}

void CorrectHauptfotoProc(const std::string& AktValue) {
  if (!Tools::MyStrToBool(AktValue)) return;
  int32_t akt_pkey = Tools::MyGetIntValueByName(kLinks, "PKEY");
  if (akt_pkey < 0) {
    // A row not saved yet has no key to come back to: saved first, it has.
    host::PostRecord(kLinks);
    akt_pkey = Tools::MyGetIntValueByName(kLinks, "PKEY");
  }
  host::DisableControls(kLinks);
  struct Enable {
    ~Enable() { host::EnableControls(kLinks); }
  } enable;
  host::TableFirst(kLinks);
  for (int step = 0; step < kMaxLinkRows && !host::TableEOF(kLinks); ++step) {
    if (Tools::MyGetIntValueByName(kLinks, "PKEY") != akt_pkey) {
      Tools::MySetValueByName(kLinks, "Hauptphoto", "FALSCH");
    }
    host::TableNext(kLinks);
  }
  // The mapper stays on the row being edited.
  host::TableFirst(kLinks);
  for (int step = 0;
       step < kMaxLinkRows && Tools::MyGetIntValueByName(kLinks, "PKEY") != akt_pkey &&
       !host::TableEOF(kLinks);
       ++step) {
    host::TableNext(kLinks);
  }
}

void FreeControlForm() {
  PhotoTask& task = FotoTask();
  try {
    // Closed first, so that a temporary point it placed goes with it and
    // does not stay in the project.
    if (task.fvControlForm && task.fvControlForm->Showing()) {
      task.fvControlForm->Close(platform::ui::ModalResult::kCancel);
    }
  } catch (...) {
  }
  try {
    task.fvControlForm.reset();
  } catch (...) {
  }
  try {
    if (task.GlobaldmFotoverwaltung) task.GlobaldmFotoverwaltung->ClosePrjDatabase();
    task.GlobaldmFotoverwaltung.reset();
  } catch (...) {
  }
}
