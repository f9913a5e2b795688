// Message boxes, file dialogs, the mouse cursor and the presenter that shows
// them. The presenter is chosen once when a plug-in build is loaded
// (ChoosePresenterFromEnvironment): the scripted one when KARTUL_ANSWERS
// names an answer file, else the platform's interactive one (the terminal
// presenter on Linux, Win32 dialog windows on Windows); with
// KARTUL_TRANSCRIPT set, every message box and form shown is appended to
// that file with its texts and the answer given. KARTUL_WAIT_LIMIT (whole
// seconds) sets how long the scripted one waits for a form watching work
// that no answer closes (ScriptedPresenter::WaitLimit).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/Form.h"

namespace platform::ui {

// kPlain is the untitled box that shows a driver's error text.
enum class MsgKind { kPlain, kWarning, kInformation, kError, kConfirmation };
enum class MsgButtons { kOk, kYesNo, kOkCancel, kYesNoCancel };
enum class MsgAnswer { kOk, kYes, kNo, kCancel };

// "plain", "warning", "information", "error", "confirmation".
std::string_view MsgKindName(MsgKind kind);
// The title a message box of the kind shows the mapper: "Meldung",
// "Warnung", "Information", "Fehler", "Bestätigen".
std::string_view MsgKindCaption(MsgKind kind);
// "OK", "YesNo", "OKCancel", "YesNoCancel".
std::string_view MsgButtonsName(MsgButtons buttons);
// "OK", "Yes", "No", "Cancel".
std::string_view MsgAnswerName(MsgAnswer answer);
// Whether the box shows the answer's button.
bool MsgButtonsOffer(MsgButtons buttons, MsgAnswer answer);
// What closing the box without choosing gives: Cancel, else No, else OK.
MsgAnswer SafestAnswer(MsgButtons buttons);

struct FileDialogRequest {
  enum class Kind { kOpen, kSave } kind = Kind::kOpen;
  std::string title;
  std::string filter;  // "Textdateien (*.txt)|*.txt"
  std::string initial_dir;
  std::string file_name;    // proposed name
  std::string default_ext;  // without dot, added when the name has none
};

// Shows a file dialog; the chosen path, or nothing when cancelled. A chosen
// name without extension gets default_ext.
std::optional<std::string> FileDialog(const FileDialogRequest& request);
// The path with the request's default extension added when its file name
// has none (presenters apply it before they answer).
std::string WithDefaultExtension(const FileDialogRequest& request, std::string path);

// Shows a modal message box and returns the button the user pressed.
MsgAnswer MessageBox(MsgKind kind, std::string_view text, MsgButtons buttons = MsgButtons::kOk);

// The shapes of the mouse cursor the system uses.
enum class Cursor { kDefault, kHourglass };
Cursor CurrentCursor();
void SetCursor(Cursor cursor);

// Shows the hourglass for its lifetime and restores the previous cursor.
class HourglassGuard {
 public:
  HourglassGuard() : previous_(CurrentCursor()) { SetCursor(Cursor::kHourglass); }
  ~HourglassGuard() { SetCursor(previous_); }
  HourglassGuard(const HourglassGuard&) = delete;
  HourglassGuard& operator=(const HourglassGuard&) = delete;

 private:
  Cursor previous_;
};

// Shows forms and message boxes. Implementations: ScriptedPresenter (tests,
// batch scenarios), TerminalPresenter (interactive, Linux), WinPresenter
// (Win32 windows, Windows).
class Presenter {
 public:
  virtual ~Presenter() = default;
  virtual MsgAnswer ShowMessage(MsgKind kind, std::string_view text, MsgButtons buttons) = 0;
  // Runs the modal loop: returns once form.modal_result is no longer kNone.
  virtual void RunModal(Form& form) = 0;
  // A modeless form opens (Show) or closes. CloseModeless also comes from
  // the form's destructor; the presenter must forget the form then.
  virtual void ShowModeless(Form& form) = 0;
  virtual void CloseModeless(Form& form) = 0;
  virtual std::optional<std::string> ShowFileDialog(const FileDialogRequest& request) = 0;
  // The mouse cursor changed (SetCursor); a presenter may show the work.
  virtual void CursorChanged(Cursor /*cursor*/) {}

 protected:
  static void SetShowing(Form& form, bool showing) { form.showing_ = showing; }
};

// The installed presenter; the first call without one installs the choice
// from the environment.
Presenter& CurrentPresenter();
// The installed presenter or null; never installs one.
Presenter* InstalledPresenter();
// Installs a presenter (null removes it); returns the one it replaces.
std::unique_ptr<Presenter> SetPresenter(std::unique_ptr<Presenter> presenter);
// The choice made at library load, from KARTUL_ANSWERS, KARTUL_TRANSCRIPT
// and KARTUL_WAIT_LIMIT.
void ChoosePresenterFromEnvironment();

}  // namespace platform::ui
