// The check-in stand-in's ties to Linux (System.h).
#include <cstdlib>

#include "vandrasim/System.h"

namespace vandrasim::sys {

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

void Crash() { std::abort(); }

}  // namespace vandrasim::sys
