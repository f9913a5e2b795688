// The interactive presenter (kartul-sim at its prompt, or any host run in a
// terminal): renders a message box or form as text and reads the user's
// actions line by line until the box is answered or the form closes. It
// reads /dev/tty when that can be opened, else standard input and output.
//
// Forms accept the actions of the answer file (Actions.h) and short forms:
// a control's number clicks, toggles or checks it; "<n> <k>" selects item k
// of a list or radio group, steps an up-down by +1/-1 or types the rest of
// the line into an edit; "<n> = <text>" types the text exactly; Enter presses
// the default button, "esc" the cancel button (else the close box); "r"
// redraws; "?" helps. A modeless form also takes "host", which leaves it open
// and returns to the host; it comes back when its content changes.
//
// When the input ends, message boxes get the safest answer and forms close
// with Cancel, so a run without a user never hangs.
//
// A modal form that watches work going on (Form::on_idle) has its idle
// handler run while a line is waited for; the lines of the form that change
// (the seconds passed) are written again, and the form closes itself when
// the work ends.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/BusySpinner.h"
#include "platform/ui/Timer.h"
#include "platform/ui/Transcript.h"
#include "platform/ui/Ui.h"

namespace platform::ui {

class TerminalPresenter : public Presenter {
 public:
  explicit TerminalPresenter(std::shared_ptr<Transcript> transcript = {});
  // Reads `in_fd` and writes `out_fd`; the descriptors stay the caller's.
  TerminalPresenter(int in_fd, int out_fd, std::shared_ptr<Transcript> transcript = {});
  ~TerminalPresenter() override;
  TerminalPresenter(const TerminalPresenter&) = delete;
  TerminalPresenter& operator=(const TerminalPresenter&) = delete;

  MsgAnswer ShowMessage(MsgKind kind, std::string_view text, MsgButtons buttons) override;
  void RunModal(Form& form) override;
  void ShowModeless(Form& form) override;
  void CloseModeless(Form& form) override;
  std::optional<std::string> ShowFileDialog(const FileDialogRequest& request) override;
  // While the hourglass is up the spinner shows that work goes on.
  void CursorChanged(Cursor cursor) override;

  // Brings back a modeless form whose content changed since it was last shown.
  void RunIdle();

 private:
  // A line of input, or nothing at its end. With `busy`, a modal form that
  // watches work going on, its idle handler runs while the line is waited
  // for; nothing comes back when that closes the form.
  std::optional<std::string> ReadLine(std::string_view prompt, Form* busy = nullptr);
  // Writes the lines of the form that changed since it was last shown.
  void ShowChanges(Form& form, std::string_view prompt);
  void Write(std::string_view text);
  std::string Render(const Form& form) const;
  // Runs the user's actions on the form until it closes or (modeless) the
  // user goes back to the host.
  void Interact(Form& form, bool modeless);
  // Applies one line of input; false when the user leaves a modeless form.
  bool Apply(Form& form, const std::string& line, bool modeless);

  int in_fd_;
  int out_fd_;
  bool own_fds_ = false;
  std::string buffer_;
  bool eof_ = false;
  int depth_ = 0;
  std::shared_ptr<Transcript> transcript_;
  std::vector<Form*> modeless_;
  std::map<const Form*, std::string> last_render_;
  Timer idle_timer_;
  BusySpinner spinner_;
};

}  // namespace platform::ui
