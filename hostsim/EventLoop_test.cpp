// The event loop on its own: the order timers run in, timers that kill
// others, and errors of a timer, which end up as notes of the plug-in host.
#include "hostsim/EventLoop.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "hostsim/PluginHost.h"

namespace hostsim {
namespace {

using std::chrono::milliseconds;

class EventLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_.SetNoteSink([this](const std::string& n) { notes_.push_back(n); });
    loop_.UseVirtualClock(true);
  }
  PluginHost plugin_;
  EventLoop loop_{plugin_};
  std::vector<std::string> notes_;
};

struct Record {
  EventLoop* loop = nullptr;
  std::string ran;
  uint32_t kill = 0;  // the timer to kill when this one runs
};

TEST_F(EventLoopTest, TimersDueTogetherRunInTheOrderSetAndAKilledOneNotAtAll) {
  Record first{&loop_, "", 0}, second{&loop_, "", 0};
  auto proc = [](void* c) {
    auto* r = static_cast<Record*>(c);
    r->ran += "x";
    if (r->kill) r->loop->KillTimer(r->kill);
  };
  uint32_t a = loop_.SetTimer(10, proc, &first);
  uint32_t b = loop_.SetTimer(10, proc, &second);
  first.kill = b;
  loop_.Advance(milliseconds(10));
  EXPECT_EQ(first.ran, "x");
  EXPECT_EQ(second.ran, "");
  EXPECT_EQ(loop_.TimerCount(), 1u);
  loop_.KillTimer(a);
  EXPECT_EQ(loop_.NextDue(), std::nullopt);
}

TEST_F(EventLoopTest, ATimerThatThrowsLeavesANoteAndTheOthersRun) {
  static int runs;
  runs = 0;
  loop_.SetTimer(
      5, [](void*) { throw std::runtime_error("kaputt"); }, nullptr);
  loop_.SetTimer(
      5, [](void*) { ++runs; }, nullptr);
  loop_.Advance(milliseconds(12));
  EXPECT_EQ(runs, 2);
  ASSERT_EQ(notes_.size(), 2u);
  EXPECT_EQ(notes_[0], "a timer raised an error: kaputt");
}

TEST_F(EventLoopTest, NextDueCountsDownOnTheVirtualClock) {
  EXPECT_EQ(loop_.SetTimer(10, nullptr, nullptr), 0u);
  EXPECT_EQ(loop_.NextDue(), std::nullopt);
  uint32_t slow = loop_.SetTimer(
      30, [](void*) {}, nullptr);
  EXPECT_EQ(loop_.NextDue(), milliseconds(30));
  loop_.Advance(milliseconds(29));
  EXPECT_EQ(loop_.NextDue(), milliseconds(1));
  loop_.KillTimer(slow);
  loop_.SetTimer(
      0, [](void*) {}, nullptr);  // as often as the loop can: every millisecond
  EXPECT_EQ(loop_.NextDue(), milliseconds(1));
  EXPECT_EQ(loop_.RunDue(), 0);
}

}  // namespace
}  // namespace hostsim
