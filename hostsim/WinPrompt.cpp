// The Windows build of kartul-sim runs scenario files only: it is the 32-bit
// harness of the plug-in DLLs under wine, where nobody types at a prompt.
#include <iostream>

#include "hostsim/Prompt.h"

int hostsim::Interactive(Host& host, Simulator& /*sim*/) {
  std::cerr << "kartul-sim: this build runs scenario files only (kartul-sim SCENARIO); "
               "the interactive prompt is the Linux build's\n";
  host.CloseProject();
  return 2;
}
