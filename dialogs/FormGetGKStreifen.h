// Asks for the Gauss-Krüger strip of the project when it cannot be told from
// the coordinates: item 0 is strip 2, item 1 strip 3.
#pragma once

#include "platform/ui/Form.h"

class TFormGetGKStreifen : public platform::ui::Form {
 public:
  TFormGetGKStreifen();

  platform::ui::Label& Label1;
  platform::ui::Label& Label2;
  platform::ui::Label& Label3;
  platform::ui::Label& Label4;
  platform::ui::RadioGroup& RadioGroup1;
  platform::ui::Button& BitBtn1;
};
