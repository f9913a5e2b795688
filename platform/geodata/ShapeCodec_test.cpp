// The shapefile reader and writer against shapelib, an independent one:
// layers shapelib writes read back here shape for shape, and copies written
// here read back in shapelib as their sources. Broken layers, cut at every
// byte or with any byte of their main file or index changed, are refused
// naming the file and the shape, or read as they are, never beyond their
// bytes.
#include <gtest/gtest.h>
#include <shapefil.h>

#include <filesystem>
#include <functional>

#include "platform/db/TestDir.h"
#include "platform/env/FaultEnv.h"
#include "platform/env/MemEnv.h"
#include "platform/geodata/ShapeCodec.h"
#include "platform/geodata/ShapeFiles.h"

namespace platform::geodata {
namespace {

namespace fs = std::filesystem;
using platform::db::testing::TestDir;

struct Drawn {
  int type = SHPT_NULL;
  std::vector<int> starts;
  std::vector<double> x, y, z, m;
};

// A layer written with shapelib, its records named R1, R2, ...
void Write(const std::string& base, int type, const std::vector<Drawn>& shapes) {
  SHPHandle shp = SHPCreate(base.c_str(), type);
  DBFHandle dbf = DBFCreate(base.c_str());
  ASSERT_TRUE(shp && dbf);
  DBFAddField(dbf, "KENNUNG", FTString, 12, 0);
  for (const Drawn& s : shapes) {
    std::vector<int> starts = s.starts;
    std::vector<double> x = s.x, y = s.y, z = s.z, m = s.m;
    SHPObject* o = SHPCreateObject(s.type, -1, static_cast<int>(starts.size()), starts.data(),
                                   nullptr, static_cast<int>(x.size()), x.data(), y.data(),
                                   z.empty() ? nullptr : z.data(), m.empty() ? nullptr : m.data());
    const int rec = SHPWriteObject(shp, -1, o);
    SHPDestroyObject(o);
    DBFWriteStringAttribute(dbf, rec, 0, ("R" + std::to_string(rec + 1)).c_str());
  }
  SHPClose(shp);
  DBFClose(dbf);
}

// Areas of several rings, lines with measures, points and multipoints with
// heights, and a layer without records.
std::vector<std::pair<int, std::vector<Drawn>>> Layers() {
  const Drawn holed{
      SHPT_POLYGON, {0, 5}, {0, 0, 10, 10, 0, 2, 4, 4, 2, 2}, {0, 10, 10, 0, 0, 2, 2, 4, 4, 2},
      {},           {}};
  const Drawn three{SHPT_POLYGON,
                    {0, 4, 8},
                    {20, 21, 22, 20, 30, 31, 32, 30, 40, 41, 42, 40},
                    {0, 1, 0, 0, 5, 6, 5, 5, -3, -2, -3, -3},
                    {},
                    {}};
  return {
      {SHPT_POLYGON, {holed, {SHPT_NULL, {}, {}, {}, {}, {}}, three}},
      {SHPT_ARCM,
       {{SHPT_ARCM, {0, 2}, {1, 2, 3, 4, 5}, {1, 1, 2, 3, 5}, {}, {0, 1.5, 2.5, 7, 9}},
        {SHPT_ARCM, {0}, {-1, -2}, {8, 9}, {}, {3, 4}}}},
      {SHPT_POINTZ,
       {{SHPT_POINTZ, {}, {3.25}, {7.5}, {100}, {1}}, {SHPT_POINTZ, {}, {-4}, {2}, {-20}, {2}}}},
      {SHPT_MULTIPOINTZ, {{SHPT_MULTIPOINTZ, {}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {}}}},
      {SHPT_MULTIPOINT, {}},
  };
}

std::vector<size_t> PartsOf(const SHPObject* o) {
  std::vector<size_t> parts(o->panPartStart, o->panPartStart + o->nParts);
  if (parts.empty() && o->nVertices > 0) parts.push_back(0);
  return parts;
}

TEST(ShapeCodecTest, ReadsWhatShapelibWritesAndWritesWhatItReads) {
  TestDir dir;
  fs::create_directories(dir.File("kopie"));
  int n = 0;
  for (const auto& [type, specs] : Layers()) {
    const std::string base = dir.File("l" + std::to_string(++n));
    const std::string copy = dir.File("kopie/l" + std::to_string(n));
    Write(base, type, specs);
    SCOPED_TRACE(base);
    LayerReader ours(env::Env::Posix(), base + ".shp");
    ASSERT_EQ(ours.Count(), specs.size());
    SHPHandle theirs = SHPOpen(base.c_str(), "rb");
    for (size_t i = 0; i < specs.size(); ++i) {
      SHPObject* o = SHPReadObject(theirs, static_cast<int>(i));
      const Shape s = ours.Read(i);
      EXPECT_EQ(s.type, o->nSHPType);
      ASSERT_EQ(s.points.size(), static_cast<size_t>(o->nVertices));
      for (size_t v = 0; v < s.points.size(); ++v) {
        EXPECT_EQ(s.points[v].x, o->padfX[v]);
        EXPECT_EQ(s.points[v].y, o->padfY[v]);
      }
      EXPECT_EQ(s.parts, PartsOf(o));
      SHPDestroyObject(o);
    }
    EXPECT_EQ(ReadLayer(env::Env::Posix(), base + ".shp", "KENNUNG").ids.size(), specs.size());

    // Every record copied: shapelib finds the source's shapes, bounds and records.
    CopyLayer(env::Env::Posix(), base + ".shp", copy + ".shp", [](size_t) { return true; });
    SHPHandle copied = SHPOpen(copy.c_str(), "rb");
    ASSERT_TRUE(copied);
    int count[2], types[2];
    double min[2][4], max[2][4];
    SHPGetInfo(theirs, &count[0], &types[0], min[0], max[0]);
    SHPGetInfo(copied, &count[1], &types[1], min[1], max[1]);
    EXPECT_EQ(count[0], count[1]);
    EXPECT_EQ(types[0], types[1]);
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(min[0][k], min[1][k]) << k;
      EXPECT_EQ(max[0][k], max[1][k]) << k;
    }
    for (int i = 0; i < count[0]; ++i) {
      SHPObject* a = SHPReadObject(theirs, i);
      SHPObject* b = SHPReadObject(copied, i);
      ASSERT_TRUE(b);
      EXPECT_EQ(a->nSHPType, b->nSHPType);
      EXPECT_EQ(PartsOf(a), PartsOf(b));
      ASSERT_EQ(a->nVertices, b->nVertices);
      EXPECT_EQ(a->bMeasureIsUsed, b->bMeasureIsUsed);
      for (int v = 0; v < a->nVertices; ++v) {
        EXPECT_EQ(a->padfX[v], b->padfX[v]);
        EXPECT_EQ(a->padfY[v], b->padfY[v]);
        EXPECT_EQ(a->padfZ[v], b->padfZ[v]);
        EXPECT_EQ(a->padfM[v], b->padfM[v]);
      }
      SHPDestroyObject(a);
      SHPDestroyObject(b);
    }
    SHPClose(copied);
    SHPClose(theirs);
    DBFHandle table = DBFOpen((copy + ".dbf").c_str(), "rb");
    ASSERT_TRUE(table);
    ASSERT_EQ(DBFGetRecordCount(table), static_cast<int>(specs.size()));
    for (int i = 0; i < DBFGetRecordCount(table); ++i) {
      EXPECT_EQ(std::string(DBFReadStringAttribute(table, i, 0)), "R" + std::to_string(i + 1));
    }
    DBFClose(table);

    // Nothing kept: an empty layer of the source's type.
    CopyLayer(env::Env::Posix(), base + ".shp", copy + "_leer.shp", [](size_t) { return false; });
    SHPHandle empty = SHPOpen((copy + "_leer").c_str(), "rb");
    ASSERT_TRUE(empty);
    SHPGetInfo(empty, &count[1], &types[1], min[1], max[1]);
    EXPECT_EQ(count[1], 0);
    EXPECT_EQ(types[1], type);
    SHPClose(empty);
    EXPECT_TRUE(ReadLayer(env::Env::Posix(), copy + "_leer.shp", "KENNUNG").ids.empty());
  }
}

TEST(ShapeCodecTest, AnAreaOrLineWithoutPointsIsReadAsShapelibReadsIt) {
  // shapelib writes an empty area or line with its one part at 0 and reads
  // it back as a shape without points; the codec once refused that part as
  // beyond the points, so a layer the host wrote could not be read again.
  TestDir dir;
  for (const int type : {SHPT_POLYGON, SHPT_ARC}) {
    const std::string base = dir.File("leer" + std::to_string(type));
    Write(base, type,
          {{type, {}, {0, 10, 10, 0}, {0, 0, 10, 0}, {}, {}}, {type, {}, {}, {}, {}, {}}});
    SCOPED_TRACE(base);
    SHPHandle theirs = SHPOpen(base.c_str(), "rb");
    ASSERT_TRUE(theirs);
    SHPObject* o = SHPReadObject(theirs, 1);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->nVertices, 0);
    EXPECT_EQ(o->nParts, 1);
    SHPDestroyObject(o);
    SHPClose(theirs);
    LayerReader ours(env::Env::Posix(), base + ".shp");
    const Shape empty = ours.Read(1);
    EXPECT_EQ(empty.type, type);
    EXPECT_TRUE(empty.points.empty());
    EXPECT_TRUE(empty.parts.empty());
    EXPECT_EQ(ours.Read(0).points.size(), 4u);
    EXPECT_EQ(ReadLayer(env::Env::Posix(), base + ".shp", "KENNUNG").ids,
              (std::vector<std::string>{"R1", "R2"}));
  }
  // Without points, the parts still begin at 0 and grow.
  const auto parse = [](const std::vector<int32_t>& starts) {
    std::vector<unsigned char> content(4 + 32 + 8 + 4 * starts.size());
    codec::PutLe32(content.data(), codec::kPolygon);
    codec::PutLe32(content.data() + 36, static_cast<int32_t>(starts.size()));
    codec::PutLe32(content.data() + 40, 0);
    for (size_t i = 0; i < starts.size(); ++i)
      codec::PutLe32(content.data() + 44 + 4 * i, starts[i]);
    try {
      const codec::Record r = codec::ParseRecord(content.data(), content.size());
      return "leer, " + std::to_string(r.shape.parts.size()) + " Teile";
    } catch (const codec::FormatError& e) {
      return std::string(e.what());
    }
  };
  EXPECT_EQ(parse({}), "leer, 0 Teile");
  EXPECT_EQ(parse({0}), "leer, 0 Teile");
  EXPECT_EQ(parse({0, 0}), "Ihr Teil 2 beginnt bei Punkt 0, nicht hinter dem Anfang des vorigen.");
  EXPECT_EQ(parse({2}), "Ihr Teil 1 beginnt bei Punkt 2, nicht beim ersten.");
  EXPECT_EQ(parse({-1}), "Ihr Teil 1 beginnt bei Punkt -1, sie hat 0 Punkte.");
}

// A layer of three holed areas, its files in memory.
struct MemLayer {
  env::MemEnv env;
  std::string shp, shx, dbf;
  MemLayer() {
    TestDir dir;
    const Drawn holed{
        SHPT_POLYGON, {0, 5}, {0, 0, 10, 10, 0, 2, 4, 4, 2, 2}, {0, 10, 10, 0, 0, 2, 2, 4, 4, 2},
        {},           {}};
    Write(dir.File("p"), SHPT_POLYGON, {holed, holed, holed});
    shp = TestDir::ReadAll(dir.File("p.shp"));
    shx = TestDir::ReadAll(dir.File("p.shx"));
    dbf = TestDir::ReadAll(dir.File("p.dbf"));
    Put(shp, shx, dbf);
  }
  void Put(const std::string& s, const std::string& x, const std::string& d) {
    env::ReplaceFile(env, "/p.shp", s);
    env::ReplaceFile(env, "/p.shx", x);
    env::ReplaceFile(env, "/p.dbf", d);
  }
  // What reading answers: the error, or the identifiers and every shape
  // the reader gives (checked to hold only the vertices they have).
  std::string Outcome() {
    std::string out;
    try {
      for (const std::string& id : ReadLayer(env, "/p.shp", "KENNUNG").ids) out += id + ",";
    } catch (const GeodataError& e) {
      out += std::string("Fehler: ") + e.what();
    }
    try {
      LayerReader reader(env, "/p.shp");
      for (size_t i = 0; i < reader.Count(); ++i) {
        try {
          const Shape s = reader.Read(i);
          out += "|" + std::to_string(s.type) + ":" + std::to_string(s.points.size());
          for (size_t p = 0; p < s.parts.size(); ++p) {
            EXPECT_TRUE(p == 0 ? s.parts[p] == 0 : s.parts[p] > s.parts[p - 1]);
            EXPECT_LT(s.parts[p], s.points.size());
            out += "/" + std::to_string(s.parts[p]);
          }
        } catch (const GeodataError& e) {
          EXPECT_NE(
              std::string(e.what()).find("Die Form " + std::to_string(i + 1) + " der Datei /p.shp"),
              std::string::npos)
              << e.what();
        }
      }
    } catch (const GeodataError&) {
    }
    return out;
  }
};

TEST(ShapeCodecTest, ALayerCutAnywhereIsRefusedOrReadWhole) {
  MemLayer layer;
  const std::string whole = layer.Outcome();
  ASSERT_EQ(whole, "R1,R2,R3,|5:10/0/5|5:10/0/5|5:10/0/5");
  for (size_t cut = 0; cut < layer.shp.size(); ++cut) {
    layer.Put(layer.shp.substr(0, cut), layer.shx, layer.dbf);
    // A main file cut short is never taken for the layer.
    EXPECT_EQ(layer.Outcome().rfind("Fehler: ", 0), 0u) << cut;
  }
  for (size_t cut = 0; cut < layer.shx.size(); ++cut) {
    layer.Put(layer.shp, layer.shx.substr(0, cut), layer.dbf);
    const std::string got = layer.Outcome();
    EXPECT_TRUE(got.rfind("Fehler: ", 0) == 0 || got == whole) << cut << got;
  }
  for (size_t cut = 0; cut < layer.dbf.size(); ++cut) {
    layer.Put(layer.shp, layer.shx, layer.dbf.substr(0, cut));
    const std::string got = layer.Outcome();
    EXPECT_TRUE(got.rfind("Fehler: ", 0) == 0 || got == whole) << cut << got;
  }
}

TEST(ShapeCodecTest, AnyByteOfTheMainFileOrIndexChangedNeverReadsBeyondIt) {
  MemLayer layer;
  for (const bool index : {false, true}) {
    const std::string& file = index ? layer.shx : layer.shp;
    for (size_t at = 0; at < file.size(); ++at) {
      for (const unsigned char value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
        std::string changed = file;
        changed[at] = static_cast<char>(value);
        layer.Put(index ? layer.shp : changed, index ? changed : layer.shx, layer.dbf);
        layer.Outcome();
      }
    }
  }
}

TEST(ShapeCodecTest, RecordsNumberedFromZeroThroughoutAreTakenMixedNumbersAreNot) {
  MemLayer layer;
  const std::string whole = layer.Outcome();
  const auto numbered = [&](const std::function<uint32_t(uint32_t)>& number) {
    std::string shp = layer.shp;
    const auto* index = reinterpret_cast<const unsigned char*>(layer.shx.data());
    for (uint32_t r = 0; 100 + 8 * (r + 1) <= layer.shx.size(); ++r) {
      const uint32_t offset = codec::Be32(index + 100 + 8 * r) * 2;
      codec::PutBe32(reinterpret_cast<unsigned char*>(shp.data()) + offset, number(r));
    }
    layer.Put(shp, layer.shx, layer.dbf);
    return layer.Outcome();
  };
  EXPECT_EQ(numbered([](uint32_t r) { return r; }), whole);
  const std::string mixed = numbered([](uint32_t r) { return r == 0 ? 0 : r + 1; });
  EXPECT_EQ(mixed.rfind("Fehler: ", 0), 0u) << mixed;
}

TEST(ShapeCodecTest, ABrokenShapeIsRefusedNamingFileShapeAndReason) {
  MemLayer layer;
  const auto refusal = [&](size_t at, uint32_t value, bool big_endian = false) {
    std::string shp = layer.shp;
    unsigned char* p = reinterpret_cast<unsigned char*>(shp.data()) + at;
    big_endian ? codec::PutBe32(p, value) : codec::PutLe32(p, static_cast<int32_t>(value));
    layer.Put(shp, layer.shx, layer.dbf);
    try {
      ReadLayer(layer.env, "/p.shp", "KENNUNG");
    } catch (const GeodataError& e) {
      return std::string(e.what());
    }
    return std::string("(angenommen)");
  };
  // The first record's content starts at 108: type, box, parts, points, starts.
  const std::string first = "Die Form 1 der Datei /p.shp kann nicht gelesen werden:\r";
  EXPECT_EQ(refusal(156, 10), first + "Ihr Teil 2 beginnt bei Punkt 10, sie hat 10 Punkte.");
  EXPECT_EQ(refusal(156, 0),
            first + "Ihr Teil 2 beginnt bei Punkt 0, nicht hinter dem Anfang des vorigen.");
  EXPECT_EQ(refusal(152, 1), first + "Ihr Teil 1 beginnt bei Punkt 1, nicht beim ersten.");
  EXPECT_EQ(refusal(148, 0x7fffffff),
            first +
                "Sie nennt 2 Teile und 2147483647 Punkte, ihr Inhalt hat dafür mit 212 "
                "Bytes nicht Platz.");
  EXPECT_EQ(refusal(108, 3), "Die Form 1 der Datei /p.shp hat einen anderen Typ als die Datei.");
  EXPECT_EQ(refusal(108, 77), first + "Ihr Typ 77 ist kein Formtyp der Shape-Dateien.");
  EXPECT_EQ(refusal(100, 2, true), first + "Der Index /p.shx zeigt auf den Datensatz 2.");
  EXPECT_EQ(refusal(0, 1234, true),
            "Die Geodaten /p.shp können nicht gelesen werden:\rSie beginnt nicht wie eine "
            "Shape-Datei (Kennung 1234 statt 9994).");
  EXPECT_EQ(refusal(32, 8), "Der Index /p.shx nennt den Formtyp 5, die Datei /p.shp 8.");

  // The index and the main file disagree on a record's length.
  std::string shx = layer.shx;
  codec::PutBe32(reinterpret_cast<unsigned char*>(shx.data()) + 100 + 8 + 4, 50);
  layer.Put(layer.shp, shx, layer.dbf);
  const std::string outcome = layer.Outcome();
  EXPECT_EQ(outcome.substr(0, outcome.find('|')),
            "Fehler: Die Form 2 der Datei /p.shp kann nicht gelesen werden:\rSie ist nach ihrem "
            "Kopf 212 Bytes lang, nach dem Index /p.shx 100.");

  // A read the system refuses names the file.
  layer.Put(layer.shp, layer.shx, layer.dbf);
  env::FaultEnv faults(layer.env);
  faults.Inject(env::Fault(env::Op::kRead, EIO).On("p.shp").After(1));
  try {
    ReadLayer(faults, "/p.shp", "KENNUNG");
    FAIL();
  } catch (const GeodataError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(first, 0), 0u) << e.what();
    EXPECT_NE(std::string(e.what()).find("/p.shp\""), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace platform::geodata
