// The shapes as the Windows build of the check reads them (CodecShapes.cpp,
// the platform's codec), held shape by shape against shapelib's reading of
// the same files, which the Linux build takes: whole layers of each kind,
// the empty and null shapes writers make, and damaged ones.
#include <gtest/gtest.h>
#include <shapefil.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/db/TestDir.h"
#include "platform/env/FaultEnv.h"
#include "vandrasim/Shapes.h"

namespace vandrasim {
namespace {

using platform::db::testing::TestDir;

// A shape to write: its type and its vertices (none for an empty one).
struct Drawn {
  int type;
  std::vector<double> x, y;
};

void Write(const std::string& base, int type, const std::vector<Drawn>& shapes) {
  SHPHandle h = SHPCreate(base.c_str(), type);
  ASSERT_NE(h, nullptr);
  for (const Drawn& d : shapes) {
    std::vector<double> x = d.x, y = d.y;
    SHPObject* s = SHPCreateSimpleObject(d.type, static_cast<int>(x.size()), x.data(), y.data(),
                                         nullptr);
    SHPWriteObject(h, -1, s);
    SHPDestroyObject(s);
  }
  SHPClose(h);
}

// What shapelib makes of each shape, as ShapelibShapes.cpp tells it; nothing
// when it cannot open the layer.
std::optional<std::vector<ShapeState>> Shapelib(const std::string& base) {
  SHPHandle h = SHPOpen(base.c_str(), "rb");
  if (!h) return std::nullopt;
  int count = 0;
  SHPGetInfo(h, &count, nullptr, nullptr, nullptr);
  std::vector<ShapeState> states;
  for (int i = 0; i < count; ++i) {
    SHPObject* s = SHPReadObject(h, i);
    states.push_back(!s                          ? ShapeState::kUnreadable
                     : s->nSHPType == SHPT_NULL  ? ShapeState::kNull
                     : s->nVertices < 1          ? ShapeState::kNoPoints
                                                 : ShapeState::kWithPoints);
    if (s) SHPDestroyObject(s);
  }
  SHPClose(h);
  return states;
}

std::optional<std::vector<ShapeState>> Codec(platform::env::Env& env, const std::string& shp) {
  std::unique_ptr<ShapeFile> file = ShapeFile::Open(env, shp);
  if (!file) return std::nullopt;
  std::vector<ShapeState> states;
  for (size_t i = 0; i < file->Count(); ++i) states.push_back(file->Read(i));
  return states;
}

const Drawn kSquare{SHPT_POLYGON, {0, 10, 10, 0, 0}, {0, 0, 10, 10, 0}};
const Drawn kNull{SHPT_NULL, {}, {}};

TEST(CodecShapes, EveryKindOfShapeReadsAsShapelibReadsIt) {
  TestDir dir;
  struct Layer {
    int type;
    std::vector<Drawn> shapes;
    std::vector<ShapeState> expected;
  };
  const std::vector<Layer> layers = {
      // An area, a null shape and an area without points, which shapelib
      // writes with its one part at 0 (the codec once refused it).
      {SHPT_POLYGON,
       {kSquare, kNull, {SHPT_POLYGON, {}, {}}},
       {ShapeState::kWithPoints, ShapeState::kNull, ShapeState::kNoPoints}},
      {SHPT_ARC,
       {{SHPT_ARC, {1, 2, 3}, {4, 5, 6}}, {SHPT_ARC, {}, {}}},
       {ShapeState::kWithPoints, ShapeState::kNoPoints}},
      {SHPT_POINT, {{SHPT_POINT, {3.5}, {7.25}}, kNull}, {ShapeState::kWithPoints, ShapeState::kNull}},
      {SHPT_MULTIPOINT,
       {{SHPT_MULTIPOINT, {1, 2}, {3, 4}}, {SHPT_MULTIPOINT, {}, {}}},
       {ShapeState::kWithPoints, ShapeState::kNoPoints}},
      {SHPT_POLYGON, {}, {}},
  };
  int n = 0;
  for (const Layer& layer : layers) {
    const std::string base = dir.File("l" + std::to_string(++n));
    Write(base, layer.type, layer.shapes);
    SCOPED_TRACE(base);
    EXPECT_EQ(Shapelib(base), layer.expected);
    EXPECT_EQ(Codec(platform::env::Env::Posix(), base + ".shp"), layer.expected);
  }
}

TEST(CodecShapes, DamagedLayersAreRefusedOrTheirShapesUnreadableAsInShapelib) {
  TestDir dir;
  const std::string base = dir.File("p");
  Write(base, SHPT_POLYGON, {kSquare, kSquare, kSquare});
  const std::string shp = TestDir::ReadAll(base + ".shp");
  const std::string shx = TestDir::ReadAll(base + ".shx");
  auto both = [&](const std::string& what) {
    SCOPED_TRACE(what);
    const auto theirs = Shapelib(base);
    EXPECT_EQ(Codec(platform::env::Env::Posix(), base + ".shp"), theirs);
    return theirs;
  };
  const std::vector<ShapeState> whole(3, ShapeState::kWithPoints);
  ASSERT_EQ(both("whole"), whole);

  // The main file cut inside its last shape: that shape alone is lost.
  TestDir::WriteAll(base + ".shp", shp.substr(0, shp.size() - 10));
  EXPECT_EQ(both("cut"), (std::vector<ShapeState>{ShapeState::kWithPoints,
                                                  ShapeState::kWithPoints,
                                                  ShapeState::kUnreadable}));
  // A shape that names more points than it holds.
  std::string more = shp;
  more[100 + 8 + 4 + 32 + 4] = static_cast<char>(0x7F);
  TestDir::WriteAll(base + ".shp", more);
  EXPECT_EQ(both("too many points").value().at(0), ShapeState::kUnreadable);
  TestDir::WriteAll(base + ".shp", shp);

  // An index cut short of the entries its header counts, an index that is
  // no shapefile's, and none: the layer cannot be opened.
  TestDir::WriteAll(base + ".shx", shx.substr(0, shx.size() - 4));
  EXPECT_EQ(both("index cut"), std::nullopt);
  TestDir::WriteAll(base + ".shx", std::string(124, 'x'));
  EXPECT_EQ(both("index garbled"), std::nullopt);
  platform::env::Env::Posix().Remove(base + ".shx");
  EXPECT_EQ(both("no index"), std::nullopt);

  // The index under an upper-case extension, as Windows writes it.
  TestDir::WriteAll(base + ".SHX", shx);
  EXPECT_EQ(both("index SHX"), whole);
}

TEST(CodecShapes, AShapeTheSystemCannotReadIsUnreadableNotAnError) {
  TestDir dir;
  const std::string base = dir.File("p");
  Write(base, SHPT_POLYGON, {kSquare, kSquare});
  platform::env::FaultEnv faults(platform::env::Env::Posix());
  std::unique_ptr<ShapeFile> file = ShapeFile::Open(faults, base + ".shp");
  ASSERT_NE(file, nullptr);
  faults.Inject(platform::env::Fault(platform::env::Op::kRead, EIO).On("p.shp"));
  EXPECT_EQ(file->Read(0), ShapeState::kUnreadable);
  EXPECT_EQ(file->Read(5), ShapeState::kUnreadable);
}

}  // namespace
}  // namespace vandrasim
