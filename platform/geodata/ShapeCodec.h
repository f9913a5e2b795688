// The ESRI shapefile main file (.shp) and its index (.shx) as bytes, without
// any I/O: the 100-byte header both share, the record header and the
// record's shape. ShapeFiles.cpp reads and writes the bytes through the Env;
// everything here works on buffers it is handed, so that it can be tested
// and fuzzed on its own.
//
// The header mixes byte orders: the file code and the length (in 16-bit
// words) are big-endian, the version, the shape type and the bounds
// little-endian; so are a record header (big-endian number and length) and
// its content (little-endian). Every count a record names is checked against
// the record's length before anything is allocated for it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/geodata/ShapeFiles.h"

namespace platform::geodata::codec {

// A record or header that is no shape: the German sentence (with its full
// stop) that says why. The caller names the file and the record.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum ShapeType : int {
  kNull = 0,
  kPoint = 1,
  kArc = 3,
  kPolygon = 5,
  kMultiPoint = 8,
  kPointZ = 11,
  kArcZ = 13,
  kPolygonZ = 15,
  kMultiPointZ = 18,
  kPointM = 21,
  kArcM = 23,
  kPolygonM = 25,
  kMultiPointM = 28,
  kMultiPatch = 31,
};
bool IsKnownType(int type);

inline constexpr size_t kHeaderSize = 100;
inline constexpr size_t kRecordHeaderSize = 8;
inline constexpr size_t kIndexEntrySize = 8;
inline constexpr int32_t kFileCode = 9994;
inline constexpr int32_t kVersion = 1000;

uint32_t Be32(const unsigned char* p);
int32_t Le32(const unsigned char* p);
// Inline: a layer's reading is mostly this.
inline double LeDouble(const unsigned char* p) {
  uint64_t bits;
  std::memcpy(&bits, p, sizeof bits);
  if constexpr (std::endian::native == std::endian::big) {
    uint64_t swapped = 0;
    for (int i = 0; i < 8; ++i, bits >>= 8) swapped = swapped << 8 | (bits & 0xFF);
    bits = swapped;
  }
  return std::bit_cast<double>(bits);
}
void PutBe32(unsigned char* p, uint32_t v);
void PutLe32(unsigned char* p, int32_t v);
void PutLeDouble(unsigned char* p, double v);

// x, y, z and m, each from min to max.
struct Bounds {
  double min[4] = {0, 0, 0, 0};
  double max[4] = {0, 0, 0, 0};
};

struct Header {
  uint64_t length = 0;  // of the whole file in bytes, as the header says
  int type = kNull;
  Bounds bounds;
};

// Throws FormatError when the file code is not the shapefile's or the type
// is unknown.
Header ParseHeader(const unsigned char bytes[kHeaderSize]);
void EncodeHeader(const Header& header, unsigned char bytes[kHeaderSize]);

// A record's content: the shape, and the heights and measures of its
// vertices where the type has them (m empty when the record leaves its
// optional measures out).
struct Record {
  Shape shape;
  std::vector<double> z;
  std::vector<double> m;
};

// Parses a record's content (behind its header, `length` bytes). Throws
// FormatError when it is cut short, names more parts or points than it
// holds, or its parts do not start at 0 and grow within the points. A line
// or area without points may name parts (shapelib writes its one part at
// 0); it is read as an empty shape, without parts.
Record ParseRecord(const unsigned char* content, size_t length);

// Widens the bounds of a file by a record's vertices; the first record of a
// file sets them (to 0 when it has no vertex), as other writers do.
void Widen(Bounds& bounds, const Record& record, bool first);

}  // namespace platform::geodata::codec
