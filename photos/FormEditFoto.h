// "Objektfoto bearbeiten": the photo dialog, modeless, one per project. This
// first form of it shows the catalogue row of the photo the task was opened
// on, read-only, and ends the photo task when it closes; taking in,
// describing and placing a photo come with its full form.
#pragma once

#include <cstdint>

#include "platform/ui/Form.h"

class TFormEditFoto : public platform::ui::Form {
 public:
  TFormEditFoto();

  // Shows the photo of the link row (0: none) for an object of the class.
  void InitControls(int32_t FotoID);
  void btnCancelClick();

  platform::ui::Label& Label6;
  platform::ui::Edit& eKurzname;
  platform::ui::Label& Label9;
  platform::ui::Edit& editFilename;
  platform::ui::Label& Label8;
  platform::ui::Label& lblPictureState;
  platform::ui::Label& Label7;
  platform::ui::Button& btnCancel;

  int32_t OrgFotoID = 0;
  int32_t PictureState = 1;
  // Host object class of the object the photo task began on.
  int32_t lngOKL = 0;

 protected:
  void FormClose() override;
};

// The state text of a picture state code.
const char* PictureStateText(int32_t state);
