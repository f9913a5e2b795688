#include "dialogs/FormGetTID.h"

using platform::ui::Button;
using platform::ui::Label;
using platform::ui::ListBox;
using platform::ui::ModalResult;

TFormGetTID::TFormGetTID()
    : Form("TFormGetTID", "Transaktion wählen"),
      Label1(Add<Label>("Label1", "Bitte wählen Sie eine Transaktionsnummer")),
      lbTID(Add<ListBox>("lbTID")),
      BtnOK(Add<Button>("BtnOK", "OK", ModalResult::kOk)),
      BtnCancel(Add<Button>("BtnCancel", "Keine TID", ModalResult::kCancel)) {
  BtnOK.is_default = true;
  BtnCancel.is_cancel = true;
}
