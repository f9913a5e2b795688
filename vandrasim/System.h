// What the check-in stand-in needs of the operating system beyond the
// platform's services: its arguments as the caller gave them, and a crash
// that the caller sees as one. PosixSystem.cpp serves Linux, WinSystem.cpp
// Windows.
#pragma once

#include <string>
#include <vector>

namespace vandrasim::sys {

// The program's arguments after its name, in UTF-8. `argc` and `argv` are
// main's. On Windows they are taken from the command line in UTF-16
// instead, since `argv` holds them in the ANSI code page, which cannot hold
// every character of a value (a password, a folder).
std::vector<std::string> Arguments(int argc, char** argv);

// Ends the program at once as a crash ends it, writing and tidying nothing
// more, so that the caller learns of a crash and not of an exit code: on
// Linux by SIGABRT, on Windows with an exception's status (0xC0000000 and
// above), which no exception handler or exit routine of the program sees.
[[noreturn]] void Crash();

}  // namespace vandrasim::sys
