#include "photos/PictureName.h"

#include "platform/env/Path.h"
#include "platform/text/Encoding.h"

bool UsablePictureName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && !platform::env::HoldsAnySeparator(name) &&
         name.find('\0') == std::string_view::npos &&
         platform::text::Utf8Length(name) <= kPicFileNameWidth;
}

std::string KTFotoName(const std::function<bool(const std::string& lower)>& taken) {
  int64_t n = 1;
  while (taken("ktfoto" + std::to_string(n) + ".jpg")) ++n;
  return "KTFoto" + std::to_string(n) + ".jpg";
}
