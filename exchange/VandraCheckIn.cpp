#include "exchange/VandraCheckIn.h"

#include "host/Tools.h"
#include "platform/ui/Ui.h"

namespace VandraCheckIn {

void StartVandraCheckIn(const std::string& /*D*/, const std::string& /*P*/) {
  if (Tools::ReadIntFromApplicatIni("VANDRA", "AutoCheckIn", 0) <= 0) return;
  // Until the check-in dialog is built the mapper hands the package over
  // himself; he must not believe it went.
  platform::ui::MessageBox(platform::ui::MsgKind::kInformation,
                           "Der automatische Check-In ist noch nicht verfügbar. Bitte übergeben "
                           "Sie die exportierten Dateien selbst an VANDRA.");
}

}  // namespace VandraCheckIn
