// Starting external programs (the check-in program, the text editor) and the
// logon name of the current user.
//
// Programs get their arguments as a real argument vector: there is no shell
// and no splitting, so a value with blanks (a folder, a password) reaches the
// program as one argument. A program path without a slash is looked up in
// PATH. The program runs in its own folder.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::process {

// Starts the program hidden (standard input, output and error on /dev/null),
// waits without a time limit until it ends, and answers whether it could be
// started at all; its exit code is not looked at.
bool ExecAndWait(const std::string& program, const std::vector<std::string>& args);

// A program started hidden, as ExecAndWait starts it, that the caller
// watches instead of waiting for it, and may end. It leads a process group
// of its own, so that ending it ends what it started as well (unless that
// left the group). A program still running when the object goes is ended.
class RunningProgram {
 public:
  struct Ending {
    bool by_signal = false;  // killed or crashed
    int code = 0;            // the exit code, or the signal's number
  };

  // Nothing when the program could not be started.
  static std::unique_ptr<RunningProgram> Start(const std::string& program,
                                               const std::vector<std::string>& args);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  // Whether the program has ended; never waits.
  bool Ended();
  // How it ended; nothing while it runs.
  const std::optional<Ending>& HowEnded() const { return ending_; }
  // Ends the program and its group: asked first (SIGTERM), forced (SIGKILL)
  // once `grace_ms` have passed; returns when the program has ended. What
  // it started is ended too, even when the program itself has gone already.
  void Stop(int grace_ms = 1000);

 private:
  explicit RunningProgram(pid_t pid) : pid_(pid) {}
  void Collect(bool wait);

  pid_t pid_;
  std::optional<Ending> ending_;
};

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
