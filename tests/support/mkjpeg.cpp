// Writes JPEG fixtures for the scenarios, so that no picture file is taken
// from elsewhere:
//
//   mkjpeg <path> <width> <height> [seed]   a real picture (seed 0: flat grey)
//   mkjpeg <path> claim <width> <height>    a small picture whose header claims the size
//   mkjpeg <path> cut <width> <height>      a real picture cut off in the middle
//   mkjpeg <path> png                       the beginning of a PNG file
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "tests/support/JpegWriter.h"

int main(int argc, char** argv) {
  try {
    if (argc < 3) throw std::runtime_error("usage: mkjpeg <path> <width> <height> [seed]");
    const std::string path = argv[1];
    const std::string what = argv[2];
    std::string bytes;
    if (what == "png") {
      bytes = testsupport::PngBytes();
    } else if ((what == "claim" || what == "cut") && argc == 5) {
      const int w = std::stoi(argv[3]);
      const int h = std::stoi(argv[4]);
      if (what == "claim") {
        bytes = testsupport::ClaimSize(testsupport::EncodeJpeg(16, 16), w, h);
      } else {
        bytes = testsupport::EncodeJpeg(w, h, 7);
        bytes.resize(bytes.size() / 2);
      }
    } else if (argc == 4 || argc == 5) {
      bytes = testsupport::EncodeJpeg(std::stoi(argv[2]), std::stoi(argv[3]),
                                      argc == 5 ? static_cast<unsigned>(std::stoul(argv[4])) : 0);
    } else {
      throw std::runtime_error("usage: mkjpeg <path> <width> <height> [seed]");
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "mkjpeg: " << e.what() << "\n";
    return 2;
  }
}
