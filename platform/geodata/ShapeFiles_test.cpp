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
    for (const char* ext : {".shp", ".shx", ".dbf"})
      fs::remove(dir.File(std::string("paket") + ext));
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
  EXPECT_EQ(Refusal(shp),
            "Die Geodaten " + shp + " haben 4 Formen, ihre Tabelle " + dbf + " 2 Datensätze.");

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

TEST(ShapeFilesTest, AReaderGivesEachShapeWithItsPartsAndTheTablesTexts) {
  TestDir dir;
  WriteLayer(dir.File("flaechen"), {"DE-1", "Gr\xFCn"});
  LayerReader areas(env::Env::Posix(), dir.File("flaechen.shp"));
  ASSERT_EQ(areas.Count(), 2u);
  EXPECT_EQ(areas.Texts("KENNUNG"), (std::vector<std::string>{"DE-1", "Gr\xC3\xBCn"}));
  const Shape second = areas.Read(1);
  EXPECT_EQ(second.type, SHPT_POLYGON);
  ASSERT_EQ(second.points.size(), 4u);
  EXPECT_EQ(second.points[1].x, 110);
  EXPECT_EQ(second.points[2].y, 8.5);
  EXPECT_EQ(second.parts, std::vector<size_t>{0});
  try {
    areas.Texts("NAME");
    FAIL();
  } catch (const GeodataError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Die Tabelle " + dir.File("flaechen.dbf") + " der Geodaten hat kein Feld NAME.");
  }

  // A line of two parts and a shape without vertices.
  SHPHandle shp = SHPCreate(dir.File("linien").c_str(), SHPT_ARC);
  DBFHandle dbf = DBFCreate(dir.File("linien").c_str());
  DBFAddField(dbf, "KENNUNG", FTString, 50, 0);
  double x[] = {0, 1, 2, 5, 6}, y[] = {0, 1, 0, 5, 6};
  int starts[] = {0, 3};
  SHPObject* two = SHPCreateObject(SHPT_ARC, -1, 2, starts, nullptr, 5, x, y, nullptr, nullptr);
  SHPObject* none = SHPCreateSimpleObject(SHPT_NULL, 0, nullptr, nullptr, nullptr);
  SHPWriteObject(shp, -1, two);
  SHPWriteObject(shp, -1, none);
  SHPDestroyObject(two);
  SHPDestroyObject(none);
  DBFWriteStringAttribute(dbf, 0, 0, "WEG-1");
  DBFWriteStringAttribute(dbf, 1, 0, "WEG-2");
  SHPClose(shp);
  DBFClose(dbf);
  LayerReader lines(env::Env::Posix(), dir.File("linien.shp"));
  const Shape line = lines.Read(0);
  EXPECT_EQ(line.type, SHPT_ARC);
  EXPECT_EQ(line.points.size(), 5u);
  EXPECT_EQ(line.parts, (std::vector<size_t>{0, 3}));
  const Shape empty = lines.Read(1);
  EXPECT_EQ(empty.type, SHPT_NULL);
  EXPECT_TRUE(empty.points.empty());
  EXPECT_TRUE(empty.parts.empty());
}

TEST(ShapeFilesTest, AReaderRefusesWhatReadLayerRefusesAndNamesARecordItCannotRead) {
  TestDir dir;
  WriteLayer(dir.File("paket"), {"A", "B", "C", "D"});
  WriteLayer(dir.File("andere"), {"A", "B"});
  fs::copy_file(dir.File("andere.dbf"), dir.File("paket.dbf"),
                fs::copy_options::overwrite_existing);
  const std::string shp = dir.File("paket.shp");
  try {
    LayerReader reader(env::Env::Posix(), shp);
    FAIL();
  } catch (const GeodataError& e) {
    EXPECT_EQ(std::string(e.what()), Refusal(shp));
  }
  fs::remove(dir.File("andere.shx"));
  EXPECT_THROW(LayerReader(env::Env::Posix(), dir.File("andere.shp")), GeodataError);

  // The index points the second record beyond the end of the shapes.
  WriteLayer(dir.File("kaputt"), {"A", "B", "C"});
  std::string shx = TestDir::ReadAll(dir.File("kaputt.shx"));
  shx[100 + 8] = '\x7f';
  TestDir::WriteAll(dir.File("kaputt.shx"), shx);
  LayerReader reader(env::Env::Posix(), dir.File("kaputt.shp"));
  EXPECT_EQ(reader.Read(0).points.size(), 4u);
  try {
    reader.Read(1);
    FAIL();
  } catch (const GeodataError& e) {
    EXPECT_EQ(
        std::string(e.what()).rfind(
            "Die Form 2 der Datei " + dir.File("kaputt.shp") + " kann nicht gelesen werden", 0),
        0u)
        << e.what();
  }
  EXPECT_EQ(reader.Read(2).points.size(), 4u);
}

TEST(ShapeFilesTest, ReadingAheadServesRecordsInAnyOrder) {
  // Far more than one read-ahead of shapes and records.
  TestDir dir;
  std::vector<std::string> ids;
  for (int i = 0; i < 3000; ++i) ids.push_back("DE-" + std::to_string(i));
  WriteLayer(dir.File("gross"), ids);
  EXPECT_EQ(ReadLayer(env::Env::Posix(), dir.File("gross.shp"), "KENNUNG").ids, ids);
  LayerReader reader(env::Env::Posix(), dir.File("gross.shp"));
  EXPECT_EQ(reader.Texts("KENNUNG"), ids);
  for (const size_t record : {2999u, 0u, 1500u, 1499u, 2998u}) {
    EXPECT_EQ(reader.Read(record).points.at(0).x, 100.0 * static_cast<double>(record)) << record;
  }
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
  EXPECT_EQ(TestDir::ReadAll(dir.File("kopie/paket.prj")),
            "PROJCS[\"DHDN / Gauss-Kruger zone 2\"]");

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
