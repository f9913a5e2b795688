#include "exchange/VandraCheckIn.h"

#include <memory>

#include "dialogs/FormCheckInLaeuft.h"
#include "dialogs/FrmVandraCheckIn.h"
#include "exchange/Package.h"
#include "host/Tools.h"
#include "platform/process/Process.h"
#include "platform/ui/Ui.h"

namespace VandraCheckIn {
namespace {

using DialogTools::CheckInRun;

class Rules : public DialogTools::CheckInActions {
 public:
  std::optional<std::string> PackageIncomplete(const std::string& folder,
                                               const std::string& prefix) override {
    return Package::IncompletePackage({Tools::WithBackslash(folder), prefix});
  }

  CheckInRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                        bool probe) override {
    std::unique_ptr<platform::process::RunningProgram> running =
        platform::process::RunningProgram::Start(program, args);
    if (!running) return {CheckInRun::Ending::kNotStarted, 0};
    TFormCheckInLaeuft form(probe, [&running] { return running->Ended(); });
    // However the form closed but by the program's end (Abbrechen, the
    // close box, input that ended), the program is ended with what it
    // started.
    if (form.ShowModal() != platform::ui::ModalResult::kOk || !running->Ended()) {
      running->Stop();
      return {CheckInRun::Ending::kCancelled, 0};
    }
    const platform::process::RunningProgram::Ending& how = *running->HowEnded();
    return {how.by_signal ? CheckInRun::Ending::kCrashed : CheckInRun::Ending::kEnded, how.code};
  }
};

}  // namespace

DialogTools::CheckInActions& Actions() {
  static Rules rules;
  return rules;
}

void StartVandraCheckIn(const std::string& D, const std::string& P) {
  if (Tools::ReadIntFromApplicatIni("VANDRA", "AutoCheckIn", 0) <= 0) return;
  std::unique_ptr<TfrmVandraCheckIn> form;
  try {
    form = std::make_unique<TfrmVandraCheckIn>(Actions());
  } catch (const platform::registry::RegistryError& error) {
    // The package is written; only the hand-over cannot be offered.
    platform::ui::MessageBox(platform::ui::MsgKind::kError,
                             std::string("Der Check-In kann nicht geöffnet werden, weil die "
                                         "Einstellungen nicht lesbar sind:\n") +
                                 error.what());
    return;
  }
  std::string dir = D;
  while (dir.size() > 1 && dir.back() == Tools::kPathDelim) dir.pop_back();
  form->strExportDir = dir;
  form->strFileNamePrefix = P;
  form->InitControls();
  form->ShowModal();
}

}  // namespace VandraCheckIn
