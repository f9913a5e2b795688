// Fuzz target for the picture loader: whatever the bytes, it must answer
// with a picture or a German reason, never crash, hang or take memory beyond
// its caps, and a picture it accepts must have a preview of the shape it
// reports. The bytes are read both from memory and, a block at a time, as a
// file of an in-memory Env: nothing is written to disk.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/env/MemEnv.h"
#include "platform/ui/Jpeg.h"

namespace {

void Check(const platform::ui::JpegPicture& picture) {
  using platform::ui::kJpegPreviewSize;
  if (!picture.ok) {
    if (picture.error.empty() || !picture.preview.empty()) std::abort();
    return;
  }
  if (picture.width <= 0 || picture.height <= 0 || picture.preview_width <= 0 ||
      picture.preview_height <= 0 || picture.preview_width > kJpegPreviewSize ||
      picture.preview_height > kJpegPreviewSize ||
      picture.preview.size() != static_cast<size_t>(picture.preview_width) *
                                    static_cast<size_t>(picture.preview_height)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const platform::ui::JpegPicture from_memory = platform::ui::DecodeJpeg(data, size, "f.jpg");
  Check(from_memory);
  platform::env::MemEnv env;
  env.Open("/f.jpg", platform::env::OpenMode::kTruncate)->WriteAt(0, data, size);
  const platform::ui::JpegPicture from_file = platform::ui::ReadJpeg(env, "/f.jpg");
  Check(from_file);
  // One source or the other: the same answer.
  if (from_memory.ok != from_file.ok || from_memory.width != from_file.width) std::abort();
  return 0;
}
