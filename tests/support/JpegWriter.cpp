#include "tests/support/JpegWriter.h"

#include <cstdio>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

namespace testsupport {

std::string EncodeJpeg(int width, int height, unsigned seed, int quality, bool progressive) {
  jpeg_compress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  std::mt19937 random(seed);
  std::vector<JSAMPLE> row(static_cast<size_t>(width) * 3, 128);
  while (info.next_scanline < info.image_height) {
    if (seed != 0) {
      const unsigned y = info.next_scanline;
      for (size_t x = 0; x < static_cast<size_t>(width); ++x) {
        const unsigned noise = random() % 96;
        row[x * 3] = static_cast<JSAMPLE>((x * 255 / static_cast<size_t>(width) + noise) % 256);
        row[x * 3 + 1] =
            static_cast<JSAMPLE>((y * 255 / static_cast<unsigned>(height) + noise) % 256);
        row[x * 3 + 2] = static_cast<JSAMPLE>((noise * 2 + seed) % 256);
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return out;
}

void WriteJpegFile(const std::string& path, int width, int height, unsigned seed, int quality) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << EncodeJpeg(width, height, seed, quality);
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::string ClaimSize(std::string jpeg, int width, int height) {
  // Markers from the start: FF xx, then a 2-byte length, until a frame
  // header (SOF0..SOF2) whose height and width follow its precision byte.
  size_t at = 2;
  while (at + 9 < jpeg.size()) {
    if (static_cast<unsigned char>(jpeg[at]) != 0xFF) break;
    const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
    const size_t length =
        static_cast<unsigned char>(jpeg[at + 2]) << 8 | static_cast<unsigned char>(jpeg[at + 3]);
    if (marker >= 0xC0 && marker <= 0xC2) {
      jpeg[at + 5] = static_cast<char>(height >> 8);
      jpeg[at + 6] = static_cast<char>(height & 0xFF);
      jpeg[at + 7] = static_cast<char>(width >> 8);
      jpeg[at + 8] = static_cast<char>(width & 0xFF);
      return jpeg;
    }
    at += 2 + length;
  }
  throw std::runtime_error("no frame header in the picture");
}

std::string PngBytes() {
  // Signature and header chunk of a 16 x 16 RGB picture.
  static constexpr char kHead[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0";
  return std::string(kHead, sizeof kHead - 1);
}

}  // namespace testsupport
