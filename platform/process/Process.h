// Starting external programs (the check-in program, the text editor) and the
// logon name and home folder of the current user.
//
// Programs get their arguments as a real argument vector: there is no shell
// and no splitting, so a value with blanks (a folder, a password) reaches the
// program as one argument. A program path without a slash is looked up in
// PATH. The program runs in its own folder. On Windows the arguments travel
// as one command line, quoted so that the program's C runtime splits it back
// into exactly them; a batch file is not started (cmd.exe would read its
// arguments by rules of its own).
//
// All of it is the work of a Processes service: the platform's own
// (Processes::Default(), chosen by the build: PosixProcesses.cpp on Linux,
// WinProcesses.cpp on Windows),
// or one a test installs with ScopedProcesses. The free functions and
// RunningProgram::Start go to Processes::Current().
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::process {

// Starts the program hidden (standard input, output and error on /dev/null,
// NUL on Windows, where it shows no window),
// waits without a time limit until it ends, and answers whether it could be
// started at all; its exit code is not looked at.
bool ExecAndWait(const std::string& program, const std::vector<std::string>& args);

// A program started hidden, as ExecAndWait starts it, that the caller
// watches instead of waiting for it, and may end. It leads a process group
// of its own, so that ending it ends what it started as well (unless that
// left the group). When the object goes, the program, if it still runs, and
// whatever is left in its group are ended. Nothing of it outlives the host
// either: should the host end first, however abruptly, the group is killed
// (on Linux the program gets the parent-death signal, and a guard process
// in the group kills the rest). The parent-death signal belongs to the
// thread that started the program: start it from a thread that outlives
// it, as the host's own thread does. On Windows the group is a job object,
// which nothing the program starts leaves, and which ends all in it when
// the object or the host goes.
class RunningProgram {
 public:
  struct Ending {
    bool by_signal = false;  // killed or crashed
    // The exit code, or the signal's number; on Windows the status of the
    // exception (0xC0000005, ...) or of Stop (0xC000013A), as an int.
    int code = 0;
  };

  // Nothing when the program could not be started.
  static std::unique_ptr<RunningProgram> Start(const std::string& program,
                                               const std::vector<std::string>& args);
  virtual ~RunningProgram() = default;
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  // Whether the program has ended; never waits.
  virtual bool Ended() = 0;
  // How it ended; nothing while it runs.
  virtual const std::optional<Ending>& HowEnded() const = 0;
  // Ends the program and its group: asked first (SIGTERM; on Windows WM_CLOSE
  // to their windows, and not waited for when none has one), forced
  // (SIGKILL) once `grace_ms` have passed; returns when the program has ended. What
  // it started is ended too, even when the program itself has gone already.
  virtual void Stop(int grace_ms = 1000) = 0;

 protected:
  RunningProgram() = default;
};

// Starts the program shown (it shares the caller's terminal) and returns at
// once; it is not waited for and leaves no zombie. False when it could not be
// started.
bool Exec(const std::string& program, const std::vector<std::string>& args);

// The logon name of the current user from the system's user database; the
// environment's USER or LOGNAME when the database has no entry, else "".
// On Windows GetUserNameW, else USERNAME.
std::string GetCurrentUserName();

// The current user's home folder: the environment's HOME, else the user
// database's entry, else "/tmp". On Windows USERPROFILE, else HOMEDRIVE and
// HOMEPATH, else the folder for temporary files.
std::string HomeFolder();

// The service behind the functions above; each member does what the free
// function of its name promises.
class Processes {
 public:
  virtual ~Processes() = default;

  // The platform's own, the only one the product uses. Never destroyed.
  static Processes& Default();
  // The service of code that is not handed one: Default() unless a
  // ScopedProcesses installed another.
  static Processes& Current();

  virtual bool ExecAndWait(const std::string& program, const std::vector<std::string>& args) = 0;
  virtual std::unique_ptr<RunningProgram> Start(const std::string& program,
                                                const std::vector<std::string>& args) = 0;
  virtual bool Exec(const std::string& program, const std::vector<std::string>& args) = 0;
  virtual std::string CurrentUserName() = 0;
  virtual std::string HomeFolder() = 0;
};

// Installs a Processes as Processes::Current() for the life of the object
// and puts the one before back. For tests; not for use while other threads
// reach Current().
class ScopedProcesses {
 public:
  explicit ScopedProcesses(Processes& processes);
  ~ScopedProcesses();
  ScopedProcesses(const ScopedProcesses&) = delete;
  ScopedProcesses& operator=(const ScopedProcesses&) = delete;

 private:
  Processes* previous_;
};

}  // namespace platform::process
