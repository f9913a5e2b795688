// The photo catalogue against a real project of the host stand-in: the table
// and folder made at load, new photo ids, the clean-up of a link row that
// goes, the main-photo rule and the photo task, with the project database
// read back through its own connection and the picture folder on disk.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/FotoHandling.h"
#include "photos/tables/Fotoverwaltung.h"
#include "platform/db/Connection.h"
#include "platform/env/FaultEnv.h"
#include "tests/support/ProjectFixture.h"

namespace {

namespace fs = std::filesystem;
using platform::db::Connection;
using platform::db::Query;

class PhotoTest : public testsupport::ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    db_ = Connection::Open("Data Source=" + host().ProjectDB());
  }
  void TearDown() override {
    FreeControlForm();
    db_.reset();
    ProjectFixture::TearDown();
  }

  // A catalogue row; a picture file in KTPhotos when the name is given.
  void AddFoto(int id, int is_new, const std::string& file = "") {
    db_->Execute("insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (" +
                 std::to_string(id) + ", 'Foto " + std::to_string(id) + "', " +
                 std::to_string(is_new) + ", '" + platform::db::SqlText(file) + "')");
    if (!file.empty() && file.find('/') == std::string::npos) {
      std::ofstream(FotoDir() + file, std::ios::binary) << "JPEG " << id;
    }
  }
  // A link row of the active object to the photo.
  void Link(int32_t object, int photo_id) {
    host().Activate(object);
    host().AppendRow("Objektphotos");
    host().EnterValue("Objektphotos", "PhotoID", std::to_string(photo_id));
    host().PostRow("Objektphotos");
  }
  std::vector<int> FotoIds() {
    std::vector<int> ids;
    Query q(*db_, "select FotoID from Fotos order by FotoID");
    for (; !q.Eof(); q.Next()) ids.push_back(q.AsInt32(0));
    return ids;
  }
  // The mapper removes the current link row: the host reports it first.
  void RemoveLinkRow() {
    DeleteFoto();
    host().DeleteRow("Objektphotos");
  }
  void Loaded() {
    EnsureTableFotos();
    EnsureSubDirFotos();
  }

  std::unique_ptr<Connection> db_;
};

TEST_F(PhotoTest, ALoadedProjectGetsItsCatalogueAndFolderOnce) {
  Loaded();
  EXPECT_TRUE(fs::is_directory(ProjectDir() + "KTPhotos"));
  Query columns(*db_, "select * from Fotos");
  std::vector<std::string> names;
  for (int i = 0; i < columns.FieldCount(); ++i) names.push_back(columns.FieldName(i));
  EXPECT_EQ(names, (std::vector<std::string>{"FotoID", "Kurzname", "RW", "HW", "Blickrichtung",
                                             "Aufnahmedatum", "Quelle", "IsNew", "PicFileName",
                                             "Bildbeschreibung"}));
  AddFoto(5, 2, "a.jpg");
  EXPECT_THROW(db_->Execute("insert into Fotos (FotoID) values (5)"), platform::db::DbError)
      << "the id is the primary key";
  Loaded();
  EXPECT_EQ(FotoIds(), std::vector<int>{5}) << "a second load changes nothing";
  EXPECT_TRUE(fs::exists(FotoDir() + "a.jpg"));
}

TEST_F(PhotoTest, ATableOfAnotherNameCaseIsTheCatalogueAndOneOfOtherColumnsIsTold) {
  db_->Execute(
      "create table FOTOS (FotoID integer, Kurzname text(50), RW integer, HW integer, "
      "Blickrichtung integer, Aufnahmedatum date, Quelle text(255), IsNew integer, "
      "PicFileName text(50), Bildbeschreibung memo)");
  EnsureTableFotos();
  EXPECT_TRUE(Messages().empty());
  db_->Execute("drop table FOTOS");
  db_->Execute("create table fotos (Nummer integer, Bild text(50))");
  Answer("message OK");
  EnsureTableFotos();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find("FotoID, Kurzname"), std::string::npos) << Messages()[0];
  EXPECT_EQ(db_->TableNames(), (std::vector<std::string>{"fotos", "KT_OBJEKTE", "linfos",
                                                         "Objektphotos", "Pflanzenliste"}))
      << "nothing made beside it";
}

TEST_F(PhotoTest, APictureFolderThatCannotBeMadeIsTold) {
  std::ofstream(ProjectDir() + "KTPhotos") << "eine Datei";
  Answer("message OK");
  EnsureSubDirFotos();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find("ist eine Datei"), std::string::npos) << Messages()[0];
  fs::remove(ProjectDir() + "KTPhotos");

  platform::env::FaultEnv read_only(platform::env::Env::Posix());
  read_only.Inject(platform::env::Fault(platform::env::Op::kCreateFolder, EROFS));
  platform::env::ScopedEnv scoped(read_only);
  Answer("message OK");
  EnsureSubDirFotos();
  EXPECT_NE(Messages().back().find("konnte nicht angelegt werden"), std::string::npos);
  EXPECT_FALSE(fs::exists(ProjectDir() + "KTPhotos"));
}

TEST_F(PhotoTest, NewPhotoIdsStayBelowTheFirstRowAndEveryIdInUse) {
  Loaded();
  TdmFotoverwaltung& module = EnsureFotoverwaltung();
  EXPECT_EQ(module.GetFotoID(), -1) << "an empty catalogue";
  AddFoto(5, 2);
  AddFoto(7, 2);
  module.Fotos().Refresh();
  EXPECT_EQ(module.GetFotoID(), -1) << "ids from the central system";
  db_->Execute("delete from Fotos");
  AddFoto(-2, 3);
  AddFoto(-1, 3);
  module.Fotos().Refresh();
  EXPECT_EQ(module.GetFotoID(), -3) << "first row -2";
  db_->Execute("delete from Fotos");
  AddFoto(-1, 3);
  AddFoto(-2, 3);
  AddFoto(-3, 3);
  module.Fotos().Refresh();
  EXPECT_EQ(module.GetFotoID(), -4) << "-1, -2 and -3 are taken";
  db_->Execute("delete from Fotos");
  AddFoto(5, 2);
  AddFoto(-3, 3);
  module.Fotos().Refresh();
  EXPECT_EQ(module.GetFotoID(), -4) << "the first row in the key's order is -3, not 5";
  db_->Execute("delete from Fotos");
  AddFoto(INT32_MIN, 3);
  AddFoto(-1, 3);
  module.Fotos().Refresh();
  EXPECT_EQ(module.GetFotoID(), -2) << "no id below the lowest: from -1 down";
}

TEST_F(PhotoTest, AnImportsPhotoListIsReachedAsAFolderOfDBaseTables) {
  Loaded();
  TdmFotoverwaltung& module = EnsureFotoverwaltung();
  EXPECT_THROW(module.ImportConnection(), platform::db::DbError) << "not before it is opened";
  EXPECT_THROW(module.InitImportDBaseDB(Root() + "/gibts-nicht"), platform::db::DbError);
  fs::create_directories(Root() + "/paket");
  module.InitImportDBaseDB(Root() + "/paket/");
  module.ImportConnection().Execute("create table abcdefpc (FOTOID integer, DATEI char(50))");
  EXPECT_TRUE(fs::exists(Root() + "/paket/abcdefpc.dbf")) << "dBase files in the folder";
}

TEST_F(PhotoTest, TheOwnersReadsTakeWhatOtherProgramsLeftInItsTables) {
  Loaded();
  db_->Execute("insert into Fotos (FotoID, PicFileName) values (5, 'a.jpg')");
  db_->Execute(
      "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName, Aufnahmedatum, RW) values "
      "(-1, 'O''Brien', 3, 'KTFoto1.jpg', 'kein Datum', 3400000)");
  const int32_t moor = MakeObject("NSG", "NSG-1");
  Link(moor, -1);
  host().AppendRow("Objektphotos");  // a row still being filled: no photo yet
  host().PostRow("Objektphotos");
  TdmFotoverwaltung& module = EnsureFotoverwaltung();

  std::vector<std::string> entries;
  for (const CatalogueEntry& e : module.CatalogueEntries()) {
    entries.push_back(std::to_string(e.FotoID) + " " + std::to_string(e.IsNew) + " " +
                      e.PicFileName + " " + e.Kurzname);
  }
  EXPECT_EQ(entries, (std::vector<std::string>{"5 0 a.jpg ", "-1 3 KTFoto1.jpg O'Brien"}))
      << "a state without a value is 0";
  const std::vector<tables::TFotoMetadaten> local = module.LocalFotos();
  ASSERT_EQ(local.size(), 1u);
  EXPECT_EQ(local[0].FotoID, -1);
  EXPECT_EQ(local[0].Rechtswert, 3400000);
  EXPECT_FALSE(local[0].Aufnahmedatum) << "a date the driver cannot read is none";
  const std::vector<PhotoLink> links = module.PhotoLinks();
  ASSERT_EQ(links.size(), 1u) << "the row without a photo is no link";
  EXPECT_EQ(links[0].KartulID, moor);
  EXPECT_EQ(links[0].PhotoID, -1);

  // Rows the import appends go again, quotes and all.
  tables::TFotoMetadaten row;
  row.Status = 2;
  row.FotoID = 77;
  row.Kurzname = "Moor 'am' See";
  row.Dateiname = "x'y.jpg";
  row.Aufnahmedatum = 45000.0;
  module.AppendFotos({row});
  EXPECT_EQ(FotoIds(), (std::vector<int>{-1, 5, 77}));
  EXPECT_EQ(module.FindFoto(77)->Kurzname, "Moor 'am' See");
  module.RemoveFotos({77});
  EXPECT_EQ(FotoIds(), (std::vector<int>{-1, 5}));
}

TEST_F(PhotoTest, ALinkRowIsTheDialogsOwnOrTheFirstWithoutAPhotoOrANewOne) {
  const int32_t moor = MakeObject("NSG", "NSG-1");
  Link(moor, 1);
  Link(moor, 2);
  host().FirstRow("Objektphotos");
  host().NextRow("Objektphotos");
  const int32_t second = LinkRows::CurrentPKey();
  host().FirstRow("Objektphotos");
  LinkRows::LinkPhoto(second, 9);
  host().PostRow("Objektphotos");
  const auto photos = [&] {
    std::string out;
    for (auto& r : host().StoredRows("Objektphotos")) out += r["PhotoID"] + "|";
    return out;
  };
  EXPECT_EQ(photos(), "1|9|");
  LinkRows::LinkPhoto(-1, 7);  // opened on a row not stored yet, and none without a photo
  host().PostRow("Objektphotos");
  EXPECT_EQ(photos(), "1|9|7|");
  host().AppendRow("Objektphotos");
  host().PostRow("Objektphotos");
  LinkRows::LinkPhoto(-1, 8);
  host().PostRow("Objektphotos");
  EXPECT_EQ(photos(), "1|9|7|8|") << "the row without a photo takes it";
  LinkRows::GoTo(second);
  EXPECT_EQ(LinkRows::CurrentPhotoID(), 9);
  LinkRows::GoTo(12345);
  EXPECT_TRUE(host().RowEof("Objektphotos")) << "a key no row has: the walk ends";
}

TEST_F(PhotoTest, TheLastLinkOfALocalPhotoTakesItsRowAndFile) {
  Loaded();
  AddFoto(-1, 3, "KTFoto1.jpg");
  AddFoto(17, 2, "zentral.jpg");
  AddFoto(-2, 3, "KTFoto2.jpg");
  const int32_t moor = MakeObject("NSG", "NSG-1");
  const int32_t wiese = MakeObject("BIO", "BIO-1");
  Link(moor, -1);
  Link(moor, 17);
  Link(moor, -2);
  Link(wiese, -2);

  host().Activate(moor);
  host().FirstRow("Objektphotos");
  RemoveLinkRow();  // -1: its last link
  EXPECT_EQ(FotoIds(), (std::vector<int>{-2, 17}));
  EXPECT_FALSE(fs::exists(FotoDir() + "KTFoto1.jpg"));

  host().FirstRow("Objektphotos");
  RemoveLinkRow();  // 17: from the central system
  EXPECT_EQ(FotoIds(), (std::vector<int>{-2, 17}));
  EXPECT_TRUE(fs::exists(FotoDir() + "zentral.jpg"));

  host().FirstRow("Objektphotos");
  RemoveLinkRow();  // -2: the other object still links it
  EXPECT_EQ(FotoIds(), (std::vector<int>{-2, 17}));
  EXPECT_TRUE(fs::exists(FotoDir() + "KTFoto2.jpg"));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(PhotoTest, AFileAnotherRowNamesStaysAndNoneOutsideThePictureFolderIsTouched) {
  Loaded();
  AddFoto(-1, 3, "KTFoto1.jpg");
  AddFoto(40, 2, "ktfoto1.JPG");  // the central photo names the same file
  std::ofstream(ProjectDir() + "draussen.jpg") << "bleibt";
  AddFoto(-2, 3, "../draussen.jpg");
  const int32_t moor = MakeObject("NSG", "NSG-1");
  Link(moor, -1);
  Link(moor, -2);
  host().FirstRow("Objektphotos");
  RemoveLinkRow();
  EXPECT_TRUE(fs::exists(FotoDir() + "KTFoto1.jpg"));
  EXPECT_EQ(FotoIds(), (std::vector<int>{-2, 40}));

  Answer("message OK");
  host().FirstRow("Objektphotos");
  RemoveLinkRow();
  EXPECT_TRUE(fs::exists(ProjectDir() + "draussen.jpg"));
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find("\"../draussen.jpg\""), std::string::npos) << Messages()[0];
  EXPECT_EQ(FotoIds(), std::vector<int>{40});
}

TEST_F(PhotoTest, TheMainPhotoRuleClearsTheOtherRowsForATrueValueOnly) {
  const int32_t moor = MakeObject("NSG", "NSG-1");
  for (int i = 0; i < 3; ++i) Link(moor, i + 1);
  const auto flags = [&] {
    std::string out;
    for (auto& row : host().StoredRows("Objektphotos")) out += row["Hauptphoto"] + "|";
    return out;
  };
  for (const char* value : {"F", "", "FALSCH", "xyz"}) {
    host().FirstRow("Objektphotos");
    host().EnterValue("Objektphotos", "Hauptphoto", "WAHR");
    host().NextRow("Objektphotos");
    host().EnterValue("Objektphotos", "Hauptphoto", "WAHR");
    host().PostRow("Objektphotos");
    CorrectHauptfotoProc(value);
    EXPECT_EQ(flags(), "WAHR|WAHR||") << value;
  }
  for (const char* value : {"T", "t", "W", "w", "TRUE"}) {
    host().FirstRow("Objektphotos");
    host().EnterValue("Objektphotos", "Hauptphoto", "WAHR");
    host().PostRow("Objektphotos");
    host().NextRow("Objektphotos");
    host().NextRow("Objektphotos");
    CorrectHauptfotoProc(value);
    EXPECT_EQ(flags(), "FALSCH|FALSCH||") << value << ": the row being edited takes the entry";
    EXPECT_EQ(host().Value("Objektphotos", "PhotoID"), "3") << "the mapper stays on the row";
  }
}

TEST_F(PhotoTest, TheMainPhotoRuleOnARowNotSavedYetSavesItAndComesBack) {
  const int32_t moor = MakeObject("NSG", "NSG-1");
  Link(moor, 1);
  host().FirstRow("Objektphotos");
  host().EnterValue("Objektphotos", "Hauptphoto", "WAHR");
  host().PostRow("Objektphotos");
  host().AppendRow("Objektphotos");
  host().EnterValue("Objektphotos", "PhotoID", "2");
  CorrectHauptfotoProc("W");
  EXPECT_EQ(host().RowCount("Objektphotos"), 2);
  EXPECT_EQ(host().Value("Objektphotos", "PhotoID"), "2");
  EXPECT_EQ(host().StoredRows("Objektphotos")[0]["Hauptphoto"], "FALSCH");
}

TEST_F(PhotoTest, ThePhotoCommandAsksForASharedPhotoAndRunsOneTaskAtATime) {
  Loaded();
  AddFoto(-1, 3, "KTFoto1.jpg");
  const int32_t moor = MakeObject("NSG", "NSG-1");
  const int32_t wiese = MakeObject("BIO", "BIO-1");
  Link(wiese, -1);
  Link(moor, -1);
  Answer("message No");
  ProcessFotoProc();
  EXPECT_FALSE(FotoTask().blnFotoVerwaltungAktiv) << "declined: no task";
  EXPECT_EQ(FotoTask().lngFvKARTULID, -1);

  Answer("message Yes");
  ProcessFotoProc();
  ASSERT_TRUE(FotoTask().blnFotoVerwaltungAktiv);
  EXPECT_EQ(FotoTask().fvControlForm->eKurzname.text, "Foto -1");
  EXPECT_EQ(FotoTask().fvControlForm->lblPictureState.caption, "lokal importiert");
  ProcessFotoProc();  // a second command while the dialog is open
  EXPECT_EQ(Messages().size(), 2u);
  FotoTask().fvControlForm->btnCancel.Click();
  EXPECT_FALSE(FotoTask().blnFotoVerwaltungAktiv);
}

TEST_F(PhotoTest, AFailedPhotoCommandLeavesNoTaskOpen) {
  // No catalogue yet: the data module cannot open its table.
  host().Activate(MakeObject("NSG", "NSG-1"));
  EXPECT_THROW(ProcessFotoProc(), platform::db::DbError);
  EXPECT_FALSE(FotoTask().blnFotoVerwaltungAktiv);
  EXPECT_FALSE(GlobaldmFotoverwaltung()) << "opened again by the next command";
  Loaded();
  ProcessFotoProc();
  EXPECT_TRUE(FotoTask().blnFotoVerwaltungAktiv) << "the command works again";
  CloseFotoverwaltung();
}

// A library whose context goes while the photo dialog is open (unloaded, or
// started afresh): the dialog frees the data module as it goes, whichever of
// the two the context lets go first, and the next context opens its own.
TEST_F(PhotoTest, AContextGoingWithTheDialogOpenFreesTheDialogAndTheDataModule) {
  Loaded();
  AddFoto(-1, 3, "KTFoto1.jpg");
  Link(MakeObject("NSG", "NSG-1"), -1);
  ProcessFotoProc();
  ASSERT_TRUE(FotoTask().fvControlForm);
  ASSERT_TRUE(GlobaldmFotoverwaltung());
  context::Start(Build::kVD1TransAction2010);
  EXPECT_FALSE(GlobaldmFotoverwaltung());
  EXPECT_FALSE(FotoTask().fvControlForm);
  EXPECT_EQ(EnsureFotoverwaltung().CatalogueEntries().size(), 1u);
}

}  // namespace
