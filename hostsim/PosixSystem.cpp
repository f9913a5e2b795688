// The host stand-in on Linux: dlopen, /proc, mkdtemp, fork and exec.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "hostsim/HostModel.h"
#include "hostsim/System.h"

namespace fs = std::filesystem;

namespace hostsim::sys {

const char* const kLibraryExtension = ".so";

void* OpenLibrary(const std::string& path, std::string& error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) error = dlerror();
  return handle;
}

void* LibrarySymbol(void* library, const std::string& name) {
  return dlsym(library, name.c_str());
}

void CloseLibrary(void* library) { dlclose(library); }

void* ProgramLibrary(std::string& error) {
  // dlsym through this handle looks through the program and the libraries
  // it was started with.
  void* handle = dlopen(nullptr, RTLD_NOW);
  if (!handle) error = dlerror();
  return handle;
}

std::string ProgramPath() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

std::string MakeTempFolder(std::string& error) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kartul-sim-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) {
    error = std::strerror(errno);
    return {};
  }
  return buf.data();
}

void SetEnvironment(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

bool InputIsTerminal() { return isatty(STDIN_FILENO); }

PrivateSettings::PrivateSettings(const std::string& run_name) : name_(run_name) {}
PrivateSettings::~PrivateSettings() = default;

int DispatchMessages() { return 0; }

std::string AbsolutePath(const std::string& path) {
  return fs::absolute(path).lexically_normal().string();
}

fs::path FilePath(const std::string& utf8) { return fs::path(utf8); }

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

ProgramRun RunProgram(const std::vector<std::string>& args, bool with_errors) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) throw HostError("exec: no pipe");
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    throw HostError("exec: cannot start " + args[0]);
  }
  if (pid == 0) {
    dup2(pipe_fds[1], STDOUT_FILENO);
    if (with_errors) dup2(pipe_fds[1], STDERR_FILENO);
    close(pipe_fds[0]);
    close(pipe_fds[1]);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  ProgramRun run;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(pipe_fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) run.output.append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) {
    run.signal = WTERMSIG(status);
  } else if (WIFEXITED(status)) {
    run.exit_code = WEXITSTATUS(status);
    // What the child answers when execvp failed.
    run.started = run.exit_code != 127;
  }
  return run;
}

}  // namespace hostsim::sys
