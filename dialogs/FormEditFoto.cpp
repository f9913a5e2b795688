#include "dialogs/FormEditFoto.h"

#include <exception>

#include "context/PluginContext.h"
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

constexpr const char* kUnvollstaendig = "Die Eingabedaten sind nicht vollständig!";
// What the column Kurzname holds, in characters.
constexpr size_t kKurznameLength = 50;

// The catalogue holds 255 characters of Quelle, the build's package photo
// table may hold fewer; a source the export could not send is refused here,
// where the mapper can still shorten it.
size_t QuelleLength() {
  return static_cast<size_t>(CurrentProfile().quelle_width);
}
bool PointRemovedAtOnce() {
  return CurrentProfile().photo_point == PhotoPoint::kRemovedAtOnce;
}

// The folder of a path with its trailing delimiter, as the file dialog's
// folder is remembered.
std::string FolderWithDelim(const std::string& path) {
  return Tools::WithBackslash(env::FolderOf(path));
}

// What is wrong with a coordinate text, for the mapper; nothing when the
// integer column takes it (empty, or a whole number the field holds).
std::optional<std::string> CoordinateProblem(const std::string& text, const char* what) {
  const std::string trimmed(platform::text::Trim(text));
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
  if (platform::text::StrToInt(trimmed)) return std::nullopt;
  if (digits) return std::string("Der ") + what + " ist zu groß" + quoted;
  return std::string("Der ") + what + " muss eine ganze Zahl sein" + quoted;
}

std::optional<std::string> CoordinateOf(const Edit& edit) {
  const std::string trimmed(platform::text::Trim(edit.text));
  if (trimmed.empty()) return std::nullopt;
  return trimmed;
}

}  // namespace

const char* PictureStateText(int32_t state) {
  switch (state) {
    case tables::kPhotoNotStored:
      return "noch nicht importiert";
    case tables::kPhotoFromVandra:
      return "aus VANDRA importiert";
    case tables::kPhotoLocal:
      return "lokal importiert";
    default:
      return "unbekannt";
  }
}

TFormEditFoto::TFormEditFoto(DialogTools::FotoActions& actions)
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
      actions_(actions) {
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
        actions_.CloseFotoverwaltung();
      } catch (...) {
      }
    }
  }
}

void TFormEditFoto::FormCreate() {
  StartDir = Tools::GetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "OriginalFotos", "");
  Timer1.SetEnabled(false);
  actions_.EnsureFotoverwaltung();
  strPicFilenameFromDB.clear();
  strPicNewFileNameInKT.clear();
  strPicFullNameFromDialog.clear();
  strDefaultPicDir = actions_.PictureFolder();
}

void TFormEditFoto::FormShow() {
  actions_.EnsureFotoverwaltung();
}

void TFormEditFoto::FormDestroy() {
  try {
    actions_.FreeDataModule();
  } catch (...) {
  }
}

void TFormEditFoto::FormClose() {
  Timer1.SetEnabled(false);
  chosen_.reset();
  try {
    actions_.DropTempObject();
  } catch (...) {
    // The task must end all the same.
  }
  actions_.CloseFotoverwaltung();
}

void TFormEditFoto::InitControls(int32_t FotoID) {
  strPicNewFileNameInKT.clear();
  strPicFullNameFromDialog.clear();
  chosen_.reset();
  strPicFilenameFromDB.clear();
  Timer1.SetEnabled(false);
  const std::optional<tables::FotoRecord> row = actions_.OpenOnLinkRow(FotoID);
  Image1.ClearPicture();
  if (row) {
    // A photo without a date shows none, and is stored without one unless
    // the mapper enters it.
    dtpDate.date = row->Aufnahmedatum;
    eKurzname.text = row->Kurzname;
    eQuelle.text = row->Quelle;
    mBeschreibung.text = row->Bildbeschreibung;
    const int32_t state = row->IsNew.value_or(0);
    PictureState = state == tables::kPhotoLocal || state == tables::kPhotoFromVandra
                       ? state
                       : tables::kPhotoFromVandra;
    const std::optional<int32_t> grad =
        row->Blickrichtung ? platform::text::StrToInt(platform::text::Trim(*row->Blickrichtung))
                           : std::nullopt;
    SetBlickrichtung(grad.value_or(-1));
    const bool coordinates = row->RW && !row->RW->empty() && row->HW && !row->HW->empty();
    seRWert.text = coordinates ? *row->RW : "";
    seHWert.text = coordinates ? *row->HW : "";
    cbNoCoordinates.checked = !coordinates;
    strPicFilenameFromDB = row->PicFileName;
    editFilename.text.clear();
    // A picture whose file is missing or does not decode leaves the area
    // empty, never an earlier photo's picture; the picture control keeps the
    // reason for the presenter to show, without a box in the mapper's way.
    if (const std::optional<std::string> stored = actions_.StoredPicture(strPicFilenameFromDB)) {
      editFilename.text = strPicFilenameFromDB;
      Image1.LoadFromFile(*stored);
    }
    Label7.visible = !Image1.HasPicture();
    Image1.visible = Image1.HasPicture();
    OrgFotoID = row->FotoID;
  } else {
    FillControlsByDefault();
    PictureState = tables::kPhotoNotStored;
    OrgFotoID = 0;
  }
  BtnOK.enabled = PictureState != tables::kPhotoFromVandra;
  BtnGetFoto.enabled = PictureState != tables::kPhotoFromVandra;
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

void TFormEditFoto::BtnGetFotoClick() {
  if (PictureState == tables::kPhotoFromVandra) return;
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
  if (actions_.InPictureFolder(*chosen)) {
    platform::ui::MessageBox(
        MsgKind::kWarning,
        "Es können nur Fotos eingestellt werden, die sich außerhalb des Projekts befinden!");
    return;
  }
  // The file is opened once: the picture checked and shown is the one
  // stored, whatever is put under its name meanwhile. A file that is no
  // picture changes nothing: the earlier picture stays.
  std::string why;
  std::optional<DialogTools::ChosenPicture> picture = actions_.OpenPicture(*chosen, why);
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
  if (actions_.ChangedSinceChecked(*picture)) {
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
  return strPicFullNameFromDialog.empty() || !actions_.InPictureFolder(strPicFullNameFromDialog);
}

bool TFormEditFoto::ZustandOK() const {
  return actions_.TaskObjectActive();
}

tables::FotoRecord TFormEditFoto::Entered() const {
  tables::FotoRecord row;
  if (!cbNoCoordinates.checked) {
    row.RW = CoordinateOf(seRWert);
    row.HW = CoordinateOf(seHWert);
  }
  row.Kurzname = eKurzname.text;
  row.Aufnahmedatum = dtpDate.date;
  const int32_t grad = GetBlickrichtung();
  if (grad != -1) row.Blickrichtung = std::to_string(grad);
  row.Quelle = eQuelle.text;
  row.Bildbeschreibung = mBeschreibung.text;
  return row;
}

void TFormEditFoto::BtnOKClick() {
  if (PictureState == tables::kPhotoFromVandra) return;
  if (!PointRemovedAtOnce()) actions_.RemoveTempObject();
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
  if (platform::text::Utf8Length(eQuelle.text) > QuelleLength()) {
    platform::ui::MessageBox(MsgKind::kWarning, "Die Quelle ist zu lang: höchstens " +
                                                    std::to_string(QuelleLength()) +
                                                    " Zeichen sind möglich.");
    return;
  }
  if (!ZustandOK()) {
    platform::ui::MessageBox(MsgKind::kError, "Das aktive Objekt hat gewechselt!");
    Close(ModalResult::kCancel);
    return;
  }
  Tools::SetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "OriginalFotos", StartDir);
  DialogTools::FotoIntake intake;
  intake.OrgFotoID = OrgFotoID;
  intake.PictureState = PictureState;
  intake.strPicFilenameFromDB = strPicFilenameFromDB;
  intake.chosen = chosen_ ? &*chosen_ : nullptr;
  intake.entered = Entered();
  const DialogTools::FotoIntakeResult taken = actions_.TakeIn(intake);
  strPicNewFileNameInKT = taken.PicFileName;
  if (!taken.stored) return;
  if (taken.copied) editFilename.text = strPicNewFileNameInKT;
  PictureState = taken.PictureState;
  UpdateLblPicState();
  Close(ModalResult::kOk);
}

void TFormEditFoto::btnCancelClick() {
  if (!PointRemovedAtOnce()) actions_.RemoveTempObject();
  Close(ModalResult::kCancel);
}

void TFormEditFoto::BtnGetCoordinateClick() {
  if (actions_.StartCapture(lngOKL)) Timer1.SetEnabled(true);
}

void TFormEditFoto::Timer1Timer() {
  if (actions_.CapturePlacing()) return;
  Timer1.SetEnabled(false);
  const DialogTools::Capture captured = actions_.TakeCapture();
  if (captured.state == DialogTools::Capture::State::kNone) return;
  if (captured.state == DialogTools::Capture::State::kLost) {
    Close(ModalResult::kCancel);
    return;
  }
  seRWert.text = captured.RW;
  seHWert.text = captured.HW;
  cbNoCoordinates.checked = false;
  cbNoCoordinatesClick();
  // One capture per opening: the point stays until the dialog closes.
  if (!PointRemovedAtOnce()) BtnGetCoordinate.enabled = false;
}
