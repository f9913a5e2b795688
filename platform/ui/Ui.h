// Message boxes, file dialogs, the mouse cursor and the presenter that shows
// them. The presenter is chosen once when a plug-in build is loaded
// (ChoosePresenterFromEnvironment): the terminal presenter by default, the
// scripted one when KARTUL_ANSWERS names an answer file; with
// KARTUL_TRANSCRIPT set, every message box and form shown is appended to
// that file with its texts and the answer given.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/Form.h"

namespace platform::ui {

// kPlain is the untitled box that shows a driver's error text.
enum class MsgKind { kPlain, kWarning, kInformation, kError, kConfirmation };
enum class MsgButtons { kOk, kYesNo };
enum class MsgAnswer { kOk, kYes, kNo, kCancel };

std::string_view MsgKindName(MsgKind kind);
std::string_view MsgAnswerName(MsgAnswer answer);

struct FileDialogRequest {
  enum class Kind { kOpen, kSave } kind = Kind::kOpen;
  std::string title;
  std::string filter;        // "Textdateien (*.txt)|*.txt"
  std::string initial_dir;
  std::string file_name;     // proposed name
  std::string default_ext;   // without dot, added when the name has none
};

// Shows a file dialog; the chosen path, or nothing when cancelled.
std::optional<std::string> FileDialog(const FileDialogRequest& request);

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
// batch scenarios), TerminalPresenter (interactive).
class Presenter {
 public:
  virtual ~Presenter() = default;
  virtual MsgAnswer ShowMessage(MsgKind kind, std::string_view text, MsgButtons buttons) = 0;
  // Runs the modal loop: returns once form.modal_result is no longer kNone.
  virtual void RunModal(Form& form) = 0;
  // A modeless form opens (Show) or closes.
  virtual void ShowModeless(Form& form) = 0;
  virtual void CloseModeless(Form& form) = 0;
  virtual std::optional<std::string> ShowFileDialog(const FileDialogRequest& request) = 0;

 protected:
  static void SetShowing(Form& form, bool showing) { form.showing_ = showing; }
};

Presenter& CurrentPresenter();
// Installs a presenter; returns the one it replaces.
std::unique_ptr<Presenter> SetPresenter(std::unique_ptr<Presenter> presenter);
// The choice made at library load, from KARTUL_ANSWERS and KARTUL_TRANSCRIPT.
void ChoosePresenterFromEnvironment();

}  // namespace platform::ui
