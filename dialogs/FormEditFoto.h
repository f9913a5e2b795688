// "Objektfoto bearbeiten": the photo dialog. It shows and edits one photo of
// the object a photo task began on (picture, camera position, viewing
// direction, date, short name, source, description), takes a new picture
// from a JPEG file outside the project's picture folder and copies it into
// the folder, and captures the camera position by letting the mapper place
// a temporary point on the map. It is modeless: the mapper works in the host
// while it is open, and the capture waits for the host through a 10 ms
// timer on the host's event loop instead of blocking.
//
// The catalogue, the data module and the photo task belong to the photo
// rules above this layer; the form reaches them through FotoKatalog, which
// the opening rule passes in and which must outlive the form. Everything
// else (the host, the picture files, the registry) it reaches itself.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/env/Env.h"
#include "platform/ui/Form.h"
#include "platform/ui/Timer.h"

namespace DialogTools {

// One row of the catalogue table Fotos as the dialog reads and writes it.
// Numbers the mapper types stay texts until they are stored; a null column
// is nothing.
struct FotoRecord {
  int32_t FotoID = 0;
  std::string Kurzname;
  std::optional<std::string> RW;
  std::optional<std::string> HW;
  std::optional<std::string> Blickrichtung;
  std::optional<double> Aufnahmedatum;  // days since 1899-12-30
  std::string Quelle;
  std::optional<int32_t> IsNew;
  std::string PicFileName;
  std::string Bildbeschreibung;
};

// A picture file the mapper chose, opened once: the picture is checked and
// shown from this open file, and what is stored is copied from it, so that
// a file put under the name meanwhile is never taken in.
struct ChosenPicture {
  std::string path;                           // as chosen
  std::unique_ptr<platform::env::File> file;  // a regular file, not opened through a link
  platform::env::FileStatus checked;          // the file as it was when it was checked
};

// What the dialog needs of the photo catalogue and the running photo task.
// Errors of the database pass through as exceptions.
class FotoKatalog {
 public:
  // Opens the chosen file for taking in: a link, a folder, anything but a
  // regular file is refused. Nothing, and why in German, when refused.
  virtual std::optional<ChosenPicture> OpenPicture(const std::string& path, std::string& why) = 0;
  // Stores the chosen picture at `target` (in the picture folder), copied
  // from its open file and only while it is still the file checked, under
  // its name; a failed copy leaves the target as it was. Nothing when
  // stored, else why in German.
  virtual std::optional<std::string> StorePicture(ChosenPicture& picture,
                                                  const std::string& target) = 0;
  // The first name "KTFoto" + n + ".jpg" that neither a file of the picture
  // folder nor a catalogue row holds, compared without regard to case.
  virtual std::string FreePictureName() = 0;
  virtual ~FotoKatalog() = default;
  // Opens the data module when there is none.
  virtual void EnsureFotoverwaltung() = 0;
  // Ends the photo task: the host put back as the task found it.
  virtual void CloseFotoverwaltung() = 0;
  // Closes and frees the data module; failures are swallowed.
  virtual void FreeDataModule() = 0;
  // The catalogue row of the photo; nothing when there is none.
  virtual std::optional<FotoRecord> FindFoto(int32_t FotoID) = 0;
  // A new id for a local photo.
  virtual int32_t GetFotoID() = 0;
  // Writes the row: the row of its FotoID changed, or a new one appended.
  // RW, HW and Blickrichtung must be whole numbers when given.
  virtual void PostFoto(const FotoRecord& row) = 0;
  // The picture file names every catalogue row holds.
  virtual std::vector<std::string> PicFileNames() = 0;
  // Host id of the object the task began on (lngFvKARTULID); -1 none.
  virtual int32_t TaskObject() = 0;
  // PKEY of the link row the dialog was opened on (iFvPKeyFoto).
  virtual int32_t PKeyFoto() = 0;
  virtual void SetPKeyFoto(int32_t pkey) = 0;
};

}  // namespace DialogTools

class TFormEditFoto : public platform::ui::Form {
 public:
  // Reads the remembered picture folder and opens the data module
  // (FormCreate). The catalogue must outlive the form.
  explicit TFormEditFoto(DialogTools::FotoKatalog& katalog);
  // FormDestroy: the data module goes with the form.
  ~TFormEditFoto() override;

  void InitControls(int32_t FotoID);
  int32_t GetBlickrichtung() const;
  void SetBlickrichtung(int32_t Grad);
  bool DatenPlausibel();
  bool ZustandOK() const;
  void FillControlsByDefault();
  // Copies the chosen picture into the picture folder; false (the mapper
  // told why) when the copy failed, and nothing may be saved then.
  bool CopyFoto();
  int32_t SaveFotoAlt(int32_t OldFotoID);
  void SaveObjektfoto(int32_t NewFotoID);
  void UpdateLblPicState();
  void RemoveTempObject();

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
  int32_t PictureState = 1;
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
  // Whether the file lies in the picture folder: its folder, or the folder
  // of the file a link names, is the picture folder itself.
  bool InPictureFolder(const std::string& path) const;
  // Ends a placing still in progress and removes a placed temporary point.
  void DropTempObject();

  DialogTools::FotoKatalog& katalog_;
  // The picture chosen in this opening, held open until it is stored or
  // the dialog closes.
  std::optional<DialogTools::ChosenPicture> chosen_;
};

// The state text of a picture state code.
const char* PictureStateText(int32_t state);

// A picture file larger than this is taken in only when the mapper says so.
inline constexpr uint64_t kAskAbovePictureBytes = 50ull * 1024 * 1024;
