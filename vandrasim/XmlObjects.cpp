// The attribute file's objects, read with the platform's XML parser: a
// damaged file must be told as such, not read in part, and markup inside a
// comment or a CDATA section is no object.
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/xml/Xml.h"
#include "vandrasim/PackageCheck.h"

namespace vandrasim {
namespace {

class Kennungen : public platform::xml::Visitor {
 public:
  void Start(int, const std::string& name, const platform::xml::Attributes& attributes) override {
    if (name != "Objekt") return;
    ++number_;
    const std::string* kennung = platform::xml::Find(attributes, "Kennung");
    if (!kennung)
      throw std::runtime_error("das Objekt " + std::to_string(number_) + " hat keine Kennung");
    found.push_back(*kennung);
  }
  void End(int, const std::string&, const std::string&) override {}

  std::vector<std::string> found;

 private:
  size_t number_ = 0;
};

}  // namespace

std::vector<std::string> XmlObjectKennungen(std::string_view text, const std::string& file) {
  Kennungen kennungen;
  platform::xml::Walk(text, file, kennungen);
  return std::move(kennungen.found);
}

}  // namespace vandrasim
