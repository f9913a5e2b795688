// "Objektkennung eingeben": the mapper composes an identifier of the "BRB"
// rule set from client code, number and map sheet, or types one. The dialog
// proposes the first serial not used in the project, refuses identifiers the
// project already has, and remembers the three parts in the project file.
#pragma once

#include "dialogs/DialogTools.h"
#include "platform/ui/Form.h"

class TFormGetKennungBB : public platform::ui::Form {
 public:
  // The composer proposes and tests identifiers; it must outlive the form.
  explicit TFormGetKennungBB(DialogTools::KennungComposer& composer);

  void FormShow() override;
  void btnCalcKennungClick();
  void btnOKClick();

  platform::ui::Label& Label1;
  platform::ui::Edit& EditAG;
  platform::ui::Label& Label3;
  platform::ui::Edit& EditNummer;
  platform::ui::UpDown& UpDownNummer;
  platform::ui::Label& Label2;
  platform::ui::Edit& EditKarte;
  platform::ui::Label& Label4;
  platform::ui::Edit& EditKennung;
  platform::ui::Button& btnCalcKennung;
  platform::ui::Button& btnOK;
  platform::ui::Button& btnStandard;

  // The year the composed identifier carries; the current one by default.
  int year;

 private:
  // Runs the proposal on the three fields; shows the check's message and
  // answers false when a check fails.
  bool Propose();
  void SaveAndClose();

  DialogTools::KennungComposer& composer_;
};
