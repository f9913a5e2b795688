// The program checkin (CheckIn.h): the arguments as they came, the run, its
// exit code.
#include <iostream>
#include <string>
#include <vector>

#include "platform/env/Env.h"
#include "vandrasim/CheckIn.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return vandrasim::RunCheckIn(platform::env::Env::Posix(), args, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "checkin: " << e.what() << "\n";
    return 1;
  }
}
