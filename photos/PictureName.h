// The names of pictures in the project's picture folder KTPhotos, as the
// catalogue's column PicFileName holds them. One rule decides whether a
// name can be a picture's: the import, the export, the photo dialog and the
// clean-up of a photo's last link all ask it, so a name one of them takes
// is never one another refuses, and none ever reaches outside the folder.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// The most characters PicFileName holds.
inline constexpr size_t kPicFileNameWidth = 50;

// A name of a file directly inside the picture folder that the catalogue
// can hold: not empty, at most kPicFileNameWidth characters, neither "."
// nor "..", and without a path delimiter of either platform or a NUL byte.
bool UsablePictureName(std::string_view name);

// The name of a picture taken in locally: "KTFoto" + n + ".jpg" with the
// smallest n from 1 up whose name `taken` does not hold. `taken` is asked
// the name in lower case, as Windows compares names without regard to case.
std::string KTFotoName(const std::function<bool(const std::string& lower)>& taken);
