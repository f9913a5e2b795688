// "VANDRA Check-In": hands an exported package to the central system's
// check-in program. The dialog collects login and database and the paths of
// the program and of a text editor for its log, remembers them under the
// current user's registry key "Vandra", and on "Start" has the rules run
// the check-in (VandraCheckIn): the probe, the real run, the verdicts on
// their logs. The password appears, when the mapper asks for it, in the
// registry (whose file only the user may read).
#pragma once

#include <string>
#include <string_view>

#include "platform/registry/Registry.h"
#include "platform/ui/Form.h"

namespace VandraCheckInSettings {
inline constexpr std::string_view SECTION = "AutoCheckIn";
inline constexpr std::string_view cIdentStoreLoginParams = "StoreLoginParams";
inline constexpr std::string_view cIdentUserName = "UserName";
inline constexpr std::string_view cIdentPassword = "Password";
inline constexpr std::string_view cIdentDBServer = "DBServer";
inline constexpr std::string_view cIdentDatabase = "Datenbank";
inline constexpr std::string_view cIdentProgramPath = "ProgramPath";
inline constexpr std::string_view cIdentEditorPath = "EditorPath";
// The check-in program's file name, which its chooser asks for.
inline constexpr std::string_view cCheckInProgram = "Checkin.exe";
}  // namespace VandraCheckInSettings

namespace DialogTools {

// What the mapper entered for a check-in.
struct CheckInRequest {
  std::string program;  // the check-in program
  std::string editor;   // the text editor for its log
  std::string server;
  std::string user;
  std::string password;
  std::string database;
  std::string folder;  // the package's, without trailing delimiter
  std::string prefix;  // the package's
};

// What the check-in dialog has the rules do; the rule that opens the dialog
// passes it in, and it must outlive the dialog.
class CheckInActions {
 public:
  virtual ~CheckInActions() = default;
  // The check-in of the package as "Start" asks for it; answers the
  // dialog's result.
  virtual platform::ui::ModalResult CheckIn(const CheckInRequest& request) = 0;
};

}  // namespace DialogTools

class TfrmVandraCheckIn : public platform::ui::Form {
 public:
  // Opens (and creates) the registry key; throws RegistryError when the
  // registry file is damaged or cannot be written.
  explicit TfrmVandraCheckIn(DialogTools::CheckInActions& actions);

  // Fills the controls from the registry and the package.
  void InitControls();

  // The handlers.
  void btnSetProgramDirClick();
  void BtnSetEditorNameClick();
  void btnStartClick();

  // The check-in as the controls hold it.
  DialogTools::CheckInRequest Request() const;

  platform::registry::RegIniFile FRegIniFile;
  std::string strExportDir;  // without trailing delimiter
  std::string strFileNamePrefix;

  platform::ui::GroupBox& GroupBox1;
  platform::ui::Label& Label1;
  platform::ui::Edit& EditUserName;
  platform::ui::Label& Label2;
  platform::ui::Edit& EditPassword;
  platform::ui::CheckBox& cbStoreLogin;
  platform::ui::GroupBox& GroupBox2;
  platform::ui::Label& Label3;
  platform::ui::Edit& EditDBServer;
  platform::ui::Label& Label4;
  platform::ui::Edit& EditDatabase;
  platform::ui::GroupBox& GroupBox3;
  platform::ui::Label& Label5;
  platform::ui::Edit& EditImportDir;
  platform::ui::Label& Label6;
  platform::ui::Edit& EditTransaktionsname;
  platform::ui::GroupBox& GroupBox4;
  platform::ui::Label& Label7;
  platform::ui::Edit& editProgrammpfad;
  platform::ui::Button& btnSetProgramDir;
  platform::ui::Label& Label8;
  platform::ui::Edit& EditEditorPath;
  platform::ui::Button& BtnSetEditorName;
  platform::ui::Button& btnStart;
  platform::ui::Button& btnCancel;

 private:
  // Stores the controls' values; a registry that cannot be written is
  // reported and the check-in goes on with the values typed.
  void StoreSettings();

  DialogTools::CheckInActions& actions_;
};
