// Timers run by the host's event loop, as window timers are on the host's
// platform. The host stand-in offers its loop through the C functions below,
// which the plug-in looks up at run time; in a host without them a timer
// runs only while a presenter waits for the user.
#pragma once

#include <cstdint>
#include <functional>

extern "C" {
typedef void (*KartulSimTimerProc)(void* context);
// Exported by the host stand-in (libktapi32.so). Returns a timer id above 0.
uint32_t kartulsim_set_timer(uint32_t interval_ms, KartulSimTimerProc proc, void* context);
void kartulsim_kill_timer(uint32_t id);
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

  // Runs the handler once, as the event loop does when the timer is due.
  void Fire();

 private:
  std::function<void()> on_timer_;
  uint32_t interval_ms_;
  bool enabled_ = false;
  uint32_t host_id_ = 0;
};

}  // namespace platform::ui
