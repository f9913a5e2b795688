// The files of the geodata exchange through the platform's own codecs
// (GeodataLayers.h): the main file and its index by ShapeCodec.h's header
// and byte helpers, the table by the dBase codec, read back by the
// platform's layer reader. The Windows build of the host has no shapelib;
// what it writes is what ShapelibLayers.cpp writes: one part per shape, an
// area's ring closed and turned clockwise as shapelib's rewind turns it.
#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

#include "hostsim/GeodataLayers.h"
#include "platform/dbase/DbfFile.h"
#include "platform/env/Env.h"
#include "platform/geodata/ShapeCodec.h"
#include "platform/geodata/ShapeFiles.h"

namespace hostsim::geodata {
namespace {

namespace codec = platform::geodata::codec;
using Bytes = std::vector<unsigned char>;

// As shapelib's rewind decides it for an outer ring: the sum over the
// vertices of x times the rise of its neighbours; above 0 the ring runs
// anticlockwise and is turned around.
void TurnClockwise(std::vector<Point>& ring) {
  const size_t n = ring.size();
  if (n < 3) return;
  double sum = ring[0].x * (ring[1].y - ring[n - 1].y);
  size_t i = 1;
  for (; i < n - 1; ++i) sum += ring[i].x * (ring[i + 1].y - ring[i - 1].y);
  sum += ring[i].x * (ring[0].y - ring[i - 1].y);
  if (sum > 0.0) std::reverse(ring.begin(), ring.end());
}

void Append(Bytes& out, size_t n) { out.resize(out.size() + n); }

// A record's content: its shape in the format's layout.
Bytes Content(int shape_type, const std::vector<Point>& points, codec::Bounds& box) {
  Bytes c;
  Append(c, 4);
  codec::PutLe32(c.data(), shape_type);
  box = codec::Bounds{};
  for (size_t i = 0; i < points.size(); ++i) {
    box.min[0] = i == 0 ? points[i].x : std::min(box.min[0], points[i].x);
    box.min[1] = i == 0 ? points[i].y : std::min(box.min[1], points[i].y);
    box.max[0] = i == 0 ? points[i].x : std::max(box.max[0], points[i].x);
    box.max[1] = i == 0 ? points[i].y : std::max(box.max[1], points[i].y);
  }
  auto put_point = [&c](const Point& p) {
    const size_t at = c.size();
    Append(c, 16);
    codec::PutLeDouble(c.data() + at, p.x);
    codec::PutLeDouble(c.data() + at + 8, p.y);
  };
  if (shape_type == kPoint) {
    put_point(points.at(0));
    return c;
  }
  const size_t at = c.size();
  Append(c, 32);
  codec::PutLeDouble(c.data() + at, box.min[0]);
  codec::PutLeDouble(c.data() + at + 8, box.min[1]);
  codec::PutLeDouble(c.data() + at + 16, box.max[0]);
  codec::PutLeDouble(c.data() + at + 24, box.max[1]);
  if (shape_type == kMultiPoint) {
    Append(c, 4);
    codec::PutLe32(c.data() + c.size() - 4, static_cast<int32_t>(points.size()));
  } else {
    Append(c, 12);
    codec::PutLe32(c.data() + c.size() - 12, 1);  // parts
    codec::PutLe32(c.data() + c.size() - 8, static_cast<int32_t>(points.size()));
    codec::PutLe32(c.data() + c.size() - 4, 0);  // the part's first vertex
  }
  for (const Point& p : points) put_point(p);
  return c;
}

void Widen(codec::Bounds& all, const codec::Bounds& box, bool first) {
  for (int i = 0; i < 2; ++i) {
    all.min[i] = first ? box.min[i] : std::min(all.min[i], box.min[i]);
    all.max[i] = first ? box.max[i] : std::max(all.max[i], box.max[i]);
  }
}

int32_t Number(const std::string& text) {
  int32_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

}  // namespace

bool WriteLayer(const std::string& shp, int shape_type, const std::vector<const GeoObject*>& objects,
                std::string& error) {
  const std::string stem = shp.substr(0, shp.size() - 4);
  platform::env::Env& env = platform::env::Env::Current();
  try {
    Bytes main(codec::kHeaderSize), index(codec::kHeaderSize);
    codec::Bounds all;
    int32_t number = 0;
    for (const GeoObject* o : objects) {
      std::vector<Point> points = o->geometry;
      if (shape_type == kPolygon && !points.empty() && !(points.front() == points.back()))
        points.push_back(points.front());
      if (shape_type == kPolygon) TurnClockwise(points);
      codec::Bounds box;
      const Bytes content = Content(shape_type, points, box);
      Widen(all, box, number == 0);
      const size_t offset = main.size();
      Append(main, codec::kRecordHeaderSize);
      codec::PutBe32(main.data() + offset, static_cast<uint32_t>(++number));
      codec::PutBe32(main.data() + offset + 4, static_cast<uint32_t>(content.size() / 2));
      main.insert(main.end(), content.begin(), content.end());
      Append(index, codec::kIndexEntrySize);
      codec::PutBe32(index.data() + index.size() - 8, static_cast<uint32_t>(offset / 2));
      codec::PutBe32(index.data() + index.size() - 4, static_cast<uint32_t>(content.size() / 2));
    }
    codec::Header header;
    header.type = shape_type;
    header.bounds = all;
    header.length = main.size();
    codec::EncodeHeader(header, main.data());
    header.length = index.size();
    codec::EncodeHeader(header, index.data());
    auto text = [](const Bytes& b) {
      return std::string_view(reinterpret_cast<const char*>(b.data()), b.size());
    };
    platform::env::ReplaceFile(env, shp, text(main));
    platform::env::ReplaceFile(env, stem + ".shx", text(index));

    const std::string dbf = stem + ".dbf";
    if (env.Stat(dbf)) platform::dbase::DbfFile::Remove(dbf, env);
    auto table = platform::dbase::DbfFile::Create(
        dbf, platform::dbase::Flavor::kDBase3,
        {{"KENNUNG", 'C', 50, 0}, {"KLASSE", 'N', 10, 0}, {"TYP", 'N', 3, 0},
         {"KARTULID", 'N', 10, 0}},
        env);
    table->BeginWrite();
    for (const GeoObject* o : objects) {
      const uint32_t rec = table->Append();
      using Cell = platform::dbase::Cell;
      table->Write(rec, 0, Cell::Text(o->kennung));
      table->Write(rec, 1, Cell::Integer(o->klasse));
      table->Write(rec, 2, Cell::Integer(o->typ));
      table->Write(rec, 3, Cell::Integer(o->id));
    }
    table->Commit();
  } catch (const std::exception& e) {
    error = "cannot write " + shp + ": " + e.what();
    return false;
  }
  return true;
}

bool ReadLayer(const std::string& shp, std::vector<LayerRecord>& records, std::string& error,
               const std::function<void(const std::string&)>& note) {
  try {
    platform::geodata::LayerReader layer(platform::env::Env::Current(), shp);
    std::vector<std::string> kennungen;
    try {
      kennungen = layer.Texts("KENNUNG");
    } catch (const platform::geodata::GeodataError&) {
      error = shp.substr(0, shp.size() - 4) + ".dbf has no field KENNUNG";
      return false;
    }
    auto numbers = [&layer](const char* field) {
      try {
        return layer.Texts(field);
      } catch (const platform::geodata::GeodataError&) {
        return std::vector<std::string>();
      }
    };
    const std::vector<std::string> klassen = numbers("KLASSE"), typen = numbers("TYP");
    for (size_t i = 0; i < layer.Count(); ++i) {
      platform::geodata::Shape shape;
      try {
        shape = layer.Read(i);
      } catch (const platform::geodata::GeodataError& e) {
        note(shp + ": shape " + std::to_string(i) + " cannot be read; skipped (" + e.what() + ")");
        continue;
      }
      LayerRecord r;
      r.kennung = kennungen[i];
      r.klasse = i < klassen.size() ? Number(klassen[i]) : 0;
      r.typ = i < typen.size() ? Number(typen[i]) : 0;
      r.shape_type = shape.type;
      r.parts = static_cast<int>(std::max<size_t>(shape.parts.size(), 1));
      const size_t end = shape.parts.size() > 1 ? shape.parts[1] : shape.points.size();
      for (size_t v = 0; v < end; ++v) r.points.push_back({shape.points[v].x, shape.points[v].y});
      records.push_back(std::move(r));
    }
  } catch (const std::exception& e) {
    error = "cannot read " + shp + ": " + e.what();
    return false;
  }
  return true;
}

}  // namespace hostsim::geodata
