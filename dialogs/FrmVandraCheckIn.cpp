#include "dialogs/FrmVandraCheckIn.h"

#include <optional>

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
using platform::ui::MsgKind;

namespace {

// The registry key of the dialog's settings, below the current user's hive.
constexpr const char* kRegistryKey = "Vandra";

template <class T>
T& Within(T& control, std::string_view group) {
  control.parent = std::string(group);
  return control;
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

}  // namespace

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

DialogTools::CheckInRequest TfrmVandraCheckIn::Request() const {
  return {editProgrammpfad.text, EditEditorPath.text, EditDBServer.text, EditUserName.text,
          EditPassword.text,     EditDatabase.text,   strExportDir,      strFileNamePrefix};
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

void TfrmVandraCheckIn::btnStartClick() {
  StoreSettings();
  modal_result = actions_.CheckIn(Request());
}
