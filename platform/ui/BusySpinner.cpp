#include "platform/ui/BusySpinner.h"

#include <chrono>

#include "platform/env/Env.h"
#include "platform/ui/ErrorGuard.h"

namespace platform::ui {
namespace {

int64_t NowNs() {
  return env::Env::Current().SteadyNs();
}

}  // namespace

BusySpinner::BusySpinner(std::function<void(std::string_view)> write, int delay_ms, int period_ms)
    : write_(std::move(write)), delay_ms_(delay_ms), period_ms_(period_ms) {}

BusySpinner::~BusySpinner() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    running_ = false;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::string BusySpinner::Frame(int n, int64_t elapsed_ms) {
  static constexpr char kTurns[] = {'|', '/', '-', '\\'};
  return std::string("\r") + kTurns[n % 4] + " Bitte warten ... " +
         std::to_string(elapsed_ms / 1000) + " s ";
}

void BusySpinner::Start() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) return;
    running_ = true;
    suspended_ = false;
    start_ns_ = NowNs();
    if (!thread_.joinable()) {
      thread_ = std::thread([this] {
        // Nothing may leave a thread's entry (the runtime ends the program).
        // The spinner only shows that the work goes on: a line it cannot
        // write (the terminal gone) ends the spinner, not the work.
        if (Caught([this] { Run(); })) Gone();
      });
    }
  }
  wake_.notify_all();
}

void BusySpinner::ClearLocked() {
  if (!shown_) return;
  write_("\r" + std::string(Frame(0, 0).size() + 8, ' ') + "\r");
  shown_ = false;
}

void BusySpinner::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  running_ = false;
  ClearLocked();
}

void BusySpinner::Suspend() {
  std::lock_guard<std::mutex> lock(mutex_);
  suspended_ = true;
  ClearLocked();
}

void BusySpinner::Resume() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    suspended_ = false;
  }
  wake_.notify_all();
}

void BusySpinner::Gone() noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  // The line is left as it stands: writing it is what failed.
  shown_ = false;
}

void BusySpinner::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  int n = 0;
  while (!quit_) {
    if (!running_ || suspended_) {
      wake_.wait(lock);
      continue;
    }
    const int64_t elapsed_ms = (NowNs() - start_ns_) / 1000000;
    if (elapsed_ms < delay_ms_) {
      wake_.wait_for(lock, std::chrono::milliseconds(delay_ms_ - elapsed_ms));
      continue;
    }
    write_(Frame(n++, elapsed_ms));
    shown_ = true;
    wake_.wait_for(lock, std::chrono::milliseconds(period_ms_));
  }
}

}  // namespace platform::ui
