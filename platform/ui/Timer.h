// Timers run by the host's event loop, as window timers are on the host's
// platform. The loop is reached through a HostTimers service: the
// platform's own (HostTimers::Default(), chosen by the build: on Linux the
// host stand-in's C functions below, looked up in the running program), or
// one a test installs. In a host without a loop a timer runs only while a
// presenter waits for the user.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

extern "C" {
typedef void (*KartulSimTimerProc)(void* context);
// Exported by the host stand-in (libktapi32.so). Returns a timer id above 0
// (0 when it cannot). The host's event loop then calls proc(context) every
// interval_ms, between host events, until the id is killed; a proc may kill
// its own timer or others while it runs, and after kartulsim_kill_timer the
// proc is never called again for that id.
uint32_t kartulsim_set_timer(uint32_t interval_ms, KartulSimTimerProc proc, void* context);
void kartulsim_kill_timer(uint32_t id);
// Exported by the host stand-in too: the terminal is the host's while its
// loop runs timers (it may show a prompt of its own there). A presenter
// calls this before it writes to the terminal, and the host gives the
// terminal over, its prompt taken off the line; it brings the prompt back
// when the timers are done.
void kartulsim_claim_terminal(void);
}

namespace platform::ui {

class Timer {
 public:
  explicit Timer(std::function<void()> on_timer, uint32_t interval_ms = 1000);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  void SetInterval(uint32_t interval_ms);
  uint32_t Interval() const { return interval_ms_; }

  // Runs the handler once, as the event loop does when the timer is due. The
  // handler may disable or even destroy its timer.
  void Fire();

 private:
  friend int RunDueTimers();
  void Register();
  void Unregister();

  std::function<void()> on_timer_;
  uint32_t interval_ms_;
  bool enabled_ = false;
  uint32_t host_id_ = 0;
  std::chrono::steady_clock::time_point due_{};
};

// The host's event loop as Timer and the presenters use it.
class HostTimers {
 public:
  virtual ~HostTimers() = default;

  // The platform's own, the only one the product uses. Never destroyed.
  static HostTimers& Default();
  // The loop of code that is not handed one: a ScopedHostTimers' when one is
  // installed, else the functions of SetHostTimerFunctions once it was
  // called, else Default().
  static HostTimers& Current();

  // Whether the loop runs timers at all.
  virtual bool RunsTimers() = 0;
  // Hands a timer to the loop, as kartulsim_set_timer: an id above 0, or 0
  // when it cannot (or there is no loop).
  virtual uint32_t SetTimer(uint32_t interval_ms, KartulSimTimerProc proc, void* context) = 0;
  // As kartulsim_kill_timer; nothing without a loop.
  virtual void KillTimer(uint32_t id) = 0;
  // As kartulsim_claim_terminal; nothing in a host that does not offer it.
  virtual void ClaimTerminal() = 0;
};

// Installs a loop as HostTimers::Current() for the life of the object and
// puts the one before back. For tests; not for use while other threads
// reach Current().
class ScopedHostTimers {
 public:
  explicit ScopedHostTimers(HostTimers& timers);
  ~ScopedHostTimers();
  ScopedHostTimers(const ScopedHostTimers&) = delete;
  ScopedHostTimers& operator=(const ScopedHostTimers&) = delete;

 private:
  HostTimers* previous_;
};

// Whether the host's event loop runs the timers (its timer functions were found).
bool HostRunsTimers();
// Asks the host for the terminal before a presenter writes to it
// (kartulsim_claim_terminal); nothing in a host that does not offer it.
void ClaimHostTerminal();
// Replaces the host's timer functions for good (null for both: none, timers
// run only through RunDueTimers); the terminal is still claimed from the
// platform's own. Tests use it; the functions otherwise come from
// HostTimers::Default().
void SetHostTimerFunctions(decltype(&kartulsim_set_timer) set_timer,
                           decltype(&kartulsim_kill_timer) kill_timer);
// Without a host event loop: fires, once each, the enabled timers whose
// interval has passed. Presenters call it while they wait for the user.
// Returns how many fired.
int RunDueTimers();

}  // namespace platform::ui
