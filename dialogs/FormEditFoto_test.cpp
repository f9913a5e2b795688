// The photo dialog against a real project of the host stand-in and the real
// catalogue: taking a picture in, replacing one, the position captured from
// a placed point, the viewing direction, and what the dialog refuses. The
// catalogue is read back through its own connection, the picture folder on
// disk; the pictures are written here with libjpeg.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "dialogs/FormEditFoto.h"
#include "host/Tools.h"
#include "photos/EnsureDataBase.h"
#include "photos/FVTools.h"
#include "photos/FotoHandling.h"
#include "photos/TempObject.h"
#include "platform/db/Connection.h"
#include "platform/env/FaultEnv.h"
#include "tests/support/JpegWriter.h"
#include "tests/support/ProjectFixture.h"

namespace {

namespace fs = std::filesystem;
using platform::db::Connection;
using platform::db::Query;

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

class EditFotoTest : public testsupport::ProjectFixture {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    EnsureTableFotos();
    EnsureSubDirFotos();
    db_ = Connection::Open("Data Source=" + host().ProjectDB());
    object_ = MakeObject("NSG", "NSG-1");
    host().Activate(object_);
    camera_ = Root() + "/kamera/";
    fs::create_directories(camera_);
  }
  void TearDown() override {
    FreeControlForm();
    db_.reset();
    ProjectFixture::TearDown();
  }

  // A picture outside the project.
  std::string Picture(const std::string& name, int width = 40, int height = 30, unsigned seed = 0) {
    testsupport::WriteJpegFile(camera_ + name, width, height, seed);
    return camera_ + name;
  }
  TFormEditFoto& Open() {
    ProcessFotoProc();
    EXPECT_TRUE(FotoTask().blnFotoVerwaltungAktiv);
    return *FotoTask().fvControlForm;
  }
  // The mapper chooses the file; `then` answers what that shows.
  void Choose(TFormEditFoto& form, const std::string& path, const std::string& then = "") {
    Answer("file \"" + path + "\"\n" + then);
    form.BtnGetFoto.Click();
  }
  // Fotos as "FotoID Kurzname RW HW Blickrichtung IsNew PicFileName", by id.
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    Query q(*db_,
            "select FotoID || ' ' || coalesce(Kurzname, '-') || ' ' || coalesce(RW, '-') || ' ' "
            "|| coalesce(HW, '-') || ' ' || coalesce(Blickrichtung, '-') || ' ' || "
            "coalesce(IsNew, '-') || ' ' || coalesce(PicFileName, '-') from Fotos order by "
            "FotoID");
    for (; !q.Eof(); q.Next()) rows.push_back(q.AsString(0));
    return rows;
  }
  std::vector<std::string> Links() {
    std::vector<std::string> links;
    for (auto& row : host().StoredRows("Objektphotos")) {
      links.push_back(row["KARTULID"] + ":" + row["PhotoID"]);
    }
    return links;
  }
  void AddFoto(int id, int is_new, const std::string& file) {
    db_->Execute(
        "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName, Blickrichtung) values (" +
        std::to_string(id) + ", 'Foto', " + std::to_string(is_new) + ", '" + file + "', 90)");
  }
  void LinkRow(int photo_id) {
    host().AppendRow("Objektphotos");
    host().EnterValue("Objektphotos", "PhotoID", std::to_string(photo_id));
    host().PostRow("Objektphotos");
  }
  // The placed temporary point, as the object-created hook reports it.
  int32_t Placed(double x, double y) {
    EXPECT_EQ(host().CreationState(), hostsim::Creation::kPlacing);
    const int32_t id = host().Place({{x, y}});
    EXPECT_TRUE(TempObject::Current().ObjectCreated(id));
    return id;
  }

  std::unique_ptr<Connection> db_;
  int32_t object_ = 0;
  std::string camera_;
};

TEST_F(EditFotoTest, ANewPhotoIsCopiedUnderTheFirstFreeNameAndLinked) {
  TFormEditFoto& form = Open();
  EXPECT_EQ(form.lblPictureState.caption, "noch nicht importiert");
  EXPECT_TRUE(form.cbNoCoordinates.checked);
  EXPECT_FALSE(form.seRWert.enabled);
  EXPECT_TRUE(form.cbBlickrichtungUnbekannt.checked);
  EXPECT_TRUE(form.Label7.visible);
  EXPECT_FALSE(form.Image1.visible);

  Answer("message OK \"Die Eingabedaten sind nicht vollständig!\"");
  form.BtnOK.Click();
  EXPECT_TRUE(form.Showing()) << "no picture chosen";

  // KTFoto1 and KTFoto2 are files, KTFoto3 a row whose file is gone.
  testsupport::WriteJpegFile(FotoDir() + "KTFoto1.jpg", 8, 8);
  testsupport::WriteJpegFile(FotoDir() + "ktfoto2.JPG", 8, 8);
  AddFoto(-7, 3, "KTFoto3.jpg");
  const std::string dsc = Picture("DSC0001.jpg", 64, 48, 4);
  Choose(form, dsc);
  EXPECT_EQ(form.Image1.width, 64);
  EXPECT_TRUE(form.Image1.visible);
  EXPECT_FALSE(form.Label7.visible);
  EXPECT_EQ(form.StartDir, camera_);
  form.eKurzname.Type("Tümpel");
  form.cbNoCoordinates.Toggle();
  form.seRWert.Type("3400000");
  form.seHWert.Type("5800000");
  form.cbBlickrichtungUnbekannt.Toggle();
  form.rbSW.Click();
  form.BtnOK.Click();
  EXPECT_FALSE(form.Showing());
  EXPECT_FALSE(FotoTask().blnFotoVerwaltungAktiv);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"-8 Tümpel 3400000 5800000 225 3 KTFoto4.jpg",
                                              "-7 Foto - - 90 3 KTFoto3.jpg"}));
  EXPECT_EQ(Bytes(FotoDir() + "KTFoto4.jpg"), Bytes(dsc));
  EXPECT_EQ(Links(), std::vector<std::string>{std::to_string(object_) + ":-8"});
  EXPECT_EQ(Tools::GetRegStringEntry(VandraRegKey(), "VD2Transaktionen", "OriginalFotos", ""),
            camera_);

  // The next project's dialog opens the file dialog there.
  FreeControlForm();
  Answer("file cancel");
  Open().BtnGetFoto.Click();
  EXPECT_NE(Shown().find("file open \"JPEG-Grafikdatei (*.jpg)|*.jpg\" \"" + camera_ + "\""),
            std::string::npos)
      << Shown();
}

TEST_F(EditFotoTest, TheViewingDirectionCoversItsBoundaries) {
  TFormEditFoto& form = Open();
  const std::pair<int, const char*> cases[] = {
      {-1, "unbekannt"},  {0, "N"},          {21, "N"},   {22, "NE"},  {66, "NE"},
      {67, "E"},          {111, "E"},        {112, "SE"}, {156, "SE"}, {157, "S"},
      {201, "S"},         {202, "SW"},       {246, "SW"}, {247, "W"},  {291, "W"},
      {292, "NW"},        {336, "NW"},       {337, "N"},  {350, "N"},  {381, "N"},
      {382, "unbekannt"}, {400, "unbekannt"}};
  for (const auto& [grad, shown] : cases) {
    form.SetBlickrichtung(grad);
    std::string checked = form.cbBlickrichtungUnbekannt.checked ? "unbekannt" : "";
    for (const auto& control : form.Controls()) {
      auto* rb = dynamic_cast<platform::ui::RadioButton*>(control.get());
      if (rb == nullptr) continue;
      EXPECT_EQ(rb->enabled, !form.cbBlickrichtungUnbekannt.checked) << grad;
      if (rb->checked && checked.empty()) checked = rb->caption;
    }
    EXPECT_EQ(checked, shown) << grad;
    if (std::string(shown) != "unbekannt") {
      EXPECT_EQ(form.GetBlickrichtung() % 360, ((grad + 23) / 45 % 8) * 45) << grad;
    } else {
      EXPECT_EQ(form.GetBlickrichtung(), -1) << grad;
    }
  }
  form.btnCancel.Click();
}

TEST_F(EditFotoTest, AStoredPhotoShowsItsRowAndACentralOneIsReadOnly) {
  testsupport::WriteJpegFile(FotoDir() + "zentral17.jpg", 30, 20);
  db_->Execute(
      "insert into Fotos (FotoID, Kurzname, RW, HW, Blickrichtung, Quelle, IsNew, PicFileName) "
      "values (17, 'Eiche', 3400000, 5800000, 350, 'LANUV', 2, 'zentral17.jpg')");
  db_->Execute(
      "insert into Fotos (FotoID, Kurzname, Blickrichtung, IsNew, PicFileName) values "
      "(-1, 'Hecke', 'Nordost', 7, 'weg.jpg')");
  LinkRow(17);
  LinkRow(-1);
  host().FirstRow("Objektphotos");
  TFormEditFoto& form = Open();
  EXPECT_EQ(form.lblPictureState.caption, "aus VANDRA importiert");
  EXPECT_FALSE(form.BtnOK.enabled);
  EXPECT_FALSE(form.BtnGetFoto.enabled);
  EXPECT_TRUE(form.BtnGetCoordinate.enabled);
  EXPECT_EQ(form.seRWert.text, "3400000");
  EXPECT_FALSE(form.cbNoCoordinates.checked);
  EXPECT_TRUE(form.rbN.checked) << "350 degrees";
  EXPECT_EQ(form.eQuelle.text, "LANUV");
  EXPECT_EQ(form.Image1.width, 30);
  EXPECT_EQ(form.editFilename.text, "zentral17.jpg");
  form.btnCancel.Click();

  // Another state than 2 or 3 is the central system's; its missing file
  // leaves the picture area empty, not the photo shown before.
  host().NextRow("Objektphotos");
  TFormEditFoto& again = Open();
  EXPECT_EQ(again.PictureState, 2);
  EXPECT_TRUE(again.cbBlickrichtungUnbekannt.checked) << "a direction that is no number";
  EXPECT_TRUE(again.cbNoCoordinates.checked);
  EXPECT_FALSE(again.Image1.HasPicture());
  EXPECT_TRUE(again.Label7.visible);
  EXPECT_EQ(again.editFilename.text, "");
  again.btnCancel.Click();
}

TEST_F(EditFotoTest, ReplacingALocalPictureKeepsItsNameAndNeverLosesIt) {
  testsupport::WriteJpegFile(FotoDir() + "KTFoto2.jpg", 20, 20, 1);
  const std::string stored = Bytes(FotoDir() + "KTFoto2.jpg");
  AddFoto(-2, 3, "KTFoto2.jpg");
  LinkRow(-2);
  host().FirstRow("Objektphotos");

  // A failed copy: the stored picture stays, nothing is saved, the dialog
  // stays open.
  TFormEditFoto& form = Open();
  EXPECT_EQ(form.lblPictureState.caption, "lokal importiert");
  const std::string other = Picture("KTFoto2.jpg", 50, 40, 9);  // the same name elsewhere
  Choose(form, other);
  form.eKurzname.Type("neu");
  {
    platform::env::FaultEnv full(platform::env::Env::Posix());
    full.Inject(platform::env::Fault(platform::env::Op::kWrite, ENOSPC).On("KTPhotos"));
    platform::env::ScopedEnv scoped(full);
    Answer("message OK");
    form.BtnOK.Click();
  }
  ASSERT_FALSE(Messages().empty());
  EXPECT_NE(Messages().back().find("konnte nicht in den Fotoordner kopiert werden"),
            std::string::npos)
      << Messages().back();
  EXPECT_TRUE(form.Showing());
  EXPECT_EQ(Bytes(FotoDir() + "KTFoto2.jpg"), stored);
  EXPECT_EQ(Rows(), std::vector<std::string>{"-2 Foto - - 90 3 KTFoto2.jpg"});
  EXPECT_EQ(fs::directory_iterator(FotoDir())->path().filename(), "KTFoto2.jpg")
      << "no temporary file left";

  // Then it goes through: the picture of the other folder replaces the
  // stored one under the stored name.
  form.BtnOK.Click();
  EXPECT_FALSE(form.Showing());
  EXPECT_EQ(Bytes(FotoDir() + "KTFoto2.jpg"), Bytes(other));
  EXPECT_EQ(Rows(), std::vector<std::string>{"-2 neu - - 90 3 KTFoto2.jpg"});

  // The stored file itself: through a link it lies in the picture folder;
  // as a second name outside it is the same file, in place already.
  fs::create_symlink(FotoDir() + "KTFoto2.jpg", camera_ + "verweis.jpg");
  fs::create_hard_link(FotoDir() + "KTFoto2.jpg", camera_ + "zweitname.jpg");
  host().FirstRow("Objektphotos");
  TFormEditFoto& again = Open();
  Choose(again, camera_ + "verweis.jpg",
         "message OK \"Es können nur Fotos eingestellt werden, die sich außerhalb des Projekts "
         "befinden!\"");
  Choose(again, camera_ + "zweitname.jpg");
  again.BtnOK.Click();
  EXPECT_FALSE(again.Showing());
  EXPECT_EQ(Bytes(FotoDir() + "KTFoto2.jpg"), Bytes(other));
  EXPECT_EQ(Links(), std::vector<std::string>{std::to_string(object_) + ":-2"});

  // A local photo whose file is gone gets the chosen picture under its name.
  AddFoto(-3, 3, "KTFoto9.jpg");
  LinkRow(-3);
  TFormEditFoto& lost = Open();
  EXPECT_FALSE(lost.Image1.HasPicture());
  EXPECT_TRUE(lost.Label7.visible);
  Choose(lost, other);
  lost.BtnOK.Click();
  EXPECT_EQ(Bytes(FotoDir() + "KTFoto9.jpg"), Bytes(other));
  EXPECT_EQ(Rows().front(), "-3 Foto - - 90 3 KTFoto9.jpg");
}

TEST_F(EditFotoTest, PicturesFromThePictureFolderAndFilesThatAreNoPictureAreRefused) {
  TFormEditFoto& form = Open();
  const std::string good = Picture("gut.jpg");
  Choose(form, good);
  testsupport::WriteJpegFile(FotoDir() + "drin.jpg", 8, 8);
  fs::create_symlink(FotoDir(), Root() + "/fotos-verweis");
  for (const std::string& inside : {FotoDir() + "drin.jpg", Root() + "/projekt/./KTPhotos/drin.jpg",
                                    Root() + "/fotos-verweis/drin.jpg"}) {
    Choose(form, inside,
           "message OK \"Es können nur Fotos eingestellt werden, die sich außerhalb des Projekts "
           "befinden!\"");
  }
  std::ofstream(camera_ + "bild.jpg", std::ios::binary) << testsupport::PngBytes();
  std::ofstream(camera_ + "leer.jpg").close();
  std::ofstream(camera_ + "riesig.jpg", std::ios::binary)
      << testsupport::ClaimSize(testsupport::EncodeJpeg(16, 16), 20000, 20000);
  const std::string reasons[] = {"ist kein JPEG-Bild.", "ist leer.", "zu groß"};
  int i = 0;
  for (const char* name : {"bild.jpg", "leer.jpg", "riesig.jpg"}) {
    Choose(form, camera_ + name, "message OK");
    EXPECT_NE(Messages().back().find(reasons[i++]), std::string::npos) << Messages().back();
  }
  EXPECT_EQ(form.strPicFullNameFromDialog, good) << "the earlier picture stays";
  EXPECT_EQ(form.Image1.file, good);
  form.btnCancel.Click();
  EXPECT_TRUE(Rows().empty());
}

TEST_F(EditFotoTest, ThePictureStoredIsThePictureChecked) {
  TFormEditFoto& form = Open();
  const std::string chosen = Picture("DSC0001.jpg", 40, 30, 1);
  const std::string checked = Bytes(chosen);
  // Written to after it was checked: refused when taken over, and nothing
  // is stored; chosen again, it goes in as it is now.
  Choose(form, chosen);
  std::ofstream(chosen, std::ios::binary | std::ios::app) << "angehängt";
  const std::string refused =
      "Die Bilddatei \\\"" + chosen +
      "\\\" wurde ersetzt oder verändert, seit sie ausgewählt wurde, und wird nicht "
      "übernommen. Bitte wählen Sie das Bild erneut aus. Das Foto wurde nicht gespeichert.";
  Answer("message OK \"" + refused + "\"");
  form.BtnOK.Click();
  EXPECT_TRUE(form.Showing());
  EXPECT_TRUE(Rows().empty());
  EXPECT_TRUE(fs::is_empty(FotoDir()));
  // Put back under its name as a new file: the name stands for another
  // file now, which is refused too.
  fs::remove(chosen);
  std::ofstream(chosen, std::ios::binary) << checked;
  Answer("message OK \"" + refused + "\"");
  form.BtnOK.Click();
  EXPECT_TRUE(fs::is_empty(FotoDir()));
  Choose(form, chosen);
  form.BtnOK.Click();
  EXPECT_FALSE(form.Showing());
  EXPECT_EQ(Bytes(FotoDir() + "KTFoto1.jpg"), checked);
}

// Rewritten in place with its size and time put back, the file passes every
// look at its status; only its bytes tell.
TEST_F(EditFotoTest, APictureRewrittenInPlaceIsNeverStoredNorReplacesTheStoredOne) {
  const auto rewrite = [](const std::string& path, bool truncate) {
    const auto time = fs::last_write_time(path);
    const auto size = fs::file_size(path);
    if (truncate) {
      fs::resize_file(path, size / 2);
    } else {
      std::fstream(path, std::ios::binary | std::ios::in | std::ios::out)
          << std::string(size, 'x');
    }
    fs::last_write_time(path, time);
  };
  const auto no_picture = [](const std::string& path) {
    return "message OK \"Die Bilddatei \\\"" + path +
           "\\\" wurde verändert, seit sie ausgewählt wurde. Die Bilddatei \\\"" + path +
           "\\\" ist kein JPEG-Bild. Sie wird nicht übernommen. Bitte wählen Sie das Bild "
           "erneut aus. Das Foto wurde nicht gespeichert.\"";
  };
  // A new photo: nothing reaches the folder, nothing is catalogued.
  TFormEditFoto& form = Open();
  const std::string chosen = Picture("DSC0001.jpg", 40, 30, 1);
  Choose(form, chosen);
  rewrite(chosen, false);
  Answer(no_picture(chosen));
  form.BtnOK.Click();
  EXPECT_TRUE(form.Showing());
  EXPECT_TRUE(Rows().empty());
  EXPECT_TRUE(Links().empty());
  EXPECT_TRUE(fs::is_empty(FotoDir())) << "no copy, no temporary file";
  form.btnCancel.Click();

  // A stored picture being replaced: it stays as it was, and so does its row.
  const std::string stored = Picture("KTFoto2.jpg", 50, 40, 9);
  fs::rename(stored, FotoDir() + "KTFoto2.jpg");
  const std::string stored_bytes = Bytes(FotoDir() + "KTFoto2.jpg");
  AddFoto(-2, 3, "KTFoto2.jpg");
  LinkRow(-2);
  for (const bool truncate : {false, true}) {
    host().FirstRow("Objektphotos");
    TFormEditFoto& again = Open();
    const std::string other = Picture("neu.jpg", 60, 40, 3);
    Choose(again, other);
    again.eKurzname.Type("neu");
    rewrite(other, truncate);
    Answer("message OK");
    again.BtnOK.Click();
    ASSERT_FALSE(Messages().empty());
    EXPECT_NE(Messages().back().find(truncate ? "wurde ersetzt oder verändert"
                                              : "ist kein JPEG-Bild. Sie wird nicht übernommen"),
              std::string::npos)
        << Messages().back();
    EXPECT_TRUE(again.Showing()) << truncate;
    EXPECT_EQ(Bytes(FotoDir() + "KTFoto2.jpg"), stored_bytes) << truncate;
    EXPECT_EQ(Rows(), std::vector<std::string>{"-2 Foto - - 90 3 KTFoto2.jpg"}) << truncate;
    EXPECT_EQ(std::distance(fs::directory_iterator(FotoDir()), fs::directory_iterator()), 1)
        << truncate;
    again.btnCancel.Click();
  }
  EXPECT_EQ(Links(), std::vector<std::string>{std::to_string(object_) + ":-2"});
}

TEST_F(EditFotoTest, APictureOfMoreThanFiftyMegabytesIsTakenOnlyWhenTheMapperSaysSo) {
  TFormEditFoto& form = Open();
  const std::string big = Picture("gross.jpg", 16, 16, 2);
  // A picture with 60 MB behind it (a hole, so the test writes nothing).
  fs::resize_file(big, 60ull * 1024 * 1024);
  const std::string question = "Die Bilddatei \\\"" + big +
                               "\\\" ist 60 MB groß. Fotos sind selten größer als 50 MB; sie "
                               "wird ganz in den Fotoordner kopiert und mit dem Paket "
                               "weitergegeben.\\rSoll sie trotzdem übernommen werden?";
  Choose(form, big, "message No \"" + question + "\"");
  EXPECT_FALSE(form.Image1.HasPicture());
  EXPECT_TRUE(form.strPicFullNameFromDialog.empty());
  Choose(form, big, "message Yes \"" + question + "\"");
  EXPECT_TRUE(form.Image1.HasPicture());
  EXPECT_EQ(form.strPicFullNameFromDialog, big);
  // One of 50 MB exactly is not asked about.
  fs::resize_file(big, 50ull * 1024 * 1024);
  Choose(form, big);
  EXPECT_TRUE(form.Image1.HasPicture());
  form.btnCancel.Click();
}

TEST_F(EditFotoTest, CoordinatesMustBeWholeNumbersAndTextsFitTheirColumns) {
  TFormEditFoto& form = Open();
  Choose(form, Picture("a.jpg"));
  form.cbNoCoordinates.Toggle();
  for (const char* bad : {"3400000,5", "34e5", "abc", "99999999999"}) {
    form.seRWert.Type(bad);
    Answer("message OK");
    form.BtnOK.Click();
    EXPECT_TRUE(form.Showing()) << bad;
    EXPECT_EQ(Messages().back().rfind("Der Rechtswert ", 0), 0u) << Messages().back();
    EXPECT_NE(Messages().back().find(std::string("\"") + bad + "\""), std::string::npos);
  }
  form.seRWert.Type(" 3400000 ");
  form.seHWert.Type("");
  form.eKurzname.Type(std::string(51, 'x'));
  Answer("message OK \"Der Kurzname ist zu lang: höchstens 50 Zeichen sind möglich.\"");
  form.BtnOK.Click();
  form.eKurzname.Type(std::string(50, 'x'));
  // The full build's package holds 254 characters of the source: a longer
  // one could be stored but never sent.
  form.eQuelle.Type(std::string(255, 'q'));
  Answer("message OK \"Die Quelle ist zu lang: höchstens 254 Zeichen sind möglich.\"");
  form.BtnOK.Click();
  EXPECT_TRUE(Rows().empty());
  form.eQuelle.Type(std::string(254, 'q'));
  form.BtnOK.Click();
  EXPECT_FALSE(form.Showing());
  EXPECT_EQ(Rows(),
            std::vector<std::string>{"-1 " + std::string(50, 'x') + " 3400000 - - 3 KTFoto1.jpg"})
      << "an empty northing is null";
}

TEST_F(EditFotoTest, TheCapturedPointIsScaledByItsNorthingAndStaysUntilTheDialogCloses) {
  struct Case {
    double x, y;
    const char* rw;
    const char* hw;
  };
  const Case cases[] = {
      {3400000.5, 5800000.5, "3400000", "5800000"},  // halves to even, scale kept
      {34000, 58000, "3400000", "5800000"},          // times 100
      {340000.25, 580000.25, "3400002", "5800002"},  // times 10
      {34000001, 58000003, "3400000", "5800000"},    // divided by 10
      {3400000.0, 59998.9, "340000000", "5999890"},  // below 59999: times 100
  };
  for (const Case& c : cases) {
    TFormEditFoto& form = Open();
    form.BtnGetCoordinate.Click();
    EXPECT_TRUE(TempObject::Current().Placing());
    EXPECT_EQ(host().PlacingKennung(), "TempObj1");
    EXPECT_EQ(host().CurrentView(), hostsim::View::kMap);
    form.Timer1.Fire();  // still placing: nothing
    EXPECT_TRUE(form.Timer1.Enabled());
    const int32_t point = Placed(c.x, c.y);
    form.Timer1.Fire();
    EXPECT_FALSE(form.Timer1.Enabled());
    EXPECT_EQ(form.seRWert.text, c.rw) << c.x;
    EXPECT_EQ(form.seHWert.text, c.hw) << c.y;
    EXPECT_FALSE(form.cbNoCoordinates.checked);
    EXPECT_TRUE(form.seRWert.enabled);
    EXPECT_FALSE(form.BtnGetCoordinate.enabled) << "one capture per opening";
    EXPECT_EQ(host().CurrentView(), hostsim::View::kData);
    EXPECT_EQ(host().CreationState(), hostsim::Creation::kIdle);
    EXPECT_NE(host().FindObject(point), nullptr) << "the point stays while the dialog is open";
    // Closed by its frame: the point goes too.
    form.Close(platform::ui::ModalResult::kCancel);
    EXPECT_EQ(host().FindObject(point), nullptr);
    EXPECT_EQ(host().ActiveObject(), object_);
    EXPECT_EQ(TempObject::Current().Placed(), -1);
  }
  // An abandoned placing changes nothing; a placing left open when the
  // dialog closes is given up.
  TFormEditFoto& form = Open();
  form.seRWert.text = "1";
  form.BtnGetCoordinate.Click();
  host().Abandon();  // as the command-done hook reports it:
  TempObject::Current().Abandoned();
  form.Timer1.Fire();
  EXPECT_EQ(form.seRWert.text, "1");
  EXPECT_TRUE(form.BtnGetCoordinate.enabled);
  form.BtnGetCoordinate.Click();
  form.btnCancel.Click();
  EXPECT_EQ(host().CreationState(), hostsim::Creation::kIdle);
  EXPECT_FALSE(TempObject::Current().Placing());
  EXPECT_EQ(host().ObjectIds(), std::vector<int32_t>{object_});
}

TEST_F(EditFotoTest, TheEarlierBuildsPackageTakesTheCataloguesWholeSource) {
  SelectBuild(Build::kVD1TransAction);
  TFormEditFoto& form = Open();
  Choose(form, Picture("a.jpg"));
  form.cbNoCoordinates.Toggle();
  form.eQuelle.Type(std::string(256, 'q'));
  Answer("message OK \"Die Quelle ist zu lang: höchstens 255 Zeichen sind möglich.\"");
  form.BtnOK.Click();
  EXPECT_TRUE(Rows().empty());
  form.eQuelle.Type(std::string(255, 'q'));
  form.BtnOK.Click();
  EXPECT_FALSE(form.Showing());
  Query q(*db_, "select Quelle from Fotos");
  ASSERT_FALSE(q.Eof());
  EXPECT_EQ(q.AsString(0), std::string(255, 'q'));
}

TEST_F(EditFotoTest, TheEarlierBuildScalesByTheEastingAndDeletesThePointAtOnce) {
  SelectBuild(Build::kVD1TransAction);
  TFormEditFoto& form = Open();
  const int32_t other = MakeObject("BIO", "BIO-1");
  form.BtnGetCoordinate.Click();
  const int32_t point = Placed(39998, 5800000);  // by the northing it would stay
  form.Timer1.Fire();
  EXPECT_EQ(form.seRWert.text, "3999800");
  EXPECT_EQ(form.seHWert.text, "580000000");
  EXPECT_EQ(host().FindObject(point), nullptr);
  EXPECT_EQ(host().ActiveObject(), object_);
  EXPECT_TRUE(form.BtnGetCoordinate.enabled) << "capture again as often as wanted";
  EXPECT_EQ(host().CreationState(), hostsim::Creation::kPlaced) << "no finish in this build";

  // Its seven-digit fields refuse what the northing became, and say so.
  Choose(form, Picture("a.jpg"));
  Answer(
      "message OK \"Der Hochwert muss eine ganze Zahl mit höchstens 7 Stellen sein: "
      "\\\"580000000\\\"\"");
  form.BtnOK.Click();
  form.seHWert.Type("5999999");
  host().Activate(other);
  Answer("message OK \"Das aktive Objekt hat gewechselt!\"");
  form.BtnOK.Click();
  EXPECT_FALSE(form.Showing()) << "closed without saving";
  EXPECT_TRUE(Rows().empty());

  // The task's object gone while the point was placed.
  host().Activate(object_);
  TFormEditFoto& again = Open();
  again.BtnGetCoordinate.Click();
  Placed(3400000, 5800000);
  host().DeleteObject(object_);
  Answer("message OK \"Das bearbeitete Objekt konnte nicht aktiviert werden!\"");
  again.Timer1.Fire();
  EXPECT_FALSE(again.Showing());
  EXPECT_FALSE(FotoTask().blnFotoVerwaltungAktiv);
}

TEST_F(EditFotoTest, ADriverErrorInAHandlerIsShownAndEndsTheTask) {
  TFormEditFoto& form = Open();
  Choose(form, Picture("a.jpg"));
  db_->Execute("drop table Fotos");
  Answer("message OK");
  form.BtnOK.Click();
  EXPECT_FALSE(form.Showing());
  EXPECT_FALSE(FotoTask().blnFotoVerwaltungAktiv);
  EnsureTableFotos();
  FreeControlForm();
  Open().btnCancel.Click();
  EXPECT_FALSE(FotoTask().blnFotoVerwaltungAktiv) << "the command works again";
}

}  // namespace
