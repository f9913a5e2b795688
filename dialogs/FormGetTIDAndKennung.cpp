#include "dialogs/FormGetTIDAndKennung.h"

#include "dialogs/DialogTools.h"

using platform::ui::Button;
using platform::ui::GroupBox;
using platform::ui::ListBox;
using platform::ui::ModalResult;

TFormGetTIDAndKennung::TFormGetTIDAndKennung(DialogTools::KennungPool& pool)
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
  UpdateMenuItems();
}

void TFormGetTIDAndKennung::UpdateMenuItems() {
  BtnOK.enabled = lbKennungen.item_index >= 0;
}

void TFormGetTIDAndKennung::lbTransActionsClick() {
  const int32_t tid = DialogTools::TIDOfEntry(lbTransActions.SelectedText());
  if (tid == AktTID) return;
  AktTID = tid;
  // The general rule set always applies the class prefixes, whatever the
  // state code says.
  DialogTools::FillKennungList(lbKennungen, pool_, tid, lngOKLToBeCreated, "");
  UpdateMenuItems();
}
