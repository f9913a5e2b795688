#include "exchange/HostSnapshot.h"

#include <array>
#include <cstring>
#include <memory>
#include <unordered_set>

#include "context/PluginContext.h"
#include "exchange/AttributeXml.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "platform/db/Connection.h"
#include "platform/env/Env.h"
#include "platform/env/Path.h"
#include "platform/xml/Xml.h"
#include "transaction/TransActTools.h"

using platform::db::DbError;
using platform::db::Query;
using platform::db::SqlText;

namespace HostSnapshot {
namespace {

// The layers of the host's geodata export, as it names them after the base.
constexpr std::array<std::string_view, 4> kLayers = {"", "_lin", "_pkt", "_mpt"};
constexpr std::string_view kBase = "objekte";
constexpr size_t kShapeHeader = 100;

platform::env::Env& CurrentEnv() {
  return platform::env::Env::Current();
}

uint32_t BigEndian32(std::string_view bytes, size_t at) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

// FNV-1a over several parts, each ended by a zero byte so that the parts'
// borders count.
class Hasher {
 public:
  void Add(std::string_view bytes) {
    for (const char c : bytes) Byte(static_cast<unsigned char>(c));
    Byte(0);
  }
  uint64_t Value() const { return hash_; }
  Fingerprint Text() const {
    static constexpr char kDigits[] = "0123456789abcdef";
    Fingerprint text(16, '0');
    for (int i = 15; i >= 0; --i)
      text[static_cast<size_t>(i)] = kDigits[(hash_ >> (4 * (15 - i))) & 0xF];
    return text;
  }

 private:
  void Byte(unsigned char b) {
    hash_ ^= b;
    hash_ *= 0x100000001b3ULL;
  }
  uint64_t hash_ = 0xcbf29ce484222325ULL;
};

// A field's text in the form the host's attribute export writes it: "&",
// "<", ">" and the carriage return as references, all else as it is.
// Fingerprints were first taken from the file's text as it stood, so those
// stored by earlier imports still compare; and the same value written as a
// CDATA section or with other references gives the same fingerprint.
void AddAsWritten(Hasher& hasher, std::string_view value, std::string& buffer) {
  if (value.find_first_of("&<>\r") == std::string_view::npos) {
    hasher.Add(value);
    return;
  }
  buffer.clear();
  for (const char c : value) {
    switch (c) {
      case '&':
        buffer += "&amp;";
        break;
      case '<':
        buffer += "&lt;";
        break;
      case '>':
        buffer += "&gt;";
        break;
      case '\r':
        buffer += "&#13;";
        break;
      default:
        buffer += c;
    }
  }
  hasher.Add(buffer);
}

// A folder of its own in the project folder for the host's two exports,
// removed with everything in it when the snapshot is done.
class ScratchFolder {
 public:
  ScratchFolder() {
    platform::env::Env& env = CurrentEnv();
    const std::string project = Tools::MyGetProjectDir();
    if (project.empty()) throw SnapshotError("Es ist kein Projekt geöffnet.");
    // A unique name: the temporary file reserves it, the folder takes it
    // with a suffix of its own.
    std::unique_ptr<platform::env::File> reserved = env.CreateTemporary(project, "~vorpruefung.");
    reservation_ = reserved->Path();
    reserved.reset();
    path_ = reservation_ + ".d";
    env.CreateFolder(path_);
  }
  // A folder of the caller's own, made and removed again.
  explicit ScratchFolder(const std::string& path) : path_(path) {
    platform::env::Env& env = CurrentEnv();
    if (!env.Stat(path_)) env.CreateFolder(path_);
  }
  ~ScratchFolder() {
    platform::env::Env& env = CurrentEnv();
    try {
      for (const std::string& name : env.ListFolder(path_))
        env.Remove(platform::env::JoinPath(path_, name));
      env.RemoveFolder(path_);
      if (!reservation_.empty()) env.Remove(reservation_);
    } catch (const std::exception&) {
      // A leftover folder does no harm; the next snapshot takes another name.
    }
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string reservation_;
  std::string path_;
};

// The rows of one layer's table: identifier, class, type, object id.
struct LayerRow {
  std::string Kennung;
  int32_t Klasse = 0;
  int32_t Typ = 0;
  int32_t id = 0;
};

std::vector<LayerRow> LayerRows(platform::db::Connection& connection, const std::string& table,
                                const std::string& file) {
  std::vector<LayerRow> rows;
  try {
    Query query(connection, "select KENNUNG,KLASSE,TYP,KARTULID from " + table);
    for (; !query.Eof(); query.Next()) {
      LayerRow& row = rows.emplace_back();
      row.Kennung = query.AsString(0);
      row.Klasse = query.IsNull(1) ? 0 : query.AsInt32(1);
      row.Typ = query.IsNull(2) ? 0 : query.AsInt32(2);
      row.id = query.IsNull(3) ? 0 : query.AsInt32(3);
    }
  } catch (const DbError& e) {
    throw SnapshotError("Die Geodaten des Hosts " + file + " können nicht gelesen werden:\r" +
                        e.what());
  }
  return rows;
}

}  // namespace

Fingerprint HashOf(std::string_view bytes) {
  Hasher hasher;
  hasher.Add(bytes);
  return hasher.Text();
}

Print PrintOf(std::string_view bytes) {
  Hasher hasher;
  hasher.Add(bytes);
  return hasher.Value();
}

Print ValueOf(const Fingerprint& fingerprint) {
  if (fingerprint.size() != 16) return 0;
  Print value = 0;
  for (const char c : fingerprint) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return 0;
    value = (value << 4) | static_cast<Print>(digit);
  }
  return value;
}

ShapeSummary SummaryOf(std::string_view record) {
  const auto le32 = [&record](size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
      v |= static_cast<uint32_t>(static_cast<unsigned char>(record[at + i])) << (8 * i);
    return v;
  };
  const auto le64 = [&record](size_t at) {
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i)
      v |= static_cast<uint64_t>(static_cast<unsigned char>(record[at + i])) << (8 * i);
    double d;
    std::memcpy(&d, &v, sizeof d);
    return d;
  };
  ShapeSummary summary;
  if (record.size() < 4) return summary;
  const uint32_t type = le32(0) % 10;  // Z and M kinds share the layout's start
  if (type == 1) {
    summary.vertices = 1;
    return summary;
  }
  if ((type != 3 && type != 5 && type != 8) || record.size() < 40) return summary;
  if (type == 8) {
    const uint64_t points = le32(36);
    if (points <= (record.size() - 40) / 16) summary.vertices = static_cast<int32_t>(points);
    return summary;
  }
  const uint64_t parts = le32(36), points = le32(40);
  if (record.size() < 44 || parts > (record.size() - 44) / 4 ||
      points > (record.size() - 44 - 4 * parts) / 16) {
    return summary;
  }
  summary.vertices = static_cast<int32_t>(points);
  if (type != 5) return summary;
  const size_t at = 44 + 4 * static_cast<size_t>(parts);
  double twice = 0;
  for (uint64_t p = 0; p < parts; ++p) {
    const uint64_t first = le32(44 + 4 * static_cast<size_t>(p));
    const uint64_t end = p + 1 < parts ? le32(44 + 4 * static_cast<size_t>(p + 1)) : points;
    for (uint64_t i = first; i + 1 < end && end <= points; ++i) {
      const size_t a = at + 16 * static_cast<size_t>(i), b = a + 16;
      twice += le64(a) * le64(b + 8) - le64(b) * le64(a + 8);
    }
  }
  summary.area = twice < 0 ? -twice / 2 : twice / 2;
  return summary;
}

std::vector<std::string> ShapeRecords(std::string_view bytes, const std::string& file) {
  if (bytes.size() < kShapeHeader || BigEndian32(bytes, 0) != 9994) {
    throw SnapshotError("Die Datei " + file + " ist keine Shape-Datei.");
  }
  std::vector<std::string> records;
  size_t at = kShapeHeader;
  while (at < bytes.size()) {
    const size_t number = records.size() + 1;
    if (bytes.size() - at < 8) {
      throw SnapshotError("Die Datei " + file + " endet im Kopf des Datensatzes " +
                          std::to_string(number) + ".");
    }
    const size_t length = static_cast<size_t>(BigEndian32(bytes, at + 4)) * 2;
    if (bytes.size() - at - 8 < length) {
      throw SnapshotError("Die Datei " + file + " endet im Datensatz " + std::to_string(number) +
                          ".");
    }
    records.emplace_back(bytes.substr(at + 8, length));
    at += 8 + length;
  }
  return records;
}

namespace {

// One pass over an attribute file: every object's print into `objects`
// (when given), and the per-field prints of those `wanted` takes into
// `fields` (when given). The file is parsed once whatever is asked.
void ReadXml(std::string_view xml, const std::string& file, std::vector<XmlObject>* objects,
             const std::function<bool(const std::string&)>& wanted, bool with_values,
             std::vector<FieldPrints>* fields) {
  std::string buffer;
  try {
    AttributeXml::ForEachObject(xml, file, true, [&](const AttributeXml::Object& read) {
      if (objects) {
        Hasher hasher;
        hasher.Add(std::to_string(read.Klasse));
        for (const auto& [name, value] : read.fields) {
          // The host's object id is no attribute of the object: it changes
          // whenever the object is loaded.
          if (name == "KARTULID") continue;
          hasher.Add(name);
          AddAsWritten(hasher, value, buffer);
        }
        XmlObject& object = objects->emplace_back();
        object.Kennung = read.Kennung;
        object.Klasse = read.Klasse;
        object.Typ = read.Typ;
        object.id = read.id;
        object.attributes = hasher.Text();
      }
      if (!fields || !wanted || !wanted(read.Kennung)) return;
      FieldPrints& object = fields->emplace_back();
      object.Kennung = read.Kennung;
      object.Klasse = read.Klasse;
      object.fields.reserve(read.fields.size());
      for (const auto& [name, value] : read.fields) {
        if (name == "KARTULID") continue;
        Hasher hasher;
        AddAsWritten(hasher, value, buffer);
        object.fields.emplace_back(name, hasher.Value());
        if (with_values) object.values.push_back(value);
      }
    });
  } catch (const platform::xml::XmlError& e) {
    throw SnapshotError(e.what());
  }
}

}  // namespace

std::vector<XmlObject> XmlObjects(std::string_view xml, const std::string& file) {
  std::vector<XmlObject> objects;
  ReadXml(xml, file, &objects, nullptr, false, nullptr);
  return objects;
}

std::vector<FieldPrints> XmlFieldPrints(std::string_view xml, const std::string& file,
                                        const std::function<bool(const std::string&)>& wanted,
                                        bool with_values) {
  std::vector<FieldPrints> objects;
  ReadXml(xml, file, nullptr, wanted, with_values, &objects);
  return objects;
}

ExportRefused ExportProject(const std::string& base) {
  const context::NoChangeMarks no_change_marks;
  if (!host::ExportGeodaten(base + ".shp", 10, true, 0)) return ExportRefused::kGeodata;
  if (!host::ExportDataXML(base + ".xml", true, false)) return ExportRefused::kAttributes;
  return ExportRefused::kNone;
}

std::vector<ShapePrint> GeometryPrints(const std::string& folder,
                                       const std::vector<std::string>& layers) {
  std::vector<ShapePrint> shapes;
  if (layers.empty()) return shapes;
  std::unique_ptr<platform::db::Connection> connection;
  try {
    connection =
        platform::db::Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder +
                                       ";Extended Properties=DBASE III;");
  } catch (const DbError& e) {
    throw SnapshotError("Der Ordner " + folder + " kann nicht geöffnet werden:\r" + e.what());
  }
  platform::env::Env& env = CurrentEnv();
  for (const std::string& name : layers) {
    const std::string shp = platform::env::JoinPath(folder, name + ".shp");
    std::vector<std::string> records;
    try {
      records = ShapeRecords(platform::env::ReadFile(env, shp), shp);
    } catch (const platform::env::EnvError& e) {
      throw SnapshotError("Die Datei " + shp + " kann nicht gelesen werden:\r" + e.what());
    }
    const std::vector<LayerRow> rows =
        LayerRows(*connection, name, platform::env::JoinPath(folder, name + ".dbf"));
    if (rows.size() != records.size()) {
      throw SnapshotError("Die Datei " + shp + " hat " + std::to_string(records.size()) +
                          " Formen, ihre Tabelle " + std::to_string(rows.size()) + " Zeilen.");
    }
    for (size_t i = 0; i < rows.size(); ++i) {
      ShapePrint& shape = shapes.emplace_back();
      shape.id = rows[i].id;
      shape.Kennung = rows[i].Kennung;
      shape.Klasse = rows[i].Klasse;
      shape.Typ = rows[i].Typ;
      Hasher geometry;
      geometry.Add(std::to_string(rows[i].Typ));
      geometry.Add(records[i]);
      shape.geometry = geometry.Text();
      shape.shape = SummaryOf(records[i]);
    }
  }
  return shapes;
}

std::vector<HostObject> TakeSnapshot() {
  return TakeSnapshot(nullptr).objects;
}

Snapshot TakeSnapshot(const std::function<bool(const std::string&)>& fields_wanted,
                      const std::string& folder, bool with_values) {
  Snapshot snapshot;
  const std::unique_ptr<ScratchFolder> made =
      folder.empty() ? std::make_unique<ScratchFolder>() : std::make_unique<ScratchFolder>(folder);
  const ScratchFolder& scratch = *made;
  const std::string base = platform::env::JoinPath(scratch.Path(), std::string(kBase));
  switch (ExportProject(base)) {
    case ExportRefused::kGeodata:
      throw SnapshotError("Die Geodaten des Projekts konnten nicht nach " + base +
                          ".shp exportiert werden.");
    case ExportRefused::kAttributes:
      throw SnapshotError("Die Attributdaten des Projekts konnten nicht nach " + base +
                          ".xml exportiert werden.");
    case ExportRefused::kNone:
      break;
  }
  platform::env::Env& env = CurrentEnv();
  std::vector<XmlObject> listed;
  try {
    const std::string xml = platform::env::ReadFile(env, base + ".xml");
    ReadXml(xml, base + ".xml", &listed, fields_wanted, with_values, &snapshot.fields);
  } catch (const platform::env::EnvError& e) {
    throw SnapshotError("Die Datei " + base + ".xml kann nicht gelesen werden:\r" + e.what());
  }

  std::unordered_map<std::string, size_t> attributes;  // identifier -> index in listed
  for (size_t i = 0; i < listed.size(); ++i) attributes.emplace(listed[i].Kennung, i);
  std::vector<bool> shaped(listed.size(), false);
  std::vector<HostObject>& objects = snapshot.objects;
  objects.reserve(listed.size());
  std::vector<std::string> layers;
  for (const std::string_view layer : kLayers) {
    const std::string name = std::string(kBase) + std::string(layer);
    if (env.Stat(platform::env::JoinPath(scratch.Path(), name + ".shp"))) layers.push_back(name);
  }
  for (ShapePrint& shape : GeometryPrints(scratch.Path(), layers)) {
    HostObject& object = objects.emplace_back();
    object.id = shape.id;
    object.Kennung = std::move(shape.Kennung);
    object.Klasse = shape.Klasse;
    object.Typ = shape.Typ;
    object.geometry = std::move(shape.geometry);
    object.shape = shape.shape;
    const auto found = attributes.find(object.Kennung);
    if (found == attributes.end()) {
      object.attributes = HashOf("");
    } else {
      object.attributes = listed[found->second].attributes;
      shaped[found->second] = true;
    }
  }
  // Objects without a shape are objects all the same, with no geometry.
  for (size_t i = 0; i < listed.size(); ++i) {
    if (shaped[i]) continue;
    HostObject& object = objects.emplace_back();
    object.id = listed[i].id;
    object.Kennung = listed[i].Kennung;
    object.Klasse = listed[i].Klasse;
    object.Typ = listed[i].Typ;
    object.geometry = HashOf("");
    object.attributes = listed[i].attributes;
  }
  return snapshot;
}

// ---- TA_FP -------------------------------------------------------------------------

std::string FingerprintTablePath() {
  return TransActTools::FingerprintTablePath();
}

bool FingerprintTableExists() {
  return TransActTools::FingerprintTableExists();
}

void StoreFingerprints(const std::vector<std::pair<std::string, int32_t>>& kennungen,
                       const std::vector<HostObject>& snapshot) {
  std::unordered_map<std::string, const HostObject*> by_kennung;
  for (const HostObject& object : snapshot) by_kennung.emplace(object.Kennung, &object);
  std::vector<std::string> replaced;
  std::vector<FingerprintRow> rows;
  for (const auto& [K, TID] : kennungen) {
    replaced.push_back(K);
    const auto found = by_kennung.find(K);
    if (found == by_kennung.end()) continue;
    rows.push_back({TID, K, found->second->geometry, found->second->attributes});
  }
  TransActTools::StoreFingerprints(replaced, rows);
}

std::unordered_map<std::string, Stored> ReadFingerprints() {
  std::unordered_map<std::string, Stored> rows;
  try {
    for (FingerprintRow& row : TransActTools::ReadFingerprints()) {
      Stored& stored = rows[row.Kennung];
      stored.TID = row.TID;
      stored.geometry = std::move(row.Geometrie);
      stored.attributes = std::move(row.Attribute);
    }
  } catch (const DbError& e) {
    throw SnapshotError("Die Tabelle der Fingerabdrücke " + FingerprintTablePath() +
                        " kann nicht gelesen werden:\r" + e.what());
  }
  return rows;
}

}  // namespace HostSnapshot
