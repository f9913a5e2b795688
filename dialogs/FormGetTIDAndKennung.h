// "Kennung für neues Objekt" (general rule set): the mapper picks the
// transaction and one of its free identifiers that fit the class of the
// object about to be created. "Keine TID" keeps the identifier without a
// transaction; "Abbrechen" drops both.
#pragma once

#include <cstdint>
#include <string>

#include "dialogs/DialogTools.h"
#include "platform/ui/Form.h"

class TFormGetTIDAndKennung : public platform::ui::Form {
 public:
  // The pool is asked whenever another transaction is picked; it must
  // outlive the form.
  // With `tk_filter` (TransactHooks) the form carries the map-sheet filter.
  explicit TFormGetTIDAndKennung(DialogTools::KennungPool& pool, bool tk_filter = false);

  // Refills the identifier list when another transaction is selected.
  void lbTransActionsClick();
  // OK is possible exactly while an identifier is selected.
  void UpdateMenuItems();
  // The map-sheet filter (only with it): true when the box is unchecked,
  // else when the identifier's second "-" field is the typed map sheet.
  bool TKFilter(const std::string& kennung) const;
  // Remembers map sheet and filter box before the form closes with OK.
  void BtnOKClick();

  platform::ui::GroupBox& GroupBox1;
  platform::ui::ListBox& lbTransActions;
  platform::ui::GroupBox& GroupBox2;
  platform::ui::ListBox& lbKennungen;
  platform::ui::Button& BtnOK;
  platform::ui::Button& BtnNoTID;
  platform::ui::Button& BtnCancel;
  // The filter's controls, null without it.
  platform::ui::Label* Label1 = nullptr;
  platform::ui::Edit* EditTKBlatt = nullptr;
  platform::ui::Button* btnRequery = nullptr;
  platform::ui::CheckBox* cbAktiviereFilter = nullptr;

  // No transaction is listed at first, so that the first click fills the
  // list whatever its TID (also 0).
  int32_t AktTID = -1;
  int32_t lngOKLToBeCreated = 0;

 private:
  void Fill(int32_t tid);
  DialogTools::KennungPool& pool_;
};
