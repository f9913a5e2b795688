// The fault injection itself: each kind of fault hits the calls it names,
// when it names, and no others; the safe replace and the lock wait meet
// them as the storage will.
#include "platform/env/FaultEnv.h"

#include <gtest/gtest.h>

#include "platform/env/MemEnv.h"

namespace platform::env {
namespace {

class FaultEnvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mem_.CreateFolder("/d");
    ReplaceFile(mem_, "/d/settings.ini", "old");
  }
  int CodeOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const EnvError& e) {
      return e.Code();
    }
    return 0;
  }

  MemEnv mem_;
  FaultEnv faults_{mem_};
};

TEST_F(FaultEnvTest, AWriteFailsAfterTheChosenNumberOfCallsAndOnlyOnTheChosenPath) {
  faults_.Inject(Fault(Op::kWrite, ENOSPC).On("a.dbf").After(2));
  auto a = faults_.Open("/d/a.dbf", OpenMode::kCreateNew);
  auto b = faults_.Open("/d/b.dbf", OpenMode::kCreateNew);
  a->WriteAt(0, "1", 1);
  a->WriteAt(1, "2", 1);
  for (int i = 0; i < 5; ++i) b->WriteAt(static_cast<uint64_t>(i), "x", 1);
  try {
    a->WriteAt(2, "3", 1);
    FAIL() << "no fault";
  } catch (const EnvError& e) {
    EXPECT_EQ(e.Code(), ENOSPC);
    EXPECT_EQ(e.Operation(), "write");
    EXPECT_EQ(e.Path(), "/d/a.dbf");
  }
  EXPECT_EQ(ReadFile(mem_, "/d/a.dbf"), "12");  // nothing of the failed write
  EXPECT_EQ(faults_.Failures(), 1);
  EXPECT_EQ(CodeOf([&] { a->WriteAt(2, "3", 1); }), ENOSPC);  // for good
}

TEST_F(FaultEnvTest, AFaultWithACountHeals) {
  faults_.Inject(Fault(Op::kRead, EIO).Times(1));
  auto f = faults_.Open("/d/settings.ini", OpenMode::kRead);
  char buf[8];
  EXPECT_EQ(CodeOf([&] { f->ReadAt(0, buf, sizeof buf); }), EIO);
  EXPECT_EQ(f->ReadAt(0, buf, sizeof buf), 3u);
}

TEST_F(FaultEnvTest, EveryOperationCanBeFailed) {
  const std::vector<std::pair<Op, std::function<void()>>> calls = {
      {Op::kOpen, [&] { faults_.Open("/d/settings.ini", OpenMode::kRead); }},
      {Op::kStat, [&] { faults_.Stat("/d/settings.ini"); }},
      {Op::kList, [&] { faults_.ListFolder("/d"); }},
      {Op::kCreateFolder, [&] { faults_.CreateFolder("/d/sub"); }},
      {Op::kRemoveFolder, [&] { faults_.RemoveFolder("/d/sub"); }},
      {Op::kRename, [&] { faults_.Rename("/d/settings.ini", "/d/other.ini"); }},
      {Op::kRemove, [&] { faults_.Remove("/d/settings.ini"); }},
      {Op::kSyncFolder, [&] { faults_.SyncFolder("/d"); }},
      {Op::kCreateTemporary, [&] { faults_.CreateTemporary("/d", "t."); }},
  };
  for (const auto& [op, call] : calls) {
    faults_.Clear();
    faults_.Inject(Fault(op, EACCES));
    EXPECT_EQ(CodeOf(call), EACCES) << static_cast<int>(op);
  }
  faults_.Clear();
  auto f = faults_.Open("/d/settings.ini", OpenMode::kReadWrite);
  const std::vector<std::pair<Op, std::function<void()>>> file_calls = {
      {Op::kTruncate, [&] { f->Truncate(0); }},
      {Op::kSync, [&] { f->Sync(); }},
      {Op::kStatus, [&] { f->Status(); }},
      {Op::kStatus, [&] { f->Size(); }},
      {Op::kSetMode, [&] { f->SetMode(0600); }},
      {Op::kLock, [&] { f->TryLock(LockKind::kShared); }},
  };
  for (const auto& [op, call] : file_calls) {
    faults_.Clear();
    faults_.Inject(Fault(op, EIO));
    EXPECT_EQ(CodeOf(call), EIO) << static_cast<int>(op);
  }
  faults_.Clear();
  EXPECT_EQ(ReadFile(faults_, "/d/settings.ini"), "old");  // nothing failed reached the file
}

TEST_F(FaultEnvTest, ALockHeldByAnotherProcessIsWaitedForThenGivenUp) {
  faults_.HoldLock("settings.ini");
  auto f = faults_.Open("/d/settings.ini", OpenMode::kReadWrite);
  EXPECT_FALSE(f->TryLock(LockKind::kShared));
  const int64_t before = faults_.SteadyNs();
  EXPECT_FALSE(LockWithin(faults_, *f, LockKind::kExclusive, 2000));
  EXPECT_GE(faults_.SteadyNs() - before, int64_t{2000} * 1000000);  // on the Env's clock
  faults_.ReleaseLocks();
  EXPECT_TRUE(LockWithin(faults_, *f, LockKind::kExclusive, 2000));
}

TEST_F(FaultEnvTest, AFileSystemWithoutLocksGrantsEveryLockButSaysSo) {
  faults_.NoLocksOn("/d/");
  auto a = faults_.Open("/d/settings.ini", OpenMode::kReadWrite);
  auto b = faults_.Open("/d/settings.ini", OpenMode::kReadWrite);
  EXPECT_EQ(a->TryLockAnswer(LockKind::kExclusive), LockAnswer::kNoLocks);
  EXPECT_TRUE(b->TryLock(LockKind::kExclusive)) << "unguarded callers go on";
  EXPECT_EQ(b->TryLockAnswer(LockKind::kExclusive), LockAnswer::kNoLocks);
  // A lock another process holds is still told as held.
  faults_.HoldLock("settings.ini");
  EXPECT_EQ(a->TryLockAnswer(LockKind::kShared), LockAnswer::kBusy);
  faults_.Clear();
  EXPECT_EQ(a->TryLockAnswer(LockKind::kExclusive), LockAnswer::kTaken);
  EXPECT_EQ(b->TryLockAnswer(LockKind::kShared), LockAnswer::kBusy);
}

TEST_F(FaultEnvTest, AFailedReplaceLeavesTheOldFileAndNoTemporaryFile) {
  for (Op op : {Op::kCreateTemporary, Op::kSetMode, Op::kWrite, Op::kSync, Op::kRename}) {
    faults_.Clear();
    faults_.Inject(Fault(op, op == Op::kWrite ? ENOSPC : EIO));
    EXPECT_THROW(ReplaceFile(faults_, "/d/settings.ini", "new content"), EnvError)
        << static_cast<int>(op);
    EXPECT_EQ(ReadFile(mem_, "/d/settings.ini"), "old") << static_cast<int>(op);
    EXPECT_EQ(mem_.ListFolder("/d"), std::vector<std::string>{"settings.ini"})
        << static_cast<int>(op);
  }
  faults_.Clear();
  ReplaceFile(faults_, "/d/settings.ini", "new content");
  EXPECT_EQ(ReadFile(mem_, "/d/settings.ini"), "new content");
}

TEST_F(FaultEnvTest, ACopyThatFailsHalfwayLeavesTheOldFileWhole) {
  // Three blocks of the copy's size and a bit, so that the disk fills in
  // the middle.
  std::string picture(3 * (1 << 20) + 17, '\0');
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<char>(i * 7);
  ReplaceFile(mem_, "/d/neu.jpg", picture);
  ReplaceFile(mem_, "/d/KTFoto1.jpg", "altes Bild");
  faults_.Inject(Fault(Op::kWrite, ENOSPC).After(1));
  EXPECT_EQ(CodeOf([&] { CopyFile(faults_, "/d/neu.jpg", "/d/KTFoto1.jpg"); }), ENOSPC);
  EXPECT_EQ(ReadFile(mem_, "/d/KTFoto1.jpg"), "altes Bild");
  EXPECT_EQ(mem_.ListFolder("/d").size(), 3u) << "no temporary file stays";
  faults_.Clear();
  faults_.Inject(Fault(Op::kRead, EIO).After(2).On("neu.jpg"));
  EXPECT_EQ(CodeOf([&] { CopyFile(faults_, "/d/neu.jpg", "/d/KTFoto1.jpg"); }), EIO);
  EXPECT_EQ(ReadFile(mem_, "/d/KTFoto1.jpg"), "altes Bild");
  faults_.Clear();
  CopyFile(faults_, "/d/neu.jpg", "/d/KTFoto1.jpg");
  EXPECT_EQ(ReadFile(mem_, "/d/KTFoto1.jpg"), picture);
  EXPECT_EQ(CodeOf([&] { CopyFile(faults_, "/d", "/d/x.jpg"); }), EISDIR);
}

TEST_F(FaultEnvTest, ABatchOfCopiesFailsOnlyWhereItMustAndSyncsTheFolderOnce) {
  mem_.CreateFolder("/d/aus");
  ReplaceFile(mem_, "/d/a.jpg", "Bild a");
  ReplaceFile(mem_, "/d/b.jpg", "Bild b");
  ReplaceFile(mem_, "/d/aus/a.jpg", "altes a");
  faults_.Inject(Fault(Op::kWrite, ENOSPC).On("b.jpg"));
  const std::vector<std::string> errors = CopyFiles(faults_, {{"/d/a.jpg", "/d/aus/a.jpg"},
                                                              {"/d/fehlt.jpg", "/d/aus/fehlt.jpg"},
                                                              {"/d/b.jpg", "/d/aus/b.jpg"}});
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(errors[0], "");
  EXPECT_NE(errors[1].find("fehlt.jpg"), std::string::npos) << errors[1];
  EXPECT_NE(errors[2], "");
  EXPECT_EQ(ReadFile(mem_, "/d/aus/a.jpg"), "Bild a");
  EXPECT_EQ(mem_.ListFolder("/d/aus"), std::vector<std::string>{"a.jpg"});
  // The contents are synced once, before any copy takes its name: when that
  // sync fails, no copy is placed; when the folder's sync after fails, none
  // counts as done.
  faults_.Clear();
  ReplaceFile(mem_, "/d/b.jpg", "Bild b neu");
  faults_.Inject(Fault(Op::kSyncFileSystem, EIO).Times(1));
  const std::vector<std::string> unsynced =
      CopyFiles(faults_, {{"/d/a.jpg", "/d/aus/a.jpg"}, {"/d/b.jpg", "/d/aus/b.jpg"}});
  EXPECT_NE(unsynced[0], "");
  EXPECT_NE(unsynced[1], "");
  EXPECT_EQ(mem_.ListFolder("/d/aus"), std::vector<std::string>{"a.jpg"});
  faults_.Clear();
  faults_.Inject(Fault(Op::kSyncFolder, EIO).Times(1));
  const std::vector<std::string> placed =
      CopyFiles(faults_, {{"/d/a.jpg", "/d/aus/a.jpg"}, {"/d/b.jpg", "/d/aus/b.jpg"}});
  EXPECT_NE(placed[0], "");
  EXPECT_NE(placed[1], "");
  EXPECT_EQ(ReadFile(mem_, "/d/aus/b.jpg"), "Bild b neu");
}

TEST_F(FaultEnvTest, TheRealEnvCanBeWrappedToo) {
  FaultEnv faults(Env::Default());
  faults.Inject(Fault(Op::kOpen, EACCES).On("/no-such-place"));
  EXPECT_EQ(CodeOf([&] { faults.Open("/no-such-place/x", OpenMode::kRead); }), EACCES);
  EXPECT_EQ(CodeOf([&] { faults.Open("/no-such-folder-either/x", OpenMode::kRead); }), ENOENT);
  EXPECT_GT(faults.WallNs(), 0);
}

}  // namespace
}  // namespace platform::env
