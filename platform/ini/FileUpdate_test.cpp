#include "platform/ini/FileUpdate.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/env/FaultEnv.h"
#include "platform/env/MemEnv.h"

namespace platform::files {
namespace {

namespace fs = std::filesystem;

class FileUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("fileupdate_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "f").string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  size_t FilesInDir() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }
  fs::path dir_;
  std::string path_;
};

TEST_F(FileUpdateTest, MissingFileReadsAsNothingAndStaysMissingWithoutChange) {
  EXPECT_EQ(ReadWholeFile(path_), std::nullopt);
  UpdateFile(path_, [](const std::optional<std::string>& current) {
    EXPECT_FALSE(current.has_value());
    return std::optional<std::string>();
  });
  EXPECT_FALSE(fs::exists(path_));
}

TEST_F(FileUpdateTest, AFileReachedThroughALinkIsWrittenWhereTheLinkPoints) {
  fs::create_directories(dir_ / "shared");
  std::ofstream(dir_ / "shared" / "real.ini") << "[A]\nx=1\n";
  fs::create_symlink(dir_ / "shared" / "real.ini", path_);
  UpdateFile(path_, [](const std::optional<std::string>& old) { return *old + "y=2\n"; });
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(*ReadWholeFile((dir_ / "shared" / "real.ini").string()), "[A]\nx=1\ny=2\n");
}

TEST_F(FileUpdateTest, ForcedModeAppliesEvenOverAnOpenFile) {
  std::ofstream(path_) << "old";
  chmod(path_.c_str(), 0644);
  UpdateFile(
      path_, [](const auto&) { return std::optional<std::string>("new"); }, 0600);
  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadWholeFile(path_), "new");
}

TEST_F(FileUpdateTest, FailingUpdateLeavesFileAndNoTemporaryFiles) {
  std::ofstream(path_) << "keep";
  EXPECT_THROW(
      UpdateFile(path_,
                 [](const auto&) -> std::optional<std::string> { throw std::runtime_error("no"); }),
      std::runtime_error);
  EXPECT_EQ(ReadWholeFile(path_), "keep");
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(FileUpdateTest, MissingFolderIsAClearError) {
  try {
    UpdateFile((dir_ / "no" / "f").string(),
               [](const auto&) { return std::optional<std::string>("x"); });
    FAIL();
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("no"), std::string::npos);
  }
}

// Two processes each add 1 to a counter 200 times; the lock must keep every
// increment.
TEST_F(FileUpdateTest, ConcurrentWritersLoseNothing) {
  auto add_one = [&] {
    UpdateFile(path_, [](const std::optional<std::string>& current) {
      int n = current ? std::stoi(*current) : 0;
      return std::optional<std::string>(std::to_string(n + 1));
    });
  };
  pid_t child = fork();
  ASSERT_GE(child, 0);
  for (int i = 0; i < 200; ++i) add_one();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(ReadWholeFile(path_), "400");
  EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(FileUpdateTest, AFolderLockHeldElsewhereIsReportedNotWaitedForeverAndLeavesTheFile) {
  std::ofstream(path_) << "keep";
  env::MemEnv clock_only;  // the wait runs on a clock that sleeps at once
  struct HeldEnv : env::FaultEnv {
    HeldEnv(env::Env& files, env::Env& clock) : FaultEnv(files), clock_(clock) {}
    int64_t SteadyNs() override { return clock_.SteadyNs(); }
    void SleepFor(std::chrono::microseconds d) override { clock_.SleepFor(d); }
    env::Env& clock_;
  } held(env::Env::Posix(), clock_only);
  held.HoldLock(dir_.string());
  env::ScopedEnv scoped(held);
  try {
    UpdateFile(path_, [](const auto&) { return std::optional<std::string>("new"); });
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Der Ordner \"" + dir_.string() +
                                         "\" kann nicht gesperrt werden: Ein anderes Programm "
                                         "schreibt seit 30 Sekunden darin; später noch einmal "
                                         "versuchen.");
  }
  EXPECT_EQ(ReadWholeFile(path_), "keep");
}

}  // namespace
}  // namespace platform::files
