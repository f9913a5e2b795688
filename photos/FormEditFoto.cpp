#include "photos/FormEditFoto.h"

#include "host/Tools.h"
#include "photos/FVTools.h"

using platform::ui::Button;
using platform::ui::Edit;
using platform::ui::Label;
using platform::ui::ModalResult;

const char* PictureStateText(int32_t state) {
  switch (state) {
    case 1:
      return "noch nicht importiert";
    case 2:
      return "aus VANDRA importiert";
    case 3:
      return "lokal importiert";
    default:
      return "unbekannt";
  }
}

TFormEditFoto::TFormEditFoto()
    : Form("TFormEditFoto", "Objektfoto bearbeiten"),
      Label6(Add<Label>("Label6", "Kurzname:")),
      eKurzname(Add<Edit>("eKurzname")),
      Label9(Add<Label>("Label9", "Dateiname:")),
      editFilename(Add<Edit>("editFilename")),
      Label8(Add<Label>("Label8", "Bildstatus:")),
      lblPictureState(Add<Label>("lblPictureState", "")),
      Label7(Add<Label>("Label7", "Kein Bild ausgewählt")),
      btnCancel(Add<Button>("btnCancel", "Abbrechen", ModalResult::kCancel)) {
  stay_on_top = true;
  eKurzname.read_only = true;
  editFilename.read_only = true;
  btnCancel.is_cancel = true;
  btnCancel.on_click = [this] { btnCancelClick(); };
}

void TFormEditFoto::InitControls(int32_t FotoID) {
  PhotoTask& task = FotoTask();
  task.iFvPKeyFoto = Tools::MyGetIntValueByName("Objektphotos", "PKEY");
  OrgFotoID = FotoID;
  PictureState = 1;
  eKurzname.text.clear();
  editFilename.text.clear();
  Label7.visible = true;
  if (FotoID != 0) {
    platform::db::Table& fotos = EnsureFotoverwaltung().Fotos();
    if (fotos.Locate("FotoID", FotoID)) {
      eKurzname.text = fotos.FieldByName("Kurzname").AsString();
      editFilename.text = fotos.FieldByName("PicFileName").AsString();
      // Every stored state but a local photo's is the central system's.
      PictureState = fotos.FieldByName("IsNew").AsInt32() == 3 ? 3 : 2;
      Label7.visible = editFilename.text.empty();
    }
  }
  lblPictureState.caption = PictureStateText(PictureState);
}

void TFormEditFoto::btnCancelClick() {
  Close(ModalResult::kCancel);
}

void TFormEditFoto::FormClose() {
  CloseFotoverwaltung();
}
