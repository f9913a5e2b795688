#include "dialogs/FormEditFoto.h"

#include <cmath>
#include <cstdio>
#include <exception>

#include "context/PluginContext.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "platform/env/Env.h"
#include "platform/text/Encoding.h"
#include "platform/text/Formats.h"
#include "platform/text/Strings.h"
#include "platform/ui/Ui.h"

using platform::ui::Button;
using platform::ui::CheckBox;
using platform::ui::DatePicker;
using platform::ui::Edit;
using platform::ui::GroupBox;
using platform::ui::Label;
using platform::ui::Memo;
using platform::ui::ModalResult;
using platform::ui::MsgKind;
using platform::ui::Picture;
using platform::ui::RadioButton;

namespace env = platform::env;

namespace {

constexpr const char* kLinks = "Objektphotos";
constexpr const char* kUnvollstaendig = "Die Eingabedaten sind nicht vollständig!";
// ktSinglePoint of the host's draw types.
constexpr uint8_t kSinglePoint = 6;
// More link rows than an object ever has; a walk over the rows stops there.
constexpr int kMaxLinkRows = 100000;
// What the columns Kurzname and Quelle hold, in characters.
constexpr size_t kKurznameLength = 50;
constexpr size_t kQuelleLength = 255;
bool PointRemovedAtOnce() {
  return CurrentProfile().photo_point == PhotoPoint::kRemovedAtOnce;
}

// A file name inside the picture folder: no folder of its own, no way out.
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

// The folder of a path with its trailing delimiter, as the file dialog's
// folder is remembered.
std::string FolderWithDelim(const std::string& path) {
  return Tools::WithBackslash(env::FolderOf(path));
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

// What is wrong with a coordinate text, for the mapper; nothing when the
// integer column takes it (empty, or a whole number the field holds).
std::optional<std::string> CoordinateProblem(const std::string& text, const char* what) {
  const std::string trimmed = Tools::Trim(text);
  if (trimmed.empty()) return std::nullopt;
  const size_t sign = trimmed[0] == '-' || trimmed[0] == '+' ? 1 : 0;
  const bool digits =
      trimmed.size() > sign && trimmed.find_first_not_of("0123456789", sign) == std::string::npos;
  const std::string quoted = ": \"" + text + "\"";
  if (const size_t allowed = CurrentProfile().photo_coordinate_digits; allowed > 0) {
    if (digits && trimmed.size() - sign <= allowed) return std::nullopt;
    return std::string("Der ") + what + " muss eine ganze Zahl mit höchstens " +
           std::to_string(allowed) + " Stellen sein" + quoted;
  }
  int32_t value = 0;
  if (Tools::TryStrToInt(trimmed, value)) return std::nullopt;
  if (digits) return std::string("Der ") + what + " ist zu groß" + quoted;
  return std::string("Der ") + what + " muss eine ganze Zahl sein" + quoted;
}

std::optional<std::string> CoordinateOf(const Edit& edit) {
  const std::string trimmed = Tools::Trim(edit.text);
  if (trimmed.empty()) return std::nullopt;
  return trimmed;
}

}  // namespace

const char* PictureStateText(int32_t state) {
  switch (state) {
    case 1:
      return "noch nicht importiert";
    case 2:
      return "aus VANDRA importiert";
    case 3:
      return "lokal importiert";
    default:
      return "unbekannt";
  }
}

TFormEditFoto::TFormEditFoto(DialogTools::FotoKatalog& katalog)
    : Form("TFormEditFoto", "Objektfoto bearbeiten"),
      Label1(Add<Label>("Label1", "Rechtswert:")),
      seRWert(Add<Edit>("seRWert")),
      Label2(Add<Label>("Label2", "Hochwert:")),
      seHWert(Add<Edit>("seHWert")),
      BtnGetCoordinate(Add<Button>("BtnGetCoordinate", "erfassen", ModalResult::kNone)),
      cbNoCoordinates(Add<CheckBox>("cbNoCoordinates", "Keine Koordinaten")),
      gbBlickrichtung(Add<GroupBox>("gbBlickrichtung", " Blickrichtung ")),
      rbN(Add<RadioButton>("rbN", "N")),
      rbNE(Add<RadioButton>("rbNE", "NE")),
      rbE(Add<RadioButton>("rbE", "E")),
      rbSE(Add<RadioButton>("rbSE", "SE")),
      rbS(Add<RadioButton>("rbS", "S")),
      rbSW(Add<RadioButton>("rbSW", "SW")),
      rbW(Add<RadioButton>("rbW", "W")),
      rbNW(Add<RadioButton>("rbNW", "NW")),
      cbBlickrichtungUnbekannt(Add<CheckBox>("cbBlickrichtungUnbekannt", "unbekannt")),
      Label3(Add<Label>("Label3", "Aufnahmedatum:")),
      dtpDate(Add<DatePicker>("dtpDate")),
      Label8(Add<Label>("Label8", "Bildstatus:")),
      lblPictureState(Add<Label>("lblPictureState", "")),
      BtnGetFoto(Add<Button>("BtnGetFoto", "Bild auswählen", ModalResult::kNone)),
      Label6(Add<Label>("Label6", "Kurzname:")),
      eKurzname(Add<Edit>("eKurzname")),
      Label9(Add<Label>("Label9", "Dateiname:")),
      editFilename(Add<Edit>("editFilename")),
      Label4(Add<Label>("Label4", "Quelle:")),
      eQuelle(Add<Edit>("eQuelle")),
      Label5(Add<Label>("Label5", "Beschreibung:")),
      mBeschreibung(Add<Memo>("mBeschreibung")),
      Image1(Add<Picture>("Image1")),
      Label7(Add<Label>("Label7", "Kein Bild ausgewählt")),
      BtnOK(Add<Button>("BtnOK", "Foto übernehmen", ModalResult::kNone)),
      btnCancel(Add<Button>("btnCancel", "Abbrechen", ModalResult::kNone)),
      Timer1([this] { Guarded([this] { Timer1Timer(); }); }, 10),
      katalog_(katalog) {
  stay_on_top = true;
  editFilename.read_only = true;
  btnCancel.is_cancel = true;
  int tag = 0;
  for (RadioButton* rb : {&rbN, &rbNE, &rbE, &rbSE, &rbS, &rbSW, &rbW, &rbNW}) {
    rb->parent = gbBlickrichtung.Name();
    rb->tag = tag;
    tag += 45;
  }
  cbBlickrichtungUnbekannt.parent = gbBlickrichtung.Name();
  BtnGetCoordinate.on_click = [this] { Guarded([this] { BtnGetCoordinateClick(); }); };
  BtnGetFoto.on_click = [this] { Guarded([this] { BtnGetFotoClick(); }); };
  BtnOK.on_click = [this] { Guarded([this] { BtnOKClick(); }); };
  btnCancel.on_click = [this] { Guarded([this] { btnCancelClick(); }); };
  cbNoCoordinates.on_click = [this] { cbNoCoordinatesClick(); };
  cbBlickrichtungUnbekannt.on_click = [this] { cbBlickrichtungUnbekanntClick(); };
  FormCreate();
}

TFormEditFoto::~TFormEditFoto() {
  Timer1.SetEnabled(false);
  FormDestroy();
}

template <class Work>
void TFormEditFoto::Guarded(Work&& work) {
  try {
    work();
  } catch (const std::exception& e) {
    Timer1.SetEnabled(false);
    platform::ui::MessageBox(MsgKind::kError, e.what());
    // The task ends with the dialog; FormClose keeps going past its own errors.
    if (Showing()) {
      Close(ModalResult::kCancel);
    } else {
      try {
        katalog_.CloseFotoverwaltung();
      } catch (...) {
      }
    }
  }
}

void TFormEditFoto::FormCreate() {
  StartDir = Tools::GetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "OriginalFotos", "");
  Timer1.SetEnabled(false);
  katalog_.EnsureFotoverwaltung();
  strPicFilenameFromDB.clear();
  strPicNewFileNameInKT.clear();
  strPicFullNameFromDialog.clear();
  const std::string project = Tools::MyGetProjectDir();
  strDefaultPicDir = project.empty() ? std::string() : project + "KTPhotos" + Tools::kPathDelim;
}

void TFormEditFoto::FormShow() {
  katalog_.EnsureFotoverwaltung();
}

void TFormEditFoto::FormDestroy() {
  try {
    katalog_.FreeDataModule();
  } catch (...) {
  }
}

void TFormEditFoto::FormClose() {
  Timer1.SetEnabled(false);
  chosen_.reset();
  try {
    DropTempObject();
  } catch (...) {
    // The task must end all the same.
  }
  katalog_.CloseFotoverwaltung();
}

void TFormEditFoto::DropTempObject() {
  PluginState& state = State();
  if (state.blnTempObjectCreation) {
    // The mapper is still placing: the host gives the placing up (and
    // reports it, which clears the flag); no point comes after the dialog.
    host::CreateObjectFinish();
    state.blnTempObjectCreation = false;
  }
  if (state.TempObjectKARTULID > 0) {
    host::DeleteObject(state.TempObjectKARTULID);
    state.TempObjectKARTULID = -1;
  }
}

void TFormEditFoto::InitControls(int32_t FotoID) {
  strPicNewFileNameInKT.clear();
  strPicFullNameFromDialog.clear();
  chosen_.reset();
  strPicFilenameFromDB.clear();
  Timer1.SetEnabled(false);
  katalog_.SetPKeyFoto(Tools::MyGetIntValueByName(kLinks, "PKEY"));
  Image1.ClearPicture();
  const std::optional<DialogTools::FotoRecord> row =
      FotoID != 0 ? katalog_.FindFoto(FotoID) : std::nullopt;
  if (row) {
    // A photo without a date shows none, and is stored without one unless
    // the mapper enters it.
    dtpDate.date = row->Aufnahmedatum;
    eKurzname.text = row->Kurzname;
    eQuelle.text = row->Quelle;
    mBeschreibung.text = row->Bildbeschreibung;
    const int32_t state = row->IsNew.value_or(0);
    PictureState = state == 3 || state == 2 ? state : 2;
    int32_t grad = -1;
    if (!row->Blickrichtung || !Tools::TryStrToInt(Tools::Trim(*row->Blickrichtung), grad)) {
      grad = -1;
    }
    SetBlickrichtung(grad);
    const bool coordinates = row->RW && !row->RW->empty() && row->HW && !row->HW->empty();
    seRWert.text = coordinates ? *row->RW : "";
    seHWert.text = coordinates ? *row->HW : "";
    cbNoCoordinates.checked = !coordinates;
    strPicFilenameFromDB = row->PicFileName;
    editFilename.text.clear();
    // A picture whose file is missing or does not decode leaves the area
    // empty, never an earlier photo's picture; the picture control keeps the
    // reason for the presenter to show, without a box in the mapper's way.
    if (IsPlainFileName(strPicFilenameFromDB) && !strDefaultPicDir.empty()) {
      env::Env& e = env::Env::Current();
      if (auto real = env::FindNoCase(e, strDefaultPicDir, strPicFilenameFromDB)) {
        editFilename.text = strPicFilenameFromDB;
        Image1.LoadFromFile(strDefaultPicDir + *real);
      }
    }
    Label7.visible = !Image1.HasPicture();
    Image1.visible = Image1.HasPicture();
    OrgFotoID = row->FotoID;
  } else {
    FillControlsByDefault();
    PictureState = 1;
    OrgFotoID = 0;
  }
  BtnOK.enabled = PictureState != 2;
  BtnGetFoto.enabled = PictureState != 2;
  BtnGetCoordinate.enabled = true;
  cbNoCoordinatesClick();
  UpdateLblPicState();
}

void TFormEditFoto::FillControlsByDefault() {
  seRWert.text.clear();
  seHWert.text.clear();
  cbNoCoordinates.checked = true;
  rbN.SetChecked(true);
  dtpDate.date = platform::text::Now();
  eKurzname.text.clear();
  eQuelle.text.clear();
  editFilename.text.clear();
  mBeschreibung.text.clear();
  cbBlickrichtungUnbekannt.checked = true;
  cbBlickrichtungUnbekanntClick();
  Image1.ClearPicture();
  Label7.visible = true;
  Image1.visible = false;
}

void TFormEditFoto::cbNoCoordinatesClick() {
  seRWert.enabled = !cbNoCoordinates.checked;
  seHWert.enabled = seRWert.enabled;
}

void TFormEditFoto::cbBlickrichtungUnbekanntClick() {
  for (RadioButton* rb : {&rbN, &rbNE, &rbE, &rbSE, &rbS, &rbSW, &rbW, &rbNW}) {
    rb->enabled = !cbBlickrichtungUnbekannt.checked;
  }
}

int32_t TFormEditFoto::GetBlickrichtung() const {
  if (cbBlickrichtungUnbekannt.checked) return -1;
  for (const RadioButton* rb : {&rbN, &rbNE, &rbE, &rbSE, &rbS, &rbSW, &rbW, &rbNW}) {
    if (rb->checked) return rb->tag;
  }
  return -1;
}

void TFormEditFoto::SetBlickrichtung(int32_t Grad) {
  if (Grad < 0 || Grad >= 382) {
    cbBlickrichtungUnbekannt.checked = true;
  } else {
    cbBlickrichtungUnbekannt.checked = false;
    // Each direction covers 45 degrees around its own; 337 to 381 is north again.
    RadioButton* const directions[] = {&rbN, &rbNE, &rbE, &rbSE, &rbS, &rbSW, &rbW, &rbNW};
    directions[((Grad + 23) / 45) % 8]->SetChecked(true);
  }
  cbBlickrichtungUnbekanntClick();
}

void TFormEditFoto::UpdateLblPicState() {
  lblPictureState.caption = PictureStateText(PictureState);
}

bool TFormEditFoto::InPictureFolder(const std::string& path) const {
  if (strDefaultPicDir.empty()) return false;
  if (SameFile(env::FolderOf(path), strDefaultPicDir)) return true;
  const std::string real = env::Env::Current().ResolveLinks(path);
  return real != path && SameFile(env::FolderOf(real), strDefaultPicDir);
}

void TFormEditFoto::BtnGetFotoClick() {
  if (PictureState == 2) return;
  platform::ui::FileDialogRequest request;
  request.kind = platform::ui::FileDialogRequest::Kind::kOpen;
  request.filter = "JPEG-Grafikdatei (*.jpg)|*.jpg";
  request.initial_dir = StartDir;
  request.default_ext = "jpg";
  // The file dialog must come in front of the dialog that stays on top.
  stay_on_top = false;
  std::optional<std::string> chosen;
  try {
    chosen = platform::ui::FileDialog(request);
  } catch (...) {
    stay_on_top = true;
    throw;
  }
  stay_on_top = true;
  if (!chosen) return;
  if (InPictureFolder(*chosen)) {
    platform::ui::MessageBox(
        MsgKind::kWarning,
        "Es können nur Fotos eingestellt werden, die sich außerhalb des Projekts befinden!");
    return;
  }
  // The file is opened once: the picture checked and shown is the one
  // stored, whatever is put under its name meanwhile. A file that is no
  // picture changes nothing: the earlier picture stays.
  std::string why;
  std::optional<DialogTools::ChosenPicture> picture = katalog_.OpenPicture(*chosen, why);
  if (!picture) {
    platform::ui::MessageBox(MsgKind::kWarning, why);
    return;
  }
  if (picture->checked.size > kAskAbovePictureBytes &&
      platform::ui::MessageBox(MsgKind::kConfirmation,
                               "Die Bilddatei \"" + *chosen + "\" ist " +
                                   std::to_string(picture->checked.size / (1024 * 1024)) +
                                   " MB groß. Fotos sind selten größer als " +
                                   std::to_string(kAskAbovePictureBytes / (1024 * 1024)) +
                                   " MB; sie wird ganz in den Fotoordner kopiert und mit dem Paket "
                                   "weitergegeben.\rSoll sie trotzdem übernommen werden?",
                               platform::ui::MsgButtons::kYesNo) != platform::ui::MsgAnswer::kYes) {
    return;
  }
  Picture candidate(*this, "");
  if (!candidate.LoadFromFile(*picture->file, *chosen)) {
    platform::ui::MessageBox(MsgKind::kWarning, candidate.error);
    return;
  }
  const env::FileStatus now = picture->file->Status();
  if (now.size != picture->checked.size || now.mtime_ns != picture->checked.mtime_ns) {
    platform::ui::MessageBox(MsgKind::kWarning,
                             "Die Bilddatei \"" + *chosen +
                                 "\" wurde verändert, während sie geprüft wurde, und wird nicht "
                                 "übernommen.");
    return;
  }
  chosen_ = std::move(picture);
  StartDir = FolderWithDelim(*chosen);
  strPicFullNameFromDialog = *chosen;
  Image1.file = candidate.file;
  Image1.width = candidate.width;
  Image1.height = candidate.height;
  Image1.error.clear();
  Image1.preview_width = candidate.preview_width;
  Image1.preview_height = candidate.preview_height;
  Image1.preview = std::move(candidate.preview);
  Image1.visible = true;
  Label7.visible = false;
}

bool TFormEditFoto::DatenPlausibel() {
  if (!Image1.HasPicture() || !Image1.visible) return false;
  return strPicFullNameFromDialog.empty() || !InPictureFolder(strPicFullNameFromDialog);
}

bool TFormEditFoto::ZustandOK() const {
  return host::ActiveObject() == katalog_.TaskObject();
}

void TFormEditFoto::RemoveTempObject() {
  host::SetActiveObject(katalog_.TaskObject());
  PluginState& state = State();
  if (state.TempObjectKARTULID > 0) {
    host::DeleteObject(state.TempObjectKARTULID);
    state.TempObjectKARTULID = -1;
  }
}

bool TFormEditFoto::CopyFoto() {
  env::Env& e = env::Env::Current();
  std::string target;
  const bool replace = PictureState == 3 && IsPlainFileName(strPicFilenameFromDB);
  const bool chosen = !strPicFullNameFromDialog.empty() && chosen_;
  if (PictureState == 1 || (PictureState == 3 && chosen && !replace)) {
    strPicNewFileNameInKT = katalog_.FreePictureName();
    target = strDefaultPicDir + strPicNewFileNameInKT;
  } else if (PictureState == 3 && chosen) {
    strPicNewFileNameInKT = strPicFilenameFromDB;
    const std::optional<std::string> real =
        env::FindNoCase(e, strDefaultPicDir, strPicFilenameFromDB);
    target = strDefaultPicDir + real.value_or(strPicFilenameFromDB);
    // The stored file itself, under another name: its picture is already
    // in place.
    try {
      const std::optional<env::FileStatus> stored = e.Stat(target);
      if (stored && stored->SameFile(chosen_->checked)) return true;
    } catch (const env::EnvError&) {
      // The copy below tells what is wrong with the folder.
    }
  } else {
    strPicNewFileNameInKT = strPicFilenameFromDB;
    return true;
  }
  if (!chosen_) {
    platform::ui::MessageBox(MsgKind::kWarning, kUnvollstaendig);
    strPicNewFileNameInKT.clear();
    return false;
  }
  // Into a temporary file beside the target, renamed over it: a failed copy
  // leaves the stored picture as it was.
  if (const std::optional<std::string> error = katalog_.StorePicture(*chosen_, target)) {
    platform::ui::MessageBox(MsgKind::kError, *error + " Das Foto wurde nicht gespeichert.");
    strPicNewFileNameInKT.clear();
    return false;
  }
  editFilename.text = strPicNewFileNameInKT;
  return true;
}

int32_t TFormEditFoto::SaveFotoAlt(int32_t OldFotoID) {
  if (PictureState == 2 || PictureState == 0) return OldFotoID;
  const int32_t id = OldFotoID != 0 ? OldFotoID : katalog_.GetFotoID();
  DialogTools::FotoRecord row;
  row.FotoID = id;
  if (!cbNoCoordinates.checked) {
    row.RW = CoordinateOf(seRWert);
    row.HW = CoordinateOf(seHWert);
  }
  if (strPicNewFileNameInKT.empty()) strPicNewFileNameInKT = env::NameOf(strPicFilenameFromDB);
  row.PicFileName = strPicNewFileNameInKT;
  row.Kurzname = eKurzname.text;
  row.Aufnahmedatum = dtpDate.date;
  const int32_t grad = GetBlickrichtung();
  if (grad != -1) row.Blickrichtung = std::to_string(grad);
  row.Quelle = eQuelle.text;
  row.Bildbeschreibung = mBeschreibung.text;
  if (PictureState == 1) PictureState = 3;
  row.IsNew = PictureState;
  katalog_.PostFoto(row);
  UpdateLblPicState();
  return id;
}

void TFormEditFoto::SaveObjektfoto(int32_t NewFotoID) {
  const int32_t pkey_foto = katalog_.PKeyFoto();
  bool found = false;
  host::TableFirst(kLinks);
  for (int step = 0; step < kMaxLinkRows && !host::TableEOF(kLinks); ++step) {
    const int32_t pkey = Tools::MyGetIntValueByName(kLinks, "PKEY");
    int32_t photo = 0;
    if (!Tools::MyGetIntValueByNameEx(kLinks, "PhotoID", photo)) photo = 0;
    if (pkey == pkey_foto || (pkey_foto == -1 && photo == 0)) {
      found = true;
      break;
    }
    host::TableNext(kLinks);
  }
  if (!found) host::AppendRecord(kLinks);
  Tools::MySetValueByName(kLinks, "PhotoID", std::to_string(NewFotoID));
}

void TFormEditFoto::BtnOKClick() {
  if (PictureState == 2) return;
  const bool removed_at_once = PointRemovedAtOnce();
  if (!removed_at_once) RemoveTempObject();
  if (!DatenPlausibel()) {
    platform::ui::MessageBox(MsgKind::kWarning, kUnvollstaendig);
    return;
  }
  // The integer columns take whole numbers only; the mapper learns which
  // field holds what instead of a general refusal.
  if (!cbNoCoordinates.checked) {
    for (const auto& [edit, what] : {std::pair{&seRWert, "Rechtswert"}, {&seHWert, "Hochwert"}}) {
      if (const std::optional<std::string> problem = CoordinateProblem(edit->text, what)) {
        platform::ui::MessageBox(MsgKind::kWarning, *problem);
        return;
      }
    }
  }
  // The columns hold no more; a longer text is never cut without a word.
  if (platform::text::Utf8Length(eKurzname.text) > kKurznameLength) {
    platform::ui::MessageBox(MsgKind::kWarning,
                             "Der Kurzname ist zu lang: höchstens 50 Zeichen sind möglich.");
    return;
  }
  if (platform::text::Utf8Length(eQuelle.text) > kQuelleLength) {
    platform::ui::MessageBox(MsgKind::kWarning,
                             "Die Quelle ist zu lang: höchstens 255 Zeichen sind möglich.");
    return;
  }
  if (!ZustandOK()) {
    platform::ui::MessageBox(MsgKind::kError, "Das aktive Objekt hat gewechselt!");
    Close(ModalResult::kCancel);
    return;
  }
  Tools::SetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "OriginalFotos", StartDir);
  if (!CopyFoto()) return;
  SaveObjektfoto(SaveFotoAlt(OrgFotoID));
  host::TableRefresh(kLinks);
  if (!removed_at_once) host::Redraw();
  Close(ModalResult::kOk);
}

void TFormEditFoto::btnCancelClick() {
  if (!PointRemovedAtOnce()) RemoveTempObject();
  Close(ModalResult::kCancel);
}

void TFormEditFoto::BtnGetCoordinateClick() {
  host::ActivateMap();
  std::string kennung;
  for (int n = 1;; ++n) {
    kennung = "TempObj" + std::to_string(n);
    if (!host::KennungExists(kennung)) break;
  }
  PluginState& state = State();
  // A point of an earlier capture that nothing removed would stay for good.
  if (state.TempObjectKARTULID > 0) {
    host::DeleteObject(state.TempObjectKARTULID);
  }
  state.blnTempObjectCreation = true;
  state.TempObjectKARTULID = -1;
  if (!host::CreateObjectStart(lngOKL, kSinglePoint, kennung)) {
    // Without a placing no hook would ever clear the flag, and every later
    // creation would pass as the dialog's point.
    state.blnTempObjectCreation = false;
    host::ActivateData();
    platform::ui::MessageBox(MsgKind::kWarning,
                             "Die Position kann nicht erfasst werden: KARTUL lässt keinen "
                             "Punkt platzieren.");
    return;
  }
  Timer1.SetEnabled(true);
}

void TFormEditFoto::Timer1Timer() {
  PluginState& state = State();
  if (state.blnTempObjectCreation) return;
  Timer1.SetEnabled(false);
  if (state.TempObjectKARTULID <= 0) return;
  const int32_t temp = state.TempObjectKARTULID;
  const int32_t task_object = katalog_.TaskObject();
  const bool removed_at_once = PointRemovedAtOnce();
  if (!removed_at_once) host::CreateObjectFinish();
  const double rw = host::ObjectEasting(temp);
  const double hw = host::ObjectNorthing(temp);
  if (removed_at_once) {
    // The point is read and gone at once; the task's object comes back.
    host::DeleteObject(temp);
    state.TempObjectKARTULID = -1;
    host::SetActiveObject(task_object);
    if (host::ActiveObject() != task_object) {
      platform::ui::MessageBox(MsgKind::kError,
                               "Das bearbeitete Objekt konnte nicht aktiviert werden!");
      Close(ModalResult::kCancel);
      return;
    }
  }
  // The grid's unit is told by the easting (a strip's first value) or by
  // the northing (the country's first value).
  const double factor =
      CurrentProfile().photo_scale_by_easting ? ScaleFor(rw, 39999) : ScaleFor(hw, 59999);
  host::EnsureData(task_object);
  seRWert.text = Scaled(rw, factor);
  seHWert.text = Scaled(hw, factor);
  host::ActivateData();
  cbNoCoordinates.checked = false;
  cbNoCoordinatesClick();
  // One capture per opening: the point stays until the dialog closes.
  if (!removed_at_once) BtnGetCoordinate.enabled = false;
}
