#include "dialogs/FormGetTIDAndKennung.h"

#include "dialogs/DialogTools.h"

using platform::ui::Button;
using platform::ui::GroupBox;
using platform::ui::ListBox;
using platform::ui::ModalResult;

TFormGetTIDAndKennung::TFormGetTIDAndKennung(DialogTools::KennungPool& pool, bool tk_filter)
    : Form("TFormGetTIDAndKennung", "Kennung für neues Objekt"),
      GroupBox1(Add<GroupBox>("GroupBox1", " Transaktion ")),
      lbTransActions(Add<ListBox>("lbTransActions")),
      GroupBox2(Add<GroupBox>("GroupBox2", " Kennung ")),
      lbKennungen(Add<ListBox>("lbKennungen", true)),
      BtnOK(Add<Button>("BtnOK", "Kennung übernehmen", ModalResult::kOk)),
      BtnNoTID(Add<Button>("BtnNoTID", "Keine TID", ModalResult::kIgnore)),
      BtnCancel(Add<Button>("BtnCancel", "Abbrechen", ModalResult::kCancel)),
      pool_(pool) {
  lbTransActions.parent = GroupBox1.Name();
  lbKennungen.parent = GroupBox2.Name();
  lbTransActions.on_click = [this] { lbTransActionsClick(); };
  lbKennungen.on_click = [this] { UpdateMenuItems(); };
  if (tk_filter) {
    Label1 = &Add<platform::ui::Label>("Label1", "TK-Blatt:");
    EditTKBlatt = &Add<platform::ui::Edit>("EditTKBlatt");
    btnRequery = &Add<Button>("btnRequery", "aktualisieren", ModalResult::kNone);
    cbAktiviereFilter = &Add<platform::ui::CheckBox>("cbAktiviereFilter", "TK-Filter aktivieren");
    for (platform::ui::Control* c : {static_cast<platform::ui::Control*>(Label1),
                                     static_cast<platform::ui::Control*>(EditTKBlatt),
                                     static_cast<platform::ui::Control*>(btnRequery),
                                     static_cast<platform::ui::Control*>(cbAktiviereFilter)}) {
      c->parent = GroupBox1.Name();
    }
    const DialogTools::TKFilterSettings settings = DialogTools::TKFilterSettings::Load();
    EditTKBlatt->text = settings.tk_blatt;
    cbAktiviereFilter->checked = settings.aktiv;
    // "aktualisieren" applies a changed map sheet or box to the same
    // transaction.
    btnRequery->on_click = [this] {
      Fill(AktTID);
      UpdateMenuItems();
    };
    BtnOK.on_click = [this] { BtnOKClick(); };
  }
  UpdateMenuItems();
}

bool TFormGetTIDAndKennung::TKFilter(const std::string& kennung) const {
  if (cbAktiviereFilter == nullptr) return true;
  return DialogTools::TKFilterSettings{EditTKBlatt->text, cbAktiviereFilter->checked}.Passes(
      kennung);
}

void TFormGetTIDAndKennung::BtnOKClick() {
  if (cbAktiviereFilter == nullptr) return;
  DialogTools::TKFilterSettings{EditTKBlatt->text, cbAktiviereFilter->checked}.Save();
}

void TFormGetTIDAndKennung::Fill(int32_t tid) {
  // The general rule set always applies the class prefixes, whatever the
  // state code says.
  if (cbAktiviereFilter == nullptr) {
    DialogTools::FillKennungList(lbKennungen, pool_, tid, lngOKLToBeCreated, "");
  } else {
    DialogTools::FillKennungList(lbKennungen, pool_, tid, lngOKLToBeCreated, "",
                                 [this](const std::string& K) { return TKFilter(K); });
  }
}

void TFormGetTIDAndKennung::UpdateMenuItems() {
  BtnOK.enabled = lbKennungen.item_index >= 0;
}

void TFormGetTIDAndKennung::lbTransActionsClick() {
  const int32_t tid = DialogTools::TIDOfEntry(lbTransActions.SelectedText());
  if (tid == AktTID) return;
  AktTID = tid;
  Fill(tid);
  UpdateMenuItems();
}
