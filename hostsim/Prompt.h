// kartul-sim's interactive prompt: commands typed with line editing, timers
// run while the prompt waits. PosixPrompt.cpp has it (readline); the
// Windows build runs scenario files only (WinPrompt.cpp).
#pragma once

#include "hostsim/HostModel.h"
#include "hostsim/Simulator.h"

namespace hostsim {

// Reads and runs commands until the user leaves, then closes the project.
// Returns the program's exit status: 1 when a command failed.
int Interactive(Host& host, Simulator& sim);

}  // namespace hostsim
