#include "dialogs/FormGetTIDAndKennungNeu.h"

#include <initializer_list>

#include "dialogs/DialogTools.h"
#include "host/Tools.h"
#include "platform/text/Strings.h"

using platform::ui::Button;
using platform::ui::CheckBox;
using platform::ui::Edit;
using platform::ui::GroupBox;
using platform::ui::Label;
using platform::ui::ListBox;
using platform::ui::ModalResult;

TFormGetTIDAndKennungNeu::TFormGetTIDAndKennungNeu(DialogTools::KennungPool& pool)
    : Form("TFormGetTIDAndKennungNeu", "Kennung für neues Objekt"),
      GroupBox1(Add<GroupBox>("GroupBox1", " Transaktion ")),
      lbTransactions(Add<ListBox>("lbTransactions")),
      Label1(Add<Label>("Label1", "TK-Blatt:")),
      EditTKBlatt(Add<Edit>("EditTKBlatt")),
      btnRequery(Add<Button>("btnRequery", "aktualisieren", ModalResult::kNone)),
      cbAktiviereFilter(Add<CheckBox>("cbAktiviereFilter", "TK-Filter aktivieren")),
      GroupBox2(Add<GroupBox>("GroupBox2", " Kennung ")),
      lbKennungen(Add<ListBox>("lbKennungen", false)),
      BtnOK(Add<Button>("BtnOK", "Kennung übernehmen", ModalResult::kOk)),
      BtnNoTID(Add<Button>("BtnNoTID", "Keine TID", ModalResult::kIgnore)),
      BtnCancel(Add<Button>("BtnCancel", "Abbrechen", ModalResult::kCancel)),
      pool_(pool) {
  resizable = true;
  for (platform::ui::Control* c : std::initializer_list<platform::ui::Control*>{
           &lbTransactions, &Label1, &EditTKBlatt, &btnRequery, &cbAktiviereFilter}) {
    c->parent = GroupBox1.Name();
  }
  lbKennungen.parent = GroupBox2.Name();
  lbTransactions.on_click = [this] { lbTransactionsClick(); };
  btnRequery.on_click = [this] { lbTransactionsClick(); };
  lbKennungen.on_click = [this] { UpdateMenuItems(); };
  BtnOK.on_click = [this] { BtnOKClick(); };
  FormCreate();
}

void TFormGetTIDAndKennungNeu::FormCreate() {
  mBundesland.clear();
  EditTKBlatt.text = Tools::ReadStringFromProjectIni("Kennungsliste", "TK-Blatt", "");
  const int32_t filter_aktiv =
      platform::text::StrToInt(Tools::ReadStringFromProjectIni("Kennungsliste", "FilterAktiv", "0"))
          .value_or(0);
  cbAktiviereFilter.checked = filter_aktiv > 0;
  UpdateMenuItems();
}

void TFormGetTIDAndKennungNeu::UpdateMenuItems() {
  BtnOK.enabled = lbKennungen.item_index >= 0;
}

bool TFormGetTIDAndKennungNeu::TKFilter(const std::string& kennung) const {
  if (!cbAktiviereFilter.checked) return true;
  return platform::text::Trim(Tools::GetToken(kennung, '-', 2)) == EditTKBlatt.text;
}

void TFormGetTIDAndKennungNeu::lbTransactionsClick() {
  AktTID = DialogTools::TIDOfEntry(lbTransactions.SelectedText());
  DialogTools::FillKennungList(lbKennungen, pool_, AktTID, lngOKLToBeCreated, mBundesland,
                               [this](const std::string& K) { return TKFilter(K); });
  UpdateMenuItems();
}

void TFormGetTIDAndKennungNeu::BtnOKClick() {
  Tools::WriteStringToProjectIni("Kennungsliste", "TK-Blatt",
                                 platform::text::Trim(EditTKBlatt.text));
  Tools::WriteStringToProjectIni("Kennungsliste", "FilterAktiv",
                                 cbAktiviereFilter.checked ? "1" : "0");
}
