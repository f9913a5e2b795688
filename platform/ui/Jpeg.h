// Reading JPEG pictures for the picture controls: the header first, so that a
// picture whose size no dialog could hold is refused before a byte of it is
// decoded, then the picture decoded scaled down to a small preview. A file
// that does not decode to the end is no picture: a truncated file, an empty
// one, another format under a .jpg name, a damaged stream. Memory stays
// bounded whatever the file claims: the pixel count is checked against
// kMaxJpegPixels before decoding, libjpeg's own allocations are capped, and
// the preview is at most kJpegPreviewSize pixels on its longer side.
//
// Files are read through the platform seam (Env), a block at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/env/Env.h"

namespace platform::ui {

// The largest picture taken: 100 million pixels (a 10,000 x 10,000 photo).
inline constexpr uint64_t kMaxJpegPixels = 100'000'000;
// The longer side of the preview, in pixels.
inline constexpr int kJpegPreviewSize = 64;

struct JpegPicture {
  bool ok = false;
  // Why the file is no picture, in German, naming the file; empty when ok.
  std::string error;
  int width = 0;  // of the picture as stored
  int height = 0;
  // The preview: grey values, row by row, preview_width x preview_height.
  int preview_width = 0;
  int preview_height = 0;
  std::vector<uint8_t> preview;
};

// Reads and decodes the JPEG file at `path`. Never throws for what the file
// holds; a file that cannot be opened or read is reported in `error` too.
JpegPicture ReadJpeg(env::Env& env, const std::string& path);
// Reads and decodes the JPEG picture in an open file, from its start; `name`
// is the file the error names. What is checked is this file, whatever its
// name stands for meanwhile.
JpegPicture ReadJpeg(env::File& file, const std::string& name);
// Reads only the header of the picture in an open file: whether it is a
// JPEG picture of a size the system takes, and whether its data end after
// the scan begins (the last 64 KiB of the file looked at for the end of
// image), without decoding the picture, so that thousands of pictures are
// checked in moments. The preview stays empty; `name` is the file the
// error names.
JpegPicture ReadJpegHeader(env::File& file, const std::string& name);
// The same for bytes in memory; `name` is the file the error names.
JpegPicture DecodeJpeg(const uint8_t* data, size_t size, const std::string& name);

}  // namespace platform::ui
