// What a callback of the window system or a thread's entry runs its work
// under. No exception may leave such a frame: the 32-bit runtime of the
// Windows builds cannot unwind through the frames of Windows that call a
// window procedure, a timer procedure or a thread's start, and ends the host
// instead ("terminate called after throwing ..."). So the callback takes
// what its work throws and deals with it on its own side of those frames: a
// modal form keeps it until its loop has returned and throws it again there,
// where the hook's guard answers as usual; a modeless form or a timer shows
// it in an error box.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace platform::ui {

class Presenter;

// Runs `work`; what it throws is handed back, nothing when it returns.
template <class Work>
[[nodiscard]] std::exception_ptr Caught(Work&& work) noexcept {
  try {
    std::forward<Work>(work)();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

// What the mapper reads when memory ran out: std::bad_alloc's what() is
// the runtime's English ("std::bad_alloc"), and a large picture or table
// read whole can run out (LargeBuffer).
inline constexpr std::string_view kOutOfMemoryText =
    "Der Arbeitsspeicher reicht nicht aus. Der Vorgang wurde abgebrochen.";

// The error's text as the mapper reads it: what() of a standard exception
// (kOutOfMemoryText for std::bad_alloc), else the hooks' "Unbekannter
// Fehler im Plug-in."; empty without an error.
std::string ErrorText(const std::exception_ptr& error);

// Shows the error's text in an error box of the presenter (the installed one
// when none is given). What showing it throws in turn is dropped: nothing is
// left to tell the mapper with, and the caller must go on.
void ShowError(const std::exception_ptr& error, Presenter* presenter = nullptr) noexcept;

}  // namespace platform::ui
