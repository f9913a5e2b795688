// The layers the 32-bit host writes through the platform's codecs, held
// against shapelib, the Linux host's library and the independent reader.
#include <gtest/gtest.h>
#include <shapefil.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hostsim/GeodataLayers.h"

namespace fs = std::filesystem;
using namespace hostsim;

namespace {

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

GeoObject Object(int32_t id, const std::string& kennung, TDrawTyp typ, std::vector<Point> points) {
  GeoObject o;
  o.id = id;
  o.kennung = kennung;
  o.klasse = 7660100 + id;
  o.typ = typ;
  o.geometry = std::move(points);
  return o;
}

// The layer as the Linux host writes it with shapelib.
void WriteWithShapelib(const std::string& shp, int type, const std::vector<const GeoObject*>& objects) {
  SHPHandle h = SHPCreate(shp.c_str(), type);
  ASSERT_NE(h, nullptr);
  for (const GeoObject* o : objects) {
    std::vector<double> xs, ys;
    for (const Point& p : o->geometry) {
      xs.push_back(p.x);
      ys.push_back(p.y);
    }
    if (type == SHPT_POLYGON && !(o->geometry.front() == o->geometry.back())) {
      xs.push_back(o->geometry.front().x);
      ys.push_back(o->geometry.front().y);
    }
    SHPObject* s =
        SHPCreateSimpleObject(type, static_cast<int>(xs.size()), xs.data(), ys.data(), nullptr);
    if (type == SHPT_POLYGON) SHPRewindObject(h, s);
    SHPWriteObject(h, -1, s);
    SHPDestroyObject(s);
  }
  SHPClose(h);
}

class CodecLayers : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("codec_layers_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

}  // namespace

TEST_F(CodecLayers, ShapesAndIndexAreShapelibsByteForByte) {
  // An anticlockwise square, which is turned, an open clockwise triangle,
  // which is closed, and lines, points and multipoints.
  const GeoObject square = Object(1, "NSG-1", ktFlaeche, {{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  const GeoObject triangle = Object(2, "NSG-2", ktFlaeche, {{0, 0}, {0, 5}, {5, 0}});
  const GeoObject line = Object(3, "WEG-1", ktLinie, {{1.5, 2.25}, {3, -4}, {7, 8}});
  const GeoObject point = Object(4, "ND-1", ktSinglePoint, {{356000.5, 5645000.25}});
  const GeoObject many = Object(5, "ND-2", ktMultiPoint, {{1, 1}, {2, 3}});
  struct Case {
    int type;
    std::vector<const GeoObject*> objects;
  };
  for (const Case& c : {Case{geodata::kPolygon, {&square, &triangle}}, Case{geodata::kArc, {&line}},
                        Case{geodata::kPoint, {&point}}, Case{geodata::kMultiPoint, {&many}},
                        Case{geodata::kPolygon, {}}}) {
    const std::string ours = File("ours.shp"), theirs = File("theirs.shp");
    std::string error;
    ASSERT_TRUE(geodata::WriteLayer(ours, c.type, c.objects, error)) << error;
    WriteWithShapelib(theirs, c.type, c.objects);
    EXPECT_EQ(Bytes(ours), Bytes(theirs)) << "type " << c.type;
    EXPECT_EQ(Bytes(File("ours.shx")), Bytes(File("theirs.shx"))) << "type " << c.type;
  }
}

TEST_F(CodecLayers, ShapelibReadsTheTableInTheWindowsCodePage) {
  const GeoObject a = Object(12, "Moor am Grünen See", ktSinglePoint, {{1, 2}});
  std::string error;
  ASSERT_TRUE(geodata::WriteLayer(File("p.shp"), geodata::kPoint, {&a}, error)) << error;
  DBFHandle d = DBFOpen(File("p.dbf").c_str(), "rb");
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(DBFGetRecordCount(d), 1);
  EXPECT_EQ(std::string(DBFReadStringAttribute(d, 0, DBFGetFieldIndex(d, "KENNUNG"))),
            "Moor am Gr\xFCnen See");
  EXPECT_EQ(DBFReadIntegerAttribute(d, 0, DBFGetFieldIndex(d, "KLASSE")), 7660112);
  EXPECT_EQ(DBFReadIntegerAttribute(d, 0, DBFGetFieldIndex(d, "TYP")), ktSinglePoint);
  EXPECT_EQ(DBFReadIntegerAttribute(d, 0, DBFGetFieldIndex(d, "KARTULID")), 12);
  int width = 0;
  EXPECT_EQ(DBFGetFieldInfo(d, DBFGetFieldIndex(d, "KENNUNG"), nullptr, &width, nullptr), FTString);
  EXPECT_EQ(width, 50);
  DBFClose(d);
}

TEST_F(CodecLayers, AWrittenLayerIsReadBackAndReplacesAnEarlierOne) {
  const GeoObject old = Object(1, "ALT", ktFlaeche, {{0, 0}, {1, 0}, {1, 1}});
  const GeoObject area = Object(2, "Fläche", ktFlaeche, {{0, 0}, {0, 5}, {5, 5}, {5, 0}});
  std::string error;
  ASSERT_TRUE(geodata::WriteLayer(File("a.shp"), geodata::kPolygon, {&old, &area}, error));
  ASSERT_TRUE(geodata::WriteLayer(File("a.shp"), geodata::kPolygon, {&area}, error)) << error;
  std::vector<geodata::LayerRecord> records;
  std::vector<std::string> notes;
  ASSERT_TRUE(geodata::ReadLayer(File("a.shp"), records, error,
                                 [&](const std::string& n) { notes.push_back(n); }))
      << error;
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].kennung, "Fläche");
  EXPECT_EQ(records[0].klasse, 7660102);
  EXPECT_EQ(records[0].typ, ktFlaeche);
  EXPECT_EQ(records[0].shape_type, geodata::kPolygon);
  EXPECT_EQ(records[0].parts, 1);
  // Clockwise already, closed by the writer.
  EXPECT_EQ(records[0].points, (std::vector<Point>{{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}}));
  EXPECT_TRUE(notes.empty());
}

TEST_F(CodecLayers, ALayerWithoutKennungOrFilesIsRefused) {
  std::vector<geodata::LayerRecord> records;
  std::string error;
  auto ignore = [](const std::string&) {};
  EXPECT_FALSE(geodata::ReadLayer(File("none.shp"), records, error, ignore));
  EXPECT_NE(error.find("none.shp"), std::string::npos) << error;

  WriteWithShapelib(File("k.shp"), SHPT_POINT, {});
  DBFHandle d = DBFCreate(File("k.dbf").c_str());
  DBFAddField(d, "NAME", FTString, 10, 0);
  DBFClose(d);
  error.clear();
  EXPECT_FALSE(geodata::ReadLayer(File("k.shp"), records, error, ignore));
  EXPECT_NE(error.find("KENNUNG"), std::string::npos) << error;
}
