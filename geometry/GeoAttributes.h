// Copies geometric facts of the active object into its attribute row of
// "linfos": the coordinates (rounded to whole numbers, halves to even) and
// the area (as the host's general number text in the user's locale). The
// coordinates are taken as the host reports them; nothing is transformed.
#pragma once

#include <string>

namespace GeoAttributes {

void SetETRS89();
void SetGaussKrueger();
void AfterPasteData();

// A coordinate as its attribute text: rounded half to even, decimal digits,
// a minus sign when negative, no grouping.
std::string CoordinateText(double value);

}  // namespace GeoAttributes
