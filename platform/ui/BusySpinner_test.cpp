// The spinner of long work: its frames, that it shows nothing for short
// work, keeps off the line while a box is shown, and never writes after it
// was stopped, and that a write failing on its thread ends it quietly; and
// that the cursor's changes reach the presenter.
#include "platform/ui/BusySpinner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "platform/ui/Ui.h"

namespace platform::ui {
namespace {

class Output {
 public:
  void Write(std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    writes_.emplace_back(text);
  }
  std::vector<std::string> Writes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
  }
  // Waits until at least n writes came; the spinner runs on its own thread.
  bool WaitFor(size_t n) {
    for (int i = 0; i < 10000; ++i) {
      if (Writes().size() >= n) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> writes_;
};

TEST(BusySpinnerTest, FramesTurnAndCountWholeSeconds) {
  EXPECT_EQ(BusySpinner::Frame(0, 3400), "\r| Bitte warten ... 3 s ");
  EXPECT_EQ(BusySpinner::Frame(1, 999), "\r/ Bitte warten ... 0 s ");
  EXPECT_EQ(BusySpinner::Frame(7, 61000), "\r\\ Bitte warten ... 61 s ");
}

TEST(BusySpinnerTest, ShortWorkShowsNothing) {
  Output out;
  BusySpinner spinner([&](std::string_view t) { out.Write(t); }, 3600 * 1000, 1);
  spinner.Start();
  spinner.Stop();
  spinner.Start();
  spinner.Stop();
  EXPECT_TRUE(out.Writes().empty());
}

TEST(BusySpinnerTest, LongWorkSpinsAndTheLineIsClearedAtItsEnd) {
  Output out;
  BusySpinner spinner([&](std::string_view t) { out.Write(t); }, 0, 1);
  spinner.Start();
  ASSERT_TRUE(out.WaitFor(3));
  spinner.Suspend();
  const size_t suspended = out.Writes().size();
  EXPECT_EQ(out.Writes().back().find_first_not_of(" \r"), std::string::npos) << "line cleared";
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(out.Writes().size(), suspended) << "nothing while a box is shown";
  spinner.Resume();
  ASSERT_TRUE(out.WaitFor(suspended + 2));
  spinner.Stop();
  const std::vector<std::string> writes = out.Writes();
  EXPECT_EQ(writes.back().find_first_not_of(" \r"), std::string::npos);
  EXPECT_EQ(writes.front().rfind("\r| Bitte warten ... ", 0), 0u) << writes.front();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(out.Writes().size(), writes.size()) << "nothing after Stop";
}

TEST(BusySpinnerTest, AWriteThatFailsOnItsThreadEndsTheSpinnerNotTheProgram) {
  std::atomic<int> tries{0};
  {
    BusySpinner spinner(
        [&](std::string_view) {
          ++tries;
          throw std::runtime_error("Terminal geschlossen");
        },
        0, 1);
    spinner.Start();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (tries == 0 && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(tries, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(tries, 1) << "its thread ended at the first failed frame";
    spinner.Stop();
    spinner.Start();
    spinner.Stop();
    EXPECT_EQ(tries, 1) << "nothing to clear, nothing drawn";
  }
}

class CursorPresenter : public Presenter {
 public:
  MsgAnswer ShowMessage(MsgKind, std::string_view, MsgButtons) override { return MsgAnswer::kOk; }
  void RunModal(Form&) override {}
  void ShowModeless(Form&) override {}
  void CloseModeless(Form&) override {}
  std::optional<std::string> ShowFileDialog(const FileDialogRequest&) override { return {}; }
  void CursorChanged(Cursor cursor) override { changes.push_back(cursor); }
  std::vector<Cursor> changes;
};

TEST(BusySpinnerTest, ThePresenterHearsOfEachChangeOfTheCursor) {
  auto owned = std::make_unique<CursorPresenter>();
  CursorPresenter* presenter = owned.get();
  auto before = SetPresenter(std::move(owned));
  {
    HourglassGuard outer;
    HourglassGuard inner;  // no change: no news
  }
  EXPECT_EQ(presenter->changes, (std::vector<Cursor>{Cursor::kHourglass, Cursor::kDefault}));
  SetPresenter(std::move(before));
}

}  // namespace
}  // namespace platform::ui
