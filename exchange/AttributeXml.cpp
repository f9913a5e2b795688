#include "exchange/AttributeXml.h"

#include <climits>

#include "platform/xml/Xml.h"

namespace AttributeXml {
namespace {

constexpr std::string_view kObject = "Objekt";
constexpr std::string_view kField = "Feld";

int32_t NumberOr(const std::string* text, int32_t fallback) {
  if (!text || text->empty() || text->size() > 11) return fallback;
  int64_t value = 0;
  size_t i = (*text)[0] == '-' ? 1 : 0;
  if (i == text->size()) return fallback;
  for (; i < text->size(); ++i) {
    const char c = (*text)[i];
    if (c < '0' || c > '9') return fallback;
    value = value * 10 + (c - '0');
  }
  if ((*text)[0] == '-') value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return fallback;
  return static_cast<int32_t>(value);
}

class Reader : public platform::xml::Visitor {
 public:
  Reader(const std::string& file, bool with_fields, const std::function<void(const Object&)>& each)
      : file_(file), with_fields_(with_fields), each_(each) {}

  void Start(int depth, const std::string& name, const platform::xml::Attributes& a) override {
    if (depth == 1 && name == kObject) {
      ++number_;
      const std::string* kennung = platform::xml::Find(a, "Kennung");
      if (!kennung || kennung->empty()) {
        throw platform::xml::XmlError("Das Objekt " + std::to_string(number_) +
                                      " der Attributdatei " + file_ + " hat keine Kennung.");
      }
      object_.Kennung = *kennung;
      object_.Klasse = NumberOr(platform::xml::Find(a, "Klasse"), 0);
      object_.Typ = NumberOr(platform::xml::Find(a, "Typ"), 0);
      object_.id = NumberOr(platform::xml::Find(a, "KARTULID"), 0);
      object_.fields.clear();
      in_object_ = true;
    } else if (depth == 2 && in_object_ && with_fields_ && name == kField) {
      const std::string* field = platform::xml::Find(a, "Name");
      field_ = field ? *field : std::string();
    }
  }
  // Without the fields, an object's elements need not be looked at.
  int Depth() const override { return with_fields_ ? -1 : 1; }

  void End(int depth, const std::string& name, const std::string& text) override {
    if (depth == 1 && name == kObject) {
      in_object_ = false;
      each_(object_);
    } else if (depth == 2 && in_object_ && with_fields_ && name == kField) {
      object_.fields.emplace_back(field_, text);
    }
  }

 private:
  const std::string& file_;
  bool with_fields_;
  const std::function<void(const Object&)>& each_;
  Object object_;
  bool in_object_ = false;
  size_t number_ = 0;
  std::string field_;
};

}  // namespace

void ForEachObject(std::string_view xml, const std::string& file, bool with_fields,
                   const std::function<void(const Object&)>& each) {
  Reader reader(file, with_fields, each);
  platform::xml::Walk(xml, file, reader);
}

std::vector<Object> ReadObjects(std::string_view xml, const std::string& file, bool with_fields) {
  std::vector<Object> objects;
  ForEachObject(xml, file, with_fields, [&](const Object& object) { objects.push_back(object); });
  return objects;
}

std::string KeepObjects(std::string_view xml, const std::string& file,
                        const std::function<bool(const std::string& Kennung)>& keep) {
  return platform::xml::WithoutRootChildren(
      xml, file, [&](const std::string& name, const platform::xml::Attributes& a) {
        if (name != kObject) return false;
        const std::string* kennung = platform::xml::Find(a, "Kennung");
        return !kennung || !keep(*kennung);
      });
}

}  // namespace AttributeXml
