// "Kennung für neues Objekt" (general rule set): the mapper picks the
// transaction and one of its free identifiers that fit the class of the
// object about to be created. "Keine TID" keeps the identifier without a
// transaction; "Abbrechen" drops both.
#pragma once

#include <cstdint>

#include "dialogs/DialogTools.h"
#include "platform/ui/Form.h"

class TFormGetTIDAndKennung : public platform::ui::Form {
 public:
  // The pool is asked whenever another transaction is picked; it must
  // outlive the form.
  explicit TFormGetTIDAndKennung(DialogTools::KennungPool& pool);

  // Refills the identifier list when another transaction is selected.
  void lbTransActionsClick();
  // OK is possible exactly while an identifier is selected.
  void UpdateMenuItems();

  platform::ui::GroupBox& GroupBox1;
  platform::ui::ListBox& lbTransActions;
  platform::ui::GroupBox& GroupBox2;
  platform::ui::ListBox& lbKennungen;
  platform::ui::Button& BtnOK;
  platform::ui::Button& BtnNoTID;
  platform::ui::Button& BtnCancel;

  // No transaction is listed at first, so that the first click fills the
  // list whatever its TID (also 0).
  int32_t AktTID = -1;
  int32_t lngOKLToBeCreated = 0;

 private:
  DialogTools::KennungPool& pool_;
};
