// Layers written here with shapelib's own file functions, then read and
// copied through the Env: a whole layer gives its identifiers, and each way
// a layer can be broken (cut short, its index or table missing, counts that
// disagree, a link in its place) is refused naming the file.
#include "platform/geodata/ShapeFiles.h"

#include <gtest/gtest.h>
#include <shapefil.h>

#include <filesystem>

#include "platform/db/TestDir.h"

namespace platform::geodata {
namespace {

namespace fs = std::filesystem;
using platform::db::testing::TestDir;

// A layer of triangles, one per identifier, with the fields KENNUNG and KLASSE.
void WriteLayer(const std::string& base, const std::vector<std::string>& ids) {
  SHPHandle shp = SHPCreate(base.c_str(), SHPT_POLYGON);
  DBFHandle dbf = DBFCreate(base.c_str());
  ASSERT_TRUE(shp && dbf);
  DBFAddField(dbf, "KENNUNG", FTString, 50, 0);
  DBFAddField(dbf, "KLASSE", FTInteger, 10, 0);
  for (size_t i = 0; i < ids.size(); ++i) {
    const double x0 = 100.0 * static_cast<double>(i);
    double x[] = {x0, x0 + 10, x0 + 5, x0};
    double y[] = {0, 0, 8.5, 0};
    SHPObject* o = SHPCreateSimpleObject(SHPT_POLYGON, 4, x, y, nullptr);
    const int rec = SHPWriteObject(shp, -1, o);
    SHPDestroyObject(o);
    DBFWriteStringAttribute(dbf, rec, 0, ids[i].c_str());
    DBFWriteIntegerAttribute(dbf, rec, 1, 4711);
  }
  SHPClose(shp);
  DBFClose(dbf);
}

std::string Refusal(const std::string& shp) {
  try {
    ReadLayer(env::Env::Posix(), shp, "KENNUNG");
  } catch (const GeodataError& e) {
    return e.what();
  }
  return "(angenommen)";
}

TEST(ShapeFilesTest, AWholeLayerGivesTheIdentifiersOfItsRecords) {
  TestDir dir;
  WriteLayer(dir.File("paket"), {"DE-1", "NSG-0815", "Gr\xFCn"});
  // The table's text is in the Windows code page; dBase pads it with blanks.
  const ShapeLayer layer = ReadLayer(env::Env::Posix(), dir.File("paket.shp"), "KENNUNG");
  EXPECT_EQ(layer.shape_type, SHPT_POLYGON);
  EXPECT_EQ(layer.ids, (std::vector<std::string>{"DE-1", "NSG-0815", "Gr\xC3\xBCn"}));
}

TEST(ShapeFilesTest, PartsFoundInAnyLetterCase) {
  TestDir dir;
  WriteLayer(dir.File("paket"), {"DE-1"});
  fs::rename(dir.File("paket.shx"), dir.File("PAKET.SHX"));
  fs::rename(dir.File("paket.dbf"), dir.File("Paket.Dbf"));
  EXPECT_EQ(ReadLayer(env::Env::Posix(), dir.File("paket.shp"), "KENNUNG").ids,
            std::vector<std::string>{"DE-1"});
}

TEST(ShapeFilesTest, ABrokenLayerIsRefusedNamingItsFile) {
  TestDir dir;
  const std::string shp = dir.File("paket.shp");
  const auto fresh = [&] {
    for (const char* ext : {".shp", ".shx", ".dbf"}) fs::remove(dir.File(std::string("paket") + ext));
    WriteLayer(dir.File("paket"), {"A", "B", "C", "D"});
  };

  fresh();
  fs::resize_file(shp, fs::file_size(shp) - 30);
  EXPECT_NE(Refusal(shp).find("Die Datei " + shp + " ist unvollständig"), std::string::npos)
      << Refusal(shp);

  fresh();
  fs::remove(dir.File("paket.shx"));
  EXPECT_EQ(Refusal(shp), "Die Datei " + dir.File("paket.shx") + " der Geodaten fehlt.");

  fresh();
  const std::string dbf = dir.File("paket.dbf");
  fs::resize_file(dbf, fs::file_size(dbf) - 70);
  EXPECT_NE(Refusal(shp).find("Die Tabelle " + dbf + " ist unvollständig"), std::string::npos)
      << Refusal(shp);

  fresh();
  WriteLayer(dir.File("andere"), {"A", "B"});
  fs::copy_file(dir.File("andere.dbf"), dbf, fs::copy_options::overwrite_existing);
  EXPECT_EQ(Refusal(shp), "Die Geodaten " + shp + " haben 4 Formen, ihre Tabelle " + dbf +
                              " 2 Datensätze.");

  fresh();
  {
    DBFHandle other = DBFCreate(dir.File("ohne").c_str());
    DBFAddField(other, "NAME", FTString, 10, 0);
    for (int i = 0; i < 4; ++i) DBFWriteStringAttribute(other, i, 0, "x");
    DBFClose(other);
  }
  fs::copy_file(dir.File("ohne.dbf"), dbf, fs::copy_options::overwrite_existing);
  EXPECT_EQ(Refusal(shp), "Die Tabelle " + dbf + " der Geodaten hat kein Feld KENNUNG.");

  fresh();
  fs::remove(dir.File("paket.shx"));
  fs::create_symlink(dir.File("andere.shx"), dir.File("paket.shx"));
  EXPECT_EQ(Refusal(shp),
            "Die Datei " + dir.File("paket.shx") + " der Geodaten ist keine gewöhnliche Datei.");
}

TEST(ShapeFilesTest, ACopyKeepsTheChosenRecordsAsTheyAre) {
  TestDir dir;
  WriteLayer(dir.File("paket"), {"A", "B", "C"});
  TestDir::WriteAll(dir.File("PAKET.PRJ"), "PROJCS[\"DHDN / Gauss-Kruger zone 2\"]");
  const std::string to = dir.File("kopie/paket.shp");
  fs::create_directories(dir.File("kopie"));
  CopyLayer(env::Env::Posix(), dir.File("paket.shp"), to,
            [](size_t record) { return record != 1; });
  EXPECT_EQ(ReadLayer(env::Env::Posix(), to, "KENNUNG").ids, (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(TestDir::ReadAll(dir.File("kopie/paket.prj")), "PROJCS[\"DHDN / Gauss-Kruger zone 2\"]");

  // Shapes and attribute records unchanged: the third record is the second now.
  SHPHandle from = SHPOpen(dir.File("paket.shp").c_str(), "rb");
  SHPHandle copy = SHPOpen(to.c_str(), "rb");
  SHPObject* a = SHPReadObject(from, 2);
  SHPObject* b = SHPReadObject(copy, 1);
  ASSERT_EQ(a->nVertices, b->nVertices);
  for (int v = 0; v < a->nVertices; ++v) {
    EXPECT_EQ(a->padfX[v], b->padfX[v]);
    EXPECT_EQ(a->padfY[v], b->padfY[v]);
  }
  SHPDestroyObject(a);
  SHPDestroyObject(b);
  SHPClose(from);
  SHPClose(copy);
  DBFHandle table = DBFOpen(dir.File("kopie/paket.dbf").c_str(), "rb");
  EXPECT_EQ(DBFReadIntegerAttribute(table, 1, 1), 4711);
  DBFClose(table);
}

}  // namespace
}  // namespace platform::geodata
