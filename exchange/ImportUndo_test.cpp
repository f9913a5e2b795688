// Taking an import back: a cut import at the next load; a journal another
// process holds, one of another project, one of a copied project, one of
// an earlier version, one cut short, one on a file system without locks;
// an undo that cannot finish, work done after it, and the mapper setting
// the journal aside. What the project holds is read with the fixture's
// readers, which share nothing with the undo.
#include "exchange/ImportUndo.h"

#include <gtest/gtest.h>

#include "context/ProjectIdentity.h"
#include "exchange/ImportBases.h"
#include "exchange/ImportJournal.h"
#include "exchange/TestImportFixture.h"
#include "platform/dbase/DbfFile.h"
#include "platform/env/FaultEnv.h"

namespace {

namespace fs = std::filesystem;
using platform::env::Fault;
using platform::env::FaultEnv;
using platform::env::Op;
using platform::db::Connection;
using platform::env::ScopedEnv;

class ImportUndoTest : public importtest::ImportTest {
 protected:
  std::string Journal() const { return ImportJournal::FileIn(ProjectDir()); }
  std::string Folder() const { return ImportJournal::FolderIn(ProjectDir()); }

  // The first import and the mapper's day; `more` identifiers come with the
  // second issue of the package.
  void Prepare(const std::vector<std::string>& more = {}) {
    WritePackage();
    ASSERT_TRUE(Import());
    MappersDay();
    before_ = Project();
    WritePackage("abcdef", more);
  }

  // The second issue imported, the package's version taken, and cut off
  // just before its end: its record of the end cannot be written nor its
  // journal removed, as after a kill at that moment.
  void CutImport() {
    faults_.Inject(Fault(Op::kWrite, EIO).On("TA_IMPORT.jnl").After(3));
    faults_.Inject(Fault(Op::kRemove, EACCES).On("TA_IMPORT.jnl"));
    {
      ScopedEnv scoped(faults_);
      ASSERT_TRUE(Import("abcdef.tid", "form TFormLokaleArbeit\nclick BtnUebernehmen\nmessage OK"));
    }
    faults_.Clear();
    ExpectAllAnswered();
    ASSERT_NE(LastMessage().find("kann weder abgeschlossen noch entfernt werden"),
              std::string::npos)
        << LastMessage();
    ASSERT_TRUE(fs::exists(Journal()));
    after_ = Project();
    ASSERT_NE(after_, before_);
  }

  // The project folder copied as it is, and the host switched to the copy
  // (`change` runs on the copy's files first).
  template <class Change>
  std::string OpenCopy(Change change) {
    const std::string copy = Root() + "/kopie/";
    fs::copy(ProjectDir(), copy, fs::copy_options::recursive);
    change(copy);
    host().CloseProject();
    CloseFotoverwaltung();
    context::Current().Store().CloseAll();
    host().OpenProject(copy);
    return copy;
  }
  std::string OpenCopy() {
    return OpenCopy([](const std::string&) {});
  }

  // Loads the project anew, as the host does, with the answers given.
  void Load(const std::string& answers = "") {
    ClearShown();
    if (!answers.empty()) Answer(answers);
    ImportUndo::RecoverAtLoad();
    ExpectAllAnswered();
  }

  // TA_LIST's rows in the order of their identifiers: rows put back come
  // at the end of the file.
  std::vector<std::string> SortedRows() {
    std::vector<std::string> rows = testsupport::ListRows(ProjectDir());
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  std::string before_;
  std::string after_;
  // Files opened while faults were injected stay open in the plug-in's
  // connections: the Env they were opened through lives as long as the
  // test, its faults cleared once the step is done.
  FaultEnv faults_{platform::env::Env::Posix()};
};

TEST_F(ImportUndoTest, ACutImportIsTakenBackAtTheNextLoadAndOnlyOnce) {
  Prepare();
  CutImport();
  Load("message OK");
  EXPECT_NE(LastMessage().find("wurde unterbrochen. Das Projekt ist wieder wie vor dem Import"),
            std::string::npos)
      << LastMessage();
  EXPECT_EQ(Project(), before_);
  EXPECT_FALSE(fs::exists(Journal()));
  EXPECT_FALSE(fs::exists(Folder()));
  Load();
  EXPECT_TRUE(Messages().empty());
}

TEST_F(ImportUndoTest, ARowMarkedAfterACutImportStaysWithItsObject) {
  Prepare();
  CutImport();
  const std::string object = HostObjects().substr(HostObjects().find("DE-2 "));
  // Another program marks the package's DE-2 before the project is loaded
  // again: the import writes no marks once its rows are merged.
  TransActTools::UpdateChangedFlag("DE-2", "UPDATE");
  Load("message OK");
  EXPECT_NE(LastMessage().find("bis auf Folgendes, das seit dem Import geändert wurde und so "
                               "bleibt, wie es ist:\rKennung DE-2"),
            std::string::npos)
      << LastMessage();
  EXPECT_EQ(SortedRows(),
            (std::vector<std::string>{"DE-1 7 1 UPDATE DE-1", "DE-2 7 0 UPDATE DE-2"}));
  EXPECT_EQ(HostObjects().substr(HostObjects().find("DE-2 ")), object)
      << "the object stays with its row";
  EXPECT_FALSE(fs::exists(Journal()));
}

TEST_F(ImportUndoTest, AnImportWhoseEndIsRecordedStandsThoughItsJournalStayed) {
  Prepare();
  faults_.Inject(Fault(Op::kRemove, EACCES).On("TA_IMPORT.jnl"));
  {
    ScopedEnv scoped(faults_);
    ASSERT_TRUE(Import("abcdef.tid", "form TFormLokaleArbeit\nclick BtnUebernehmen"));
  }
  faults_.Clear();
  ExpectAllAnswered();
  ASSERT_TRUE(fs::exists(Journal()));
  const std::string after = Project();
  Load();
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Project(), after);
  EXPECT_FALSE(fs::exists(Journal()));
}

TEST_F(ImportUndoTest, AJournalWhoseLockAnotherHoldsIsLeftToItsImport) {
  Prepare();
  CutImport();
  const auto files = ProjectFiles();
  {
    // Another program's import holds the lock: an open file of its own.
    platform::env::Env& env = platform::env::Env::Posix();
    auto other = env.Open(ImportJournal::LockFileIn(ProjectDir()),
                          platform::env::OpenMode::kReadWrite);
    ASSERT_TRUE(other->TryLock(platform::env::LockKind::kExclusive));
    Load("message OK");
    EXPECT_NE(LastMessage().find("Ein anderes Programm importiert gerade das Transaktionspaket " +
                                 pkg_ + "abcdef in dieses Projekt."),
              std::string::npos)
        << LastMessage();
    EXPECT_TRUE(ProjectFiles() == files);
    // Nor does a second import begin: it is refused before it asks for a
    // package.
    Answer("message OK");
    EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
    ExpectAllAnswered();
    EXPECT_NE(LastMessage().find("Solange es importiert, wird kein weiteres Paket importiert."),
              std::string::npos)
        << LastMessage();
    EXPECT_TRUE(ProjectFiles() == files);
  }
  // Its program is gone: the lock with it.
  Load("message OK");
  EXPECT_EQ(Project(), before_);
}

TEST_F(ImportUndoTest, AJournalOfAnotherProjectIsSetAsideAndChangesNothing) {
  Prepare();
  CutImport();
  // The journal lies in a project of another id (copied in from there).
  fs::remove(ProjectDir() + ProjectIdentity::kFileName);
  ProjectIdentity::Ensure(ProjectDir());
  auto files = ProjectFiles();
  Load("message OK");
  EXPECT_NE(LastMessage().find("gehört zu einem anderen Projekt; sie wurde hier nicht angewandt "
                               "und liegt nun als " +
                               Journal() + ".fremd vor. Dieses Projekt wurde nicht verändert."),
            std::string::npos)
      << LastMessage();
  // Only the names of the journal and the import's folder changed.
  std::map<std::string, std::string> renamed;
  for (auto& [name, bytes] : files) {
    std::string now = name;
    for (const char* file : {"TA_IMPORT.jnl", "TA_IMPORT.tmp"}) {
      if (now.rfind(file, 0) == 0) now.insert(std::string(file).size(), ".fremd");
    }
    renamed[now] = bytes;
  }
  EXPECT_TRUE(ProjectFiles() == renamed);
  EXPECT_EQ(Project(), after_);
  Load();
  EXPECT_TRUE(Messages().empty());
}

TEST_F(ImportUndoTest, ACopiedProjectTakesBackItsOwnImportAndLeavesTheOriginalAlone) {
  Prepare();
  CutImport();
  const auto original = ProjectFiles();
  const std::string copy = OpenCopy();
  Load("message OK");
  EXPECT_NE(LastMessage().find("Das Projekt ist wieder wie vor dem Import"), std::string::npos)
      << LastMessage();
  EXPECT_EQ(Project(copy), before_);
  EXPECT_TRUE(ProjectFiles() == original) << "not a byte of the original changed";
  host().CloseProject();
  CloseFotoverwaltung();
  context::Current().Store().CloseAll();
  host().OpenProject(ProjectDir());
  Load("message OK");
  EXPECT_EQ(Project(), before_);
}

TEST_F(ImportUndoTest, ACopyMadeBeforeAPictureWasReplacedNeedsNoBackupOfIt) {
  Prepare();
  Put(photos_ + "/KTFOTO1.JPG", testsupport::EncodeJpeg(20, 20, 7));
  const std::string old_picture = Get(ProjectDir() + "KTPhotos/KTFOTO1.JPG");
  CutImport();
  // The copy caught the old picture, and not yet its backup.
  const std::string copy = OpenCopy([&](const std::string& copy) {
    Put(copy + "KTPhotos/KTFOTO1.JPG", old_picture);
    fs::remove(copy + "TA_IMPORT.tmp/bilder/KTFOTO1.JPG");
  });
  Load("message OK");
  EXPECT_NE(LastMessage().find("Das Projekt ist wieder wie vor dem Import"), std::string::npos)
      << LastMessage();
  EXPECT_EQ(Project(copy), before_);
}

// The record of bases follows the objects: an object the undo takes back
// gets its old entry again, one that stays as the import left it (marked
// since) keeps the entry the import wrote for it.
TEST_F(ImportUndoTest, TheRecordOfBasesGoesBackWithEachObject) {
  Prepare();
  const auto record = [this] {
    std::map<std::string, ImportBases::ObjectBase> entries;
    std::optional<std::vector<ImportBases::ObjectBase>> read =
        ImportBases::Read(platform::env::Env::Current(), ProjectDir() + "TA_BASIS.dat");
    EXPECT_TRUE(read);
    if (!read) return entries;
    for (auto& entry : *read) entries.emplace(entry.Kennung, std::move(entry));
    return entries;
  };
  // Entries the next issue does not write again, to tell them apart.
  std::vector<ImportBases::ObjectBase> marked;
  for (auto [K, entry] : record()) {
    entry.TID = K == "DE-1" ? 91 : 92;
    marked.push_back(std::move(entry));
  }
  ASSERT_EQ(marked.size(), 2u);
  ImportBases::Write(platform::env::Env::Current(), ProjectDir() + "TA_BASIS.dat", marked);
  const auto first = record();
  CutImport();
  const auto cut = record();
  ASSERT_EQ(cut.size(), 2u);
  ASSERT_EQ(cut.at("DE-1").TID, 7);
  ASSERT_EQ(cut.at("DE-2").TID, 7);
  TransActTools::UpdateChangedFlag("DE-2", "UPDATE");
  Load("message OK");
  const auto back = record();
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back.at("DE-1"), first.at("DE-1"));
  EXPECT_EQ(back.at("DE-2"), cut.at("DE-2"));
}

// A copy of the project that lacks the old record's backup cannot put the
// old entries back: the objects taken back lose theirs (a later re-import
// asks about them as before there was a record) rather than keep the
// entries of an import that no longer stands.
TEST_F(ImportUndoTest, WithoutItsBackupTheRecordDropsTheEntriesOfWhatGoesBack) {
  Prepare({"DE-3"});
  CutImport();
  const std::string copy = OpenCopy([](const std::string& copy) {
    ASSERT_TRUE(fs::exists(copy + "TA_IMPORT.tmp/TA_BASIS.dat"));
    fs::remove(copy + "TA_IMPORT.tmp/TA_BASIS.dat");
  });
  Load("message OK");
  EXPECT_NE(LastMessage().find("Das Projekt ist wieder wie vor dem Import"), std::string::npos)
      << LastMessage();
  EXPECT_FALSE(fs::exists(copy + "TA_BASIS.dat"));
  EXPECT_FALSE(fs::exists(copy + "TA_IMPORT.jnl"));
}

TEST_F(ImportUndoTest, WhatAnImportCutBeforeItsJournalLeftGoesQuietly) {
  // Killed while the journal was written: its temporary file and the
  // import's folder, no journal.
  fs::create_directories(Folder());
  Put(Folder() + "/reserve", std::string(100, ' '));
  Put(Journal() + ".a1B2c3", "VANDRA-IMPORT\t2\nprojekt\t");
  Load();
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(fs::exists(Folder()));
  EXPECT_FALSE(fs::exists(Journal() + ".a1B2c3"));
}

TEST_F(ImportUndoTest, AJournalCutShortIsSetAsideNamed) {
  Prepare();
  CutImport();
  const std::string text = Get(Journal());
  Put(Journal(), text.substr(0, text.size() / 3));
  Load("message OK");
  EXPECT_NE(LastMessage().find("Der Plan endet vor seinem Ende."), std::string::npos)
      << LastMessage();
  EXPECT_TRUE(fs::exists(Journal() + ".beschaedigt"));
  EXPECT_FALSE(fs::exists(Journal()));
}

TEST_F(ImportUndoTest, AJournalOfAnEarlierVersionIsTakenBackOnlyWhenTheMapperSaysSo) {
  Prepare();
  CutImport();
  // As an earlier version wrote it: no id, absolute paths, nothing after
  // the snapshot step.
  std::string error;
  std::optional<ImportJournal> journal = ImportJournal::Parse(Get(Journal()), error);
  ASSERT_TRUE(journal) << error;
  journal->version = 1;
  journal->project_id.clear();
  for (ImportJournal::Picture& picture : journal->pictures) {
    picture.path = *ImportJournal::PathIn(ProjectDir(), picture.path);
    if (!picture.backup.empty()) {
      picture.backup = *ImportJournal::PathIn(ProjectDir(), picture.backup);
    }
  }
  for (ImportJournal::Foto& foto : journal->fotos) foto.Datei.clear();
  Put(Journal(), journal->Text());
  const auto files = ProjectFiles();

  Load("form TFormImportJournal\nclick BtnSpaeter");
  EXPECT_NE(Shown().find("von einer früheren Version des Plug-ins"), std::string::npos) << Shown();
  EXPECT_TRUE(ProjectFiles() == files);
  // The mapper marked a row of the package's since: it stays, and so does
  // its object.
  TransActTools::UpdateChangedFlag("DE-2", "UPDATE");
  const std::string marked = testsupport::ListRows(ProjectDir())[1];
  Load("form TFormImportJournal\nclick BtnZuruecknehmen\nmessage OK");
  EXPECT_NE(LastMessage().find("bis auf Folgendes, das seit dem Import geändert wurde und so "
                               "bleibt, wie es ist:\rKennung DE-2"),
            std::string::npos)
      << LastMessage();
  EXPECT_EQ(SortedRows(), (std::vector<std::string>{"DE-1 7 1 UPDATE DE-1", marked}));
  EXPECT_FALSE(fs::exists(Journal()));
}

TEST_F(ImportUndoTest, OnAFileSystemWithoutLocksTheMapperDecides) {
  Prepare();
  CutImport();
  const auto files = ProjectFiles();
  faults_.NoLocksOn("TA_IMPORT.lck");
  ScopedEnv scoped(faults_);
  Load("form TFormImportJournal\nclick BtnSpaeter");
  EXPECT_NE(Shown().find("Dateisystem ohne Sperren"), std::string::npos) << Shown();
  EXPECT_TRUE(ProjectFiles() == files);
  // Set aside, after a confirmation: the import stays as it is, for good.
  Load("form TFormImportJournal\nclick BtnBeiseite\nmessage Yes");
  EXPECT_NE(LastMessage().find("Soll die Journaldatei " + Journal() + " beiseitegelegt werden?"),
            std::string::npos)
      << LastMessage();
  EXPECT_FALSE(fs::exists(Journal()));
  EXPECT_TRUE(fs::exists(Journal() + ".beiseite"));
  EXPECT_TRUE(fs::exists(Folder() + ".beiseite"));
  EXPECT_EQ(Project(), after_);
  Load();
  EXPECT_TRUE(Messages().empty());
}

TEST_F(ImportUndoTest, AnUndoThatCannotFinishKeepsWhatIsDoneAfterIt) {
  Prepare({"DE-3"});
  CutImport();
  // The load's undo cannot write TA_LIST: the objects go back, the rows
  // stay as the import left them, and the journal records them so.
  {
    faults_.Inject(Fault(Op::kWrite, EIO).On("TA_LIST"));
    ScopedEnv scoped(faults_);
    Load("form TFormImportJournal\nclick BtnSpaeter");
  }
  faults_.Clear();
  EXPECT_NE(Shown().find("Folgendes konnte nicht auf den Stand vor dem Import zurückgesetzt "
                         "werden und steht halb importiert:"),
            std::string::npos)
      << Shown();
  ASSERT_TRUE(fs::exists(Journal()));
  EXPECT_EQ(testsupport::ListRows(ProjectDir()),
            (std::vector<std::string>{"DE-1 7 1 IGNORED DE-1", "DE-2 7 0 IGNORED DE-2",
                                      "DE-3 7 1 IGNORED DE-3"}));

  // A day of work: DE-3's row marked, a new object's row written, a free
  // identifier taken; DE-1's row left as the import left it.
  TransActTools::UpdateChangedFlag("DE-3", "DELETE");
  AddRow(7, 77, 2, "DE-8", "NEW");
  TransActTools::DeleteFreeKennung("DE-8");
  Load("message OK");
  EXPECT_NE(LastMessage().find("bis auf Folgendes, das seit dem Import geändert wurde und so "
                               "bleibt, wie es ist:\rKennung DE-3\rKennung DE-8"),
            std::string::npos)
      << LastMessage();
  EXPECT_EQ(SortedRows(),
            (std::vector<std::string>{"DE-1 7 1 UPDATE DE-1", "DE-2 7 0 IGNORED DE-2",
                                      "DE-3 7 1 DELETE DE-3", "DE-8 7 2 NEW DE-8"}));
  EXPECT_EQ(testsupport::PoolRows(ProjectDir()), (std::vector<std::string>{"7 DE-9"}));
  EXPECT_FALSE(fs::exists(Journal()));
}

TEST_F(ImportUndoTest, ADiskThatFillsDuringTheUndoStillLeavesItsRecord) {
  Prepare({"DE-3"});
  CutImport();
  ASSERT_TRUE(fs::exists(Folder() + "/reserve"));
  // The disk is full: the table cannot grow, nor the journal, until the
  // space the import kept for this record is given back.
  {
    faults_.Inject(Fault(Op::kWrite, ENOSPC).On("TA_LIST"));
    faults_.Inject(Fault(Op::kWrite, ENOSPC).On("TA_IMPORT.jnl").Times(1));
    ScopedEnv scoped(faults_);
    Load("form TFormImportJournal\nclick BtnSpaeter");
  }
  faults_.Clear();
  EXPECT_NE(Shown().find("Auf dem Datenträger ist kein Platz mehr frei"), std::string::npos)
      << Shown();
  EXPECT_EQ(Shown().find("konnte nicht festhalten"), std::string::npos) << Shown();
  EXPECT_FALSE(fs::exists(Folder() + "/reserve"));
  // Work goes on; at the next load what the import left goes back, the new
  // row stays.
  AddRow(7, 77, 2, "DE-8", "NEW");
  TransActTools::DeleteFreeKennung("DE-8");
  Load("message OK");
  EXPECT_EQ(SortedRows(),
            (std::vector<std::string>{"DE-1 7 1 UPDATE DE-1", "DE-2 7 0 IGNORED DE-2",
                                      "DE-8 7 2 NEW DE-8"}));
  EXPECT_FALSE(fs::exists(Journal()));
}

TEST_F(ImportUndoTest, AnUndoThatCannotRecordHowItLeftTheProjectSaysSo) {
  Prepare();
  CutImport();
  {
    faults_.Inject(Fault(Op::kWrite, EIO).On("TA_LIST"));
    faults_.Inject(Fault(Op::kWrite, EIO).On("TA_IMPORT.jnl"));
    ScopedEnv scoped(faults_);
    Load("form TFormImportJournal\nclick BtnSpaeter");
  }
  faults_.Clear();
  EXPECT_NE(Shown().find("Sie konnte nicht festhalten, wie das Zurücksetzen das Projekt "
                         "hinterlassen hat"),
            std::string::npos)
      << Shown();
  // As it said: the next load puts everything back.
  Load("message OK");
  EXPECT_EQ(Project(), before_);
}

TEST_F(ImportUndoTest, AnImportWhoseUndoCannotFinishMaySetItsJournalAside) {
  Prepare();
  // The package's first picture replaces the project's, its second cannot
  // take its name, and the picture folder refuses the old one's way back.
  Put(photos_ + "/KTFOTO1.JPG", testsupport::EncodeJpeg(20, 20, 7));
  Put(photos_ + "/KTFOTO2.JPG", testsupport::EncodeJpeg(20, 20, 8));
  {
    auto package = Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;");
    package->Execute(
        "insert into abcdefpc (PhotoID, Kurzname, Datei) values (502, 'zwei', 'KTFOTO2.JPG')");
  }
  faults_.Inject(Fault(Op::kRename, EIO).On("KTFOTO2"));
  faults_.Inject(Fault(Op::kCreateTemporary, ENOSPC).On("KTPhotos").After(2));
  ScopedEnv scoped(faults_);
  EXPECT_FALSE(Import("abcdef.tid",
                      "form TFormLokaleArbeit\nclick BtnUebernehmen\nform TFormImportJournal\n"
                      "click BtnBeiseite\nmessage No\n"));
  ExpectAllAnswered();
  EXPECT_NE(Shown().find("Der Import ist fehlgeschlagen:\\rDie Fotos konnten nicht kopiert "
                         "werden:"),
            std::string::npos)
      << Shown();
  EXPECT_NE(Shown().find("Das Bild " + ProjectDir() + "KTPhotos/KTFOTO1.JPG konnte nicht "
                         "zurückgesetzt werden"),
            std::string::npos)
      << Shown();
  ASSERT_TRUE(fs::exists(Journal())) << "the mapper said no to setting it aside";
  // The import command tries again before it asks for a package, and the
  // mapper sets the journal aside this time.
  ClearShown();
  Answer("form TFormImportJournal\nclick BtnBeiseite\nmessage Yes\n");
  PickFile("abcdef.tid");
  Answer("form TFormLokaleArbeit\nclick BtnAbbrechen");
  EXPECT_FALSE(ImportFuncs::VD1CustomImportProc());
  ExpectAllAnswered();
  EXPECT_FALSE(fs::exists(Journal()));
  EXPECT_TRUE(fs::exists(Journal() + ".beiseite"));
}

}  // namespace
