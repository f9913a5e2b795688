// JPEG fixtures that tests write themselves with libjpeg: real pictures of a
// chosen size and pattern, and the damaged forms the picture loader must
// refuse (a size claimed in the header that the data does not hold).
#pragma once

#include <string>

namespace testsupport {

// An RGB JPEG of the size. seed 0 is one flat grey; another seed draws a
// gradient with noise from that seed, which compresses badly and so makes
// large files at small sizes.
std::string EncodeJpeg(int width, int height, unsigned seed = 0, int quality = 90,
                       bool progressive = false);
void WriteJpegFile(const std::string& path, int width, int height, unsigned seed = 0,
                   int quality = 90);
// The picture with its frame header claiming another size (the data stay).
std::string ClaimSize(std::string jpeg, int width, int height);
// The first bytes of a PNG file: another format under a .jpg name.
std::string PngBytes();

}  // namespace testsupport
