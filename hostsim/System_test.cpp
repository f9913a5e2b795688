#include "hostsim/System.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "hostsim/HostModel.h"

namespace fs = std::filesystem;
using namespace hostsim::sys;

TEST(System, ProgramOutputAndExitCodeComeBack) {
  ProgramRun run = RunProgram({"/bin/sh", "-c", "printf '%s|%s' \"$1\" \"$2\"; exit 3", "sh",
                               "a b", "it's \"Grün\""},
                              false);
  EXPECT_TRUE(run.started);
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.output, "a b|it's \"Grün\"");
}

TEST(System, ErrorsJoinTheOutputOnlyWhenAsked) {
  const std::vector<std::string> args{"/bin/sh", "-c", "echo out; echo err >&2"};
  EXPECT_EQ(RunProgram(args, true).output, "out\nerr\n");
  EXPECT_EQ(RunProgram(args, false).output, "out\n");
}

TEST(System, AMissingProgramIsNotStarted) {
  ProgramRun run = RunProgram({"/no/such/program"}, false);
  EXPECT_FALSE(run.started);
}

TEST(System, ASignalIsToldApartFromAnExitCode) {
  ProgramRun run = RunProgram({"/bin/sh", "-c", "kill -TERM $$"}, false);
  EXPECT_EQ(run.signal, 15);
  EXPECT_EQ(run.exit_code, 0);
}

TEST(System, PathsAreAbsoluteAndNormalised) {
  EXPECT_EQ(AbsolutePath("/tmp/a/../b/./c"), "/tmp/b/c");
  EXPECT_EQ(AbsolutePath("x"), (fs::current_path() / "x").string());
  EXPECT_TRUE(IsAbsolutePath("/tmp"));
  EXPECT_FALSE(IsAbsolutePath("tmp/x"));
  EXPECT_FALSE(IsAbsolutePath(""));
}

TEST(System, TempFoldersAreNewAndEmpty) {
  std::string error;
  const std::string a = MakeTempFolder(error), b = MakeTempFolder(error);
  ASSERT_FALSE(a.empty()) << error;
  ASSERT_FALSE(b.empty()) << error;
  EXPECT_NE(a, b);
  EXPECT_TRUE(fs::is_empty(a));
  fs::remove_all(a);
  fs::remove_all(b);
}

TEST(System, ALibraryThatIsNoneIsRefusedWithTheReason) {
  std::string error;
  const fs::path file = fs::temp_directory_path() / "hostsim_system_test_not_a_library.so";
  std::ofstream(file) << "no library";
  EXPECT_EQ(OpenLibrary(file.string(), error), nullptr);
  EXPECT_NE(error.find("hostsim_system_test_not_a_library.so"), std::string::npos) << error;
  fs::remove(file);
}

TEST(System, TheProgramKnowsItsFile) {
  EXPECT_EQ(fs::path(ProgramPath()).filename(), "hostsim_parts_test");
}
