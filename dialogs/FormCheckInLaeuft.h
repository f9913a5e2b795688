// "VANDRA Check-In läuft": shown while the check-in program runs, so that
// the host never waits on it unseen. It tells which run it is and the
// seconds passed, closes itself with OK once the program has ended, and
// closes with Cancel when the mapper clicks "Abbrechen" (or closes it).
// Ending the program is the work of the rule that opened the form; the
// form only asks, through the check it is given, whether it has ended.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/ui/Form.h"

class TFormCheckInLaeuft : public platform::ui::Form {
 public:
  // `ended` answers whether the program has ended; it is asked about every
  // 20 ms while the form is shown.
  TFormCheckInLaeuft(bool probe, std::function<bool()> ended);

  // The seconds passed as the form shows them.
  static std::string SecondsText(int64_t seconds);

  platform::ui::Label& lblLauf;
  platform::ui::Label& lblSekunden;
  platform::ui::Button& btnAbbrechen;

 private:
  void Watch();

  std::function<bool()> ended_;
  int64_t start_ns_;
};
