// The layer's shapes through shapelib (Shapes.h), which opens and reads the
// files by their paths itself; the Env is not asked.
#include <shapefil.h>

#include "vandrasim/Shapes.h"

namespace vandrasim {
namespace {

class ShapelibFile : public ShapeFile {
 public:
  explicit ShapelibFile(SHPHandle handle) : handle_(handle) {
    int count = 0;
    SHPGetInfo(handle_, &count, nullptr, nullptr, nullptr);
    count_ = count > 0 ? static_cast<size_t>(count) : 0;
  }
  ~ShapelibFile() override { SHPClose(handle_); }
  ShapelibFile(const ShapelibFile&) = delete;
  ShapelibFile& operator=(const ShapelibFile&) = delete;

  size_t Count() const override { return count_; }

  ShapeState Read(size_t index) override {
    SHPObject* shape = SHPReadObject(handle_, static_cast<int>(index));
    if (!shape) return ShapeState::kUnreadable;
    const ShapeState state = shape->nSHPType == SHPT_NULL ? ShapeState::kNull
                             : shape->nVertices < 1       ? ShapeState::kNoPoints
                                                          : ShapeState::kWithPoints;
    SHPDestroyObject(shape);
    return state;
  }

 private:
  SHPHandle handle_;
  size_t count_ = 0;
};

}  // namespace

std::unique_ptr<ShapeFile> ShapeFile::Open(platform::env::Env&, const std::string& shp) {
  SHPHandle handle = SHPOpen(shp.c_str(), "rb");
  if (!handle) return nullptr;
  return std::make_unique<ShapelibFile>(handle);
}

}  // namespace vandrasim
