// The identifier chooser "Kennung wählen" for an existing object: the
// permitted identifiers, sorted. "Abbrechen" aborts the whole operation, a
// result distinct from "nicht übernehmen".
//
// In TransactHooks the chooser fills its own list from the transaction's
// pool (SetKennungstabelle, SetOKLPrefix, SetTransaktionsID,
// FuelleAuswahlliste) and carries the map-sheet filter of the creation
// chooser, remembered in the project file.
#pragma once

#include <cstdint>
#include <string>

#include "dialogs/DialogTools.h"
#include "platform/ui/Form.h"

class TformGetKennung : public platform::ui::Form {
 public:
  // With `tk_filter` the form carries the map-sheet filter's controls.
  explicit TformGetKennung(bool tk_filter = false);

  // Where the list comes from: the pool (which must outlive the form), the
  // class's identifier prefix (empty: every identifier fits) and the
  // transaction.
  void SetKennungstabelle(DialogTools::KennungTable& table) { table_ = &table; }
  void SetOKLPrefix(std::string prefix) { prefix_ = std::move(prefix); }
  void SetTransaktionsID(int32_t tid) { tid_ = tid; }
  // Refills the list with every identifier of the transaction's pool that
  // fits the prefix and passes the filter; warns when none does. Answers
  // how many were listed.
  int FuelleAuswahlliste();
  void InsertKennungInList(const std::string& kennung);
  bool TKFilter(const std::string& kennung) const;

  platform::ui::Label& Label1;
  platform::ui::Label& lblOriginalKennung;
  platform::ui::GroupBox& GroupBox1;
  platform::ui::ListBox& lbKennungen;
  platform::ui::Button& BtnOK;
  platform::ui::Button& BtnCancel;
  platform::ui::Button& Button1;
  // The filter's controls, null without it.
  platform::ui::Label* Label2 = nullptr;
  platform::ui::Edit* EditTKBlatt = nullptr;
  platform::ui::Button* btnRequery = nullptr;
  platform::ui::CheckBox* cbAktiviereFilter = nullptr;

 private:
  DialogTools::KennungTable* table_ = nullptr;
  std::string prefix_;
  int32_t tid_ = -1;
};
