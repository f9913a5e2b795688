// The transaction chooser "Transaktion wählen": one entry per transaction,
// OK takes the selected one.
#pragma once

#include <cstdint>

#include "platform/ui/Form.h"

class TFormGetTID : public platform::ui::Form {
 public:
  TFormGetTID();

  platform::ui::Label& Label1;
  platform::ui::ListBox& lbTID;
  platform::ui::Button& BtnOK;
  platform::ui::Button& BtnCancel;

  int32_t selectedTID = -1;
};
