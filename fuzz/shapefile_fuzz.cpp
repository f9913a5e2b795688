// Fuzz target for the shapefile reader and writer. The input is a layer's
// index and main file: two bytes (little-endian) give the length of the
// .shx part, the rest is the .shp. Its table is made whole beside them, with
// as many records as the index names (at most 64), so that most inputs get
// past the count and reach every shape. Whatever the bytes, reading answers
// with shapes or a GeodataError, never crashes, hangs or reads beyond them.
// The files live in an in-memory Env of their own for each input.
//
// Beyond not crashing (a broken promise aborts the run):
// - a layer read whole has one identifier per shape of its index;
// - every shape's parts start at its first vertex and grow within its
//   vertices;
// - a copy of a layer whose every shape reads (and has the file's type) is
//   read back as the same shapes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dbase/DbfFile.h"
#include "platform/env/MemEnv.h"
#include "platform/geodata/ShapeCodec.h"
#include "platform/geodata/ShapeFiles.h"

namespace {

namespace geodata = platform::geodata;

void Require(bool ok, const char* promise) {
  if (ok) return;
  std::fprintf(stderr, "broken promise: %s\n", promise);
  std::abort();
}

void WriteFile(platform::env::Env& env, const std::string& path, const uint8_t* data, size_t size) {
  env.Open(path, platform::env::OpenMode::kTruncate)->WriteAt(0, data, size);
}

// The shapes of a layer, or nothing when one cannot be read.
std::vector<geodata::Shape> Shapes(platform::env::Env& env, const std::string& shp, bool& whole) {
  std::vector<geodata::Shape> shapes;
  whole = false;
  try {
    geodata::LayerReader reader(env, shp);
    whole = true;
    for (size_t i = 0; i < reader.Count(); ++i) {
      try {
        shapes.push_back(reader.Read(i));
        const geodata::Shape& s = shapes.back();
        for (size_t p = 0; p < s.parts.size(); ++p) {
          Require(p == 0 ? s.parts[p] == 0 : s.parts[p] > s.parts[p - 1], "parts grow from 0");
          Require(s.parts[p] < s.points.size(), "parts within the vertices");
        }
      } catch (const geodata::GeodataError&) {
        whole = false;
      }
    }
  } catch (const geodata::GeodataError&) {
  }
  return shapes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t shx_size = std::min<size_t>(data[0] | data[1] << 8, size - 2);
  const uint8_t* shx = data + 2;
  const uint8_t* shp = shx + shx_size;
  const size_t shp_size = size - 2 - shx_size;

  platform::env::MemEnv env;
  WriteFile(env, "/p.shx", shx, shx_size);
  WriteFile(env, "/p.shp", shp, shp_size);
  size_t records = 0;
  if (shx_size >= geodata::codec::kHeaderSize) {
    const uint64_t length = static_cast<uint64_t>(geodata::codec::Be32(shx + 24)) * 2;
    if (length >= geodata::codec::kHeaderSize) records = (length - geodata::codec::kHeaderSize) / 8;
  }
  records = std::min<size_t>(records, 64);
  {
    auto table = platform::dbase::DbfFile::Create("/p.dbf", platform::dbase::Flavor::kDBase3,
                                                  {{"KENNUNG", 'C', 10, 0}}, env);
    table->BeginWrite();
    for (size_t i = 0; i < records; ++i) {
      table->Write(table->Append(), 0, platform::dbase::Cell::Text("R" + std::to_string(i)));
    }
    table->Commit();
  }

  try {
    const geodata::ShapeLayer layer = geodata::ReadLayer(env, "/p.shp", "KENNUNG");
    Require(layer.ids.size() == records, "one identifier per shape");
  } catch (const geodata::GeodataError&) {
  }
  bool whole = false;
  const std::vector<geodata::Shape> shapes = Shapes(env, "/p.shp", whole);
  if (!whole) return 0;
  try {
    geodata::CopyLayer(env, "/p.shp", "/kopie.shp", [](size_t) { return true; });
  } catch (const geodata::GeodataError&) {
    return 0;  // a shape of another type than its file's
  }
  bool copied = false;
  const std::vector<geodata::Shape> again = Shapes(env, "/kopie.shp", copied);
  Require(copied && again.size() == shapes.size(), "a copy reads whole");
  for (size_t i = 0; i < shapes.size(); ++i) {
    Require(again[i].type == shapes[i].type && again[i].parts == shapes[i].parts &&
                again[i].points.size() == shapes[i].points.size(),
            "a copy keeps the shapes");
    for (size_t v = 0; v < shapes[i].points.size(); ++v) {
      // Compared as bits: a NaN is copied as it is.
      Require(std::memcmp(&again[i].points[v], &shapes[i].points[v], sizeof(geodata::Point)) == 0,
              "a copy keeps the vertices");
    }
  }
  return 0;
}
