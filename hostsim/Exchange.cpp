// The host's file exchange: attribute files through the platform's XML
// parser (see Exchange.h); shapefiles in ShapelibGeodata.cpp.
#include "hostsim/Exchange.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "hostsim/Geometry.h"
#include "hostsim/PluginHost.h"
#include "hostsim/System.h"
#include "hostsim/Project.h"
#include "hostsim/TableCursors.h"
#include "platform/text/Encoding.h"
#include "platform/text/Markup.h"
#include "platform/text/Strings.h"
#include "platform/xml/Xml.h"

namespace fs = std::filesystem;

namespace hostsim {
namespace {

// ---- XML ---------------------------------------------------------------------

// An attribute file as the import takes it: the root element and its
// attributes, and the attributes and fields (name, if any, and text) of each
// <Objekt> under the root, read with the platform's XML parser.
struct XmlObject {
  platform::xml::Attributes attributes;
  std::vector<std::pair<std::optional<std::string>, std::string>> fields;
};

class AttributeFile : public platform::xml::Visitor {
 public:
  void Start(int depth, const std::string& name, const platform::xml::Attributes& a) override {
    if (depth == 0) {
      root = name;
      attributes = a;
    } else if (depth == 1 && name == "Objekt") {
      objects.push_back({a, {}});
      in_object_ = true;
    } else if (depth == 2 && in_object_ && name == "Feld") {
      const std::string* field = platform::xml::Find(a, "Name");
      field_ = field ? std::optional<std::string>(*field) : std::nullopt;
    }
  }
  void End(int depth, const std::string& name, const std::string& text) override {
    if (depth == 1 && name == "Objekt") {
      in_object_ = false;
    } else if (depth == 2 && in_object_ && name == "Feld") {
      objects.back().fields.emplace_back(field_, text);
    }
  }
  // The value of an attribute of the root, or `fallback`.
  std::string RootAttribute(std::string_view name, const std::string& fallback) const {
    const std::string* value = platform::xml::Find(attributes, name);
    return value ? *value : fallback;
  }

  std::string root;
  platform::xml::Attributes attributes;
  std::vector<XmlObject> objects;

 private:
  bool in_object_ = false;
  std::optional<std::string> field_;
};

}  // namespace

// ---------------------------------------------------------------------------

namespace {

std::vector<const GeoObject*> ObjectsToWrite(const Project& project, bool all_objects) {
  std::vector<const GeoObject*> out;
  for (int32_t id : all_objects ? project.ObjectIds() : project.Selection())
    if (const GeoObject* o = project.Find(id)) out.push_back(o);
  return out;
}

// A field text of an attribute file as the table cursors store it; nullopt
// (with a note) when it does not fit the field.
std::optional<std::string> FieldText(const FieldDef& def, const std::string& v,
                                     const std::string& true_text, const std::string& false_text,
                                     const std::function<void(const std::string&)>& note) {
  if (v.empty()) return std::nullopt;
  switch (def.type) {
    case FieldDef::Type::kBoolean: {
      std::optional<bool> b = v == true_text    ? std::optional<bool>(true)
                              : v == false_text ? std::optional<bool>(false)
                                                : ParseBool(v);
      if (!b) {
        note("\"" + v + "\" is no truth value; " + def.name + " left empty");
        return std::nullopt;
      }
      return *b ? kTrueText : kFalseText;
    }
    case FieldDef::Type::kInteger:
      try {
        return std::to_string(std::stoll(v));
      } catch (...) {
        note("\"" + v + "\" is no number; " + def.name + " left empty");
        return std::nullopt;
      }
    case FieldDef::Type::kText:
      break;
  }
  return std::string(platform::text::Utf8Prefix(v, static_cast<size_t>(def.width)));
}

}  // namespace

bool Exchange::ExportXml(const std::string& file, bool all_objects, bool with_empty_fields,
                         const std::string& true_text, const std::string& false_text) {
  if (!project_.IsOpen()) {
    plugin_.Note("XML export without a project");
    return false;
  }
  tables_.PostAll();
  const TableDef& linfos = *FindTable("linfos");
  std::ostringstream out;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KartulDaten Tabelle=\"linfos\" Wahr=\""
      << platform::text::XmlEscape(true_text) << "\" Falsch=\""
      << platform::text::XmlEscape(false_text) << "\">\n";
  const auto stored_rows = tables_.StoredRowsById(linfos);
  const std::vector<std::pair<const FieldDef*, std::optional<std::string>>> no_row;
  for (const GeoObject* o : ObjectsToWrite(project_, all_objects)) {
    const auto found = stored_rows.find(o->id);
    out << "  <Objekt Kennung=\"" << platform::text::XmlEscape(o->kennung) << "\" Klasse=\""
        << o->klasse << "\" Typ=\"" << static_cast<int>(o->typ) << "\" KARTULID=\"" << o->id
        << "\">\n";
    for (const auto& [f, stored] : found == stored_rows.end() ? no_row : found->second) {
      if (f->name == "KARTULID" || f->name == "KENNUNG") continue;
      std::string value;
      if (stored) {
        if (f->type == FieldDef::Type::kBoolean)
          value = *stored == kTrueText ? true_text : false_text;
        else
          value = *stored;
      } else if (!with_empty_fields) {
        continue;
      }
      out << "    <Feld Name=\"" << platform::text::XmlEscape(f->name) << "\">"
          << platform::text::XmlEscape(value) << "</Feld>\n";
    }
    out << "  </Objekt>\n";
  }
  out << "</KartulDaten>\n";
  std::string tmp = file + ".tmp";
  {
    std::ofstream f(sys::FilePath(tmp), std::ios::binary | std::ios::trunc);
    f << out.str();
    if (!f.flush()) {
      plugin_.Note("XML export: cannot write " + file);
      std::error_code ec;
      fs::remove(sys::FilePath(tmp), ec);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(sys::FilePath(tmp), sys::FilePath(file), ec);
  if (ec) {
    plugin_.Note("XML export: cannot write " + file + ": " + ec.message());
    return false;
  }
  return true;
}

bool Exchange::ImportXml(const std::string& file, bool create_missing) {
  if (!project_.IsOpen()) {
    plugin_.Note("XML import without a project");
    return false;
  }
  std::ifstream in(sys::FilePath(file), std::ios::binary);
  if (!in) {
    plugin_.Note("XML import: cannot read " + file);
    return false;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  AttributeFile xml;
  try {
    platform::xml::Walk(text, file, xml);
  } catch (const platform::xml::XmlError& e) {
    plugin_.Note("XML import: " + file + ": " + e.what());
    return false;
  }
  if (xml.root != "KartulDaten" || xml.RootAttribute("Tabelle", "") != "linfos") {
    plugin_.Note("XML import: " + file + " holds no linfos data");
    return false;
  }
  const std::string true_text = xml.RootAttribute("Wahr", "T");
  const std::string false_text = xml.RootAttribute("Falsch", "F");
  const TableDef& linfos = *FindTable("linfos");
  tables_.PostAll();

  Project::Batch batch(project_);
  std::map<std::string, int32_t> new_ids;  // the batch's objects join the project at its end
  for (const XmlObject& o : xml.objects) {
    const std::string* k = platform::xml::Find(o.attributes, "Kennung");
    if (!k || k->empty() || platform::text::Utf8Length(*k) > kMaxKennung ||
        !platform::text::FitsAnsi(*k)) {
      plugin_.Note("XML import: an object without a usable identifier; skipped");
      continue;
    }
    const std::string& kennung = *k;
    int32_t id = project_.IdOf(kennung);
    if (!id && new_ids.count(kennung)) id = new_ids[kennung];
    if (!id) {
      if (!create_missing) {
        plugin_.Note("XML import: no object " + kennung + "; skipped");
        continue;
      }
      int32_t klasse = 0;
      int typ = -1;
      try {
        const std::string* k_klasse = platform::xml::Find(o.attributes, "Klasse");
        const std::string* k_typ = platform::xml::Find(o.attributes, "Typ");
        klasse = std::stoi(k_klasse ? *k_klasse : "0");
        if (k_typ) typ = std::stoi(*k_typ);
      } catch (...) {
      }
      const ObjectClass* oc = project_.ClassById(klasse);
      if (!oc) {
        plugin_.Note("XML import: " + kennung + ": unknown object class " + std::to_string(klasse) +
                     "; skipped");
        continue;
      }
      TDrawTyp draw = IsObjectDrawTyp(typ) ? static_cast<TDrawTyp>(typ) : oc->typ;
      id = batch.Insert(klasse, draw, {}, kennung);
      new_ids[kennung] = id;
    }
    auto note = [&](const std::string& t) { plugin_.Note("XML import: " + kennung + ": " + t); };
    for (const auto& [name, value] : o.fields) {
      const FieldDef* def = nullptr;
      if (name)
        for (const auto& fd : linfos.fields)
          if (fd.name == *name) def = &fd;
      if (!def || def->name == "KARTULID" || def->name == "KENNUNG") {
        note("field " + (name ? *name : std::string("?")) + " skipped");
        continue;
      }
      tables_.StoreField(linfos, id, *def, FieldText(*def, value, true_text, false_text, note));
    }
  }
  batch.Commit();
  tables_.Reload();
  return true;
}

}  // namespace hostsim
