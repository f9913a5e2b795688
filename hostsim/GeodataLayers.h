// The two ends of the host's geodata exchange that touch the files: one
// shapefile layer written from objects, and one read back as records.
// Geodata.cpp does the rest (which layers, which objects, what is taken in)
// the same for both builds; ShapelibLayers.cpp writes and reads through
// shapelib (Linux), CodecLayers.cpp through the platform's own shapefile
// and dBase codecs (Windows, which has no shapelib).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hostsim/Project.h"

namespace hostsim::geodata {

// Shape types as the format numbers them.
inline constexpr int kPolygon = 5;
inline constexpr int kArc = 3;
inline constexpr int kPoint = 1;
inline constexpr int kMultiPoint = 8;

// One record of a layer as read: its identifier (UTF-8, without the blanks
// dBase pads with), class and TYP fields (0 when blank or missing), the
// record's shape type and the vertices of its first part.
struct LayerRecord {
  std::string kennung;
  int32_t klasse = 0;
  int typ = 0;
  int shape_type = 0;
  int parts = 0;
  std::vector<Point> points;
};

// Writes `shp` (with its .shx and .dbf: KENNUNG C 50 in ANSI, KLASSE N 10,
// TYP N 3, KARTULID N 10) of the given shape type, one record per object;
// an area's ring is closed and runs clockwise. False with `error` when a
// file cannot be written.
bool WriteLayer(const std::string& shp, int shape_type, const std::vector<const GeoObject*>& objects,
                std::string& error);
// Reads every record of `shp`; a record that cannot be read is left out
// with a note. False with `error` when the layer cannot be opened or its
// table lacks KENNUNG.
bool ReadLayer(const std::string& shp, std::vector<LayerRecord>& records, std::string& error,
               const std::function<void(const std::string&)>& note);

}  // namespace hostsim::geodata
