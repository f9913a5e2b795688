// "Kennung für neues Objekt" of the "BRB" rule set: like the general chooser,
// with a filter on the map sheet (TK-Blatt, the second "-" field of an
// identifier) that the project file remembers between creations.
#pragma once

#include <cstdint>
#include <string>

#include "dialogs/DialogTools.h"
#include "platform/ui/Form.h"

class TFormGetTIDAndKennungNeu : public platform::ui::Form {
 public:
  // The pool is asked whenever the list is refilled; it must outlive the form.
  explicit TFormGetTIDAndKennungNeu(DialogTools::KennungPool& pool);

  void FormCreate();
  // Refills the identifier list, also for the same transaction, so that
  // "aktualisieren" applies a changed map sheet or filter box.
  void lbTransactionsClick();
  void UpdateMenuItems();
  bool TKFilter(const std::string& kennung) const;
  void BtnOKClick();

  platform::ui::GroupBox& GroupBox1;
  platform::ui::ListBox& lbTransactions;
  platform::ui::Label& Label1;
  platform::ui::Edit& EditTKBlatt;
  platform::ui::Button& btnRequery;
  platform::ui::CheckBox& cbAktiviereFilter;
  platform::ui::GroupBox& GroupBox2;
  platform::ui::ListBox& lbKennungen;
  platform::ui::Button& BtnOK;
  platform::ui::Button& BtnNoTID;
  platform::ui::Button& BtnCancel;

  int32_t AktTID = 0;
  int32_t lngOKLToBeCreated = 0;
  std::string mBundesland;

 private:
  DialogTools::KennungPool& pool_;
};
