// The identifier chooser "Kennung wählen" for an existing object: the
// permitted identifiers, sorted. "Abbrechen" aborts the whole operation, a
// result distinct from "nicht übernehmen".
#pragma once

#include "platform/ui/Form.h"

class TformGetKennung : public platform::ui::Form {
 public:
  TformGetKennung();

  platform::ui::Label& Label1;
  platform::ui::Label& lblOriginalKennung;
  platform::ui::GroupBox& GroupBox1;
  platform::ui::ListBox& lbKennungen;
  platform::ui::Button& BtnOK;
  platform::ui::Button& BtnCancel;
  platform::ui::Button& Button1;
};
