#include "platform/geodata/ShapeCodec.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace platform::geodata::codec {
namespace {

std::string Num(uint64_t v) {
  return std::to_string(v);
}

// The content a record of `type` has at least (its optional measures left
// out), given its counts.
struct Layout {
  bool has_box = false;     // a box of x and y before the counts
  bool has_parts = false;   // a part count and part starts
  bool part_types = false;  // a multipatch's type of each part
  bool has_z = false;
  bool has_m = false;   // measures may follow
  bool single = false;  // one point, no counts
};

Layout LayoutOf(int type) {
  Layout l;
  switch (type) {
    case kPoint:
      l.single = true;
      break;
    case kPointM:
      l.single = l.has_m = true;
      break;
    case kPointZ:
      l.single = l.has_z = l.has_m = true;
      break;
    case kMultiPoint:
      l.has_box = true;
      break;
    case kMultiPointM:
      l.has_box = l.has_m = true;
      break;
    case kMultiPointZ:
      l.has_box = l.has_z = l.has_m = true;
      break;
    case kArc:
    case kPolygon:
      l.has_box = l.has_parts = true;
      break;
    case kArcM:
    case kPolygonM:
      l.has_box = l.has_parts = l.has_m = true;
      break;
    case kArcZ:
    case kPolygonZ:
      l.has_box = l.has_parts = l.has_z = l.has_m = true;
      break;
    case kMultiPatch:
      l.has_box = l.has_parts = l.part_types = l.has_z = l.has_m = true;
      break;
    default:
      break;
  }
  return l;
}

void ReadDoubles(const unsigned char* p, size_t n, std::vector<double>& into) {
  into.resize(n);
  for (size_t i = 0; i < n; ++i) into[i] = LeDouble(p + 8 * i);
}

}  // namespace

bool IsKnownType(int type) {
  switch (type) {
    case kNull:
    case kPoint:
    case kArc:
    case kPolygon:
    case kMultiPoint:
    case kPointZ:
    case kArcZ:
    case kPolygonZ:
    case kMultiPointZ:
    case kPointM:
    case kArcM:
    case kPolygonM:
    case kMultiPointM:
    case kMultiPatch:
      return true;
    default:
      return false;
  }
}

uint32_t Be32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

int32_t Le32(const unsigned char* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

void PutBe32(unsigned char* p, uint32_t v) {
  for (int i = 3; i >= 0; --i, v >>= 8) p[i] = static_cast<unsigned char>(v);
}

void PutLe32(unsigned char* p, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i, u >>= 8) p[i] = static_cast<unsigned char>(u);
}

void PutLeDouble(unsigned char* p, double v) {
  uint64_t bits = std::bit_cast<uint64_t>(v);
  for (int i = 0; i < 8; ++i, bits >>= 8) p[i] = static_cast<unsigned char>(bits);
}

Header ParseHeader(const unsigned char bytes[kHeaderSize]) {
  const int32_t code = static_cast<int32_t>(Be32(bytes));
  if (code != kFileCode) {
    throw FormatError("Sie beginnt nicht wie eine Shape-Datei (Kennung " + std::to_string(code) +
                      " statt " + std::to_string(kFileCode) + ").");
  }
  Header h;
  h.length = static_cast<uint64_t>(Be32(bytes + 24)) * 2;
  h.type = Le32(bytes + 32);
  if (!IsKnownType(h.type)) {
    throw FormatError("Ihr Kopf nennt den Formtyp " + std::to_string(h.type) +
                      ", den es nicht gibt.");
  }
  for (int i = 0; i < 2; ++i) {
    h.bounds.min[i] = LeDouble(bytes + 36 + 8 * i);
    h.bounds.max[i] = LeDouble(bytes + 52 + 8 * i);
    h.bounds.min[i + 2] = LeDouble(bytes + 68 + 16 * i);
    h.bounds.max[i + 2] = LeDouble(bytes + 76 + 16 * i);
  }
  return h;
}

void EncodeHeader(const Header& header, unsigned char bytes[kHeaderSize]) {
  std::memset(bytes, 0, kHeaderSize);
  PutBe32(bytes, kFileCode);
  PutBe32(bytes + 24, static_cast<uint32_t>(header.length / 2));
  PutLe32(bytes + 28, kVersion);
  PutLe32(bytes + 32, header.type);
  for (int i = 0; i < 2; ++i) {
    PutLeDouble(bytes + 36 + 8 * i, header.bounds.min[i]);
    PutLeDouble(bytes + 52 + 8 * i, header.bounds.max[i]);
    PutLeDouble(bytes + 68 + 16 * i, header.bounds.min[i + 2]);
    PutLeDouble(bytes + 76 + 16 * i, header.bounds.max[i + 2]);
  }
}

Record ParseRecord(const unsigned char* content, size_t length) {
  if (length < 4) {
    throw FormatError("Ihr Inhalt ist " + Num(length) + " Bytes lang, zu kurz für ihren Typ.");
  }
  Record r;
  r.shape.type = Le32(content);
  if (r.shape.type == kNull) return r;
  if (!IsKnownType(r.shape.type)) {
    throw FormatError("Ihr Typ " + std::to_string(r.shape.type) +
                      " ist kein Formtyp der Shape-Dateien.");
  }
  const Layout l = LayoutOf(r.shape.type);
  const auto too_short = [&] {
    return FormatError("Ihr Inhalt ist mit " + Num(length) + " Bytes zu kurz für ihren Typ " +
                       std::to_string(r.shape.type) + ".");
  };
  uint64_t at = 4;
  uint64_t points = 1;
  uint64_t parts = 0;
  if (!l.single) {
    at += l.has_box ? 32 : 0;
    const uint64_t counts = l.has_parts ? 8 : 4;
    if (length < at + counts) throw too_short();
    int32_t n_parts = 0;
    if (l.has_parts) {
      n_parts = Le32(content + at);
      at += 4;
    }
    const int32_t n_points = Le32(content + at);
    at += 4;
    if (n_parts < 0 || n_points < 0) {
      throw FormatError("Sie nennt " + std::to_string(n_parts) + " Teile und " +
                        std::to_string(n_points) + " Punkte.");
    }
    parts = static_cast<uint64_t>(n_parts);
    points = static_cast<uint64_t>(n_points);
  }
  // All counts are below 2^31, so none of these sums can overflow.
  const uint64_t starts_at = at;
  at += parts * 4 * (l.part_types ? 2 : 1);
  const uint64_t xy_at = at;
  at += points * 16;
  uint64_t z_at = 0;
  if (l.has_z) {
    z_at = at + (l.single ? 0 : 16);
    at = z_at + points * 8;
  }
  if (length < at) {
    if (l.single) throw too_short();
    throw FormatError("Sie nennt " + Num(parts) + " Teile und " + Num(points) +
                      " Punkte, ihr Inhalt hat dafür mit " + Num(length) + " Bytes nicht Platz.");
  }
  uint64_t m_at = 0;
  const uint64_t m_end = at + (l.single ? 0 : 16) + points * 8;
  if (l.has_m && length >= m_end) m_at = m_end - points * 8;

  r.shape.points.resize(points);
  for (uint64_t i = 0; i < points; ++i) {
    r.shape.points[i] = {LeDouble(content + xy_at + 16 * i),
                         LeDouble(content + xy_at + 16 * i + 8)};
  }
  if (l.has_z) ReadDoubles(content + z_at, points, r.z);
  if (m_at) ReadDoubles(content + m_at, points, r.m);
  if (l.has_parts) {
    r.shape.parts.resize(parts);
    for (uint64_t i = 0; i < parts; ++i) {
      const int32_t start = Le32(content + starts_at + 4 * i);
      // A line or area without points still names its one part, starting
      // at 0: shapelib writes an empty one so and reads it back, and so do
      // the host's writers. Only a part that points into points it has
      // not is beyond them.
      const bool beyond = start < 0 || (points > 0 && static_cast<uint64_t>(start) >= points);
      const bool misplaced =
          i == 0 ? start != 0 : static_cast<size_t>(start) <= r.shape.parts[i - 1];
      if (beyond || misplaced) {
        const std::string which =
            "Ihr Teil " + Num(i + 1) + " beginnt bei Punkt " + std::to_string(start);
        if (beyond) throw FormatError(which + ", sie hat " + Num(points) + " Punkte.");
        if (i == 0) throw FormatError(which + ", nicht beim ersten.");
        throw FormatError(which + ", nicht hinter dem Anfang des vorigen.");
      }
      r.shape.parts[i] = static_cast<size_t>(start);
    }
    // Without points the parts begin nowhere: the shape is empty, as one
    // written without parts is.
    if (points == 0) r.shape.parts.clear();
  }
  if (r.shape.parts.empty() && !r.shape.points.empty()) r.shape.parts.push_back(0);
  return r;
}

void Widen(Bounds& bounds, const Record& record, bool first) {
  const std::vector<Point>& pts = record.shape.points;
  const auto vertex = [&](size_t i, double out[4]) {
    out[0] = pts[i].x;
    out[1] = pts[i].y;
    out[2] = i < record.z.size() ? record.z[i] : 0;
    out[3] = i < record.m.size() ? record.m[i] : 0;
  };
  double v[4];
  if (first) {
    bounds = Bounds();
    if (!pts.empty()) {
      vertex(0, v);
      std::copy(v, v + 4, bounds.min);
      std::copy(v, v + 4, bounds.max);
    }
  }
  for (size_t i = 0; i < pts.size(); ++i) {
    vertex(i, v);
    for (int k = 0; k < 4; ++k) {
      bounds.min[k] = std::min(bounds.min[k], v[k]);
      bounds.max[k] = std::max(bounds.max[k], v[k]);
    }
  }
}

}  // namespace platform::geodata::codec
