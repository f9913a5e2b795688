// The host stand-in's event loop through the C functions it exports, looked
// up in the running program when first needed: a plug-in loaded by another
// host finds none and runs its timers while presenters wait.
#include <dlfcn.h>

#include "platform/ui/Timer.h"

namespace platform::ui {
namespace {

using SetFn = decltype(&kartulsim_set_timer);
using KillFn = decltype(&kartulsim_kill_timer);
using ClaimFn = decltype(&kartulsim_claim_terminal);

template <class Fn>
Fn Find(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
}

class HostLoop : public HostTimers {
 public:
  bool RunsTimers() override { return Loop().set != nullptr; }
  uint32_t SetTimer(uint32_t interval_ms, KartulSimTimerProc proc, void* context) override {
    const Functions& loop = Loop();
    return loop.set != nullptr ? loop.set(interval_ms, proc, context) : 0;
  }
  void KillTimer(uint32_t id) override {
    if (const KillFn kill_timer = Loop().kill; kill_timer != nullptr) kill_timer(id);
  }
  void ClaimTerminal() override {
    static const ClaimFn claim = Find<ClaimFn>("kartulsim_claim_terminal");
    if (claim != nullptr) claim();
  }

 private:
  struct Functions {
    SetFn set = nullptr;
    KillFn kill = nullptr;
  };
  // Both or neither: a loop that could not kill its timers is no loop.
  static const Functions& Loop() {
    static const Functions loop = [] {
      Functions found{Find<SetFn>("kartulsim_set_timer"), Find<KillFn>("kartulsim_kill_timer")};
      return found.set != nullptr && found.kill != nullptr ? found : Functions{};
    }();
    return loop;
  }
};

}  // namespace

HostTimers& HostTimers::Default() {
  static HostTimers* const host = new HostLoop();
  return *host;
}

}  // namespace platform::ui
