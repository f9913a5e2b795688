// What the photo dialog has the photo rules do. The form holds its controls
// and what the mapper entered; naming, copying and storing the picture,
// writing the catalogue row and the link row, and placing and reading the
// temporary point of the position capture are the rules' (photos/), which
// pass an implementation in when they open the dialog, as the choosers are
// given their pools.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "photos/tables/PhotoRows.h"
#include "platform/env/Env.h"

namespace DialogTools {

// The catalogue's row and the picture states are the tables'.
using tables::FotoRecord;
using tables::kPhotoFromVandra;
using tables::kPhotoLocal;
using tables::kPhotoNotStored;

// A picture file the mapper chose, opened once: the picture is checked and
// shown from this open file, and what is stored is copied from it, so that
// a file put under the name meanwhile is never taken in.
struct ChosenPicture {
  std::string path;                           // as chosen
  std::unique_ptr<platform::env::File> file;  // a regular file, not opened through a link
  platform::env::FileStatus checked;          // the file as it was when it was checked
};

// What "Foto übernehmen" hands to the intake: the photo as the dialog
// holds it.
struct FotoIntake {
  int32_t OrgFotoID = 0;     // 0: a new photo
  int32_t PictureState = kPhotoNotStored;  // or kPhotoLocal; kPhotoFromVandra is never taken in
  std::string strPicFilenameFromDB;
  // The picture chosen in this opening; null when none was.
  ChosenPicture* chosen = nullptr;
  // What the mapper entered: Kurzname, RW and HW (nothing for "Keine
  // Koordinaten"), Blickrichtung, Aufnahmedatum, Quelle, Bildbeschreibung.
  // FotoID, PicFileName and IsNew are the intake's.
  FotoRecord entered;
};

// What the intake did.
struct FotoIntakeResult {
  // False: nothing was stored (the mapper has been told why); the dialog
  // stays open.
  bool stored = false;
  int32_t FotoID = 0;
  std::string PicFileName;   // the picture's name in KTPhotos
  bool copied = false;       // a picture was copied into KTPhotos
  int32_t PictureState = kPhotoNotStored;  // kPhotoLocal once a new photo is stored
};

// A captured position: the point's coordinates, scaled and rounded to
// whole numbers, as the coordinate fields show them.
struct Capture {
  enum class State {
    kNone,      // no point came (the placing was given up)
    kLost,      // the task's object could not be made active again (told); the dialog closes
    kCaptured,  // RW and HW hold the position
  };
  State state = State::kNone;
  std::string RW;
  std::string HW;
};

// Errors of the database and the host pass through as exceptions.
class FotoActions {
 public:
  virtual ~FotoActions() = default;

  // ---- The photo task and its data module
  // Opens the data module when there is none.
  virtual void EnsureFotoverwaltung() = 0;
  // Ends the photo task: the host put back as the task found it.
  virtual void CloseFotoverwaltung() = 0;
  // Closes and frees the data module; failures are swallowed.
  virtual void FreeDataModule() = 0;
  // The picture folder (KTPhotos of the project, with the path delimiter);
  // empty without a project.
  virtual std::string PictureFolder() = 0;
  // The photo the dialog opens on: the catalogue row of the photo (nothing
  // when there is none), the link row the host shows now remembered as the
  // one to link it to.
  virtual std::optional<FotoRecord> OpenOnLinkRow(int32_t FotoID) = 0;
  // Whether the object active in the host is the one the task began on.
  virtual bool TaskObjectActive() = 0;

  // ---- The picture
  // Where the stored picture of that name lies in the picture folder;
  // nothing when the name is none a picture may have or no file has it.
  virtual std::optional<std::string> StoredPicture(const std::string& PicFileName) = 0;
  // Whether the file lies in the picture folder: its folder, or the folder
  // of the file a link names, is the picture folder itself.
  virtual bool InPictureFolder(const std::string& path) = 0;
  // Opens the chosen file for taking in: a link, a folder, anything but a
  // regular file is refused. Nothing, and why in German, when refused.
  virtual std::optional<ChosenPicture> OpenPicture(const std::string& path, std::string& why) = 0;
  // Whether the open file changed (size or time) since it was checked.
  virtual bool ChangedSinceChecked(const ChosenPicture& picture) = 0;

  // ---- Taking the photo in ("Foto übernehmen", after the dialog's checks)
  // The picture copied into KTPhotos (a new one under "KTFoto" + n +
  // ".jpg", a local photo's replaced under its name), the catalogue row
  // written (a new photo becomes state 3), the link row pointed at it, the
  // host's link table refreshed. A copy that fails is told and stores
  // nothing.
  virtual FotoIntakeResult TakeIn(FotoIntake& intake) = 0;

  // ---- The position capture
  // Lets the mapper place a temporary point of the object class on the
  // map; false (the mapper told) when the host lets none be placed.
  virtual bool StartCapture(int32_t okl) = 0;
  // Whether the mapper is still placing it; the dialog's timer asks.
  virtual bool CapturePlacing() = 0;
  // What became of it once the placing is over: the position read from the
  // placed point, or none.
  virtual Capture TakeCapture() = 0;
  // "Foto übernehmen" and "Abbrechen": the task's object made active
  // again, a placed point removed.
  virtual void RemoveTempObject() = 0;
  // The dialog closes: a placing still in progress given up, a placed
  // point removed.
  virtual void DropTempObject() = 0;
};

}  // namespace DialogTools
