// "Objektfoto bearbeiten": the photo dialog. It shows and edits one photo of
// the object a photo task began on (picture, camera position, viewing
// direction, date, short name, source, description), takes a new picture
// from a JPEG file outside the project's picture folder and copies it into
// the folder, and captures the camera position by letting the mapper place
// a temporary point on the map. It is modeless: the mapper works in the host
// while it is open, and the capture waits for the host through a 10 ms
// timer on the host's event loop instead of blocking.
//
// The form holds its controls and what the mapper entered and checks it;
// the photo rules above this layer take the photo in, and place and read the
// temporary point, through FotoActions (FotoActions.h), which the opening
// rule passes in and which must outlive the form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "dialogs/FotoActions.h"
#include "platform/ui/Form.h"
#include "platform/ui/Timer.h"

class TFormEditFoto : public platform::ui::Form {
 public:
  // Reads the remembered picture folder and opens the data module
  // (FormCreate). The actions must outlive the form.
  explicit TFormEditFoto(DialogTools::FotoActions& actions);
  // FormDestroy: the data module goes with the form.
  ~TFormEditFoto() override;

  void InitControls(int32_t FotoID);
  int32_t GetBlickrichtung() const;
  void SetBlickrichtung(int32_t Grad);
  bool DatenPlausibel();
  bool ZustandOK() const;
  void FillControlsByDefault();
  void UpdateLblPicState();

  void FormCreate();
  void BtnGetFotoClick();
  void BtnGetCoordinateClick();
  void Timer1Timer();
  void BtnOKClick();
  void btnCancelClick();
  void cbBlickrichtungUnbekanntClick();
  void cbNoCoordinatesClick();

  platform::ui::Label& Label1;
  platform::ui::Edit& seRWert;
  platform::ui::Label& Label2;
  platform::ui::Edit& seHWert;
  platform::ui::Button& BtnGetCoordinate;
  platform::ui::CheckBox& cbNoCoordinates;
  platform::ui::GroupBox& gbBlickrichtung;
  platform::ui::RadioButton& rbN;
  platform::ui::RadioButton& rbNE;
  platform::ui::RadioButton& rbE;
  platform::ui::RadioButton& rbSE;
  platform::ui::RadioButton& rbS;
  platform::ui::RadioButton& rbSW;
  platform::ui::RadioButton& rbW;
  platform::ui::RadioButton& rbNW;
  platform::ui::CheckBox& cbBlickrichtungUnbekannt;
  platform::ui::Label& Label3;
  platform::ui::DatePicker& dtpDate;
  platform::ui::Label& Label8;
  platform::ui::Label& lblPictureState;
  platform::ui::Button& BtnGetFoto;
  platform::ui::Label& Label6;
  platform::ui::Edit& eKurzname;
  platform::ui::Label& Label9;
  platform::ui::Edit& editFilename;
  platform::ui::Label& Label4;
  platform::ui::Edit& eQuelle;
  platform::ui::Label& Label5;
  platform::ui::Memo& mBeschreibung;
  platform::ui::Picture& Image1;
  platform::ui::Label& Label7;
  platform::ui::Button& BtnOK;
  platform::ui::Button& btnCancel;
  platform::ui::Timer Timer1;

  std::string StartDir;
  std::string strPicFilenameFromDB;
  std::string strPicFullNameFromDialog;
  std::string strPicNewFileNameInKT;
  std::string strDefaultPicDir;
  int32_t OrgFotoID = 0;
  int32_t PictureState = tables::kPhotoNotStored;
  int32_t lngOKL = 0;

 protected:
  void FormShow() override;
  void FormClose() override;

 private:
  // Runs a handler; an error (the database's, the host's) is shown and ends
  // the photo task, so that the photo command works again.
  template <class Work>
  void Guarded(Work&& work);
  void FormDestroy();
  // What the mapper entered, for the intake.
  tables::FotoRecord Entered() const;

  DialogTools::FotoActions& actions_;
  // The picture chosen in this opening, held open until it is stored or
  // the dialog closes.
  std::optional<DialogTools::ChosenPicture> chosen_;
};

// The state text of a picture state code.
const char* PictureStateText(int32_t state);

// A picture file larger than this is taken in only when the mapper says so.
inline constexpr uint64_t kAskAbovePictureBytes = 50ull * 1024 * 1024;
