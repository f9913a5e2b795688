// The status services: the transaction status of the active object in a
// message box, the selection of every object of one editing status across
// all transactions, and the plant list's status correction. They only read
// the transaction list.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/Form.h"

namespace StatusInfo {

// Plant-list objects carry this host class.
inline constexpr int32_t kPflanzenlisteKlasse = 7660160;

std::string GetStatusString(int32_t statusID);
void DoShowStatusInfo();
void DoSelectByStatus();
// Clears the plant list's status mark "e" of the active plant-list object.
void DeletePflanzenStatus();

}  // namespace StatusInfo

// "Status angeben": which editing status the objects to select have. It
// opens on the last choice, remembered in the registry when "Weiter" is
// pressed.
class TformGetStatus : public platform::ui::Form {
 public:
  TformGetStatus();

  void FormCreate();
  void BtnWeiterClick();

  platform::ui::Label& Label1;
  platform::ui::Label& Label2;
  platform::ui::RadioGroup& RadioGroup1;
  platform::ui::Button& BtnWeiter;
  platform::ui::Button& btnCancel;
};
