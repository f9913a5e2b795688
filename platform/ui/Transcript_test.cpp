// The transcript and the answer file through the Env: the same on every
// platform, so these run on Linux and under wine64 alike.
#include "platform/ui/Transcript.h"

#include <gtest/gtest.h>

#include "platform/env/MemEnv.h"
#include "platform/ui/ScriptedPresenter.h"

namespace platform::ui {
namespace {

std::string Content(env::Env& env, const std::string& path) {
  auto file = env.Open(path, env::OpenMode::kRead);
  std::string text(file->Size(), '\0');
  file->ReadAt(0, text.data(), text.size());
  return text;
}

void Write(env::Env& env, const std::string& path, std::string_view text, bool append) {
  auto file = env.Stat(path) ? env.Open(path, env::OpenMode::kReadWrite)
                             : env.Open(path, env::OpenMode::kCreateNew);
  if (!append) file->Truncate(0);
  file->WriteAt(append ? file->Size() : 0, text.data(), text.size());
}

TEST(TranscriptFile, CreatedWhenMissingThenAppendedToLineByLine) {
  env::MemEnv mem;
  auto transcript = Transcript::ToFile("/t.txt", &mem);
  transcript->Message(MsgKind::kWarning, "Achtung\r\nzwei", MsgButtons::kOkCancel);
  EXPECT_EQ(Content(mem, "/t.txt"), "message warning OKCancel: Achtung\\r\\nzwei\n");
  // The host may empty or extend the file between two lines.
  Write(mem, "/t.txt", "vom Host\n", true);
  transcript->Answer(MsgAnswer::kCancel);
  EXPECT_EQ(Content(mem, "/t.txt"),
            "message warning OKCancel: Achtung\\r\\nzwei\nvom Host\n  answer Cancel\n");
}

TEST(TranscriptFile, LineGoesInWholeEvenWhileAnotherWriterKeepsTheLock) {
  env::MemEnv mem;
  Write(mem, "/t.txt", "erste\n", false);
  auto other = mem.Open("/t.txt", env::OpenMode::kReadWrite);
  ASSERT_TRUE(other->TryLock(env::LockKind::kExclusive));
  Transcript::ToFile("/t.txt", &mem)->Unexpected("form X");
  EXPECT_EQ(Content(mem, "/t.txt"), "erste\nUNEXPECTED form X\n");
}

TEST(TranscriptFile, UnwritableTranscriptDoesNotStopTheDialog) {
  env::MemEnv mem;
  auto transcript = Transcript::ToFile("/kein/ordner/t.txt", &mem);
  ScriptedPresenter presenter("message Yes\n", transcript);
  EXPECT_EQ(presenter.ShowMessage(MsgKind::kConfirmation, "?", MsgButtons::kYesNo),
            MsgAnswer::kYes);
  EXPECT_FALSE(mem.Stat("/kein/ordner/t.txt"));
}

TEST(AnswerFile, ReadOnFromWhereItWasLeftThroughTheEnv) {
  env::MemEnv mem;
  auto presenter = ScriptedPresenter::FromFile("/answers.txt", {}, &mem);
  // Not there yet: nothing to answer with, and no failure of the file.
  EXPECT_EQ(presenter->PendingActions(), 0u);
  Write(mem, "/answers.txt", "message Yes\n", false);
  EXPECT_EQ(presenter->ShowMessage(MsgKind::kConfirmation, "a", MsgButtons::kYesNo),
            MsgAnswer::kYes);
  Write(mem, "/answers.txt", "message No\nmessage Cancel", true);  // last line without its end
  EXPECT_EQ(presenter->PendingActions(), 2u);
  EXPECT_EQ(presenter->ShowMessage(MsgKind::kConfirmation, "b", MsgButtons::kYesNo),
            MsgAnswer::kNo);
  EXPECT_EQ(presenter->ShowMessage(MsgKind::kConfirmation, "c", MsgButtons::kYesNoCancel),
            MsgAnswer::kCancel);
  EXPECT_TRUE(presenter->Failures().empty());
}

}  // namespace
}  // namespace platform::ui
