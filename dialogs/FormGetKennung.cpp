#include "dialogs/FormGetKennung.h"

#include "platform/ui/Ui.h"

using platform::ui::Button;
using platform::ui::CheckBox;
using platform::ui::Edit;
using platform::ui::GroupBox;
using platform::ui::Label;
using platform::ui::ListBox;
using platform::ui::ModalResult;

TformGetKennung::TformGetKennung(bool tk_filter)
    : Form("TformGetKennung", "Kennung wählen"),
      Label1(Add<Label>("Label1", "Bearbeitetes Objekt:")),
      lblOriginalKennung(Add<Label>("lblOriginalKennung", "")),
      GroupBox1(Add<GroupBox>("GroupBox1", " zulässige Kennungen ")),
      lbKennungen(Add<ListBox>("lbKennungen", true)),
      BtnOK(Add<Button>("BtnOK", "Kennung übernehmen", ModalResult::kOk)),
      BtnCancel(Add<Button>("BtnCancel", "nicht übernehmen", ModalResult::kCancel)),
      Button1(Add<Button>("Button1", "Abbrechen", ModalResult::kAbortAll)) {
  lbKennungen.parent = GroupBox1.Name();
  BtnOK.is_default = true;
  BtnCancel.is_cancel = true;
  if (!tk_filter) return;
  Label2 = &Add<Label>("Label2", "TK-Blatt:");
  EditTKBlatt = &Add<Edit>("EditTKBlatt");
  btnRequery = &Add<Button>("btnRequery", "aktualisieren", ModalResult::kNone);
  cbAktiviereFilter = &Add<CheckBox>("cbAktiviereFilter", "TK-Filter aktivieren");
  const DialogTools::TKFilterSettings settings = DialogTools::TKFilterSettings::Load();
  EditTKBlatt->text = settings.tk_blatt;
  cbAktiviereFilter->checked = settings.aktiv;
  btnRequery->on_click = [this] { FuelleAuswahlliste(); };
  BtnOK.on_click = [this] {
    DialogTools::TKFilterSettings{EditTKBlatt->text, cbAktiviereFilter->checked}.Save();
  };
}

bool TformGetKennung::TKFilter(const std::string& kennung) const {
  if (cbAktiviereFilter == nullptr) return true;
  return DialogTools::TKFilterSettings{EditTKBlatt->text, cbAktiviereFilter->checked}.Passes(
      kennung);
}

void TformGetKennung::InsertKennungInList(const std::string& kennung) {
  if (!kennung.starts_with(prefix_) || !TKFilter(kennung)) return;
  lbKennungen.Add(kennung);
}

int TformGetKennung::FuelleAuswahlliste() {
  lbKennungen.updating = true;
  lbKennungen.Clear();
  if (table_ != nullptr) {
    for (const std::string& kennung : table_->FreeKennungen(tid_)) InsertKennungInList(kennung);
  }
  lbKennungen.updating = false;
  if (lbKennungen.Count() == 0) {
    platform::ui::MessageBox(platform::ui::MsgKind::kWarning,
                             "Es sind keine gültigen Kennungen im angegebenen\n\r Kartenblatt für "
                             "die Zieltransaktion definiert!");
  }
  return lbKennungen.Count();
}
