#include "geometry/GeoAttributes.h"

#include <cmath>
#include <cstdio>

#include "host/HostApi.h"
#include "host/Tools.h"
#include "platform/text/Formats.h"

namespace GeoAttributes {
namespace {

constexpr std::string_view kLinfos = "linfos";

struct Position {
  double easting;
  double northing;
};

Position ActivePosition() {
  const int32_t id = host::ActiveObject();
  host::EnsureData(id);
  return {host::ObjectEasting(id), host::ObjectNorthing(id)};
}

}  // namespace

std::string CoordinateText(double value) {
  if (!std::isfinite(value)) return {};
  // Adding 0.0 turns a rounded -0 into 0, which is no negative number.
  const double rounded = platform::text::RoundHalfEven(value) + 0.0;
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.0f", rounded);
  return buffer;
}

// A position the host cannot give (no geometry, a broken one) is none: the
// columns keep what they held rather than being cleared.
void SetETRS89() {
  const Position position = ActivePosition();
  if (std::isfinite(position.easting) && std::isfinite(position.northing)) {
    Tools::MySetValueByName(kLinfos, "UTM_East", CoordinateText(position.easting));
    Tools::MySetValueByName(kLinfos, "UTM_North", CoordinateText(position.northing));
  }
  host::PostRecord(kLinfos);
}

void SetGaussKrueger() {
  // The Gauss-Krüger northing has no attribute of its own in "linfos".
  const Position position = ActivePosition();
  if (std::isfinite(position.easting)) {
    Tools::MySetValueByName(kLinfos, "GK_RW", CoordinateText(position.easting));
  }
  host::PostRecord(kLinfos);
}

void AfterPasteData() {
  SetGaussKrueger();
  SetETRS89();
  const double area = host::ObjectArea(host::ActiveObject());
  if (std::isfinite(area)) {
    Tools::MySetValueByName(kLinfos, "FLAECHE", platform::text::FloatToStr(area));
  }
  host::PostRecord(kLinfos);
}

}  // namespace GeoAttributes
