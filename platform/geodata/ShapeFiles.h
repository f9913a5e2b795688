// Shapefile layers (a .shp with its index .shx and its attribute table
// .dbf) read and copied by the platform's own codec (ShapeCodec.h for the
// main file and index, the dBase codec for the table), every byte through
// the Env: a package's geodata is checked shape by shape before anything of
// it is taken, and a copy of a layer can leave records out without touching
// the shapes and attribute records it keeps.
//
// Errors are GeodataError in German, naming the file and, where there is
// one, the record (counted from 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env/Env.h"

namespace platform::geodata {

class GeodataError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ShapeLayer {
  std::string shp;  // the path of the .shp
  int shape_type = 0;
  // The text of the identifying field of each record, in record order,
  // without the blanks dBase pads with, converted from the Windows code
  // page to UTF-8.
  std::vector<std::string> ids;
  // The whole number of the class field of each record (0 where it is
  // blank), when a class field was asked for and the table has it.
  std::vector<int32_t> classes;
};

// Reads every shape of the layer through its index, and the identifying
// field of each record of the attribute table. The layer is whole when all
// of it can be read and index, shapes and table agree in number. Throws
// GeodataError otherwise: the .shx or .dbf missing, a shape cut short or
// unreadable, more shapes than records or the other way round, no field
// `id_field`.
ShapeLayer ReadLayer(env::Env& env, const std::string& shp, std::string_view id_field,
                     std::string_view class_field = {});

// A vertex of a shape.
struct Point {
  double x = 0;
  double y = 0;
};

// One shape as its vertices. A line or an area may have several parts, each
// beginning at an index of `points`; a point or a multipoint has one.
struct Shape {
  int type = 0;  // the record's shape type as the format numbers it; 0 for a null shape
  std::vector<Point> points;
  std::vector<size_t> parts;
};

// What a shape type draws: nothing (a null shape, or a type no host
// writes), points, a line or an area; the measured and 3D variants as the
// plain ones.
enum class Form { kNone, kPoints, kLine, kArea };
Form FormOf(int shape_type);

// A layer read shape by shape, so that one of a hundred thousand shapes
// never stands in memory whole; the attribute table's fields are read whole
// when asked for. Opening checks what ReadLayer checks of the files: all
// three there as regular files, the main file and the table as long as
// their headers say, as many shapes as records. Every method throws
// GeodataError naming the file (and the record) that cannot be read.
class LayerReader {
 public:
  LayerReader(env::Env& env, const std::string& shp);
  ~LayerReader();
  LayerReader(const LayerReader&) = delete;
  LayerReader& operator=(const LayerReader&) = delete;

  const std::string& Path() const { return shp_; }
  size_t Count() const { return count_; }

  // The text of `field` in every record, as ShapeLayer::ids holds it;
  // throws when the table has no such field.
  std::vector<std::string> Texts(std::string_view field);
  // The shape of a record, counted from 0.
  Shape Read(size_t record);

 private:
  struct Handles;
  env::Env& env_;
  std::string shp_;
  size_t count_ = 0;
  std::unique_ptr<Handles> handles_;
};

// Writes the layer `to` (a .shp path; its .shx and .dbf beside it, and a
// copy of the .prj and .cpg of `from` when there are any) with the records
// of `from` for which keep(record, counted from 0) answers true: shapes and
// attribute records as they are. Throws GeodataError naming the file that
// could not be read or written.
void CopyLayer(env::Env& env, const std::string& from, const std::string& to,
               const std::function<bool(size_t record)>& keep);

// The files of a layer beside its .shp that CopyLayer carries over as they
// are, by extension.
inline constexpr std::string_view kCompanionFiles[] = {".prj", ".cpg"};

}  // namespace platform::geodata
