#include "dialogs/FormGetGKStreifen.h"

using platform::ui::Button;
using platform::ui::Label;
using platform::ui::ModalResult;
using platform::ui::RadioGroup;

TFormGetGKStreifen::TFormGetGKStreifen()
    : Form("TFormGetGKStreifen", "GK-Streifen "),
      Label1(Add<Label>("Label1", "Der Gauß-Krüger-Streifen des aktuellen ")),
      Label2(Add<Label>("Label2", "Projekts konnte nicht automatisch")),
      Label3(Add<Label>("Label3", "ermittelt werden. Bitte geben Sie den")),
      Label4(Add<Label>("Label4", "richtigen Streifen ein.")),
      RadioGroup1(Add<RadioGroup>("RadioGroup1", " Gauß-Krüger-Streifen des Projekts ")),
      BitBtn1(Add<Button>("BitBtn1", "OK", ModalResult::kOk)) {
  RadioGroup1.items = {"Gauß-Krüger 2er Streifen", "Gauß-Krüger 3erStreifen"};
  BitBtn1.is_default = true;
}
