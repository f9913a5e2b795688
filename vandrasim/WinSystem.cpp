// The check-in stand-in's ties to Windows (System.h).
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string_view>

#include "platform/text/Encoding.h"
#include "vandrasim/System.h"

namespace vandrasim::sys {

std::vector<std::string> Arguments(int argc, char** argv) {
  // The C runtime's splitting and CommandLineToArgvW's agree on every
  // argument after the program's name, which is what a caller quotes for.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) {
    const std::wstring_view arg(wide[i]);
    args.push_back(platform::text::Utf16ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(arg.data()), arg.size())));
  }
  LocalFree(wide);
  return args;
}

void Crash() {
  // No handler of the program runs, and no error box waits for a click:
  // the caller sees the program gone at once, with STATUS_FAIL_FAST_EXCEPTION
  // (0xC0000602) as its status.
  RaiseFailFastException(nullptr, nullptr, FAIL_FAST_NO_HARD_ERROR_DLG);
  // Windows does not come back from that call; should a system that only
  // stands in for it do so, the status is the same.
  TerminateProcess(GetCurrentProcess(), 0xC0000602);
  for (;;) Sleep(INFINITE);
}

}  // namespace vandrasim::sys
