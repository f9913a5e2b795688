// Reading a package before anything changes, in both builds that import:
// a part missing refuses it, naming the file, where the package shows the
// part belongs there; list, geodata and attributes must name the same
// objects, each whole; a picture cut short is named with the damaged ones.
#include "exchange/ImportPackage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "context/BuildIdentity.h"
#include "context/PluginContext.h"
#include "exchange/AttributeXml.h"
#include "platform/db/Connection.h"
#include "tests/support/JpegWriter.h"
#include "tests/support/ProjectFixture.h"

namespace {

namespace fs = std::filesystem;

class ImportPackageTest : public testsupport::ProjectFixture,
                          public ::testing::WithParamInterface<Build> {
 protected:
  void SetUp() override {
    ProjectFixture::SetUp();
    SelectBuild(GetParam());
    pkg_ = Root() + "/paket/";
  }

  // Transaction 7: DE-1, DE-2 and DE-3 drawn in the central system's
  // project and listed, DE-4 listed as deleted and in the attributes only,
  // a free identifier, a photo with its picture.
  void WritePackage() {
    fs::remove_all(pkg_);
    fs::create_directories(pkg_ + "abcdef_Fotos");
    const std::string project = ProjectDir();
    host().CloseProject();
    fs::remove_all(Root() + "/zentrale");
    hostsim::Host::CreateProject(Root() + "/zentrale/");
    host().OpenProject(Root() + "/zentrale/");
    for (const char* K : {"DE-1", "DE-2", "DE-3"}) host().Select(MakeObject("FFH", K));
    MakeObject("FFH", "DE-4");
    host().ExportGeodata(pkg_ + "abcdef", false);
    host().ExportXml(pkg_ + "abcdef.xml", true, true, "T", "F");
    host().CloseProject();
    host().OpenProject(project);
    context::Current().Store().CloseAll();
    Sql("create table abcdeft (KENNUNG char(50), TID integer, KARTULID integer, VGNR integer, "
        "SCHREIBEND integer)");
    for (const char* row : {"'DE-1', 7, 11, 1, 1", "'DE-2', 7, 12, 1, 0", "'DE-3', 7, 13, 1, 1",
                            "'DE-4', 7, 14, 1, 3"})
      Sql("insert into abcdeft values (" + std::string(row) + ")");
    Sql("create table abcdefkl (TID integer, Kennung char(50))");
    Sql("insert into abcdefkl values (7, 'DE-8')");
    Sql("create table abcdefpc (PhotoID integer, Kurzname char(50),Datei char(50),RW integer,HW "
        "integer,Richtung integer,Datum date,Quelle char(254),Beschr memo)");
    Sql("insert into abcdefpc (PhotoID, Kurzname, Datei) values (501, 'Wiese', 'KTFOTO1.JPG')");
    std::ofstream(pkg_ + "abcdef.tid") << "[Transaktionsdaten]\r\nTransaktion=7\r\n";
    Put("abcdef_Fotos/KTFOTO1.JPG", testsupport::EncodeJpeg(16, 12, 501));
  }

  void Sql(const std::string& statement) {
    platform::db::Connection::Open("Data Source=" + pkg_ + ";Extended Properties=DBASE IV;")
        ->Execute(statement);
  }
  void Put(const std::string& name, const std::string& bytes) {
    std::ofstream(pkg_ + name, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string Get(const std::string& name) {
    std::stringstream bytes;
    bytes << std::ifstream(pkg_ + name, std::ios::binary).rdbuf();
    return bytes.str();
  }

  // The refusal, or "" with the content read.
  std::string Refusal(std::optional<ImportFuncs::PackageContent>* read = nullptr) {
    std::string error;
    std::optional<ImportFuncs::PackageContent> content =
        ImportFuncs::ReadPackage({pkg_, "abcdef"}, error);
    if (read) *read = std::move(content);
    return error;
  }

  struct Case {
    const char* what;
    std::function<void()> damage;
    std::string refusal;  // "" : read
  };
  void Expect(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      WritePackage();
      c.damage();
      EXPECT_EQ(Refusal(), c.refusal) << c.what;
    }
  }

  std::string pkg_;
};

// The files of this process open in `folder`, as the kernel lists them.
std::vector<std::string> OpenFilesIn(const std::string& folder) {
  std::vector<std::string> open;
  std::error_code ec;
  for (fs::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code link;
    const std::string target = fs::read_symlink(it->path(), link).string();
    if (!link && target.rfind(folder, 0) == 0) open.push_back(target);
  }
  return open;
}

// Read or refused, a package leaves no file of its folder open: on Windows
// the mapper could neither replace nor remove the folder while the host runs.
TEST_P(ImportPackageTest, APackageReadOrRefusedLeavesNoneOfItsFilesOpen) {
  if (!fs::exists("/proc/self/fd")) GTEST_SKIP() << "no listing of open files here";
  WritePackage();
  EXPECT_EQ(Refusal(), "");
  EXPECT_EQ(OpenFilesIn(pkg_), std::vector<std::string>{});
  WritePackage();
  Sql("drop table abcdefpc");
  Sql("create table abcdefpc (PhotoID integer, Kurzname char(50))");
  EXPECT_NE(Refusal(), "");
  EXPECT_EQ(OpenFilesIn(pkg_), std::vector<std::string>{});
}

TEST_P(ImportPackageTest, AMissingPartRefusesThePackageWhereThePackageShowsItBelongs) {
  const std::string incomplete = "Das Transaktionspaket ist unvollständig:\r";
  const std::string no_list = "Die Transaktionsliste " + pkg_ +
                              "abcdeft.dbf fehlt; die Objekte der Geo- und Attributdaten kämen "
                              "außerhalb jeder Transaktion ins Projekt.";
  const std::string no_xml = "Die Attributdaten " + pkg_ +
                             "abcdef.xml fehlen; die Objekte der Geodaten kämen ohne ihre "
                             "Attribute ins Projekt, die schon vorhandenen verlören sie.";
  const auto remove = [this](std::vector<std::string> names) {
    return [this, names] {
      for (const std::string& name : names) fs::remove_all(pkg_ + name);
    };
  };
  Expect({
      {"whole", [] {}, ""},
      {"no list", remove({"abcdeft.dbf"}), incomplete + no_list},
      {"no list, the objects in the attributes only",
       remove({"abcdeft.dbf", "abcdef.shp", "abcdef.shx", "abcdef.dbf"}), incomplete + no_list},
      {"no attributes", remove({"abcdef.xml"}), incomplete + no_xml},
      {"neither", remove({"abcdeft.dbf", "abcdef.xml"}), incomplete + no_list + "\r" + no_xml},
      {"no photo list, pictures there", remove({"abcdefpc.dbf"}),
       incomplete + "Die Fotoliste " + pkg_ + "abcdefpc.dbf fehlt, der Ordner " + pkg_ +
           "abcdef_Fotos enthält aber Bilder; ohne sie kämen die Fotos nicht ins Projekt."},
      {"no photo list, its memo file there", remove({"abcdefpc.dbf", "abcdef_Fotos"}),
       incomplete + "Die Fotoliste " + pkg_ + "abcdefpc.dbf fehlt, ihre Datei " + pkg_ +
           "abcdefpc.dbt liegt aber im Paket."},
      {"no free identifiers, their index there",
       [&] {
         remove({"abcdefkl.dbf"})();
         Put("ABCDEFKL.CDX", "index");
       },
       incomplete + "Die Liste der freien Kennungen " + pkg_ + "abcdefkl.dbf fehlt, ihre Datei " +
           pkg_ + "ABCDEFKL.CDX liegt aber im Paket."},
      // Nothing shows these belonged to the package: another package whose
      // prefix begins with this one's is no part of it.
      {"no free identifiers", remove({"abcdefkl.dbf"}), ""},
      {"another package abcdefkl beside",
       [&] {
         remove({"abcdefkl.dbf"})();
         Put("abcdefkl.tid", "[Transaktionsdaten]\r\n");
       },
       ""},
      {"photo folder without pictures",
       [&] {
         remove({"abcdefpc.dbf", "abcdefpc.dbt", "abcdef_Fotos/KTFOTO1.JPG"})();
         Put("abcdef_Fotos/liesmich.txt", "");
       },
       ""},
      {"photos only",
       remove({"abcdeft.dbf", "abcdef.shp", "abcdef.shx", "abcdef.dbf", "abcdef.xml"}), ""},
      // An export cut off is told as such, though it has no list either.
      {"an export cut off",
       [&] {
         remove({"abcdeft.dbf", "abcdef.tid"})();
         Put("abcdef_rp.txt", "0\r\n");
       },
       "Im Ordner " + pkg_.substr(0, pkg_.size() - 1) +
           " liegt ein unvollständiges Paket \"abcdef\": die Datei abcdef.tid fehlt, die ein "
           "Paket als letzte bekommt (abcdef_rp.txt ist da)."},
  });
}

TEST_P(ImportPackageTest, ListGeodataAndAttributesMustNameTheSameObjectsEachWhole) {
  const auto without_in_xml = [this](const std::string& gone) {
    return [this, gone] {
      Put("abcdef.xml", AttributeXml::KeepObjects(Get("abcdef.xml"), "abcdef.xml",
                                                  [&](const std::string& K) { return K != gone; }));
    };
  };
  const std::string no_geometry =
      "Folgende Objekte der Transaktionsliste kommen ohne Geometrie; die Geodaten " + pkg_ +
      "abcdef.shp enthalten sie nicht:\r";
  const std::string unlisted =
      "Folgende Objekte der Geo- und Attributdaten sind nicht in der Transaktionsliste " + pkg_ +
      "abcdeft.dbf; sie kämen außerhalb jeder Transaktion ins Projekt:\r";
  Expect({
      // One bit flipped in the geodata's identifier of DE-1: "DE-5".
      {"an identifier damaged in the geodata",
       [&] {
         std::string table = Get("abcdef.dbf");
         table[table.find("DE-1") + 3] ^= 0x04;
         Put("abcdef.dbf", table);
       },
       no_geometry + "DE-1\r\r" + unlisted + "DE-5 (abcdef.shp, Datensatz 1)"},
      {"a row missing from the list", [&] { Sql("delete from abcdeft where KENNUNG = 'DE-2'"); },
       unlisted + "DE-2 (abcdef.shp, Datensatz 2)"},
      {"an object missing from the attributes", without_in_xml("DE-3"),
       "Folgende Objekte der Transaktionsliste kommen ohne Attributdaten; die Datei " + pkg_ +
           "abcdef.xml enthält sie nicht:\rDE-3"},
      {"an object of the attributes alone",
       [&] { Sql("delete from abcdeft where KENNUNG = 'DE-4'"); },
       unlisted + "DE-4 (abcdef.xml, Objekt 4)"},
      {"a deletion delivered in neither", without_in_xml("DE-4"),
       "Die Geo- und Attributdaten des Transaktionspakets enthalten nicht jedes Objekt seiner "
       "Transaktionsliste; es fehlen:\rDE-4"},
      // The last row of an identifier holds: DE-4 is no deletion any more.
      {"a deletion listed again for writing",
       [&] { Sql("insert into abcdeft values ('DE-4', 7, 14, 1, 1)"); }, no_geometry + "DE-4"},
  });
}

TEST_P(ImportPackageTest, APictureCutShortIsNamedWithTheDamagedOnes) {
  WritePackage();
  const std::string picture = testsupport::EncodeJpeg(64, 48, 3);
  Put("abcdef_Fotos/KTFOTO1.JPG", picture.substr(0, picture.size() - 200));
  std::optional<ImportFuncs::PackageContent> content;
  ASSERT_EQ(Refusal(&content), "");
  ASSERT_EQ(content->pictures.size(), 1u);
  EXPECT_EQ(content->pictures[0].damage,
            "Die Bilddatei \"KTFOTO1.JPG\" ist unvollständig: sie endet mitten im Bild.");
  EXPECT_EQ(
      content->notes,
      (std::vector<std::string>{"Folgende Bilddateien des Pakets sind keine lesbaren JPEG-Bilder; "
                                "ihre Fotos wurden trotzdem übernommen:\r" +
                                content->pictures[0].damage}));
}

INSTANTIATE_TEST_SUITE_P(Builds, ImportPackageTest,
                         ::testing::Values(Build::kVD1TransAction2010, Build::kVD1TransAction),
                         [](const auto& info) {
                           return info.param == Build::kVD1TransAction2010 ? "VD1TransAction2010"
                                                                           : "VD1TransAction";
                         });

}  // namespace
