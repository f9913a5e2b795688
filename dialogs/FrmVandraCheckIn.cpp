#include "dialogs/FrmVandraCheckIn.h"

#include <memory>

#include "dialogs/CheckInLog.h"
#include "dialogs/FormCheckInBefunde.h"
#include "host/Tools.h"
#include "platform/env/Env.h"
#include "platform/ui/Ui.h"

namespace env = platform::env;
using namespace VandraCheckInSettings;
using platform::ui::Button;
using platform::ui::CheckBox;
using platform::ui::Edit;
using platform::ui::GroupBox;
using platform::ui::Label;
using platform::ui::ModalResult;
using platform::ui::MsgAnswer;
using platform::ui::MsgButtons;
using platform::ui::MsgKind;

namespace {

// The registry key of the dialog's settings, below the current user's hive.
constexpr const char* kRegistryKey = "Vandra";
// A log is read in blocks of this size.
constexpr size_t kLogBlock = 1 << 20;

template <class T>
T& Within(T& control, std::string_view group) {
  control.parent = std::string(group);
  return control;
}

void ShowError(const std::string& text) {
  platform::ui::MessageBox(MsgKind::kError, text);
}

std::string LogNotFound(const std::string& path) {
  return "Die Logdatei " + path + " konnte nicht gefunden werden!";
}

// Where a file of that name lies, matched without regard to case as the
// host's file system does; nothing when there is none.
std::optional<std::string> Locate(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const std::string folder = env::FolderOf(path);
  auto name = env::FindNoCase(env::Env::Current(), folder, env::NameOf(path));
  if (!name) return std::nullopt;
  return env::JoinPath(folder, *name);
}

std::optional<std::string> ChooseFile(std::string filter, const std::string& current) {
  platform::ui::FileDialogRequest request;
  request.kind = platform::ui::FileDialogRequest::Kind::kOpen;
  request.filter = std::move(filter);
  if (!current.empty()) {
    request.initial_dir = env::FolderOf(current);
    request.file_name = env::NameOf(current);
  }
  return platform::ui::FileDialog(request);
}

// Feeds the log found at `path` to `feed` block by block until it ends or
// `done` says the rest cannot matter; false when there is no log.
template <class Feed, class Done>
bool ReadLogInBlocks(const std::string& path, Feed feed, Done done) {
  const std::optional<std::string> found = Locate(path);
  if (!found) return false;
  std::unique_ptr<env::File> file = env::Env::Current().Open(*found, env::OpenMode::kRead);
  std::string block(kLogBlock, '\0');
  uint64_t offset = 0;
  for (size_t n; !done() && (n = file->ReadAt(offset, block.data(), block.size())) > 0;
       offset += n) {
    feed(std::string_view(block.data(), n));
  }
  return true;
}

}  // namespace

std::optional<bool> ReadCheckInLog(const std::string& path) {
  CheckInLog::Reader reader;
  if (!ReadLogInBlocks(
          path, [&](std::string_view bytes) { reader.Feed(bytes); },
          [&] { return reader.Decided(); })) {
    return std::nullopt;
  }
  return reader.Finish();
}

std::optional<std::vector<CheckInLog::Befund>> ReadCheckInBefunde(const std::string& path,
                                                                  bool& truncated) {
  CheckInLog::BefundReader reader;
  if (!ReadLogInBlocks(
          path, [&](std::string_view bytes) { reader.Feed(bytes); }, [] { return false; })) {
    return std::nullopt;
  }
  std::vector<CheckInLog::Befund> befunde = reader.Finish();
  truncated = reader.Truncated();
  return befunde;
}

TfrmVandraCheckIn::TfrmVandraCheckIn(DialogTools::CheckInActions& actions)
    : Form("TfrmVandraCheckIn", "VANDRA Check-In"),
      FRegIniFile(kRegistryKey),
      GroupBox1(Add<GroupBox>("GroupBox1", " Login ")),
      Label1(Within(Add<Label>("Label1", "Nutzer:"), "GroupBox1")),
      EditUserName(Within(Add<Edit>("EditUserName"), "GroupBox1")),
      Label2(Within(Add<Label>("Label2", "Passwort:"), "GroupBox1")),
      EditPassword(Within(Add<Edit>("EditPassword"), "GroupBox1")),
      cbStoreLogin(
          Within(Add<CheckBox>("cbStoreLogin", "Login-Informationen speichern"), "GroupBox1")),
      GroupBox2(Add<GroupBox>("GroupBox2", " Datenbank ")),
      Label3(Within(Add<Label>("Label3", "DB-Server:"), "GroupBox2")),
      EditDBServer(Within(Add<Edit>("EditDBServer"), "GroupBox2")),
      Label4(Within(Add<Label>("Label4", "Datenbank:"), "GroupBox2")),
      EditDatabase(Within(Add<Edit>("EditDatabase"), "GroupBox2")),
      GroupBox3(Add<GroupBox>("GroupBox3", " Transaktion ")),
      Label5(Within(Add<Label>("Label5", "Importverzeichnis:"), "GroupBox3")),
      EditImportDir(Within(Add<Edit>("EditImportDir"), "GroupBox3")),
      Label6(Within(Add<Label>("Label6", "Transaktionsname:"), "GroupBox3")),
      EditTransaktionsname(Within(Add<Edit>("EditTransaktionsname"), "GroupBox3")),
      GroupBox4(Add<GroupBox>("GroupBox4", " Programmpfad ")),
      Label7(Within(Add<Label>("Label7", "CheckIn.exe:"), "GroupBox4")),
      editProgrammpfad(Within(Add<Edit>("editProgrammpfad"), "GroupBox4")),
      btnSetProgramDir(
          Within(Add<Button>("btnSetProgramDir", "", ModalResult::kNone), "GroupBox4")),
      Label8(Within(Add<Label>("Label8", "Editor"), "GroupBox4")),
      EditEditorPath(Within(Add<Edit>("EditEditorPath"), "GroupBox4")),
      BtnSetEditorName(
          Within(Add<Button>("BtnSetEditorName", "", ModalResult::kNone), "GroupBox4")),
      btnStart(Add<Button>("btnStart", "Start", ModalResult::kNone)),
      btnCancel(Add<Button>("btnCancel", "Abbruch", ModalResult::kCancel)),
      actions_(actions) {
  EditPassword.password = true;
  EditImportDir.read_only = true;
  EditTransaktionsname.read_only = true;
  btnCancel.is_cancel = true;
  btnSetProgramDir.on_click = [this] { btnSetProgramDirClick(); };
  BtnSetEditorName.on_click = [this] { BtnSetEditorNameClick(); };
  btnStart.on_click = [this] { btnStartClick(); };
}

void TfrmVandraCheckIn::InitControls() {
  cbStoreLogin.checked = FRegIniFile.ReadBool(SECTION, cIdentStoreLoginParams, false);
  if (cbStoreLogin.checked) {
    EditUserName.text = FRegIniFile.ReadString(SECTION, cIdentUserName, "");
    EditPassword.text = FRegIniFile.ReadString(SECTION, cIdentPassword, "");
  } else {
    EditUserName.text = Tools::GetCurrentUserName();
    EditPassword.text.clear();
  }
  EditDBServer.text = FRegIniFile.ReadString(SECTION, cIdentDBServer, "");
  EditDatabase.text = FRegIniFile.ReadString(SECTION, cIdentDatabase, "");
  EditImportDir.text = strExportDir;
  EditTransaktionsname.text = strFileNamePrefix;
  editProgrammpfad.text = FRegIniFile.ReadString(SECTION, cIdentProgramPath, "");
  EditEditorPath.text = FRegIniFile.ReadString(SECTION, cIdentEditorPath, "");
}

void TfrmVandraCheckIn::btnSetProgramDirClick() {
  const std::string name(cCheckInProgram);
  if (auto chosen = ChooseFile(name + "|" + name, editProgrammpfad.text)) {
    editProgrammpfad.text = *chosen;
  }
}

void TfrmVandraCheckIn::BtnSetEditorNameClick() {
  if (auto chosen = ChooseFile("Ausführbare Dateien (*.exe)|*.exe", EditEditorPath.text)) {
    EditEditorPath.text = *chosen;
  }
}

std::vector<std::string> TfrmVandraCheckIn::CheckInArguments(bool probe) const {
  std::vector<std::string> args;
  if (probe) args.push_back("-l");
  for (auto [flag, value] : {std::pair{"-s", &EditDBServer.text},
                             {"-u", &EditUserName.text},
                             {"-p", &EditPassword.text},
                             {"-D", &EditDatabase.text}}) {
    args.push_back(flag);
    args.push_back(*value);
  }
  args.insert(args.end(), {"-d", strExportDir, "-n", strFileNamePrefix});
  return args;
}

std::string TfrmVandraCheckIn::LogFileName() const {
  return strExportDir + Tools::kPathDelim + strFileNamePrefix + ".log";
}

void TfrmVandraCheckIn::StoreSettings() {
  try {
    FRegIniFile.WriteBool(SECTION, cIdentStoreLoginParams, cbStoreLogin.checked);
    FRegIniFile.WriteString(SECTION, cIdentUserName,
                            cbStoreLogin.checked ? EditUserName.text : std::string());
    FRegIniFile.WriteString(SECTION, cIdentPassword,
                            cbStoreLogin.checked ? EditPassword.text : std::string());
    FRegIniFile.WriteString(SECTION, cIdentDBServer, EditDBServer.text);
    FRegIniFile.WriteString(SECTION, cIdentDatabase, EditDatabase.text);
    FRegIniFile.WriteString(SECTION, cIdentProgramPath, editProgrammpfad.text);
    FRegIniFile.WriteString(SECTION, cIdentEditorPath, EditEditorPath.text);
  } catch (const platform::registry::RegistryError& error) {
    platform::ui::MessageBox(MsgKind::kWarning,
                             std::string("Die Einstellungen des Check-Ins konnten nicht "
                                         "gespeichert werden:\n") +
                                 error.what());
  }
}

bool TfrmVandraCheckIn::RemoveOldLog() {
  // Every spelling of the name goes, since the reader would take any.
  constexpr int kMostSpellings = 16;
  try {
    for (int i = 0; i < kMostSpellings; ++i) {
      const std::optional<std::string> old = Locate(LogFileName());
      if (!old) return true;
      env::Env::Current().Remove(*old);
    }
    ShowError("Die Logdatei " + LogFileName() +
              " eines früheren Check-Ins konnte nicht gelöscht werden!");
    return false;
  } catch (const env::EnvError& error) {
    ShowError("Die Logdatei " + LogFileName() +
              " eines früheren Check-Ins konnte nicht gelöscht werden:\n" + error.what());
    return false;
  }
}

TfrmVandraCheckIn::Verdict TfrmVandraCheckIn::RunCheckIn(bool probe) {
  const std::string& program = editProgrammpfad.text;
  const DialogTools::CheckInRun run = actions_.RunProgram(program, CheckInArguments(probe), probe);
  using Ending = DialogTools::CheckInRun::Ending;
  switch (run.ending) {
    case Ending::kCancelled:
      ShowError(std::string(probe ? "Der Probe-Checkin" : "Der Checkin") +
                " wurde abgebrochen: das Programm " + program + " wurde beendet.");
      return Verdict::kCancelled;
    case Ending::kCrashed:
      ShowError("Das Programm " + program + " ist abgestürzt (Signal " + std::to_string(run.code) +
                "). Der Lauf gilt als nicht erfolgreich, was auch immer seine Logdatei meldet.");
      return Verdict::kFailure;
    case Ending::kNotStarted:
    case Ending::kEnded:
      break;
  }
  return ProbelaufErfolgreich(strExportDir, strFileNamePrefix) ? Verdict::kSuccess
                                                               : Verdict::kFailure;
}

bool TfrmVandraCheckIn::PackageWhole() {
  const std::optional<std::string> why =
      actions_.PackageIncomplete(strExportDir, strFileNamePrefix);
  if (!why) return true;
  ShowError(*why + "\rEs wird nicht eingecheckt; ein neuer Export ersetzt es.");
  return false;
}

void TfrmVandraCheckIn::btnStartClick() {
  StoreSettings();
  if (!Tools::FileExists(editProgrammpfad.text)) {
    ShowError("Das Programm " + editProgrammpfad.text + " konnte nicht gefunden werden!");
    modal_result = ModalResult::kAbort;
    return;
  }
  if (!PackageWhole() || !RemoveOldLog()) {
    modal_result = ModalResult::kCancel;
    return;
  }
  const Verdict probe = RunCheckIn(true);
  if (probe == Verdict::kCancelled) {
    modal_result = ModalResult::kCancel;
    return;
  }
  if (probe == Verdict::kFailure) {
    ShowError("Der Probe-Checkin war nicht erfolgreich!");
    ShowLogFile(EditEditorPath.text, strExportDir, strFileNamePrefix);
    OfferBefunde();
    modal_result = ModalResult::kCancel;
    return;
  }
  if (platform::ui::MessageBox(MsgKind::kInformation,
                               "Probe-Checkin erfolgreich durchgeführt! Logdate ansehen?",
                               MsgButtons::kYesNo) == MsgAnswer::kYes) {
    ShowLogFile(EditEditorPath.text, strExportDir, strFileNamePrefix);
    platform::ui::MessageBox(MsgKind::kInformation, "Scharfen Checkin starten");
  }
  if (!PackageWhole() || !RemoveOldLog()) {
    modal_result = ModalResult::kCancel;
    return;
  }
  const Verdict real = RunCheckIn(false);
  if (real == Verdict::kCancelled) {
    modal_result = ModalResult::kCancel;
    return;
  }
  if (real == Verdict::kSuccess) {
    if (platform::ui::MessageBox(MsgKind::kConfirmation,
                                 "Checkin erfolgreich durchgeführt! Logdatei ansehen?",
                                 MsgButtons::kYesNo) == MsgAnswer::kYes) {
      ShowLogFile(EditEditorPath.text, strExportDir, strFileNamePrefix);
    }
    OfferBefunde();
    modal_result = ModalResult::kOk;
    return;
  }
  ShowError("Der Probe-Checkin war nicht erfolgreich!");
  ShowLogFile(EditEditorPath.text, strExportDir, strFileNamePrefix);
  OfferBefunde();
  modal_result = ModalResult::kCancel;
}

void TfrmVandraCheckIn::OfferBefunde() {
  if (!CheckInBefundeEnabled()) return;
  bool truncated = false;
  std::optional<std::vector<CheckInLog::Befund>> befunde;
  try {
    befunde = ReadCheckInBefunde(LogFileName(), truncated);
  } catch (const env::EnvError&) {
    // The verdict already told the mapper the log cannot be read.
    return;
  }
  if (!befunde || befunde->empty()) return;
  TFormCheckInBefunde form(*befunde, truncated);
  form.ShowModal();
}

bool TfrmVandraCheckIn::ProbelaufErfolgreich(const std::string& Dir, const std::string& Prefix) {
  const std::string path = Dir + Tools::kPathDelim + Prefix + ".log";
  try {
    const std::optional<bool> verdict = ReadCheckInLog(path);
    if (!verdict) {
      ShowError(LogNotFound(path));
      return false;
    }
    return *verdict;
  } catch (const env::EnvError& error) {
    ShowError("Die Logdatei " + path + " konnte nicht gelesen werden:\n" + error.what());
    return false;
  }
}

void TfrmVandraCheckIn::ShowLogFile(const std::string& EditorPath, const std::string& Dir,
                                    const std::string& Prefix) {
  const std::string path = Dir + Tools::kPathDelim + Prefix + ".log";
  if (!Tools::FileExists(path)) {
    ShowError(LogNotFound(path));
  } else if (!Tools::FileExists(EditorPath)) {
    ShowError("Der Editor " + EditorPath + " konnte nicht gefunden werden!");
  } else {
    Tools::Exec(EditorPath, {path});
  }
}
