#include "photos/FotoHandling.h"

#include "host/HostApi.h"
#include "host/Tools.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/PhotoIntake.h"
#include "photos/PictureName.h"
#include "platform/env/Env.h"
#include "platform/text/Strings.h"
#include "platform/ui/Ui.h"

using platform::ui::MsgButtons;
using platform::ui::MsgKind;

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
  task.iFvFotoID = LinkRows::CurrentPhotoID();
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
    if (!task.actions) task.actions = MakeFotoActions(task);
    task.fvControlForm = std::make_unique<TFormEditFoto>(*task.actions);
  }
  task.fvControlForm->lngOKL = host::ClassOf(task.lngFvKARTULID);
  task.fvControlForm->InitControls(task.iFvFotoID);
  task.fvControlForm->Show();
}

void DeleteFoto() {
  const int32_t FotoID = LinkRows::CurrentPhotoID();
  TdmFotoverwaltung& module = EnsureFotoverwaltung();
  // The row that goes is still counted: more than it links the photo still.
  if (module.FotoWirdVerwendet(FotoID) > 1) return;
  const std::optional<std::string> file = module.DeleteLocalFoto(FotoID);
  if (!file || file->empty() || module.FileNamedElsewhere(FotoID, *file)) return;
  if (!UsablePictureName(*file)) {
    platform::ui::MessageBox(MsgKind::kWarning,
                             "Der Dateiname \"" + *file + "\" des Fotos " + std::to_string(FotoID) +
                                 " nennt keine Datei im Fotoordner. Es wird keine Datei gelöscht.");
    return;
  }
  platform::env::Env& env = platform::env::Env::Current();
  const std::string folder = FotoDir();
  const std::optional<std::string> real = platform::env::FindNoCase(env, folder, *file);
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
  int32_t akt_pkey = LinkRows::CurrentPKey();
  if (akt_pkey < 0) {
    // A row not saved yet has no key to come back to: saved first, it has.
    LinkRows::PostCurrent();
    akt_pkey = LinkRows::CurrentPKey();
  }
  LinkRows::ClearOtherMainPhotos(akt_pkey);
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
    if (GlobaldmFotoverwaltung()) GlobaldmFotoverwaltung()->ClosePrjDatabase();
    GlobaldmFotoverwaltung().reset();
  } catch (...) {
  }
}
