// The timers of the Windows message loop, run by a loop as the host's runs
// them.
#include <gtest/gtest.h>
#include <windows.h>
#undef SetTimer
#undef KillTimer

#include <functional>
#include <memory>
#include <stdexcept>

#include "platform/ui/ScriptedPresenter.h"
#include "platform/ui/Timer.h"
#include "platform/ui/Transcript.h"
#include "platform/ui/Ui.h"

namespace platform::ui {
namespace {

// Runs the thread's message loop until `done` or `ms` have passed.
bool Pump(const std::function<bool()>& done, int ms) {
  const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(ms);
  while (!done() && GetTickCount64() < until) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  return done();
}

struct Ticks {
  int count = 0;
  int kill_after = 0;  // kills `victim` on that tick
  uint32_t victim = 0;
  static void Proc(void* context) {
    auto* ticks = static_cast<Ticks*>(context);
    if (++ticks->count == ticks->kill_after) HostTimers::Default().KillTimer(ticks->victim);
  }
};

TEST(WinHostTimers, TheMessageLoopRunsEachTimerWithItsContextUntilItIsKilled) {
  HostTimers& loop = HostTimers::Default();
  EXPECT_TRUE(loop.RunsTimers());
  Ticks fast, slow;
  const uint32_t fast_id = loop.SetTimer(10, &Ticks::Proc, &fast);
  const uint32_t slow_id = loop.SetTimer(3600 * 1000, &Ticks::Proc, &slow);
  ASSERT_GT(fast_id, 0u);
  ASSERT_GT(slow_id, 0u);
  EXPECT_NE(fast_id, slow_id);
  fast.kill_after = 3;  // the proc kills its own timer
  fast.victim = fast_id;
  EXPECT_TRUE(Pump([&] { return fast.count >= 3; }, 5000));
  Pump([] { return false; }, 100);
  EXPECT_EQ(fast.count, 3) << "killed while it ran: never again";
  EXPECT_EQ(slow.count, 0);
  loop.KillTimer(slow_id);
  loop.KillTimer(slow_id);  // killed already: nothing
  loop.KillTimer(4711);     // never set: nothing
  EXPECT_EQ(loop.SetTimer(10, nullptr, nullptr), 0u);
  loop.ClaimTerminal();  // no terminal on Windows: nothing
}

TEST(WinHostTimers, ATimerKilledByAnotherDueAtTheSameTimeDoesNotRun) {
  HostTimers& loop = HostTimers::Default();
  Ticks killer, killed;
  const uint32_t killed_id = loop.SetTimer(10, &Ticks::Proc, &killed);
  const uint32_t killer_id = loop.SetTimer(10, &Ticks::Proc, &killer);
  // Both are due by now; whichever runs first, the killer's first tick
  // ends the other for good.
  Sleep(50);
  killer.kill_after = 1;
  killer.victim = killed_id;
  EXPECT_TRUE(Pump([&] { return killer.count >= 3; }, 5000));
  EXPECT_LE(killed.count, 1) << "at most once, before the killer's first tick";
  const int before = killed.count;
  Pump([] { return false; }, 100);
  EXPECT_EQ(killed.count, before);
  loop.KillTimer(killer_id);
}

// Fails on its first two ticks, with a standard error and with anything.
struct Throwing {
  int count = 0;
  static void Proc(void* context) {
    auto* self = static_cast<Throwing*>(context);
    if (++self->count == 1) throw std::runtime_error("Zeitgeber: Projekt geschlossen");
    if (self->count == 2) throw 42;
  }
};

// DispatchMessageW calls the timer procedure: what the proc throws must stay
// on this side of it (in the 32-bit build it could not unwind through, and
// the program would end). The error goes to the installed presenter's box
// (a scripted one here, so that no window is needed) and the timer runs on.
TEST(WinHostTimers, AProcsErrorStaysInTheTimerProcedureIsShownAndTheTimerRunsOn) {
  auto transcript = Transcript::InMemory();
  auto previous =
      SetPresenter(std::make_unique<ScriptedPresenter>("message OK\nmessage OK\n", transcript));
  HostTimers& loop = HostTimers::Default();
  Throwing proc;
  const uint32_t id = loop.SetTimer(10, &Throwing::Proc, &proc);
  ASSERT_GT(id, 0u);
  EXPECT_TRUE(Pump([&] { return proc.count >= 4; }, 30000));
  loop.KillTimer(id);
  SetPresenter(std::move(previous));
  EXPECT_GE(proc.count, 4) << "the timer runs on after its errors";
  EXPECT_EQ(transcript->Text(),
            "message error OK: Zeitgeber: Projekt geschlossen\n  answer OK\n"
            "message error OK: Unbekannter Fehler im Plug-in.\n  answer OK\n");
}

}  // namespace
}  // namespace platform::ui
