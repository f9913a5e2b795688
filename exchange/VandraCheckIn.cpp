#include "exchange/VandraCheckIn.h"

#include <memory>

#include "dialogs/FrmVandraCheckIn.h"
#include "host/Tools.h"
#include "platform/ui/Ui.h"

namespace VandraCheckIn {

void StartVandraCheckIn(const std::string& D, const std::string& P) {
  if (Tools::ReadIntFromApplicatIni("VANDRA", "AutoCheckIn", 0) <= 0) return;
  std::unique_ptr<TfrmVandraCheckIn> form;
  try {
    form = std::make_unique<TfrmVandraCheckIn>();
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
