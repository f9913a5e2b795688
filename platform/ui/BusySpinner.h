// Shows on a terminal that the program is at work while the hourglass is
// up: after a second a spinner with the seconds passed, redrawn a few times
// a second on one line, and the line cleared when the work ends. The host's
// work runs on its one thread, so the spinner draws from a thread of its
// own; it writes only through the function it is given, and never after
// Suspend or Stop have returned. A write that fails on its thread ends the
// spinner quietly.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace platform::ui {

class BusySpinner {
 public:
  explicit BusySpinner(std::function<void(std::string_view)> write, int delay_ms = 1000,
                       int period_ms = 250);
  ~BusySpinner();
  BusySpinner(const BusySpinner&) = delete;
  BusySpinner& operator=(const BusySpinner&) = delete;

  // The work begins (the hourglass goes up); a running spinner goes on.
  void Start();
  // The work ends: the spinner's line is cleared.
  void Stop();
  // Something else is written meanwhile (a message box): the line is
  // cleared, and Resume goes on counting from the same start.
  void Suspend();
  void Resume();

  // One frame: the spinner's n-th position and the whole seconds passed.
  static std::string Frame(int n, int64_t elapsed_ms);

 private:
  void Run();
  // Run failed and its thread ends: nothing is cleared or drawn any more.
  void Gone() noexcept;
  void ClearLocked();

  std::function<void(std::string_view)> write_;
  const int delay_ms_;
  const int period_ms_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
  bool running_ = false;    // work is going on
  bool suspended_ = false;  // but the line belongs to someone else
  bool quit_ = false;
  bool shown_ = false;  // a frame stands on the line
  int64_t start_ns_ = 0;
};

}  // namespace platform::ui
