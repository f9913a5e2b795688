#include "platform/ui/Timer.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ui/ScriptedPresenter.h"
#include "platform/ui/Transcript.h"
#include "platform/ui/Ui.h"

namespace platform::ui {
namespace {

// A host event loop stand-in that records the timers handed to it.
struct FakeLoop {
  struct Entry {
    uint32_t interval;
    KartulSimTimerProc proc;
    void* context;
  };
  static inline std::map<uint32_t, Entry> timers;
  static inline uint32_t next_id = 1;
  static uint32_t Set(uint32_t interval, KartulSimTimerProc proc, void* context) {
    timers[next_id] = Entry{interval, proc, context};
    return next_id++;
  }
  static void Kill(uint32_t id) { timers.erase(id); }
  static void RunAll() {
    auto copy = timers;
    for (auto& [id, entry] : copy) {
      if (timers.count(id)) entry.proc(entry.context);
    }
  }
};

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override { SetHostTimerFunctions(nullptr, nullptr); }
  void TearDown() override { SetHostTimerFunctions(nullptr, nullptr); }
};

TEST_F(TimerTest, WithoutHostOnlyEnabledDueTimersRun) {
  EXPECT_FALSE(HostRunsTimers());
  int fast = 0, slow = 0, off = 0;
  Timer t_fast([&] { ++fast; }, 0);
  Timer t_slow([&] { ++slow; }, 3600 * 1000);
  Timer t_off([&] { ++off; }, 0);
  t_fast.SetEnabled(true);
  t_slow.SetEnabled(true);
  EXPECT_EQ(RunDueTimers(), 1);
  EXPECT_EQ(RunDueTimers(), 1);
  EXPECT_EQ(fast, 2);
  EXPECT_EQ(slow, 0);
  EXPECT_EQ(off, 0);
  t_fast.SetEnabled(false);
  EXPECT_EQ(RunDueTimers(), 0);
}

TEST_F(TimerTest, AHandlersErrorNeverReachesTheHostsLoop) {
  SetHostTimerFunctions(&FakeLoop::Set, &FakeLoop::Kill);
  auto transcript = Transcript::InMemory();
  auto previous = SetPresenter(std::make_unique<ScriptedPresenter>("message OK\n", transcript));
  int runs = 0;
  Timer failing(
      [&] {
        ++runs;
        throw std::runtime_error("Foto nicht lesbar");
      },
      10);
  failing.SetEnabled(true);
  EXPECT_NO_THROW(FakeLoop::RunAll());
  EXPECT_EQ(runs, 1);
  EXPECT_NE(transcript->Text().find("message error OK: Foto nicht lesbar"), std::string::npos)
      << transcript->Text();
  EXPECT_EQ(FakeLoop::timers.size(), 1u) << "the timer runs on";
  failing.SetEnabled(false);
  SetPresenter(std::move(previous));
}

// A box that waits for the mapper in a loop of its own, which runs the
// host's timers meanwhile (as a message box's loop does on Windows); a
// depth that no box reaches ends the test should the boxes stack.
class LoopingBoxes : public Presenter {
 public:
  MsgAnswer ShowMessage(MsgKind kind, std::string_view text, MsgButtons) override {
    shown.emplace_back(std::string(MsgKindName(kind)) + ": " + std::string(text));
    if (++depth_ < 4) FakeLoop::RunAll();
    --depth_;
    return MsgAnswer::kOk;
  }
  void RunModal(Form&) override {}
  void ShowModeless(Form&) override {}
  void CloseModeless(Form&) override {}
  std::optional<std::string> ShowFileDialog(const FileDialogRequest&) override { return {}; }
  std::vector<std::string> shown;

 private:
  int depth_ = 0;
};

TEST_F(TimerTest, AFailingHandlerDoesNotRunAgainWhileItsErrorBoxWaitsButAfterIt) {
  SetHostTimerFunctions(&FakeLoop::Set, &FakeLoop::Kill);
  auto owned = std::make_unique<LoopingBoxes>();
  LoopingBoxes& boxes = *owned;
  auto previous = SetPresenter(std::move(owned));
  int runs = 0, other_runs = 0;
  Timer failing(
      [&] {
        ++runs;
        throw std::runtime_error("Position nicht lesbar");
      },
      10);
  Timer other([&] { ++other_runs; }, 10);
  failing.SetEnabled(true);
  other.SetEnabled(true);
  FakeLoop::RunAll();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(boxes.shown, std::vector<std::string>{"error: Position nicht lesbar"});
  EXPECT_GE(other_runs, 2) << "the other timers run while the box waits";
  FakeLoop::RunAll();
  EXPECT_EQ(runs, 2) << "after its box the timer runs on";
  EXPECT_EQ(boxes.shown.size(), 2u);
  failing.SetEnabled(false);
  other.SetEnabled(false);
  SetPresenter(std::move(previous));
}

TEST_F(TimerTest, HandlerMayStopItselfOrDestroyAnotherTimer) {
  int other_runs = 0;
  auto other = std::make_unique<Timer>([&] { ++other_runs; }, 0);
  Timer killer([&] { other.reset(); }, 0);
  killer.SetEnabled(true);
  other->SetEnabled(true);
  RunDueTimers();  // the killer is due first and destroys the other before its turn
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(other_runs, 0);
  killer.SetEnabled(false);

  int self_runs = 0;
  Timer* self = nullptr;
  Timer once(
      [&] {
        ++self_runs;
        self->SetEnabled(false);
      },
      0);
  self = &once;
  once.SetEnabled(true);
  RunDueTimers();
  RunDueTimers();
  EXPECT_EQ(self_runs, 1);
}

TEST_F(TimerTest, HostLoopRunsTimersItWasGiven) {
  SetHostTimerFunctions(&FakeLoop::Set, &FakeLoop::Kill);
  EXPECT_TRUE(HostRunsTimers());
  int ticks = 0;
  {
    Timer timer([&] { ++ticks; }, 10);
    timer.SetEnabled(true);
    ASSERT_EQ(FakeLoop::timers.size(), 1u);
    EXPECT_EQ(FakeLoop::timers.begin()->second.interval, 10u);
    FakeLoop::RunAll();
    EXPECT_EQ(RunDueTimers(), 0);  // the host runs it, not the presenters
    timer.SetInterval(20);
    ASSERT_EQ(FakeLoop::timers.size(), 1u);
    EXPECT_EQ(FakeLoop::timers.begin()->second.interval, 20u);
    FakeLoop::RunAll();
  }
  EXPECT_EQ(ticks, 2);
  EXPECT_TRUE(FakeLoop::timers.empty());  // destroyed: killed in the host
}

// A host loop of another platform, recording what reaches it.
class RecordingLoop : public HostTimers {
 public:
  bool RunsTimers() override { return true; }
  uint32_t SetTimer(uint32_t interval_ms, KartulSimTimerProc proc, void* context) override {
    timers[next_id] = FakeLoop::Entry{interval_ms, proc, context};
    return next_id++;
  }
  void KillTimer(uint32_t id) override { timers.erase(id); }
  void ClaimTerminal() override { ++claims; }

  std::map<uint32_t, FakeLoop::Entry> timers;
  uint32_t next_id = 40;
  int claims = 0;
};

TEST_F(TimerTest, ALoopInstalledForTheScopeComesBeforeTheFunctionsGivenAndLeavesThemAfter) {
  SetHostTimerFunctions(&FakeLoop::Set, &FakeLoop::Kill);
  const size_t given_before = FakeLoop::timers.size();
  RecordingLoop loop;
  int ticks = 0;
  {
    ScopedHostTimers scoped(loop);
    Timer timer([&] { ++ticks; }, 25);
    timer.SetEnabled(true);
    ASSERT_EQ(loop.timers.size(), 1u);
    EXPECT_EQ(FakeLoop::timers.size(), given_before);
    const FakeLoop::Entry entry = loop.timers.begin()->second;
    EXPECT_EQ(entry.interval, 25u);
    entry.proc(entry.context);
    EXPECT_EQ(RunDueTimers(), 0);
    ClaimHostTerminal();
    EXPECT_EQ(loop.claims, 1);
  }
  EXPECT_EQ(ticks, 1);
  EXPECT_TRUE(loop.timers.empty()) << "destroyed: killed in the loop it was handed to";
  Timer after([] {}, 10);
  after.SetEnabled(true);
  EXPECT_EQ(FakeLoop::timers.size(), given_before + 1);
  EXPECT_TRUE(loop.timers.empty());
}

}  // namespace
}  // namespace platform::ui
