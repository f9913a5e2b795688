// "VANDRA Check-In": hands an exported package to the central system's
// check-in program. The dialog collects login and database, remembers them
// under the current user's registry key "Vandra", runs the program first as
// a probe and, when the probe's log reports no errors, for real, and can
// open the log in a text editor.
//
// The log decides a run that ended by itself: before each run the package's
// old log is removed, so that a program that could not start leaves no log
// and the run counts as failed instead of being judged by an earlier log. A
// program that ended by a signal (crashed, or was killed) failed, whatever
// its log says. While a run goes on the mapper sees it and may cancel it
// (CheckInActions::RunProgram); a cancelled run failed too. A package that
// is incomplete (a cut export) is told and never handed over.
// The arguments go to the program as a real argument vector, so values with
// blanks stay whole and an empty value is an empty argument. The password
// appears only in the program's arguments and, when the mapper asks for it,
// in the registry (whose file only the user may read).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/CheckInLog.h"
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

// How one run of the check-in program ended.
struct CheckInRun {
  enum class Ending {
    kNotStarted,  // it could not be started
    kEnded,       // it ended by itself; `code` is its exit code
    kCrashed,     // a signal ended it; `code` is the signal
    kCancelled,   // the mapper cancelled it, and it was ended
  };
  Ending ending = Ending::kNotStarted;
  int code = 0;
};

// What the check-in dialog has the rules do; the rule that opens the dialog
// passes it in, and it must outlive the dialog.
class CheckInActions {
 public:
  virtual ~CheckInActions() = default;
  // Why the package in the folder (without trailing delimiter) under the
  // prefix cannot be handed over as it lies, in German; nothing when whole.
  virtual std::optional<std::string> PackageIncomplete(const std::string& folder,
                                                       const std::string& prefix) = 0;
  // Runs the program with the arguments, showing the mapper that it runs
  // until it ends or the mapper cancels it, which ends it and what it
  // started.
  virtual CheckInRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                                bool probe) = 0;
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

  // The program's arguments for one run: the probe flag, then server, user,
  // password, database, package folder and prefix, each flag and each value
  // an argument of its own.
  std::vector<std::string> CheckInArguments(bool probe) const;
  // The log of the package: folder + "/" + prefix + ".log".
  std::string LogFileName() const;

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
  // Whether the package's log reports zero attribute and zero geometry
  // errors; a missing log is reported and counts as failure.
  bool ProbelaufErfolgreich(const std::string& Dir, const std::string& Prefix);
  void ShowLogFile(const std::string& EditorPath, const std::string& Dir,
                   const std::string& Prefix);
  // Stores the controls' values; a registry that cannot be written is
  // reported and the check-in goes on with the values typed.
  void StoreSettings();
  // Removes the log an earlier run left; false (reported) when it stays.
  bool RemoveOldLog();
  enum class Verdict { kSuccess, kFailure, kCancelled };
  // One run of the program and its verdict: a cancelled or crashed run is
  // told here; the log decides one that ended by itself.
  Verdict RunCheckIn(bool probe);
  // Whether the package is whole; an incomplete one is told.
  bool PackageWhole();

  DialogTools::CheckInActions& actions_;
  // When the mapper asked for it and the log names objects: offers them
  // for selection.
  void OfferBefunde();
};

// Whether the log file reports a run without errors; nothing when it cannot
// be found. Reads in blocks and stops as soon as the verdict is settled.
// Throws EnvError when the log exists but cannot be read.
std::optional<bool> ReadCheckInLog(const std::string& path);
// The findings about objects the log names; nothing when it cannot be
// found. `truncated` tells when more were named than kept. Throws EnvError
// when the log exists but cannot be read.
std::optional<std::vector<CheckInLog::Befund>> ReadCheckInBefunde(const std::string& path,
                                                                  bool& truncated);
