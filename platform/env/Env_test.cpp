// The Env contract, held to the real implementation of the platform the
// tests are built for (POSIX on Linux, Win32 on Windows, in a temporary
// folder) and to the in-memory one alike, and the helpers written over it.
#include "platform/env/Env.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// Macros of windows.h that would rename the Env's own helpers.
#undef CopyFile
#undef ReplaceFile
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>

#include "platform/env/MemEnv.h"

namespace platform::env {
namespace {

// One Env under test with a fresh folder in it.
struct Subject {
  virtual ~Subject() = default;
  virtual Env& env() = 0;
  virtual std::string Folder() = 0;
  // The permission bits a file given `mode` shows: Windows has only the
  // read-only attribute, and an access list decides who reads a file.
  virtual uint32_t Shown(uint32_t mode) { return mode; }
  // Whether names that differ only in letter case are one file (Windows).
  virtual bool CaseBlind() { return false; }
  // Whether a name can be renamed over or removed, and is free again at
  // once, while the file it names is open elsewhere; why not, when not.
  virtual std::optional<std::string> CannotReplaceOpenFiles() { return std::nullopt; }
  // Whether shared locks of a folder let each other in (Windows has one
  // kind of folder lock only, which keeps every other locker out).
  virtual bool SharedFolderLocks() { return true; }
};

#ifdef _WIN32
bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
#endif

struct RealSubject : Subject {
  RealSubject() {
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::filesystem::path made;
    do {
      made = base / ("vandra-env-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(made));
    const std::u8string name = made.u8string();
    folder.assign(name.begin(), name.end());
  }
  ~RealSubject() override {
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(std::u8string(folder.begin(), folder.end())),
                                ec);
  }
  Env& env() override { return Env::Default(); }
  std::string Folder() override { return folder; }
#ifdef _WIN32
  uint32_t Shown(uint32_t mode) override {
    return (mode & 0200) ? 0666 : 0444;
  }
  bool CaseBlind() override {
    return true;
  }
  std::optional<std::string> CannotReplaceOpenFiles() override {
    if (!RunsUnderWine()) return std::nullopt;
    return "wine has no POSIX-semantics rename and delete: it refuses to replace an open "
           "file and keeps a removed one's name until it is closed; Windows 10 and later "
           "on NTFS do both: to be tried there";
  }
  bool SharedFolderLocks() override {
    return false;
  }
#endif
  std::string folder;
};

struct MemSubject : Subject {
  MemSubject() { mem.CreateFolder("/work"); }
  Env& env() override { return mem; }
  std::string Folder() override { return "/work"; }
  MemEnv mem;
};

class EnvTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      subject_ = std::make_unique<MemSubject>();
    } else {
      subject_ = std::make_unique<RealSubject>();
    }
  }
  Env& env() { return subject_->env(); }
  std::string P(const std::string& name) { return JoinPath(subject_->Folder(), name); }
  void Put(const std::string& name, const std::string& content) {
    env().Open(P(name), OpenMode::kTruncate)->WriteAt(0, content.data(), content.size());
  }
  int CodeOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const EnvError& e) {
      return e.Code();
    }
    return 0;
  }
  std::vector<std::string> Listing() {
    std::vector<std::string> names = env().ListFolder(subject_->Folder());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::unique_ptr<Subject> subject_;
};

TEST_P(EnvTest, FilesAreReadAndWrittenAtPositions) {
  auto f = env().Open(P("a"), OpenMode::kCreateNew);
  f->WriteAt(0, "hello", 5);
  f->WriteAt(8, "!", 1);  // past the end: the gap reads as zeros
  EXPECT_EQ(f->Size(), 9u);
  char buf[16] = {};
  EXPECT_EQ(f->ReadAt(0, buf, sizeof buf), 9u);
  EXPECT_EQ(std::string(buf, 9), std::string("hello\0\0\0!", 9));
  EXPECT_EQ(f->ReadAt(20, buf, 4), 0u);
  EXPECT_TRUE(f->ReadExactly(1, buf, 4));
  EXPECT_FALSE(f->ReadExactly(6, buf, 4));
  f->Truncate(2);
  f->Sync();
  EXPECT_EQ(ReadFile(env(), P("a")), "he");
}

TEST_P(EnvTest, OpenModesTellNewFromExisting) {
  EXPECT_EQ(CodeOf([&] { env().Open(P("missing"), OpenMode::kRead); }), ENOENT);
  EXPECT_EQ(CodeOf([&] { env().Open(P("missing"), OpenMode::kReadWrite); }), ENOENT);
  EXPECT_EQ(CodeOf([&] { env().Open(P("no/such"), OpenMode::kCreateNew); }), ENOENT);
  Put("a", "old");
  EXPECT_EQ(CodeOf([&] { env().Open(P("a"), OpenMode::kCreateNew); }), EEXIST);
  env().Open(P("a"), OpenMode::kTruncate);
  EXPECT_EQ(ReadFile(env(), P("a")), "");
  EXPECT_EQ(CodeOf([&] { ReadFile(env(), P("missing")); }), ENOENT);
}

TEST_P(EnvTest, StatusTellsKindSizeAndIdentity) {
  EXPECT_EQ(env().Stat(P("missing")), std::nullopt);
  EXPECT_EQ(env().Stat(P("missing/deeper")), std::nullopt);
  Put("a", "12345");
  const auto st = env().Stat(P("a"));
  ASSERT_TRUE(st);
  EXPECT_TRUE(st->IsRegular());
  EXPECT_EQ(st->size, 5u);
  EXPECT_GT(st->mtime_ns, 0);
  auto f = env().Open(P("a"), OpenMode::kRead);
  EXPECT_TRUE(f->Status().SameFile(*st));
  EXPECT_TRUE(env().Stat(subject_->Folder())->IsFolder());
  if (auto why = subject_->CannotReplaceOpenFiles()) GTEST_SKIP() << *why;
  // Another file renamed over the name is another file.
  Put("b", "x");
  env().Rename(P("b"), P("a"));
  EXPECT_FALSE(env().Stat(P("a"))->SameFile(*st));
  // The open file still reads what it held.
  char buf[8];
  EXPECT_EQ(f->ReadAt(0, buf, sizeof buf), 5u);
}

TEST_P(EnvTest, FoldersAreListedMadeAndRemoved) {
  Put("x", "");
  env().CreateFolder(P("sub"));
  Put("sub/inner", "1");
  EXPECT_EQ(Listing(), (std::vector<std::string>{"sub", "x"}));
  EXPECT_EQ(env().ListFolder(P("sub")), std::vector<std::string>{"inner"});
  EXPECT_EQ(CodeOf([&] { env().CreateFolder(P("sub")); }), EEXIST);
  EXPECT_EQ(CodeOf([&] { env().RemoveFolder(P("sub")); }), ENOTEMPTY);
  env().Remove(P("sub/inner"));
  env().RemoveFolder(P("sub"));
  EXPECT_EQ(CodeOf([&] { env().Remove(P("x-missing")); }), ENOENT);
  EXPECT_EQ(CodeOf([&] { env().ListFolder(P("gone")); }), ENOENT);
  EXPECT_EQ(Listing(), std::vector<std::string>{"x"});
  env().SyncFolder(subject_->Folder());
}

TEST_P(EnvTest, LocksBelongToTheOpenFile) {
  Put("t", "data");
  auto a = env().Open(P("t"), OpenMode::kReadWrite);
  auto b = env().Open(P("t"), OpenMode::kReadWrite);
  EXPECT_TRUE(a->TryLock(LockKind::kShared));
  EXPECT_TRUE(b->TryLock(LockKind::kShared));
  EXPECT_FALSE(a->TryLock(LockKind::kExclusive));  // b reads
  b->Unlock();
  EXPECT_TRUE(a->TryLock(LockKind::kExclusive));  // an upgrade
  EXPECT_FALSE(b->TryLock(LockKind::kShared));
  EXPECT_TRUE(a->TryLock(LockKind::kShared));  // a downgrade lets readers in
  EXPECT_TRUE(b->TryLock(LockKind::kShared));
  b.reset();  // closing drops the lock
  EXPECT_TRUE(a->TryLock(LockKind::kExclusive));
  a->Unlock();
  auto c = env().Open(P("t"), OpenMode::kRead);
  EXPECT_TRUE(c->TryLock(LockKind::kShared));
  EXPECT_TRUE(LockWithin(env(), *c, LockKind::kShared, 0));
}

TEST_P(EnvTest, FoldersCanBeLockedToo) {
  auto a = env().Open(subject_->Folder(), OpenMode::kRead);
  auto b = env().Open(subject_->Folder(), OpenMode::kRead);
  EXPECT_TRUE(a->TryLock(LockKind::kExclusive));
  EXPECT_FALSE(b->TryLock(LockKind::kExclusive));
  a.reset();
  EXPECT_TRUE(b->TryLock(LockKind::kExclusive));
}

TEST_P(EnvTest, TemporaryFilesAreNewAndPrivate) {
  auto a = env().CreateTemporary(subject_->Folder(), "f.");
  auto b = env().CreateTemporary(subject_->Folder(), "f.");
  EXPECT_NE(a->Path(), b->Path());
  EXPECT_EQ(NameOf(a->Path()).rfind("f.", 0), 0u);
  EXPECT_EQ(FolderOf(a->Path()), subject_->Folder());
  EXPECT_EQ(env().Stat(a->Path())->mode & 0777, subject_->Shown(0600));
  a->WriteAt(0, "t", 1);
  EXPECT_EQ(ReadFile(env(), a->Path()), "t");
}

TEST_P(EnvTest, CaseBlindLookupPrefersTheExactNameThenSortedOrder) {
  EXPECT_EQ(FindNoCase(env(), subject_->Folder(), "ta_list.dbf"), std::nullopt);
  Put("ta_list.DBF", "");
  Put("TA_LIST.dbf", "");
  if (subject_->CaseBlind()) {
    // One file under either spelling, found under the one asked for.
    EXPECT_EQ(Listing().size(), 1u);
    EXPECT_EQ(FindNoCase(env(), subject_->Folder(), "ta_list.dbf"), "ta_list.dbf");
  } else {
    EXPECT_EQ(FindNoCase(env(), subject_->Folder(), "ta_list.dbf"), "TA_LIST.dbf");
    EXPECT_EQ(FindNoCase(env(), subject_->Folder(), "ta_list.DBF"), "ta_list.DBF");
  }
  env().CreateFolder(P("FOTOS.DBF"));  // a folder is no table file
  EXPECT_EQ(FindNoCase(env(), subject_->Folder(), "fotos.dbf"), std::nullopt);
  for (const char* bad : {"", ".", "..", "a/b"}) {
    EXPECT_EQ(FindNoCase(env(), subject_->Folder(), bad), std::nullopt) << bad;
  }
  EXPECT_EQ(FindNoCase(env(), P("gone"), "x"), std::nullopt);
}

TEST_P(EnvTest, ReplaceFileSwapsTheWholeContentAndLeavesNothingBehind) {
  ReplaceFile(env(), P("s.ini"), "first", 0640);
  EXPECT_EQ(ReadFile(env(), P("s.ini")), "first");
  EXPECT_EQ(env().Stat(P("s.ini"))->mode & 0777, subject_->Shown(0640));
  ReplaceFile(env(), P("s.ini"), "second");  // keeps the mode it had
  EXPECT_EQ(ReadFile(env(), P("s.ini")), "second");
  EXPECT_EQ(env().Stat(P("s.ini"))->mode & 0777, subject_->Shown(0640));
  EXPECT_EQ(Listing(), std::vector<std::string>{"s.ini"});
  EXPECT_EQ(CodeOf([&] { ReplaceFile(env(), P("no/s.ini"), "x"); }), ENOENT);
  ReplaceFile(env(), P("r.ini"), "fest", 0444);
  EXPECT_EQ(env().Stat(P("r.ini"))->mode & 0777, subject_->Shown(0444));
  env().Open(P("r.ini"), OpenMode::kRead)->SetMode(0644);
  EXPECT_EQ(env().Stat(P("r.ini"))->mode & 0777, subject_->Shown(0644));
}

TEST_P(EnvTest, ACopyFromAnOpenFileStoresOnlyWhatWasChecked) {
  Put("bild.jpg", "geprueft");
  Put("a.jpg", "alt");
  std::unique_ptr<File> source = env().Open(P("bild.jpg"), OpenMode::kReadNoLink);
  const FileStatus checked = source->Status();
  CopyJob job{P("bild.jpg"), P("a.jpg"), source.get(), checked};
  EXPECT_EQ(CopyFiles(env(), {job}), std::vector<std::string>{""});
  EXPECT_EQ(ReadFile(env(), P("a.jpg")), "geprueft");

  // Written to since it was checked: nothing is stored, nothing left behind.
  Put("a.jpg", "alt");
  env().Open(P("bild.jpg"), OpenMode::kReadWrite)->WriteAt(8, "!", 1);
  const std::vector<std::string> errors = CopyFiles(env(), {job});
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("bild.jpg"), std::string::npos) << errors[0];
  EXPECT_EQ(ReadFile(env(), P("a.jpg")), "alt");
  EXPECT_EQ(Listing(), (std::vector<std::string>{"a.jpg", "bild.jpg"}));

  // The copy's own bytes are asked before it takes the name: refused, the
  // target stays and no temporary is left; taken, they are what it holds.
  std::unique_ptr<File> now = env().Open(P("bild.jpg"), OpenMode::kReadNoLink);
  CopyJob checked_copy{P("bild.jpg"), P("a.jpg"), now.get(), now->Status()};
  std::string seen;
  bool refuse = true;
  checked_copy.check = [&](File& copy) {
    seen.assign(copy.Size(), '\0');
    seen.resize(copy.ReadAt(0, seen.data(), seen.size()));
    return refuse ? std::string("kein Bild") : std::string();
  };
  EXPECT_EQ(CopyFiles(env(), {checked_copy}), std::vector<std::string>{"kein Bild"});
  EXPECT_EQ(seen, "geprueft!");
  EXPECT_EQ(ReadFile(env(), P("a.jpg")), "alt");
  EXPECT_EQ(Listing(), (std::vector<std::string>{"a.jpg", "bild.jpg"}));
  refuse = false;
  EXPECT_EQ(CopyFiles(env(), {checked_copy}), std::vector<std::string>{""});
  EXPECT_EQ(ReadFile(env(), P("a.jpg")), "geprueft!");
  now.reset();

  // Another file put under the name: the handle still reads the one checked.
  if (auto why = subject_->CannotReplaceOpenFiles()) GTEST_SKIP() << *why;
  std::unique_ptr<File> again = env().Open(P("bild.jpg"), OpenMode::kReadNoLink);
  const FileStatus second = again->Status();
  Put("anders.jpg", "anders");
  env().Rename(P("anders.jpg"), P("bild.jpg"));
  EXPECT_EQ(CopyFiles(env(), {{P("bild.jpg"), P("a.jpg"), again.get(), second}}),
            std::vector<std::string>{""});
  EXPECT_EQ(ReadFile(env(), P("a.jpg")), "geprueft!");
}

TEST_P(EnvTest, NamesWithUmlautsAndBlanksComeBackAsGiven) {
  Put("Prüfbericht März.txt", "ä");
  env().CreateFolder(P("Fotos Übersicht"));
  Put("Fotos Übersicht/Blick nach Süden.jpg", "J");
  EXPECT_EQ(Listing(), (std::vector<std::string>{"Fotos Übersicht", "Prüfbericht März.txt"}));
  EXPECT_EQ(env().ListFolder(P("Fotos Übersicht")),
            std::vector<std::string>{"Blick nach Süden.jpg"});
  env().Rename(P("Prüfbericht März.txt"), P("Größe.txt"));
  EXPECT_EQ(ReadFile(env(), P("Größe.txt")), "ä");
  EXPECT_EQ(NameOf(env().CreateTemporary(P("Fotos Übersicht"), "Süd.")->Path()).rfind("Süd.", 0),
            0u);
}

TEST_P(EnvTest, AFileOpenElsewhereIsReplacedUnderItsName) {
  if (auto why = subject_->CannotReplaceOpenFiles()) GTEST_SKIP() << *why;
  Put("TA_LIST.dbf", "alt");
  auto reader = env().Open(P("TA_LIST.dbf"), OpenMode::kRead);
  Put("neu.tmp", "neu");
  env().Rename(P("neu.tmp"), P("TA_LIST.dbf"));
  EXPECT_EQ(ReadFile(env(), P("TA_LIST.dbf")), "neu");
  char buf[8] = {};
  ASSERT_EQ(reader->ReadAt(0, buf, sizeof buf), 3u);
  EXPECT_EQ(std::string(buf, 3), "alt") << "the open handle keeps the file it opened";
}

TEST_P(EnvTest, AFileOpenElsewhereIsRemovedAndItsNameIsFreeAtOnce) {
  if (auto why = subject_->CannotReplaceOpenFiles()) GTEST_SKIP() << *why;
  Put("TA_LIST.dbf", "alt");
  auto writer = env().Open(P("TA_LIST.dbf"), OpenMode::kReadWrite);
  env().Remove(P("TA_LIST.dbf"));
  EXPECT_EQ(env().Stat(P("TA_LIST.dbf")), std::nullopt);
  Put("TA_LIST.dbf", "wieder");
  EXPECT_EQ(ReadFile(env(), P("TA_LIST.dbf")), "wieder");
  writer->WriteAt(0, "X", 1);  // into the removed file, not the new one
  EXPECT_EQ(ReadFile(env(), P("TA_LIST.dbf")), "wieder");
  EXPECT_EQ(Listing(), std::vector<std::string>{"TA_LIST.dbf"});
}

TEST_P(EnvTest, LocksKeepOutLockersButNeitherReadersNorWriters) {
  Put("t.dbf", "data");
  auto a = env().Open(P("t.dbf"), OpenMode::kReadWrite);
  auto b = env().Open(P("t.dbf"), OpenMode::kReadWrite);
  ASSERT_TRUE(a->TryLock(LockKind::kExclusive));
  EXPECT_FALSE(b->TryLock(LockKind::kShared));
  char buf[4] = {};
  EXPECT_EQ(b->ReadAt(0, buf, 4), 4u);
  b->WriteAt(4, "!", 1);
  EXPECT_EQ(a->Size(), 5u);
  // Both reading under shared locks, either still writes what it must.
  ASSERT_TRUE(a->TryLock(LockKind::kShared));
  ASSERT_TRUE(b->TryLock(LockKind::kShared));
  a->WriteAt(0, "D", 1);
  EXPECT_EQ(ReadFile(env(), P("t.dbf")), "Data!");
  a->Unlock();
  b->Unlock();
  EXPECT_TRUE(a->TryLock(LockKind::kExclusive));
}

TEST_P(EnvTest, AFolderLockedByOneTakesNewFilesAndRenamesButNoOtherLocker) {
  auto owner = env().Open(subject_->Folder(), OpenMode::kRead);
  auto other = env().Open(subject_->Folder(), OpenMode::kRead);
  ASSERT_TRUE(owner->TryLock(LockKind::kExclusive));
  ReplaceFile(env(), P("KTProjekt.ktp"), "[Kennungsliste]");
  EXPECT_EQ(Listing(), std::vector<std::string>{"KTProjekt.ktp"});
  EXPECT_FALSE(other->TryLock(LockKind::kShared));
  // Down to shared: other readers come in (where the platform tells
  // readers apart), a writer still waits.
  ASSERT_TRUE(owner->TryLock(LockKind::kShared));
  EXPECT_EQ(other->TryLock(LockKind::kShared), subject_->SharedFolderLocks());
  auto third = env().Open(subject_->Folder(), OpenMode::kRead);
  EXPECT_FALSE(third->TryLock(LockKind::kExclusive));
  other->Unlock();
  EXPECT_FALSE(third->TryLock(LockKind::kExclusive)) << "the owner still reads";
  ASSERT_TRUE(owner->TryLock(LockKind::kExclusive)) << "up again, alone";
  owner.reset();
  EXPECT_TRUE(third->TryLock(LockKind::kExclusive));
}

TEST_P(EnvTest, ClocksMoveForward) {
  const int64_t a = env().SteadyNs();
  env().SleepFor(std::chrono::microseconds(50));
  const int64_t b = env().SteadyNs();
  EXPECT_GE(b - a, 50000);
  const std::tm tm = env().LocalNow();
  EXPECT_GE(tm.tm_year, 124);
  EXPECT_GT(env().WallNs(), 1704067200LL * 1000000000);
}

INSTANTIATE_TEST_SUITE_P(Both, EnvTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Memory" : "Real"; });

#ifndef _WIN32
TEST(PosixEnvTest, ReadingWithoutLinksRefusesALinkAndNeverWaitsOnAFifo) {
  RealSubject subject;
  Env& env = Env::Posix();
  const std::string file = JoinPath(subject.folder, "bild.jpg");
  env.Open(file, OpenMode::kTruncate)->WriteAt(0, "JPEG", 4);
  const std::string link = JoinPath(subject.folder, "verweis.jpg");
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
  try {
    env.Open(link, OpenMode::kReadNoLink);
    ADD_FAILURE() << "a link was opened";
  } catch (const EnvError& e) {
    EXPECT_EQ(e.Code(), ELOOP);
  }
  EXPECT_TRUE(env.Open(link, OpenMode::kRead)->Status().IsRegular()) << "kRead follows it";
  EXPECT_EQ(env.Open(file, OpenMode::kReadNoLink)->Status().kind, FileKind::kRegular);

  // A FIFO without a writer would block an ordinary open for ever.
  const std::string fifo = JoinPath(subject.folder, "rohr.jpg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(env.Open(fifo, OpenMode::kReadNoLink)->Status().kind, FileKind::kOther);
}
#endif

TEST(EnvErrorTest, NamesOperationPathAndReason) {
  const EnvError e(ENOSPC, "write", "/data/TA_LIST.dbf");
  EXPECT_EQ(e.Code(), ENOSPC);
  EXPECT_EQ(e.Operation(), "write");
  EXPECT_EQ(e.Path(), "/data/TA_LIST.dbf");
  EXPECT_EQ(std::string(e.what()),
            "Fehler beim Schreiben von \"/data/TA_LIST.dbf\": Auf dem Datenträger ist kein Platz "
            "mehr frei.");
  EXPECT_EQ(e.Reason(), "Auf dem Datenträger ist kein Platz mehr frei");
}

TEST(EnvErrorTest, TheMapperReadsGermanForEveryOperationTheEnvsName) {
  EXPECT_EQ(std::string(EnvError(ENOENT, "open", "/p/TA_ID.dbf").what()),
            "Fehler beim Öffnen von \"/p/TA_ID.dbf\": Die Datei oder der Ordner ist nicht "
            "vorhanden.");
  EXPECT_EQ(std::string(EnvError(EACCES, "create a file in", "/p").what()),
            "Fehler beim Anlegen einer Datei im Ordner \"/p\": Der Zugriff ist nicht erlaubt "
            "(keine Berechtigung).");
  EXPECT_EQ(std::string(EnvError(EROFS, "rename", "/p/a.ini").what()),
            "Fehler beim Umbenennen von \"/p/a.ini\": Der Datenträger ist schreibgeschützt.");
  // Every operation an Env throws with has its German words: none is left
  // to stand in English before the path.
  for (const char* op : {"open", "read", "write", "truncate", "sync", "status", "set the mode of",
                         "lock", "list", "create folder", "remove folder", "rename", "remove",
                         "open folder", "sync folder", "sync file system", "create a file in"}) {
    const std::string text = EnvError(EIO, op, "/p/x").what();
    EXPECT_EQ(text.rfind("Fehler beim ", 0), 0u) << op << ": " << text;
    EXPECT_EQ(text.find(std::string(op) + " \""), std::string::npos) << op << ": " << text;
  }
}

TEST(EnvErrorTest, ACallersOwnOperationStandsAsGiven) {
  EXPECT_EQ(std::string(EnvError(EIO, "Fotos kopieren", "/p/KTPhotos/").what()),
            "Fotos kopieren \"/p/KTPhotos/\": Beim Zugriff auf den Datenträger ist ein "
            "Ein-/Ausgabefehler aufgetreten.");
}

TEST(EnvErrorTest, FileReasonsAreGermanAndOthersFramedInGerman) {
  for (int code : {ENOENT,      EACCES,    EPERM,        ENOSPC, EIO,    EROFS,  EEXIST, ENOTDIR,
                   EISDIR,      EBUSY,     ENAMETOOLONG, ELOOP,  EDQUOT, EMFILE, ENFILE, EAGAIN,
                   EWOULDBLOCK, ENOTEMPTY, EXDEV,        EBADF,  EINVAL, EFBIG,  ENOLCK}) {
    const std::string reason = ReasonText(code);
    EXPECT_NE(reason, std::strerror(code)) << code;
    EXPECT_EQ(reason.find(std::strerror(code)), std::string::npos) << reason;
    EXPECT_EQ(reason.find("Systemfehler"), std::string::npos) << reason;
  }
  EXPECT_EQ(ReasonText(ENOTDIR), "Ein Teil des Pfads ist kein Ordner");
  // The system's own words follow its language: a value without a text is
  // named by its number alone.
  EXPECT_EQ(ReasonText(EPROTO), "Systemfehler " + std::to_string(EPROTO));
}

// Windows' codes by number, the same table on every build: its own finer
// words where it has them, the errno value's otherwise, and a number for
// the rest, never the system's words (which follow its language).
TEST(EnvErrorTest, WindowsCodesReadInGermanAndKeepTheErrnoWinEnvGave) {
  EXPECT_EQ(WindowsReasonText(32), "Die Datei wird gerade von einem anderen Programm benutzt");
  EXPECT_EQ(WindowsReasonText(5), ReasonText(EACCES));
  EXPECT_EQ(WindowsReasonText(112), ReasonText(ENOSPC));
  EXPECT_EQ(WindowsReasonText(21), "Das Laufwerk ist nicht bereit");
  EXPECT_EQ(WindowsReasonText(12345), "Systemfehler 12345");
  EXPECT_EQ(WindowsReasonText(0x80004005UL), "Systemfehler 2147500037");
  // What the callers compare: the nearest errno value, the quota its own
  // (EDQUOT, which Env.h defines for Windows), EIO for the rest.
  EXPECT_EQ(ErrnoOfWindowsError(32), EBUSY);
  EXPECT_EQ(ErrnoOfWindowsError(112), ENOSPC);
  EXPECT_EQ(ErrnoOfWindowsError(267), ENOTDIR);
  EXPECT_EQ(ErrnoOfWindowsError(1295), EDQUOT);
  EXPECT_EQ(ErrnoOfWindowsError(21), EIO);
  EXPECT_EQ(ErrnoOfWindowsError(12345), EIO);

  const EnvError busy(ErrnoOfWindowsError(32), "write", "C:\\Projekt\\TA_LIST.dbf", 32);
  EXPECT_EQ(busy.Code(), EBUSY);
  EXPECT_EQ(busy.WindowsCode(), 32u);
  EXPECT_EQ(std::string(busy.what()),
            "Fehler beim Schreiben von \"C:\\Projekt\\TA_LIST.dbf\": Die Datei wird gerade von "
            "einem anderen Programm benutzt.");
  EXPECT_EQ(busy.Reason(), WindowsReasonText(32));
  const EnvError odd(EIO, "open", "C:\\x", 4390);
  EXPECT_EQ(std::string(odd.what()), "Fehler beim Öffnen von \"C:\\x\": Systemfehler 4390.");
  EXPECT_EQ(EnvError(EIO, "open", "/x").WindowsCode(), 0u);
}

#ifdef _WIN32
// The table's numbers are Windows' own: each code a mapper may meet with
// files, folders, the registry and programs has German words.
TEST(EnvErrorTest, TheCommonWindowsCodesHaveGermanWords) {
  const DWORD codes[] = {ERROR_FILE_NOT_FOUND,    ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                         ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_DISK_FULL,
                         ERROR_HANDLE_DISK_FULL,  ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS,
                         ERROR_INVALID_NAME,      ERROR_DIRECTORY,      ERROR_NOT_READY,
                         ERROR_WRITE_PROTECT,     ERROR_BAD_NETPATH,    ERROR_BAD_EXE_FORMAT,
                         ERROR_REGISTRY_CORRUPT,  ERROR_KEY_DELETED,    ERROR_CANTWRITE};
  for (const DWORD code : codes) {
    EXPECT_EQ(WindowsReasonText(code).rfind("Systemfehler", 0), std::string::npos) << code;
  }
  EXPECT_EQ(WindowsReasonText(ERROR_SHARING_VIOLATION), WindowsReasonText(32));
}
#endif

TEST(PathsTest, FolderNameAndJoin) {
  EXPECT_EQ(FolderOf("/a/b.ini"), "/a");
  EXPECT_EQ(FolderOf("/b.ini"), "/");
  EXPECT_EQ(FolderOf("b.ini"), ".");
  EXPECT_EQ(NameOf("/a/b.ini"), "b.ini");
  EXPECT_EQ(NameOf("b.ini"), "b.ini");
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
#ifdef _WIN32
  // Windows answers with backslashes and takes either.
  EXPECT_EQ(FolderOf("C:\\Projekt\\TA_LIST.dbf"), "C:\\Projekt");
  EXPECT_EQ(NameOf("C:\\Projekt\\TA_LIST.dbf"), "TA_LIST.dbf");
  EXPECT_EQ(JoinPath("C:\\Projekt\\", "KTPhotos"), "C:\\Projekt\\KTPhotos");
#else
  EXPECT_EQ(NameOf("C:\\Projekt\\TA_LIST.dbf"), "C:\\Projekt\\TA_LIST.dbf");
#endif
  EXPECT_EQ(MemEnv::Normalize("a//b/./c/../d/"), "/a/b/d");
  EXPECT_EQ(MemEnv::Normalize(""), "/");
}

TEST(MatchesMaskTest, StarsQuestionMarksAndLetterCaseAsTheHostsFileSystem) {
  EXPECT_TRUE(MatchesMask("a.jpg", "*.jpg"));
  EXPECT_TRUE(MatchesMask("B.JPG", "*.jpg"));
  EXPECT_FALSE(MatchesMask("a.jpeg", "*.jpg"));
  EXPECT_TRUE(MatchesMask("KTFoto12.jpg", "KTFoto*.JPG"));
  EXPECT_TRUE(MatchesMask("P12345_aktion.dbf", "P12345*"));
  EXPECT_FALSE(MatchesMask("P1234_aktion.dbf", "P12345*"));
  EXPECT_TRUE(MatchesMask("ab", "a?"));
  EXPECT_FALSE(MatchesMask("a", "a?"));
  EXPECT_TRUE(MatchesMask("aXbXc", "a*b*c"));
  EXPECT_TRUE(MatchesMask("a*b", "a*b"));
  EXPECT_FALSE(MatchesMask("abca", "*bc"));
  EXPECT_TRUE(MatchesMask("", "*"));
  EXPECT_FALSE(MatchesMask("", "?"));
  EXPECT_TRUE(MatchesMask(".hidden", "*"));
  // Umlauts are letters with a case, and one character each for '?'.
  EXPECT_TRUE(MatchesMask("Übersicht.txt", "üBERSICHT.*"));
  EXPECT_TRUE(MatchesMask("Größe.txt", "Gr??e.txt"));
  EXPECT_FALSE(MatchesMask("×.txt", "÷.txt"));
  EXPECT_TRUE(MatchesMask("a\xff.txt", "a?.txt")) << "a byte that is no UTF-8 is one character";
}

TEST(ScopedEnvTest, InstallsAndPutsBack) {
  EXPECT_EQ(&Env::Current(), &Env::Default());
  MemEnv outer;
  {
    ScopedEnv a(outer);
    EXPECT_EQ(&Env::Current(), &outer);
    MemEnv inner;
    {
      ScopedEnv b(inner);
      EXPECT_EQ(&Env::Current(), &inner);
    }
    EXPECT_EQ(&Env::Current(), &outer);
  }
  EXPECT_EQ(&Env::Current(), &Env::Default());
}

TEST(MemEnvTest, EachInstanceIsAFileSystemOfItsOwnWithAClockThatSleepsAtOnce) {
  MemEnv a;
  MemEnv b;
  a.Open("/x", OpenMode::kCreateNew);
  EXPECT_TRUE(a.Stat("x"));  // relative paths are taken from the root
  EXPECT_FALSE(b.Stat("/x"));
  const int64_t before = a.SteadyNs();
  a.SleepFor(std::chrono::hours(1));
  EXPECT_GE(a.SteadyNs() - before, int64_t{3600} * 1000000000);
  EXPECT_EQ(a.LocalTime(0).tm_year, 70);  // UTC
}

TEST(MemEnvTest, AFolderChangesWhenAnEntryComesOrGoes) {
  MemEnv mem;
  mem.CreateFolder("/d");
  mem.CreateFolder("/e");
  const auto mtime = [&](const char* folder) { return mem.Stat(folder)->mtime_ns; };
  int64_t seen = mtime("/d");
  const auto changed = [&] {
    const int64_t now = mtime("/d");
    const bool moved = now != seen;
    seen = now;
    return moved;
  };
  mem.Open("/d/a", OpenMode::kCreateNew);
  EXPECT_TRUE(changed()) << "a new file";
  mem.Open("/d/a", OpenMode::kReadWrite)->WriteAt(0, "x", 1);
  EXPECT_FALSE(changed()) << "a file written";
  mem.Rename("/d/a", "/d/b");
  EXPECT_TRUE(changed()) << "a rename";
  const int64_t e = mtime("/e");
  mem.Rename("/d/b", "/e/b");
  EXPECT_TRUE(changed()) << "a file moved away";
  EXPECT_NE(mtime("/e"), e) << "a file moved in";
  mem.CreateFolder("/d/sub");
  EXPECT_TRUE(changed()) << "a new folder";
  mem.RemoveFolder("/d/sub");
  EXPECT_TRUE(changed()) << "a folder removed";
  mem.Open("/d/c", OpenMode::kTruncate);
  EXPECT_TRUE(changed());
  mem.Remove("/d/c");
  EXPECT_TRUE(changed()) << "a file removed";
}

TEST(MemEnvTest, RenamedFoldersTakeTheirFilesAlong) {
  MemEnv env;
  env.CreateFolder("/a");
  env.Open("/a/f", OpenMode::kCreateNew)->WriteAt(0, "1", 1);
  env.Rename("/a", "/b");
  EXPECT_EQ(ReadFile(env, "/b/f"), "1");
  EXPECT_FALSE(env.Stat("/a/f"));
}

}  // namespace
}  // namespace platform::env
