#include "dialogs/FormGetKennung.h"

using platform::ui::Button;
using platform::ui::GroupBox;
using platform::ui::Label;
using platform::ui::ListBox;
using platform::ui::ModalResult;

TformGetKennung::TformGetKennung()
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
}
