// The package format: the rows of the action table, prefixes, the .tid file,
// and both tables written through a dBase IV folder and read back by dbfread
// under prefixes that unquoted statements would break. The whole package is
// read back in the export scenario.
#include "exchange/Package.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "context/ProjectStore.h"
#include "platform/db/Connection.h"
#include "platform/env/FaultEnv.h"
#include "platform/env/MemEnv.h"
#include "tests/support/ProjectFixture.h"

namespace {

using Package::ActionRow;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TObjectMetadata Row(int32_t schreibend, std::string kennung, std::string changed,
                    std::string kennungo) {
  TObjectMetadata row;
  row.Schreibend = schreibend;
  row.Kennung = std::move(kennung);
  row.Changed = std::move(changed);
  row.Originalkennung = std::move(kennungo);
  return row;
}

TEST(PackageTest, ActionRowsFollowTheIdentifierHistory) {
  EXPECT_TRUE(Package::ActionRowsOf(Row(0, "A", "UPDATE", "A")).empty());
  EXPECT_EQ(Package::ActionRowsOf(Row(1, "A", "UPDATE", "A")),
            (std::vector<ActionRow>{{"A", 'U'}}));
  EXPECT_EQ(Package::ActionRowsOf(Row(2, "A", "NEW", "")), (std::vector<ActionRow>{{"A", 'N'}}));
  EXPECT_EQ(Package::ActionRowsOf(Row(1, "A", "", "A")), (std::vector<ActionRow>{{"A", 'I'}}));
  // Switched or renamed since the checkout.
  EXPECT_EQ(Package::ActionRowsOf(Row(1, "B", "UPDATE", "A")),
            (std::vector<ActionRow>{{"A", 'D'}, {"B", 'N'}}));
  EXPECT_EQ(Package::ActionRowsOf(Row(3, "B", "DELETE", "A")),
            (std::vector<ActionRow>{{"A", 'D'}}));
  EXPECT_EQ(Package::ActionRowsOf(Row(2, "B", "NEW", "A")), (std::vector<ActionRow>{{"B", 'N'}}));
  EXPECT_EQ(Package::ActionRowsOf(Row(1, "B", "IGNORED", "A")),
            (std::vector<ActionRow>{{"B", 'I'}}));
}

TEST(PackageTest, PrefixCountsCharactersAndKeepsTheExtension) {
  EXPECT_EQ(Package::PrefixOf("ab.xml"), "ab.xml");
  EXPECT_EQ(Package::PrefixOf("abcdefgh"), "abcdef");
  EXPECT_EQ(Package::PrefixOf("Ärgernis.txt"), "Ärgern");
  EXPECT_EQ(Package::PrefixOf("ab"), "ab");
  for (const char* good : {"ab.xml", "a-b", "o'k", "\"q\"", "Größe", "€5"}) {
    EXPECT_TRUE(Package::PrefixIsFileName(good)) << good;
  }
  for (const char* bad : {"", ".", "..", "a\tb", "a\\b", "ab\xE2\x9C\x93", "\xFF"}) {
    EXPECT_FALSE(Package::PrefixIsFileName(bad)) << bad;
  }
  EXPECT_EQ((Package::Names{"/x/", "ab.xml"}).ActionTableShort(), "ab.xml_a");
  EXPECT_EQ((Package::Names{"/x/", "Größe"}).ActionTableShort(), "Größe_ak");
}

TEST(PackageTest, DatesGoOutAsLiteralsOrNotAtAll) {
  EXPECT_EQ(Package::DateLiteral(45356.0), "#3-5-2024#");
  EXPECT_EQ(Package::DateLiteral(45356.75), "#3-5-2024#");
  EXPECT_EQ(Package::DateLiteral(std::nan("")), "");
  EXPECT_EQ(Package::DateLiteral(1e300), "");
}

class PackageFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testsupport::MakeTempDir() + "/"; }
  void TearDown() override { testsupport::RemoveTree(dir_); }
  std::unique_ptr<platform::db::Connection> Open() {
    return platform::db::Connection::Open(context::DBaseConnectionString(dir_, "DBASE IV"));
  }
  std::string dir_;
};

TEST_F(PackageFilesTest, TidFileKeepsOtherKeys) {
  {
    std::ofstream out(dir_ + "P.tid", std::ios::binary);
    out << "[Transaktionsdaten]\r\nName=Ruhraue\r\nTransaktion=1\r\n[Eigenes]\r\nX=1\r\n";
  }
  Package::WriteTidFile(dir_ + "P.tid", 4711, 3);
  const Package::TidData tid = Package::ReadTidFile(dir_ + "P.tid");
  EXPECT_EQ(tid.Transaktion, 4711);
  EXPECT_EQ(tid.GKStreifen, 3);
  EXPECT_EQ(tid.Name, "Ruhraue");
  EXPECT_EQ(tid.Owner, "unbekannt");
  EXPECT_NE(ReadAll(dir_ + "P.tid").find("[Eigenes]\r\nX=1"), std::string::npos);
  EXPECT_EQ(Package::ReadTidFile(dir_ + "fehlt.tid").Transaktion, -1);
}

TEST_F(PackageFilesTest, TablesUnderAwkwardPrefixesReadBackByDbfread) {
  for (const std::string P : {"ab.xml", "a-b", "o'k", "\"q\"x", "Größe"}) {
    SCOPED_TRACE(P);
    const Package::Names names{dir_, P};
    auto connection = Open();
    connection->Execute(Package::CreateActionTableSql(names.ActionTableShort()));
    connection->Execute(Package::InsertActionSql(names.ActionTableShort(), {"NSG-'1'", 'D'}));
    connection->Execute(Package::CreatePhotoTableSql(names.PhotoTable(), 254));
    tables::TFotoMetadaten foto;
    foto.FotoID = -3;
    foto.Kurzname = "Teich 'alt'";
    foto.Dateiname = "KTFoto3.jpg";
    foto.Rechtswert = 2563120;
    foto.Aufnahmedatum = 45356.0;
    foto.Quelle = "eigene";
    foto.Beschreibung = "Blick über den \"Teich\"";
    connection->Execute(Package::InsertPhotoSql(names.PhotoTable(), foto));
    connection.reset();

    // The reader's command line takes no quote in a path: it reads copies.
    std::filesystem::copy_file(dir_ + names.ActionTableShort() + ".dbf", dir_ + "aktion.dbf");
    std::filesystem::copy_file(dir_ + names.PhotoTable() + ".dbf", dir_ + "fotos.dbf");
    std::filesystem::copy_file(dir_ + names.PhotoTable() + ".dbt", dir_ + "fotos.dbt");
    const auto actions = testsupport::ReadDbf(dir_ + "aktion.dbf");
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].at("KENNUNG"), "NSG-'1'");
    EXPECT_EQ(actions[0].at("AKTION"), "D");
    const auto photos = testsupport::ReadDbf(dir_ + "fotos.dbf");
    ASSERT_EQ(photos.size(), 1u);
    EXPECT_EQ(photos[0].at("PHOTOID"), "-3");
    EXPECT_EQ(photos[0].at("KURZNAME"), "Teich 'alt'");
    EXPECT_EQ(photos[0].at("RW"), "2563120");
    // Values the catalogue does not have are null, not 0 or a made-up date.
    EXPECT_EQ(photos[0].at("HW"), "");
    EXPECT_EQ(photos[0].at("RICHTUNG"), "");
    EXPECT_EQ(photos[0].at("DATUM"), "2024-03-05");
    EXPECT_EQ(photos[0].at("BESCHR"), "Blick über den \"Teich\"");
    for (const char* copy : {"aktion.dbf", "fotos.dbf", "fotos.dbt"})
      std::filesystem::remove(dir_ + copy);
  }
}

TEST_F(PackageFilesTest, EarlierBuildsSourceColumnHolds255Characters) {
  auto connection = Open();
  connection->Execute(Package::CreatePhotoTableSql("abcpc", 255));
  tables::TFotoMetadaten foto;
  foto.Quelle = std::string(254, 'q') + "Z";
  connection->Execute(Package::InsertPhotoSql("abcpc", foto));
  connection.reset();
  // The descriptor's length byte, and the whole text through an independent reader.
  const std::string bytes = ReadAll(dir_ + "abcpc.dbf");
  const size_t quelle = bytes.find("QUELLE");
  ASSERT_NE(quelle, std::string::npos);
  EXPECT_EQ(static_cast<unsigned char>(bytes[quelle + 16]), 255);
  EXPECT_EQ(testsupport::ReadDbf(dir_ + "abcpc.dbf").at(0).at("QUELLE"), foto.Quelle);
  // dBase III keeps its limit.
  auto dbase3 = platform::db::Connection::Open(context::DBaseConnectionString(dir_, "DBASE III"));
  EXPECT_THROW(dbase3->Execute("create Table drei (Q char(255))"), platform::db::DbError);
}

namespace env = platform::env;

TEST(PackageTest, PackageFilesAreThePrefixsOwnWhateverTheirCase) {
  const Package::Names names{"/aus/", "ab"};
  for (const char* own :
       {"ab_rp.txt", "AB.TID", "ab.xml", "ab_aktion.dbf", "ab_aktio.dbf", "abpc.dbf", "abpc.dbt",
        "ab.shp", "ab_lin.SHX", "ab_pkt.dbf", "ab_mpt.prj"}) {
    EXPECT_TRUE(Package::IsPackageFile(names, own)) << own;
  }
  // Another prefix that begins alike, the log, and what is no layer file.
  for (const char* other : {"abc.tid", "ab.log", "ab_lin.txt", "ab_Fotos", "abx.shp", "ab.tid.x"}) {
    EXPECT_FALSE(Package::IsPackageFile(names, other)) << other;
  }
  EXPECT_TRUE(Package::IsTemporaryOf("ab.tid.Qx7Zk2", "ab.tid"));
  EXPECT_FALSE(Package::IsTemporaryOf("ab.tid.Qx7Zk", "ab.tid"));
  EXPECT_FALSE(Package::IsTemporaryOf("ab.tid.Qx7-k2", "ab.tid"));
  EXPECT_FALSE(Package::IsTemporaryOf("ab.tidxQx7Zk2", "ab.tid"));
}

TEST(PackageTest, APackageIsIncompleteWithItsStagingFolderOrWithoutItsTid) {
  env::MemEnv mem;
  env::ScopedEnv scoped(mem);
  const Package::Names names{"/aus/", "ab"};
  EXPECT_EQ(Package::IncompletePackage(names), std::nullopt) << "no folder, no package";
  mem.CreateFolder("/aus");
  auto put = [&](const std::string& name) { env::ReplaceFile(mem, "/aus/" + name, "x"); };
  // Another package's files, and names another prefix may write too.
  put("abc.xml");
  put("abt.dbf");
  put("ab.log");
  EXPECT_EQ(Package::IncompletePackage(names), std::nullopt);
  const std::string told = "Im Ordner /aus liegt ein unvollständiges Paket \"ab\": ";
  put("AB.XML");
  EXPECT_EQ(Package::IncompletePackage(names),
            told + "die Datei ab.tid fehlt, die ein Paket als letzte bekommt (AB.XML ist da).");
  mem.CreateFolder("/aus/ab.tid");  // a folder is no .tid
  EXPECT_NE(Package::IncompletePackage(names), std::nullopt);
  mem.RemoveFolder("/aus/ab.tid");
  put("Ab.Tid");
  EXPECT_EQ(Package::IncompletePackage(names), std::nullopt);
  mem.CreateFolder("/aus/ab_Export.tmp");
  EXPECT_EQ(Package::IncompletePackage(names),
            told + "ein Export dorthin wurde abgebrochen (der Ordner ab_Export.tmp ist noch da).");
  // Only the photo folder alone, without its .tid.
  env::MemEnv other;
  env::ScopedEnv scoped_other(other);
  other.CreateFolder("/aus");
  other.CreateFolder("/aus/ab_Fotos");
  EXPECT_EQ(Package::IncompletePackage(names),
            told + "die Datei ab.tid fehlt, die ein Paket als letzte bekommt (ab_Fotos ist da).");
  env::FaultEnv faults(other);
  faults.Inject(env::Fault(env::Op::kList, EACCES));
  env::ScopedEnv scoped_faults(faults);
  EXPECT_EQ(Package::IncompletePackage(names),
            "Der Ordner /aus kann nicht gelesen werden: Der Zugriff ist nicht erlaubt (keine "
            "Berechtigung)");
}

}  // namespace
