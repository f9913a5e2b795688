// "Befunde des Check-Ins": the objects the check-in program's log names,
// each with its finding, offered for selection in the host. The check-in
// dialog shows it after a run whose log names objects, when applicat.ini's
// VANDRA/CheckInBefunde is above 0; the mapper then finds each object on the
// map instead of searching for it by hand.
#pragma once

#include <string>
#include <vector>

#include "dialogs/CheckInBefund.h"
#include "platform/ui/Form.h"

class TFormCheckInBefunde : public platform::ui::Form {
 public:
  // `truncated`: the log named more objects than are listed.
  TFormCheckInBefunde(const std::vector<DialogTools::CheckInBefund>& befunde, bool truncated);

  // Selects in the host the objects of the findings (of the chosen one
  // only, when one is chosen) and tells which the project does not have.
  void BtnSelektierenClick();

  platform::ui::Label& Label1;
  platform::ui::ListBox& lbBefunde;
  platform::ui::Label& LabelHinweis;
  platform::ui::Button& BtnSelektieren;
  platform::ui::Button& BtnSchliessen;

 private:
  std::vector<DialogTools::CheckInBefund> befunde_;
};

// Whether the mapper asked for the findings to be offered.
bool CheckInBefundeEnabled();
