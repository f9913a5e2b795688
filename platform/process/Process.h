// Starting external programs (the check-in program, the text editor) and the
// logon name of the current user.
//
// Programs get their arguments as a real argument vector: there is no shell
// and no splitting, so a value with blanks (a folder, a password) reaches the
// program as one argument. A program path without a slash is looked up in
// PATH. The program runs in its own folder.
#pragma once

#include <string>
#include <vector>

namespace platform::process {

// Starts the program hidden (standard input, output and error on /dev/null),
// waits without a time limit until it ends, and answers whether it could be
// started at all; its exit code is not looked at.
bool ExecAndWait(const std::string& program, const std::vector<std::string>& args);

// Starts the program shown (it shares the caller's terminal) and returns at
// once; it is not waited for and leaves no zombie. False when it could not be
// started.
bool Exec(const std::string& program, const std::vector<std::string>& args);

// The logon name of the current user from the system's user database; the
// environment's USER or LOGNAME when the database has no entry, else "".
std::string GetCurrentUserName();

// The current user's home folder: the environment's HOME, else the user
// database's entry, else "/tmp".
std::string HomeFolder();

}  // namespace platform::process
