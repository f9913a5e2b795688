// Geometry of host objects: stored text form, validity per draw type, area
// and reference point.
#include "hostsim/Geometry.h"

#include <charconv>
#include <cmath>

namespace hostsim {

std::string NumberText(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string GeometryToText(const std::vector<Point>& points) {
  std::string out;
  for (const Point& p : points) {
    if (!out.empty()) out += ',';
    out += NumberText(p.x) + ' ' + NumberText(p.y);
  }
  return out;
}

std::optional<std::vector<Point>> GeometryFromText(std::string_view text) {
  std::vector<Point> points;
  const char* pos = text.data();
  const char* end = text.data() + text.size();
  auto skip_blanks = [&] {
    while (pos < end && (*pos == ' ' || *pos == '\t')) ++pos;
  };
  auto number = [&](double& v) {
    skip_blanks();
    auto r = std::from_chars(pos, end, v);
    if (r.ec != std::errc() || !std::isfinite(v)) return false;
    pos = r.ptr;
    return true;
  };
  skip_blanks();
  if (pos == end) return points;
  while (true) {
    Point p;
    if (!number(p.x) || !number(p.y)) return std::nullopt;
    points.push_back(p);
    skip_blanks();
    if (pos == end) break;
    if (*pos != ',') return std::nullopt;
    ++pos;
  }
  return points;
}

bool IsObjectDrawTyp(int typ) {
  return typ >= ktMultiPoint && typ <= ktSinglePoint;
}

std::string CheckGeometry(TDrawTyp typ, const std::vector<Point>& points) {
  switch (typ) {
    case ktSinglePoint:
    case ktDecoText:
      return points.size() == 1 ? "" : "a point takes exactly one coordinate pair";
    case ktMultiPoint:
      return points.empty() ? "a multipoint takes at least one coordinate pair" : "";
    case ktLinie:
    case ktDecoLinie:
      return points.size() >= 2 ? "" : "a line takes at least two coordinate pairs";
    case ktFlaeche:
      return points.size() >= 3 ? "" : "an area takes at least three coordinate pairs";
    default:
      return "draw type " + std::to_string(typ) + " is no kind of object";
  }
}

namespace {
double SignedArea(const std::vector<Point>& ring) {
  double sum = 0;
  for (size_t i = 0; i < ring.size(); ++i) {
    const Point& a = ring[i];
    const Point& b = ring[(i + 1) % ring.size()];
    sum += a.x * b.y - b.x * a.y;
  }
  return sum / 2;
}
}  // namespace

double AreaOf(TDrawTyp typ, const std::vector<Point>& points) {
  if (typ != ktFlaeche || points.size() < 3) return 0;
  return std::fabs(SignedArea(points));
}

Point ReferencePoint(TDrawTyp typ, const std::vector<Point>& points) {
  if (points.empty()) return {};
  if (typ == ktFlaeche && points.size() >= 3) {
    double a = SignedArea(points);
    if (a != 0) {
      double cx = 0, cy = 0;
      for (size_t i = 0; i < points.size(); ++i) {
        const Point& p = points[i];
        const Point& q = points[(i + 1) % points.size()];
        double f = p.x * q.y - q.x * p.y;
        cx += (p.x + q.x) * f;
        cy += (p.y + q.y) * f;
      }
      return {cx / (6 * a), cy / (6 * a)};
    }
  }
  Point sum;
  for (const Point& p : points) {
    sum.x += p.x;
    sum.y += p.y;
  }
  return {sum.x / static_cast<double>(points.size()), sum.y / static_cast<double>(points.size())};
}

namespace {
struct TypName {
  const char* name;
  TDrawTyp typ;
};
constexpr TypName kTypNames[] = {
    {"multipoint", ktMultiPoint}, {"line", ktLinie},         {"area", ktFlaeche},
    {"text", ktDecoText},         {"decoline", ktDecoLinie}, {"point", ktSinglePoint},
};
}  // namespace

std::optional<TDrawTyp> DrawTypByName(std::string_view name) {
  for (const auto& t : kTypNames)
    if (name == t.name) return t.typ;
  int value = 0;
  auto r = std::from_chars(name.data(), name.data() + name.size(), value);
  if (r.ec == std::errc() && r.ptr == name.data() + name.size() && value >= 0 && value <= 255)
    return static_cast<TDrawTyp>(value);
  return std::nullopt;
}

std::string DrawTypName(TDrawTyp typ) {
  for (const auto& t : kTypNames)
    if (t.typ == typ) return t.name;
  return std::to_string(typ);
}

}  // namespace hostsim
