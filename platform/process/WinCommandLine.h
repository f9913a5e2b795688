// The command line of a program started on Windows (WinProcesses.cpp).
#pragma once

#include <string>

namespace platform::process {

// One argument as the Microsoft C runtime and CommandLineToArgvW read it back.
std::wstring QuoteArgument(const std::wstring& arg);

}  // namespace platform::process
