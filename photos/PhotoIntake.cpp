#include "photos/PhotoIntake.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <optional>
#include <unordered_set>

#include "context/PluginContext.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/PictureName.h"
#include "photos/TempObject.h"
#include "platform/env/Env.h"
#include "platform/text/Strings.h"
#include "platform/ui/Jpeg.h"
#include "platform/ui/Ui.h"

namespace env = platform::env;
using DialogTools::Capture;
using DialogTools::ChosenPicture;
using DialogTools::FotoIntake;
using DialogTools::FotoIntakeResult;
using platform::ui::MsgKind;
using tables::FotoRecord;
using tables::kPhotoFromVandra;
using tables::kPhotoLocal;
using tables::kPhotoNotStored;

namespace {

constexpr const char* kUnvollstaendig = "Die Eingabedaten sind nicht vollständig!";

bool PointRemovedAtOnce() {
  return CurrentProfile().photo_point == PhotoPoint::kRemovedAtOnce;
}

// Whether two names stand for one file or folder (device and inode), so
// that another spelling or a link is no other file.
bool SameFile(const std::string& a, const std::string& b) {
  env::Env& e = env::Env::Current();
  try {
    const std::optional<env::FileStatus> sa = e.Stat(a);
    const std::optional<env::FileStatus> sb = e.Stat(b);
    return sa && sb && sa->SameFile(*sb);
  } catch (const env::EnvError&) {
    return false;
  }
}

// The scale of a captured position: the map's units brought to metres of
// a Gauss-Krüger grid, chosen from one coordinate's size. Each bound is the
// first of the next decade; the last range is left as it is.
double ScaleFor(double value, double first_bound) {
  if (!(value >= first_bound)) return 100;  // below, or not a number
  if (value < first_bound * 10 + 9) return 10;
  if (value < first_bound * 100 + 99) return 1;
  if (value < first_bound * 1000 + 999) return 0.1;
  if (value < first_bound * 10000 + 9999) return 0.01;
  if (value < first_bound * 100000 + 99999) return 0.001;
  return 1;
}

// The whole number nearest the scaled value (halves to even); empty for a
// value that is no number.
std::string Scaled(double value, double factor) {
  // Dividing keeps 5800000.5 / 10 as exact as the platform gives it.
  const double scaled = factor < 1 ? value / std::nearbyint(1 / factor) : value * factor;
  if (!std::isfinite(scaled)) return "";
  const double rounded = std::nearbyint(scaled);
  if (std::fabs(rounded) < 9e18) return std::to_string(static_cast<long long>(rounded));
  char text[400];
  std::snprintf(text, sizeof text, "%.0f", rounded);
  return text;
}

// The first "KTFoto" + n + ".jpg" that neither a file of the picture folder
// nor a catalogue row holds.
std::string FreePictureName() {
  std::unordered_set<std::string> taken;
  const std::string folder = Tools::MyGetProjectDir() + "KTPhotos";
  try {
    for (const std::string& name : env::Env::Current().ListFolder(folder))
      taken.insert(platform::text::ToLowerAscii(name));
  } catch (const env::EnvError&) {
    // An unreadable folder fails the copy with its reason.
  }
  for (const std::string& name : EnsureFotoverwaltung().PicFileNames())
    taken.insert(platform::text::ToLowerAscii(name));
  return KTFotoName([&taken](const std::string& lower) { return taken.count(lower) != 0; });
}

// Stores the chosen picture at `target` (in the picture folder), copied
// from its open file and only while its name still stands for the file
// checked; a failed copy leaves the target as it was (a temporary file
// beside it, renamed over it). Nothing when stored, else why in German.
std::optional<std::string> StorePicture(ChosenPicture& picture, const std::string& target) {
  env::Env& e = env::Env::Current();
  const std::string refused = "Die Bilddatei \"" + picture.path +
                              "\" wurde ersetzt oder verändert, seit sie ausgewählt wurde, und "
                              "wird nicht übernommen. Bitte wählen Sie das Bild erneut aus.";
  // A file swapped for another, or for a link, is told, not taken.
  try {
    const std::optional<env::FileStatus> named = e.LinkStatus(picture.path);
    if (!named || !named->IsRegular() || !named->SameFile(picture.checked)) return refused;
  } catch (const env::EnvError&) {
    return refused;
  }
  env::CopyJob job(picture.path, target);
  job.source = picture.file.get();
  job.expect = picture.checked;
  // Size and time can be put back after a rewrite in place; the copy is
  // decoded before it takes the name, so no other bytes reach the folder.
  std::string no_picture;
  job.check = [&](env::File& copy) {
    const platform::ui::JpegPicture decoded = platform::ui::ReadJpeg(copy, picture.path);
    if (!decoded.ok) no_picture = decoded.error;
    return no_picture;
  };
  const std::vector<std::string> errors = env::CopyFiles(e, {job});
  if (errors.front().empty()) return std::nullopt;
  if (!no_picture.empty()) {
    return "Die Bilddatei \"" + picture.path + "\" wurde verändert, seit sie ausgewählt wurde. " +
           no_picture + " Sie wird nicht übernommen. Bitte wählen Sie das Bild erneut aus.";
  }
  const env::FileStatus now = picture.file->Status();
  if (now.size != picture.checked.size || now.mtime_ns != picture.checked.mtime_ns) {
    return refused;
  }
  return "Das Bild \"" + picture.path + "\" konnte nicht in den Fotoordner kopiert werden (" +
         errors.front() + ").";
}

// The picture into the picture folder: a new photo's under the first free
// "KTFoto" + n + ".jpg"; a local photo's chosen anew under its stored name
// (the picture is replaced, its name stays), or under a free name when the
// stored one is none a picture may have. False (the mapper told) when the
// copy failed: nothing may be stored then.
bool CopyFoto(FotoIntake& in, FotoIntakeResult& out) {
  env::Env& e = env::Env::Current();
  const std::string folder = FotoDir();
  std::string target;
  const bool replace = in.PictureState == kPhotoLocal && UsablePictureName(in.strPicFilenameFromDB);
  const bool chosen = in.chosen != nullptr;
  if (in.PictureState == kPhotoNotStored ||
      (in.PictureState == kPhotoLocal && chosen && !replace)) {
    out.PicFileName = FreePictureName();
    target = folder + out.PicFileName;
  } else if (in.PictureState == kPhotoLocal && chosen) {
    out.PicFileName = in.strPicFilenameFromDB;
    const std::optional<std::string> real = env::FindNoCase(e, folder, in.strPicFilenameFromDB);
    target = folder + real.value_or(in.strPicFilenameFromDB);
    // The stored file itself, under another name: its picture is already
    // in place.
    try {
      const std::optional<env::FileStatus> stored = e.Stat(target);
      if (stored && stored->SameFile(in.chosen->checked)) return true;
    } catch (const env::EnvError&) {
      // The copy below tells what is wrong with the folder.
    }
  } else {
    out.PicFileName = in.strPicFilenameFromDB;
    return true;
  }
  if (!chosen) {
    platform::ui::MessageBox(MsgKind::kWarning, kUnvollstaendig);
    out.PicFileName.clear();
    return false;
  }
  if (const std::optional<std::string> error = StorePicture(*in.chosen, target)) {
    platform::ui::MessageBox(MsgKind::kError, *error + " Das Foto wurde nicht gespeichert.");
    out.PicFileName.clear();
    return false;
  }
  out.copied = true;
  return true;
}

// The catalogue row: the photo's own, or a new one under a new id; a new
// photo is local from now on. Answers the stored id (the old one, storing
// nothing, for a photo of the central system).
int32_t SaveFotoAlt(FotoIntake& in, FotoIntakeResult& out) {
  if (in.PictureState == kPhotoFromVandra || in.PictureState == 0) return in.OrgFotoID;
  TdmFotoverwaltung& module = EnsureFotoverwaltung();
  int32_t id = in.OrgFotoID;
  if (id == 0) {
    module.Fotos().Refresh();
    id = module.GetFotoID();
  }
  FotoRecord row = in.entered;
  row.FotoID = id;
  if (out.PicFileName.empty()) out.PicFileName = env::NameOf(in.strPicFilenameFromDB);
  row.PicFileName = out.PicFileName;
  if (out.PictureState == kPhotoNotStored) out.PictureState = kPhotoLocal;
  row.IsNew = out.PictureState;
  module.PostFoto(row);
  return id;
}

// The link row the dialog was opened on (or, opened on a row not stored
// yet, the first without a photo, or a new one) points at the photo.
void SaveObjektfoto(const PhotoTask& task, int32_t NewFotoID) {
  LinkRows::LinkPhoto(task.iFvPKeyFoto, NewFotoID);
}

class Intake : public DialogTools::FotoActions {
 public:
  explicit Intake(PhotoTask& task) : task_(task) {}

  void EnsureFotoverwaltung() override { ::EnsureFotoverwaltung(); }
  void CloseFotoverwaltung() override { ::CloseFotoverwaltung(); }

  void FreeDataModule() override {
    try {
      if (GlobaldmFotoverwaltung()) GlobaldmFotoverwaltung()->ClosePrjDatabase();
    } catch (...) {
    }
    GlobaldmFotoverwaltung().reset();
  }

  std::string PictureFolder() override { return FotoDir(); }

  std::optional<FotoRecord> OpenOnLinkRow(int32_t FotoID) override {
    task_.iFvPKeyFoto = LinkRows::CurrentPKey();
    if (FotoID == 0) return std::nullopt;
    return ::EnsureFotoverwaltung().FindFoto(FotoID);
  }

  bool TaskObjectActive() override { return host::ActiveObject() == task_.lngFvKARTULID; }

  std::optional<std::string> StoredPicture(const std::string& PicFileName) override {
    const std::string folder = FotoDir();
    if (!UsablePictureName(PicFileName) || folder.empty()) return std::nullopt;
    const std::optional<std::string> real =
        env::FindNoCase(env::Env::Current(), folder, PicFileName);
    if (!real) return std::nullopt;
    return folder + *real;
  }

  bool InPictureFolder(const std::string& path) override {
    const std::string folder = FotoDir();
    if (folder.empty()) return false;
    if (SameFile(env::FolderOf(path), folder)) return true;
    const std::string real = env::Env::Current().ResolveLinks(path);
    return real != path && SameFile(env::FolderOf(real), folder);
  }

  std::optional<ChosenPicture> OpenPicture(const std::string& path, std::string& why) override {
    env::Env& e = env::Env::Current();
    const std::string file = "Die Datei \"" + path + "\"";
    try {
      const std::optional<env::FileStatus> named = e.LinkStatus(path);
      if (!named) {
        why = "Die Bilddatei \"" + path + "\" gibt es nicht.";
        return std::nullopt;
      }
      if (!named->IsRegular()) {
        // A link is told by the name standing for another file when
        // followed (or for none).
        const std::optional<env::FileStatus> followed = e.Stat(path);
        const bool link = !followed || !followed->SameFile(*named);
        why = named->IsFolder() ? "\"" + path + "\" ist ein Ordner und keine Bilddatei."
              : link            ? file +
                           " ist eine Verknüpfung. Es werden nur Bilddateien selbst "
                           "übernommen; bitte wählen Sie die Datei, auf die sie zeigt."
                     : file + " ist keine gewöhnliche Datei und wird nicht übernommen.";
        return std::nullopt;
      }
      ChosenPicture picture;
      picture.path = path;
      picture.file = e.Open(path, env::OpenMode::kReadNoLink);
      picture.checked = picture.file->Status();
      // Put under the name between the look and the opening.
      if (!picture.checked.IsRegular() || !picture.checked.SameFile(*named)) {
        why = file + " wurde eben ersetzt und wird nicht übernommen; bitte wählen Sie sie erneut.";
        return std::nullopt;
      }
      return picture;
    } catch (const env::EnvError& error) {
      why = error.Code() == ELOOP
                ? file +
                      " ist eine Verknüpfung. Es werden nur Bilddateien selbst übernommen; "
                      "bitte wählen Sie die Datei, auf die sie zeigt."
                : "Die Bilddatei \"" + path + "\" kann nicht gelesen werden: " + error.Reason();
      return std::nullopt;
    }
  }

  bool ChangedSinceChecked(const ChosenPicture& picture) override {
    const env::FileStatus now = picture.file->Status();
    return now.size != picture.checked.size || now.mtime_ns != picture.checked.mtime_ns;
  }

  FotoIntakeResult TakeIn(FotoIntake& intake) override {
    FotoIntakeResult result;
    result.PictureState = intake.PictureState;
    if (!CopyFoto(intake, result)) return result;
    result.FotoID = SaveFotoAlt(intake, result);
    SaveObjektfoto(task_, result.FotoID);
    LinkRows::Refresh();
    if (!PointRemovedAtOnce()) host::Redraw();
    result.stored = true;
    return result;
  }

  bool StartCapture(int32_t okl) override {
    if (TempObject::Current().StartPlacing(okl)) return true;
    platform::ui::MessageBox(MsgKind::kWarning,
                             "Die Position kann nicht erfasst werden: KARTUL lässt keinen "
                             "Punkt platzieren.");
    return false;
  }

  bool CapturePlacing() override { return TempObject::Current().Placing(); }

  Capture TakeCapture() override {
    TempObject& point = TempObject::Current();
    const int32_t temp = point.Placed();
    if (temp <= 0) return {};
    const int32_t task_object = task_.lngFvKARTULID;
    const bool removed_at_once = PointRemovedAtOnce();
    if (!removed_at_once) host::CreateObjectFinish();
    const double rw = host::ObjectEasting(temp);
    const double hw = host::ObjectNorthing(temp);
    if (removed_at_once) {
      // The point is read and gone at once; the task's object comes back.
      point.Remove();
      host::SetActiveObject(task_object);
      if (host::ActiveObject() != task_object) {
        platform::ui::MessageBox(MsgKind::kError,
                                 "Das bearbeitete Objekt konnte nicht aktiviert werden!");
        return {Capture::State::kLost, "", ""};
      }
    }
    // The grid's unit is told by the easting (a strip's first value) or by
    // the northing (the country's first value).
    const double factor =
        CurrentProfile().photo_scale_by_easting ? ScaleFor(rw, 39999) : ScaleFor(hw, 59999);
    host::EnsureData(task_object);
    Capture captured{Capture::State::kCaptured, Scaled(rw, factor), Scaled(hw, factor)};
    host::ActivateData();
    return captured;
  }

  void RemoveTempObject() override {
    host::SetActiveObject(task_.lngFvKARTULID);
    TempObject::Current().Remove();
  }

  void DropTempObject() override { TempObject::Current().Drop(); }

 private:
  PhotoTask& task_;
};

}  // namespace

std::unique_ptr<DialogTools::FotoActions> MakeFotoActions(PhotoTask& task) {
  return std::make_unique<Intake>(task);
}
