#include "dialogs/FormCheckInLaeuft.h"

#include "platform/env/Env.h"

using platform::ui::Button;
using platform::ui::Label;
using platform::ui::ModalResult;

namespace {

constexpr uint32_t kWatchMs = 20;

int64_t SteadyNs() {
  return platform::env::Env::Current().SteadyNs();
}

}  // namespace

TFormCheckInLaeuft::TFormCheckInLaeuft(bool probe, std::function<bool()> ended)
    : Form("TFormCheckInLaeuft", "VANDRA Check-In läuft"),
      lblLauf(
          Add<Label>("lblLauf", probe ? "Der Probe-Checkin läuft." : "Der scharfe Checkin läuft.")),
      lblSekunden(Add<Label>("lblSekunden", SecondsText(0))),
      btnAbbrechen(Add<Button>("btnAbbrechen", "Abbrechen", ModalResult::kCancel)),
      ended_(std::move(ended)),
      start_ns_(SteadyNs()) {
  btnAbbrechen.is_cancel = true;
  idle_interval_ms = kWatchMs;
  on_idle = [this] { Watch(); };
}

std::string TFormCheckInLaeuft::SecondsText(int64_t seconds) {
  return "seit " + std::to_string(seconds) + (seconds == 1 ? " Sekunde" : " Sekunden");
}

void TFormCheckInLaeuft::Watch() {
  lblSekunden.caption = SecondsText((SteadyNs() - start_ns_) / 1000000000);
  if (ended_()) Close(ModalResult::kOk);
}
