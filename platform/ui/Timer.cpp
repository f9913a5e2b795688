// Timers: handed to the host's event loop when the host offers one, else kept
// in a list that presenters run while they wait.
#include "platform/ui/Timer.h"

#include <dlfcn.h>

#include <algorithm>
#include <exception>
#include <vector>

#include "platform/ui/Ui.h"

namespace platform::ui {
namespace {

using SetFn = decltype(&kartulsim_set_timer);
using KillFn = decltype(&kartulsim_kill_timer);

struct HostTimerFunctions {
  bool looked_up = false;
  SetFn set = nullptr;
  KillFn kill = nullptr;
};

HostTimerFunctions& Host() {
  static HostTimerFunctions host;
  if (!host.looked_up) {
    host.looked_up = true;
    host.set = reinterpret_cast<SetFn>(dlsym(RTLD_DEFAULT, "kartulsim_set_timer"));
    host.kill = reinterpret_cast<KillFn>(dlsym(RTLD_DEFAULT, "kartulsim_kill_timer"));
    if (host.set == nullptr || host.kill == nullptr) host.set = nullptr, host.kill = nullptr;
  }
  return host;
}

void ShowTimerError(const char* text) noexcept {
  try {
    MessageBox(MsgKind::kError, text);
  } catch (...) {
    // Nothing is left to tell the user with; the host's loop must go on.
  }
}

std::vector<Timer*>& LocalTimers() {
  static std::vector<Timer*> timers;
  return timers;
}

// The host's event loop calls this through a C pointer: no exception may
// reach it. A handler's error is shown like a hook's, and the timer runs on.
void HostTick(void* context) noexcept {
  try {
    static_cast<Timer*>(context)->Fire();
  } catch (const std::exception& e) {
    ShowTimerError(e.what());
  } catch (...) {
    ShowTimerError("Unbekannter Fehler im Plug-in.");
  }
}

}  // namespace

bool HostRunsTimers() {
  return Host().set != nullptr;
}

void ClaimHostTerminal() {
  using ClaimFn = decltype(&kartulsim_claim_terminal);
  static const ClaimFn claim =
      reinterpret_cast<ClaimFn>(dlsym(RTLD_DEFAULT, "kartulsim_claim_terminal"));
  if (claim != nullptr) claim();
}

void SetHostTimerFunctions(SetFn set_timer, KillFn kill_timer) {
  HostTimerFunctions& host = Host();
  host.set = set_timer != nullptr && kill_timer != nullptr ? set_timer : nullptr;
  host.kill = host.set != nullptr ? kill_timer : nullptr;
}

Timer::Timer(std::function<void()> on_timer, uint32_t interval_ms)
    : on_timer_(std::move(on_timer)), interval_ms_(interval_ms) {}

Timer::~Timer() {
  Unregister();
}

void Timer::Register() {
  HostTimerFunctions& host = Host();
  if (host.set != nullptr) {
    host_id_ = host.set(interval_ms_, &HostTick, this);
    if (host_id_ != 0) return;
  }
  due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval_ms_);
  LocalTimers().push_back(this);
}

void Timer::Unregister() {
  if (host_id_ != 0) {
    if (Host().kill != nullptr) Host().kill(host_id_);
    host_id_ = 0;
  }
  std::erase(LocalTimers(), this);
}

void Timer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled_) {
    Register();
  } else {
    Unregister();
  }
}

void Timer::SetInterval(uint32_t interval_ms) {
  if (interval_ms == interval_ms_) return;
  interval_ms_ = interval_ms;
  if (enabled_) {
    Unregister();
    Register();
  }
}

void Timer::Fire() {
  if (!on_timer_) return;
  auto handler = on_timer_;  // the handler may destroy this timer
  handler();
}

int RunDueTimers() {
  auto now = std::chrono::steady_clock::now();
  std::vector<Timer*> due;
  for (Timer* timer : LocalTimers()) {
    if (timer->due_ <= now) due.push_back(timer);
  }
  int fired = 0;
  for (Timer* timer : due) {
    // An earlier handler may have stopped or destroyed this timer.
    auto& timers = LocalTimers();
    if (std::find(timers.begin(), timers.end(), timer) == timers.end()) continue;
    timer->due_ = now + std::chrono::milliseconds(timer->interval_ms_);
    timer->Fire();
    ++fired;
  }
  return fired;
}

}  // namespace platform::ui
