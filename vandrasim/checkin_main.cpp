// The program checkin (CheckIn.h): the arguments as they came, the run, its
// exit code.
#include <iostream>
#include <string>
#include <vector>

#include "platform/env/Env.h"
#include "vandrasim/CheckIn.h"
#include "vandrasim/System.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = vandrasim::sys::Arguments(argc, argv);
  try {
    return vandrasim::RunCheckIn(platform::env::Env::Default(), args, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "checkin: " << e.what() << "\n";
    return 1;
  }
}
