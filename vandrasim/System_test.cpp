// The check-in stand-in's ties to Linux (System.h): its crash is one the
// caller sees as a signal, not as an exit code; the arguments come as given.
#include "vandrasim/System.h"

#include <gtest/gtest.h>

#include <csignal>

namespace vandrasim {
namespace {

TEST(System, ACrashEndsTheProgramByASignalNotAnExitCode) {
  EXPECT_EXIT(sys::Crash(), ::testing::KilledBySignal(SIGABRT), "");
}

TEST(System, TheArgumentsAreThoseAfterTheProgramsNameAsGiven) {
  char program[] = "checkin", flag[] = "-p", value[] = "Tür zu 7", empty[] = "";
  char* argv[] = {program, flag, value, empty, nullptr};
  EXPECT_EQ(sys::Arguments(4, argv), (std::vector<std::string>{"-p", "Tür zu 7", ""}));
}

}  // namespace
}  // namespace vandrasim
