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
//
// The timer procedure is called by Windows' DispatchMessage, through whose
// frames no exception may pass (ErrorGuard.h). What a proc throws is shown
// in an error box, and the timer runs on: the loop calls a timer until it
// is killed, as Timer.h promises, and only its owner kills it; Timer's own
// procs do the same with their handlers' errors.
#include <windows.h>
// Macros of windows.h that would rename the service's own members.
#undef SetTimer
#undef KillTimer

#include <exception>
#include <map>

#include "platform/ui/ErrorGuard.h"
#include "platform/ui/Timer.h"

namespace platform::ui {
namespace {

struct Entry {
  KartulSimTimerProc proc;
  void* context;
  // Its error box is up: the box's message loop dispatches the timer's
  // WM_TIMER too, and the failing proc would run again inside it, stacking
  // box upon box. Its ticks are let pass until the box is closed.
  bool showing_error = false;
};

// By id; the timers are set, killed and run on the host's thread alone.
std::map<UINT_PTR, Entry>& Entries() {
  static std::map<UINT_PTR, Entry>* const entries = new std::map<UINT_PTR, Entry>();
  return *entries;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) noexcept {
  const auto it = Entries().find(id);
  if (it == Entries().end()) return;  // killed after its message was posted
  if (it->second.showing_error) return;
  // A copy: the proc may kill its own timer, or others, while it runs.
  const Entry entry = it->second;
  const std::exception_ptr error = Caught([&entry] { entry.proc(entry.context); });
  if (!error) return;
  // Looked up again around the box: the proc, or another timer's while the
  // box waits, may have killed this one.
  if (const auto failed = Entries().find(id); failed != Entries().end()) {
    failed->second.showing_error = true;
  }
  ShowError(error);
  if (const auto failed = Entries().find(id); failed != Entries().end()) {
    failed->second.showing_error = false;
  }
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
    Entries()[id] = Entry{proc, context, false};
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
