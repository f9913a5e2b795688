// The current Processes, and the free functions that go to it.
#include "platform/process/Process.h"

#include <atomic>

namespace platform::process {
namespace {

std::atomic<Processes*> g_current{nullptr};

}  // namespace

Processes& Processes::Current() {
  Processes* processes = g_current.load(std::memory_order_acquire);
  return processes ? *processes : Default();
}

ScopedProcesses::ScopedProcesses(Processes& processes)
    : previous_(g_current.exchange(&processes, std::memory_order_acq_rel)) {}

ScopedProcesses::~ScopedProcesses() {
  g_current.store(previous_, std::memory_order_release);
}

bool ExecAndWait(const std::string& program, const std::vector<std::string>& args) {
  return Processes::Current().ExecAndWait(program, args);
}

std::unique_ptr<RunningProgram> RunningProgram::Start(const std::string& program,
                                                      const std::vector<std::string>& args) {
  return Processes::Current().Start(program, args);
}

bool Exec(const std::string& program, const std::vector<std::string>& args) {
  return Processes::Current().Exec(program, args);
}

std::string GetCurrentUserName() {
  return Processes::Current().CurrentUserName();
}

std::string HomeFolder() {
  return Processes::Current().HomeFolder();
}

}  // namespace platform::process
