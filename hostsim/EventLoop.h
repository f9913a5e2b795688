// The host's event loop: the timers the plug-in sets (window timers on
// Windows, kartulsim_set_timer here) and the clock they run by. In batch
// runs the clock is virtual and moves only when told, so scenarios never
// wait; at the interactive prompt it is the steady clock.
//
// Owns its timers and nothing else. It holds a reference to the plug-in
// host only to leave a note when a timer raises an error. A presenter that
// writes to the terminal from a timer claims it first (ClaimTerminal), so
// that the program showing a prompt can take the prompt off the line.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace hostsim {

class PluginHost;

class EventLoop {
 public:
  using Clock = std::chrono::steady_clock;

  explicit EventLoop(const PluginHost& plugin) : plugin_(plugin) {}
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Switching restarts the virtual clock at the steady clock's now.
  void UseVirtualClock(bool virtual_clock);
  // Lets time pass, running each timer as it falls due: at once on the
  // virtual clock, sleeping on the real one.
  void Advance(std::chrono::milliseconds by);
  // 0 without a procedure; an interval of 0 counts as 1 ms. A timer runs
  // again one interval after it ran, however late it ran.
  uint32_t SetTimer(uint32_t interval_ms, void (*proc)(void*), void* context);
  void KillTimer(uint32_t id);  // also from inside a timer
  size_t TimerCount() const { return timers_.size(); }
  // Runs every timer that is due now, earliest first; returns how many ran.
  int RunDue();
  // Time until the next timer is due; nullopt when no timer is set.
  std::optional<std::chrono::milliseconds> NextDue() const;
  // What a claim of the terminal does (nothing when empty).
  void SetTerminalClaim(std::function<void()> claim) { terminal_claim_ = std::move(claim); }
  void ClaimTerminal() const {
    if (terminal_claim_) terminal_claim_();
  }

 private:
  struct Timer {
    uint32_t interval_ms = 0;
    void (*proc)(void*) = nullptr;
    void* context = nullptr;
    Clock::time_point due;
  };
  Clock::time_point Now() const;

  const PluginHost& plugin_;
  std::map<uint32_t, Timer> timers_;
  uint32_t next_id_ = 1;
  bool virtual_clock_ = false;
  Clock::time_point virtual_now_{};
  std::function<void()> terminal_claim_;
};

}  // namespace hostsim
