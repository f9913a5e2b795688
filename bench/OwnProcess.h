// Measurements made in a process of their own, so that what a first open or
// a whole run costs is not hidden by what the benchmark program already
// holds: the program runs itself again with other arguments, the child does
// the work once and prints "<ns> <peak KiB>", and the parent reads that.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// The process's peak memory (KiB). getrusage's ru_maxrss would do, were it
// not for carrying the high-water mark of the forked copy of the benchmark
// over the exec; VmHWM counts this program's own memory alone.
inline long PeakMemoryKib() {
  long kib = -1;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
    }
    std::fclose(f);
  }
  if (kib < 0) {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    kib = usage.ru_maxrss;
  }
  return kib;
}

// What the child prints when it has done its work.
inline void PrintMeasurement(long long ns) {
  std::printf("%lld %ld\n", ns, PeakMemoryKib());
}

struct Measurement {
  long long ns = 0;
  long peak_kib = 0;
};

// Runs this program again as `name` with `args` and reads what it printed;
// nothing when it could not run, failed, or printed no measurement.
inline std::optional<Measurement> MeasureInOwnProcess(const char* name,
                                                      const std::vector<std::string>& args) {
  int fds[2];
  if (::pipe(fds) != 0) return std::nullopt;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 1);
    ::close(fds[0]);
    std::vector<char*> argv{const_cast<char*>(name)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv("/proc/self/exe", argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  char line[128] = {};
  size_t got = 0;
  for (ssize_t r;
       got + 1 < sizeof(line) && (r = ::read(fds[0], line + got, sizeof(line) - 1 - got)) > 0;) {
    got += static_cast<size_t>(r);
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  Measurement m;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      std::sscanf(line, "%lld %ld", &m.ns, &m.peak_kib) != 2) {
    return std::nullopt;
  }
  return m;
}

}  // namespace bench
