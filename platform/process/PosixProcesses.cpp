// Processes on POSIX systems: fork and exec with a close-on-exec pipe that
// carries exec's errno back, so that "could not be started" is known for
// certain. Everything the child needs is prepared before fork; between fork
// and exec it calls only async-signal-safe functions.
//
// A watched program must not outlive the host, however the host ends. Two
// things see to it, as Linux has no job object:
// - The program gets the parent-death signal (SIGKILL: nobody is left to
//   wait for a polite end). The kernel sends it when the *thread* that
//   forked ends, not the process. It is fork, not posix_spawn (which cannot
//   set it), from the calling thread: the check-in starts, watches and ends
//   its program on the host's thread, which cannot end while the program's
//   modal form is open. A program started from a thread that ends before it
//   is killed then.
// - A guard process in the program's group waits for the host to close a
//   pipe, which an ended host always does, and then kills the whole group:
//   what the program started goes too, which the parent-death signal alone
//   (sent to the program only) would leave running. While the guard lives
//   the group's number cannot pass to another group, so a kill of the group
//   after the program itself was collected reaches no stranger.
// What leaves the group (a grandchild that calls setsid or setpgid) escapes
// both, and Stop as well.
#include "platform/process/Process.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace platform::process {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The program's absolute path, or nothing when there is no such program.
std::optional<std::string> Resolve(const std::string& program) {
  if (program.empty()) return std::nullopt;
  if (program.find('/') != std::string::npos) {
    std::string path = program;
    if (path[0] != '/') {
      char cwd[4096];
      if (getcwd(cwd, sizeof cwd) == nullptr) return std::nullopt;
      path = std::string(cwd) + "/" + path;
    }
    return IsExecutableFile(path) ? std::optional(path) : std::nullopt;
  }
  const char* env = std::getenv("PATH");
  std::string search = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= search.size()) {
    size_t end = search.find(':', start);
    if (end == std::string::npos) end = search.size();
    std::string dir = search.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + program;
    if (IsExecutableFile(candidate)) return Resolve(candidate);
    start = end + 1;
  }
  return std::nullopt;
}

// Runs in the child: set up and exec, or report errno through `report`.
// A watched program (`host` is the parent's pid) leads a group of its own
// and dies with the host.
[[noreturn]] void ExecChild(const char* path, const char* folder, char* const* argv, bool hidden,
                            std::optional<pid_t> host, int report) {
  if (host) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The host may have ended before the signal was asked for; then this
    // child already belongs to another parent and would never get it.
    if (getppid() != *host) _exit(127);
  }
  sigset_t all;
  sigemptyset(&all);
  sigprocmask(SIG_SETMASK, &all, nullptr);
  signal(SIGPIPE, SIG_DFL);
  if (hidden) {
    int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      dup2(null_fd, 0);
      dup2(null_fd, 1);
      dup2(null_fd, 2);
      if (null_fd > 2) close(null_fd);
    }
  }
  if (chdir(folder) == 0) execv(path, argv);
  int err = errno;
  ssize_t ignored = write(report, &err, sizeof err);
  (void)ignored;
  _exit(127);
}

enum class Mode { kWait, kDetach, kWatch };

// Closes every descriptor but `keep`: the guard must hold nothing of the
// host's (a shared lock, the write end of a pipe someone reads to its end).
// `max_fd` bounds the slow way on kernels without close_range.
void CloseAllBut(int keep, int max_fd) {
  const bool closed = (keep == 0 || close_range(0, static_cast<unsigned>(keep) - 1, 0) == 0) &&
                      close_range(static_cast<unsigned>(keep) + 1, ~0U, 0) == 0;
  if (closed) return;
  for (int fd = 0; fd < max_fd; ++fd) {
    if (fd != keep) close(fd);
  }
}

// The guard of a watched program's group (see the top of the file): its
// pid, and the pipe's write end, which only the host holds. -1 where there
// is none.
struct Guard {
  pid_t pid = -1;
  int fd = -1;
};

// Forks the guard into `group`. Without one (no pipe, no process) the
// program still dies with the host; what it started may not.
Guard StartGuard(pid_t group) {
  const long open_max = sysconf(_SC_OPEN_MAX);
  const int max_fd = open_max > 0 && open_max < 65536 ? static_cast<int>(open_max) : 65536;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return {};
  }
  if (pid == 0) {
    // Deaf to all but SIGKILL: Stop's polite SIGTERM to the group is not
    // meant for the guard, and no handler of the host's may run here.
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_SETMASK, &all, nullptr);
    setpgid(0, group);
    CloseAllBut(fds[0], max_fd);
    // Nothing is ever written: the read ends when the host closes the pipe
    // or ends.
    char byte;
    while (read(fds[0], &byte, 1) > 0) {
    }
    kill(-group, SIGKILL);
    _exit(0);
  }
  setpgid(pid, group);  // from both sides, as for the program
  close(fds[0]);
  return {pid, fds[1]};
}

// Lets the guard kill what is left of the group, and collects it. The
// guard ends at once; should it not (stopped, or holding the pipe after
// all), the host is not kept waiting: it kills the group and the guard
// itself after a second.
void EndGuard(Guard& guard, pid_t group) {
  if (guard.fd >= 0) close(guard.fd);
  guard.fd = -1;
  if (guard.pid <= 0) return;
  for (int waited_ms = 0; waited_ms < 1000; ++waited_ms) {
    const pid_t done = waitpid(guard.pid, nullptr, WNOHANG);
    if (done == guard.pid || (done < 0 && errno != EINTR)) {
      guard.pid = -1;
      return;
    }
    usleep(1000);
  }
  kill(-group, SIGKILL);
  kill(guard.pid, SIGKILL);
  while (waitpid(guard.pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  guard.pid = -1;
}

struct Started {
  pid_t pid = 0;  // 0 once waited for
  Guard guard;    // kWatch
};

// Starts the program, hidden or sharing the terminal, and waits for its end,
// detaches it, or (kWatch) leaves it running in a group of its own with its
// guard. Nothing when exec failed.
std::optional<Started> StartProgram(const std::string& program,
                                    const std::vector<std::string>& args, bool hidden, Mode mode) {
  const bool wait_for_end = mode == Mode::kWait;
  std::optional<std::string> path = Resolve(program);
  if (!path) return std::nullopt;
  std::string folder = path->substr(0, path->find_last_of('/'));
  if (folder.empty()) folder = "/";

  // The program runs in its own folder, so its name as given (possibly
  // relative to ours) would not lead back to it.
  std::vector<std::string> arg_strings;
  arg_strings.push_back(*path);
  arg_strings.insert(arg_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : arg_strings) argv.push_back(a.data());
  argv.push_back(nullptr);

  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return std::nullopt;

  const pid_t host = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    return std::nullopt;
  }
  if (pid == 0) {
    close(pipe_fds[0]);
    if (mode == Mode::kDetach) {
      // Detach: the grandchild runs the program, this child ends at once so
      // that the caller can reap it and no zombie stays behind.
      pid_t grandchild = fork();
      if (grandchild < 0) {
        int err = errno;
        ssize_t ignored = write(pipe_fds[1], &err, sizeof err);
        (void)ignored;
        _exit(127);
      }
      if (grandchild > 0) _exit(0);
      setsid();
    }
    ExecChild(path->c_str(), folder.c_str(), argv.data(), hidden,
              mode == Mode::kWatch ? std::optional(host) : std::nullopt, pipe_fds[1]);
  }
  // Set from both sides: whichever runs first, the group exists before the
  // program can start anything.
  if (mode == Mode::kWatch) setpgid(pid, pid);
  close(pipe_fds[1]);
  // Before the program runs, so that nothing it starts comes before it.
  Started result{pid, mode == Mode::kWatch ? StartGuard(pid) : Guard{}};
  int child_errno = 0;
  ssize_t n;
  do {
    n = read(pipe_fds[0], &child_errno, sizeof child_errno);
  } while (n < 0 && errno == EINTR);
  close(pipe_fds[0]);
  bool started = n == 0;  // the pipe closed by a successful exec
  if (mode == Mode::kWatch && started) return result;

  // Waiting: for the program itself. Detached: for the intermediate child,
  // which ends as soon as it has forked. Watched but not started: for the
  // child that could not exec, and its guard.
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  EndGuard(result.guard, pid);
  if (!started) return std::nullopt;
  if (wait_for_end) result.pid = 0;
  return result;
}

// A watched program by its pid, which is its process group's too.
class PosixProgram : public RunningProgram {
 public:
  PosixProgram(pid_t pid, Guard guard) : pid_(pid), guard_(guard) {}
  ~PosixProgram() override {
    if (!ending_) Stop(0);
    // What the program left running in its group goes with it, as on
    // Windows with the job.
    EndGuard(guard_, pid_);
  }

  bool Ended() override {
    Collect(false);
    return ending_.has_value();
  }
  const std::optional<Ending>& HowEnded() const override { return ending_; }

  void Stop(int grace_ms) override {
    // The group keeps the leader's number while any member lives, even after
    // the leader has been collected; the guard is one.
    kill(-pid_, SIGTERM);
    for (int waited = 0; waited < grace_ms && !Ended(); waited += 10) {
      usleep(10 * 1000);
    }
    kill(-pid_, SIGKILL);
    Collect(true);
  }

 private:
  void Collect(bool wait) {
    if (ending_) return;
    int status = 0;
    pid_t done;
    do {
      done = waitpid(pid_, &status, wait ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == pid_) {
      if (WIFSIGNALED(status)) {
        ending_ = Ending{true, WTERMSIG(status)};
      } else {
        ending_ = Ending{false, WIFEXITED(status) ? WEXITSTATUS(status) : 0};
      }
    } else if (done < 0) {
      // Collected elsewhere (a handler of the host's): it has ended, how is
      // not known; taken as an end by a signal, which never passes as success.
      ending_ = Ending{true, 0};
    }
  }

  pid_t pid_;
  Guard guard_;
  std::optional<Ending> ending_;
};

class PosixProcesses : public Processes {
 public:
  bool ExecAndWait(const std::string& program, const std::vector<std::string>& args) override {
    return StartProgram(program, args, /*hidden=*/true, Mode::kWait).has_value();
  }

  std::unique_ptr<RunningProgram> Start(const std::string& program,
                                        const std::vector<std::string>& args) override {
    const std::optional<Started> started =
        StartProgram(program, args, /*hidden=*/true, Mode::kWatch);
    if (!started) return nullptr;
    return std::make_unique<PosixProgram>(started->pid, started->guard);
  }

  bool Exec(const std::string& program, const std::vector<std::string>& args) override {
    return StartProgram(program, args, /*hidden=*/false, Mode::kDetach).has_value();
  }

  std::string CurrentUserName() override {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_name != nullptr) {
      return result->pw_name;
    }
    for (const char* name : {"USER", "LOGNAME"}) {
      if (const char* value = std::getenv(name); value != nullptr) return value;
    }
    return "";
  }

  std::string HomeFolder() override {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr)
      return pw->pw_dir;
    return "/tmp";
  }
};

}  // namespace

Processes& Processes::Default() {
  static Processes* const posix = new PosixProcesses();
  return *posix;
}

}  // namespace platform::process
