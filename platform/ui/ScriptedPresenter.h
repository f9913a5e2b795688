// The presenter of tests and batch scenarios: every message box, form and
// file dialog is answered by the next scripted action (Actions.h). The
// actions come from an answer file that is read on from where it was left
// each time an answer is needed, because the host appends to it while the
// plug-in runs, or from a text given in a unit test.
//
// A box or form nobody expected (no action left, or the next action does
// not fit) is a failure: it is recorded as a line "UNEXPECTED ..." in the
// transcript and on stderr, kept in Failures(), and answered the safest way
// (Cancel, else No, else OK; a form closes with Cancel) so the program goes
// on. An action that cannot be applied (a disabled, hidden or unknown
// control, a wrong item) is a failure too and is skipped.
//
// A modal form that watches work going on (Form::on_idle) needs no answer:
// when the next action is not addressed to it, or its actions run out while
// it is open, the presenter runs its idle handler until the form closes
// itself. An answer "form <Class>" with actions (a click on its cancel
// button) is applied as to any form. Waiting unanswered has a limit in real
// time (WaitLimit): a form still open then is a failure that names it, and
// it closes with Cancel, so that the rule that opened it ends its work (a
// check-in program that hangs fails the run instead of stalling it).
//
// Modeless forms: while one is open an idle timer (Timer.h) applies the
// pending actions that begin with "form <Class>" of an open modeless form,
// and the form actions after it, whenever the host's event loop is idle.
// Message boxes and forms that those actions raise take their answers from
// the following lines as usual; the form actions after them still go to the
// modeless form. Any other box or form outside it ends that addressing.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Actions.h"
#include "platform/ui/Timer.h"
#include "platform/ui/Transcript.h"
#include "platform/ui/Ui.h"

namespace platform::env {
class Env;
}

namespace platform::ui {

class ScriptedPresenter : public Presenter {
 public:
  // Actions from the answer file at `path` (it need not exist yet), read
  // through `env`, or Env::Current() when none is given.
  static std::unique_ptr<ScriptedPresenter> FromFile(std::string path,
                                                     std::shared_ptr<Transcript> transcript = {},
                                                     env::Env* env = nullptr);
  // Actions from a text; more can be added with AddActions.
  explicit ScriptedPresenter(std::string_view script = {},
                             std::shared_ptr<Transcript> transcript = {});
  ~ScriptedPresenter() override;

  void AddActions(std::string_view script);

  // How long a form watching work may stay open with no answer addressed
  // to it. Counted on the steady clock, not on the host's (a batch host
  // runs a virtual one): a program that truly hangs must be caught. The
  // default is far above what any scripted check-in takes, even under the
  // sanitizers or wine, and below the test runner's limit of 300 s, so that
  // the failure names the form before the runner kills the run.
  static constexpr std::chrono::seconds kDefaultWaitLimit{120};
  static constexpr std::chrono::seconds kLongestWaitLimit{86400};
  std::chrono::milliseconds WaitLimit() const { return wait_limit_; }
  void SetWaitLimit(std::chrono::milliseconds limit) { wait_limit_ = limit; }
  // The limit from a setting of the run (`name`, e.g. KARTUL_WAIT_LIMIT):
  // whole seconds from 1 to kLongestWaitLimit. Any other text is a failure
  // and leaves the limit as it was.
  void SetWaitLimitFromSetting(std::string_view name, std::string_view seconds);

  MsgAnswer ShowMessage(MsgKind kind, std::string_view text, MsgButtons buttons) override;
  void RunModal(Form& form) override;
  void ShowModeless(Form& form) override;
  void CloseModeless(Form& form) override;
  std::optional<std::string> ShowFileDialog(const FileDialogRequest& request) override;

  // Applies the pending actions addressed to open modeless forms, as the
  // idle timer does. Does nothing while a modal box or form is answered.
  void RunIdle();

  // Every failure so far, each with its full text.
  const std::vector<std::string>& Failures() const { return failures_; }
  // Actions read but not used yet.
  size_t PendingActions();
  const std::vector<Form*>& ModelessForms() const { return modeless_; }

 private:
  // Runs the form's idle handler until the form closes, or closes it with
  // a failure once the wait limit has passed.
  void WaitUntilClosed(Form& form);
  const Action* Peek();
  void Pop();
  void ReadMore();
  void AddLine(std::string_view line);
  void Fail(const std::string& what, bool with_expectation = true);
  std::string Expectation();

  std::optional<std::string> path_;
  env::Env* env_ = nullptr;
  long long offset_ = 0;
  int line_number_ = 0;
  std::deque<Action> queue_;
  std::shared_ptr<Transcript> transcript_;
  std::vector<std::string> failures_;
  std::vector<Form*> modeless_;
  Form* modeless_target_ = nullptr;
  int modal_depth_ = 0;
  bool in_idle_ = false;
  std::chrono::milliseconds wait_limit_ = kDefaultWaitLimit;
  Timer idle_timer_;
};

}  // namespace platform::ui
