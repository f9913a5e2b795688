// The host's event loop on Windows: thread timers of SetTimer, whose
// WM_TIMER the host's message loop (or a modal dialog's) dispatches to
// the timer procedure on the thread that set the timer, between the
// messages of the host's windows, as the contract of Timer.h wants.
// CreateTimerQueueTimer was not taken: it calls back on a thread of the
// pool, concurrently with the host and the plug-in's hooks.
//
// A thread timer's procedure gets no context, only the timer's id; the
// procs and contexts are kept here by id. KillTimer leaves a WM_TIMER that
// was posted already in the queue; it finds no entry and does nothing, so
// a killed timer's proc is never called again. There is no terminal to
// hand over.
#include <windows.h>
// Macros of windows.h that would rename the service's own members.
#undef SetTimer
#undef KillTimer

#include <map>

#include "platform/ui/Timer.h"

namespace platform::ui {
namespace {

struct Entry {
  KartulSimTimerProc proc;
  void* context;
};

// By id; the timers are set, killed and run on the host's thread alone.
std::map<UINT_PTR, Entry>& Entries() {
  static std::map<UINT_PTR, Entry>* const entries = new std::map<UINT_PTR, Entry>();
  return *entries;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  const auto it = Entries().find(id);
  if (it == Entries().end()) return;  // killed after its message was posted
  // A copy: the proc may kill its own timer, or others, while it runs.
  const Entry entry = it->second;
  entry.proc(entry.context);
}

class MessageLoop : public HostTimers {
 public:
  bool RunsTimers() override { return true; }

  uint32_t SetTimer(uint32_t interval_ms, KartulSimTimerProc proc, void* context) override {
    if (proc == nullptr) return 0;
    // Windows takes intervals from USER_TIMER_MINIMUM (10 ms) up; shorter
    // ones it raises to that by itself.
    const UINT_PTR id = ::SetTimer(nullptr, 0, interval_ms, &OnTimer);
    // Thread timers' ids are small numbers; one beyond 32 bits could not
    // be handed back.
    if (id == 0 || (static_cast<uint64_t>(id) >> 32) != 0) {
      if (id != 0) ::KillTimer(nullptr, id);
      return 0;
    }
    Entries()[id] = Entry{proc, context};
    return static_cast<uint32_t>(id);
  }

  void KillTimer(uint32_t id) override {
    if (Entries().erase(id) == 0) return;  // not ours, or killed already
    ::KillTimer(nullptr, id);
  }

  void ClaimTerminal() override {}
};

}  // namespace

HostTimers& HostTimers::Default() {
  static HostTimers* const loop = new MessageLoop();
  return *loop;
}

}  // namespace platform::ui
