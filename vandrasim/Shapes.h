// The shapes of one geodata layer as the package check looks at them: how
// many there are, and whether each can be read and has points. Which reader
// does it depends on the platform: on Linux shapelib (ShapelibShapes.cpp),
// a reader the plug-in does not use, so that what the plug-in and the host
// write is held to another program's reading; on Windows, which has no
// shapelib, the platform's shapefile codec (CodecShapes.cpp), reading
// through the Env. Both read every shape a writer makes alike (a null shape,
// an area or line with its one part and no point, a multipoint without
// points); a damaged record is unreadable to both, or read by one as a shape
// the other refuses, and is a finding either way.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/env/Env.h"

namespace vandrasim {

enum class ShapeState {
  kUnreadable,   // the record is damaged, cut short or beyond the file
  kNull,         // a null shape: it draws nothing, and says so
  kNoPoints,     // a point, line or area without a single point
  kWithPoints,   // a shape with at least one point
};

// One layer's main file (.shp) and index (.shx), open for reading.
class ShapeFile {
 public:
  // Nothing when the main file or its index cannot be opened or its header
  // is no shapefile's. The index is the one beside `shp` under the same
  // name, found without regard to the case of its extension.
  static std::unique_ptr<ShapeFile> Open(platform::env::Env& env, const std::string& shp);
  virtual ~ShapeFile() = default;

  // How many shapes the index lists.
  virtual size_t Count() const = 0;
  // The shape `index` (from 0, below Count()).
  virtual ShapeState Read(size_t index) = 0;
};

}  // namespace vandrasim
