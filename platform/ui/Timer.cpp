// Timers: handed to the host's event loop when the host offers one, else kept
// in a list that presenters run while they wait.
#include "platform/ui/Timer.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <vector>

#include "platform/ui/ErrorGuard.h"

namespace platform::ui {
namespace {

using SetFn = decltype(&kartulsim_set_timer);
using KillFn = decltype(&kartulsim_kill_timer);

// The loop of SetHostTimerFunctions: the functions given, the terminal
// still the platform's to hand over.
class GivenFunctions : public HostTimers {
 public:
  void Replace(SetFn set, KillFn kill) {
    set_ = set != nullptr && kill != nullptr ? set : nullptr;
    kill_ = set_ != nullptr ? kill : nullptr;
  }
  bool RunsTimers() override { return set_ != nullptr; }
  uint32_t SetTimer(uint32_t interval_ms, KartulSimTimerProc proc, void* context) override {
    return set_ != nullptr ? set_(interval_ms, proc, context) : 0;
  }
  void KillTimer(uint32_t id) override {
    if (kill_ != nullptr) kill_(id);
  }
  void ClaimTerminal() override { HostTimers::Default().ClaimTerminal(); }

 private:
  SetFn set_ = nullptr;
  KillFn kill_ = nullptr;
};

std::atomic<HostTimers*> g_scoped{nullptr};
std::atomic<HostTimers*> g_given{nullptr};

std::vector<Timer*>& LocalTimers() {
  static std::vector<Timer*> timers;
  return timers;
}

// The timers whose error box is up. The box waits for the mapper in a
// message loop of its own, which runs the host's timers too: the failing
// handler would run again inside it, and every tick would stack another box
// on the first.
std::vector<const Timer*>& ShowingError() {
  static std::vector<const Timer*> timers;
  return timers;
}

// The host's event loop calls this through a C pointer: no exception may
// reach it. A handler's error is shown like a hook's, and the timer runs on
// (the loop calls a timer until it is killed, and only its owner kills it),
// though not while its box is up.
void HostTick(void* context) noexcept {
  auto* timer = static_cast<Timer*>(context);
  auto& showing = ShowingError();
  if (std::find(showing.begin(), showing.end(), timer) != showing.end()) return;
  const std::exception_ptr error = Caught([timer] { timer->Fire(); });
  if (!error) return;
  const bool marked = !Caught([&] { showing.push_back(timer); });
  ShowError(error);
  // The timer may be gone by now: only its address is compared.
  if (marked) std::erase(showing, timer);
}

}  // namespace

HostTimers& HostTimers::Current() {
  if (HostTimers* scoped = g_scoped.load(std::memory_order_acquire)) return *scoped;
  if (HostTimers* given = g_given.load(std::memory_order_acquire)) return *given;
  return Default();
}

ScopedHostTimers::ScopedHostTimers(HostTimers& timers)
    : previous_(g_scoped.exchange(&timers, std::memory_order_acq_rel)) {}

ScopedHostTimers::~ScopedHostTimers() {
  g_scoped.store(previous_, std::memory_order_release);
}

bool HostRunsTimers() {
  return HostTimers::Current().RunsTimers();
}

void ClaimHostTerminal() {
  HostTimers::Current().ClaimTerminal();
}

void SetHostTimerFunctions(SetFn set_timer, KillFn kill_timer) {
  static GivenFunctions* const given = new GivenFunctions();
  given->Replace(set_timer, kill_timer);
  g_given.store(given, std::memory_order_release);
}

Timer::Timer(std::function<void()> on_timer, uint32_t interval_ms)
    : on_timer_(std::move(on_timer)), interval_ms_(interval_ms) {}

Timer::~Timer() {
  Unregister();
  std::erase(ShowingError(), this);
}

void Timer::Register() {
  host_id_ = HostTimers::Current().SetTimer(interval_ms_, &HostTick, this);
  if (host_id_ != 0) return;
  due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval_ms_);
  LocalTimers().push_back(this);
}

void Timer::Unregister() {
  if (host_id_ != 0) {
    HostTimers::Current().KillTimer(host_id_);
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
