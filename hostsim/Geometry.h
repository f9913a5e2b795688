// Geometry facts and the stored text form of an object's geometry.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/ktapi32.h"
#include "hostsim/HostModel.h"

namespace hostsim {

// "x y,x y,...", every number written so that it reads back exactly.
std::string GeometryToText(const std::vector<Point>& points);
// nullopt for text that is no list of coordinate pairs.
std::optional<std::vector<Point>> GeometryFromText(std::string_view text);

// The draw types an object can be stored with (no tool modes like ktGrid).
bool IsObjectDrawTyp(int typ);
// Empty when the vertices fit the draw type, else what is wrong.
std::string CheckGeometry(TDrawTyp typ, const std::vector<Point>& points);

// Area of a ring (ktFlaeche), 0 for every other type.
double AreaOf(TDrawTyp typ, const std::vector<Point>& points);
// The reference point: a point itself, the centroid of an area, the mean of
// the vertices otherwise; (0, 0) without geometry.
Point ReferencePoint(TDrawTyp typ, const std::vector<Point>& points);

// "point", "area", ... or the number; nullopt when unknown.
std::optional<TDrawTyp> DrawTypByName(std::string_view name);
std::string DrawTypName(TDrawTyp typ);

// A number in its shortest exact text form.
std::string NumberText(double value);

}  // namespace hostsim
