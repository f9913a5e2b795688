// Timers and the clock of the host's event loop (see EventLoop.h).
#include "hostsim/EventLoop.h"

#include <algorithm>
#include <exception>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hostsim/PluginHost.h"
#include "hostsim/System.h"

namespace hostsim {

EventLoop::Clock::time_point EventLoop::Now() const {
  return virtual_clock_ ? virtual_now_ : Clock::now();
}

void EventLoop::UseVirtualClock(bool virtual_clock) {
  virtual_clock_ = virtual_clock;
  virtual_now_ = Clock::now();
}

void EventLoop::Advance(std::chrono::milliseconds by) {
  if (!virtual_clock_) {
    // Sleep from timer to timer, running each when it is due.
    auto end = Clock::now() + by;
    while (true) {
      auto next = NextDue();
      auto now = Clock::now();
      if (now >= end) break;
      auto until = next ? std::min(end, now + *next) : end;
      std::this_thread::sleep_until(until);
      RunDue();
    }
    RunDue();
    return;
  }
  auto end = virtual_now_ + by;
  while (true) {
    auto next = NextDue();
    if (!next || virtual_now_ + *next > end) break;
    virtual_now_ += *next;
    RunDue();
  }
  virtual_now_ = end;
  RunDue();
}

uint32_t EventLoop::SetTimer(uint32_t interval_ms, void (*proc)(void*), void* context) {
  if (!proc) return 0;
  uint32_t id = next_id_++;
  if (next_id_ == 0) next_id_ = 1;
  uint32_t interval = std::max<uint32_t>(interval_ms, 1);
  timers_[id] = Timer{interval, proc, context, Now() + std::chrono::milliseconds(interval)};
  return id;
}

void EventLoop::KillTimer(uint32_t id) {
  timers_.erase(id);
}

int EventLoop::RunDue() {
  // On Windows the plug-in's timers are the system's (SetTimer): the
  // loop hands their messages out as the host's message loop does.
  int ran = sys::DispatchMessages();
  auto now = Now();
  std::vector<std::pair<Clock::time_point, uint32_t>> due;
  for (const auto& [id, t] : timers_)
    if (t.due <= now) due.emplace_back(t.due, id);
  std::sort(due.begin(), due.end());
  for (const auto& [when, id] : due) {
    auto it = timers_.find(id);
    if (it == timers_.end()) continue;  // killed by an earlier timer
    // Like a window timer: due again one interval after it ran, however late.
    it->second.due = now + std::chrono::milliseconds(it->second.interval_ms);
    auto proc = it->second.proc;
    void* context = it->second.context;
    try {
      proc(context);
    } catch (const std::exception& e) {
      plugin_.Note(std::string("a timer raised an error: ") + e.what());
    } catch (...) {
      plugin_.Note("a timer raised an error");
    }
    ++ran;
  }
  return ran;
}

std::optional<std::chrono::milliseconds> EventLoop::NextDue() const {
  if (timers_.empty()) return std::nullopt;
  auto now = Now();
  auto next = Clock::time_point::max();
  for (const auto& [id, t] : timers_) next = std::min(next, t.due);
  if (next <= now) return std::chrono::milliseconds(0);
  return std::chrono::ceil<std::chrono::milliseconds>(next - now);
}

}  // namespace hostsim
