// The presenter of the Windows build: message boxes, forms and file dialogs
// as real Win32 windows on the host's thread.
//
// A form becomes a dialog window built at run time, one Win32 control per
// model control, in model order (which is the tab order), flowing from top
// to bottom: the models carry no coordinates. The window is a view of the
// model: every click or change of the user goes to the model at once through
// the same calls the other presenters make (Button::Click, Edit::Type,
// ListBox::Select, ...), and after each the window is brought in line with
// the model again, since a handler may fill a list or disable a button. So
// the model holds the values when the dialog closes.
//
// RunModal runs a modal loop of its own until the form's modal_result is
// set, with the windows below disabled; a form that watches work going on
// (Form::on_idle) has its idle handler run while the loop waits. A modeless
// form (ShowModeless) lives in the host's message loop and has no loop of
// its own; a timer of its window keeps it in line with the model, which the
// host may change meanwhile.
//
// With a transcript, boxes and forms are recorded as the scripted presenter
// records them: what was shown and the answer or result.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Transcript.h"
#include "platform/ui/Ui.h"

namespace platform::ui {

class WinPresenter : public Presenter {
 public:
  explicit WinPresenter(std::shared_ptr<Transcript> transcript = {});
  ~WinPresenter() override;
  WinPresenter(const WinPresenter&) = delete;
  WinPresenter& operator=(const WinPresenter&) = delete;

  MsgAnswer ShowMessage(MsgKind kind, std::string_view text, MsgButtons buttons) override;
  void RunModal(Form& form) override;
  void ShowModeless(Form& form) override;
  void CloseModeless(Form& form) override;
  std::optional<std::string> ShowFileDialog(const FileDialogRequest& request) override;
  void CursorChanged(Cursor cursor) override;

  // The Win32 control id of the form's control at `index` in model order;
  // `part` 1 + k is item k of a radio group. What a test or an automation
  // tool finds the controls by (GetDlgItem).
  static int ControlId(size_t index, int part = 0);
  // The window class of the form windows ("#32770", the dialog class).
  static const wchar_t* WindowClass();

  class Window;

 private:
  std::shared_ptr<Transcript> transcript_;
  // Frees the windows closed while one of their handlers still ran.
  void FreeRetired();

  std::map<const Form*, std::unique_ptr<Window>> modeless_;
  std::vector<std::unique_ptr<Window>> retired_;
};

}  // namespace platform::ui
