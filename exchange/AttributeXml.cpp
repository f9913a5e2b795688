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
  Reader(const std::string& file, bool with_fields) : file_(file), with_fields_(with_fields) {}

  void Start(int depth, const std::string& name, const platform::xml::Attributes& a) override {
    if (depth == 1 && name == kObject) {
      ++number_;
      const std::string* kennung = platform::xml::Find(a, "Kennung");
      if (!kennung || kennung->empty()) {
        throw platform::xml::XmlError("Das Objekt " + std::to_string(number_) +
                                      " der Attributdatei " + file_ + " hat keine Kennung.");
      }
      Object& object = objects.emplace_back();
      object.Kennung = *kennung;
      object.Klasse = NumberOr(platform::xml::Find(a, "Klasse"), 0);
      object.Typ = NumberOr(platform::xml::Find(a, "Typ"), 0);
      object.id = NumberOr(platform::xml::Find(a, "KARTULID"), 0);
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
    } else if (depth == 2 && in_object_ && with_fields_ && name == kField) {
      objects.back().fields.emplace_back(field_, text);
    }
  }

  std::vector<Object> objects;

 private:
  const std::string& file_;
  bool with_fields_;
  bool in_object_ = false;
  size_t number_ = 0;
  std::string field_;
};

}  // namespace

std::vector<Object> ReadObjects(std::string_view xml, const std::string& file, bool with_fields) {
  Reader reader(file, with_fields);
  platform::xml::Walk(xml, file, reader);
  return std::move(reader.objects);
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
