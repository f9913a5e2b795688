// Objects as the host's geodata and attribute files hold them, copied with
// only some of the objects: the import hands the host a copy of the
// package without the objects it keeps, and puts objects back from the
// snapshot the host exported before the import. The host loads whole files
// only; which objects it loads is decided by what the files hold.
//
// The geodata are the layers of one base name: base.shp and the layers the
// host writes beside it (base + "_" + a suffix of its own + ".shp"), each
// with its .shx and .dbf, found without regard to case.
//
// Errors: platform::geodata::GeodataError, platform::xml::XmlError and
// platform::env::EnvError, each naming the file.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ObjectFiles {

// The .shp files of the layers of `base` (a path without extension).
std::vector<std::string> LayersOf(const std::string& base);

// Copies the layers of `base` and the attribute file `xml` (may be empty)
// into `folder` under their own names, with only the objects whose
// identifier keep() takes. Answers the copy's base and attribute file.
struct Copy {
  std::string base;
  std::string xml;
};
Copy CopyObjects(const std::string& base, const std::string& xml, const std::string& folder,
                 const std::function<bool(const std::string& Kennung)>& keep);

}  // namespace ObjectFiles
