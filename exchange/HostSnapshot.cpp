#include "exchange/HostSnapshot.h"

#include <array>
#include <climits>
#include <memory>
#include <optional>
#include <unordered_set>

#include "context/PluginContext.h"
#include "host/HostApi.h"
#include "host/Tools.h"
#include "platform/db/Connection.h"
#include "platform/env/Env.h"
#include "transaction/TransActTools.h"
#include "transaction/TransactionStore.h"

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

std::string Utf8Of(uint32_t code) {
  std::string out;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

// The text of attribute `name` in a start tag, entities resolved; nothing
// when the tag has no such attribute.
std::optional<std::string> AttributeOf(std::string_view tag, std::string_view name) {
  size_t at = 0;
  while ((at = tag.find(name, at)) != std::string_view::npos) {
    const bool starts = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\t' ||
                                   tag[at - 1] == '\n' || tag[at - 1] == '\r');
    size_t after = at + name.size();
    while (after < tag.size() && tag[after] == ' ') ++after;
    if (!starts || after >= tag.size() || tag[after] != '=') {
      at += name.size();
      continue;
    }
    ++after;
    while (after < tag.size() && tag[after] == ' ') ++after;
    if (after >= tag.size() || (tag[after] != '"' && tag[after] != '\'')) return std::nullopt;
    const char quote = tag[after];
    const size_t end = tag.find(quote, after + 1);
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view raw = tag.substr(after + 1, end - after - 1);
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '&') {
        text += raw[i];
        continue;
      }
      const size_t semi = raw.find(';', i);
      if (semi == std::string_view::npos) {
        text += raw.substr(i);
        break;
      }
      const std::string_view entity = raw.substr(i + 1, semi - i - 1);
      if (entity == "amp") {
        text += '&';
      } else if (entity == "lt") {
        text += '<';
      } else if (entity == "gt") {
        text += '>';
      } else if (entity == "quot") {
        text += '"';
      } else if (entity == "apos") {
        text += '\'';
      } else if (entity.size() > 1 && entity[0] == '#') {
        uint32_t code = 0;
        const bool hex = entity[1] == 'x' || entity[1] == 'X';
        for (size_t k = hex ? 2 : 1; k < entity.size(); ++k) {
          const char c = entity[k];
          const int digit = c >= '0' && c <= '9'          ? c - '0'
                            : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                            : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                          : -1;
          if (digit < 0 || code > 0x10FFFF) {
            code = 0xFFFD;
            break;
          }
          code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
        }
        text += Utf8Of(code > 0x10FFFF ? 0xFFFD : code);
      } else {
        text += raw.substr(i, semi - i + 1);
      }
      i = semi;
    }
    return text;
  }
  return std::nullopt;
}

// A decimal number of an attribute; `fallback` when it is none.
int32_t NumberOr(const std::string& text, int32_t fallback) {
  if (text.empty() || text.size() > 11) return fallback;
  int64_t value = 0;
  size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return fallback;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return fallback;
    value = value * 10 + (text[i] - '0');
  }
  if (text[0] == '-') value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return fallback;
  return static_cast<int32_t>(value);
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
  ~ScratchFolder() {
    platform::env::Env& env = CurrentEnv();
    try {
      for (const std::string& name : env.ListFolder(path_)) env.Remove(path_ + "/" + name);
      env.RemoveFolder(path_);
      env.Remove(reservation_);
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

std::vector<XmlObject> XmlObjects(std::string_view xml, const std::string& file) {
  std::vector<XmlObject> objects;
  size_t at = 0;
  size_t number = 0;
  while ((at = xml.find("<Objekt", at)) != std::string_view::npos) {
    ++number;
    const size_t tag_end = xml.find('>', at);
    if (tag_end == std::string_view::npos) {
      throw SnapshotError("Die Attributdatei " + file + " endet im Objekt " +
                          std::to_string(number) + ".");
    }
    const std::string_view tag = xml.substr(at, tag_end - at);
    const std::optional<std::string> kennung = AttributeOf(tag, "Kennung");
    if (!kennung) {
      throw SnapshotError("Das Objekt " + std::to_string(number) + " der Attributdatei " + file +
                          " hat keine Kennung.");
    }
    const std::string klasse = AttributeOf(tag, "Klasse").value_or("");
    Hasher hasher;
    hasher.Add(klasse);
    size_t end = tag_end + 1;
    if (tag.empty() || tag.back() != '/') {
      end = xml.find("</Objekt>", tag_end);
      if (end == std::string_view::npos) {
        throw SnapshotError("Das Objekt \"" + *kennung + "\" der Attributdatei " + file +
                            " ist nicht abgeschlossen.");
      }
      // Each field by name and raw text; the host's object id is no
      // attribute of the object, it changes whenever the object is loaded.
      const std::string_view body = xml.substr(tag_end + 1, end - tag_end - 1);
      size_t f = 0;
      while ((f = body.find("<Feld", f)) != std::string_view::npos) {
        const size_t f_end = body.find('>', f);
        if (f_end == std::string_view::npos) break;
        const std::string_view f_tag = body.substr(f, f_end - f);
        const std::string name = AttributeOf(f_tag, "Name").value_or("");
        std::string_view value;
        size_t next = f_end + 1;
        if (f_tag.empty() || f_tag.back() != '/') {
          const size_t close = body.find("</Feld>", f_end);
          if (close == std::string_view::npos) break;
          value = body.substr(f_end + 1, close - f_end - 1);
          next = close + 7;
        }
        if (name != "KARTULID") {
          hasher.Add(name);
          hasher.Add(value);
        }
        f = next;
      }
      end += 9;
    }
    XmlObject& object = objects.emplace_back();
    object.Kennung = *kennung;
    object.Klasse = NumberOr(klasse, 0);
    object.Typ = NumberOr(AttributeOf(tag, "Typ").value_or(""), 0);
    object.id = NumberOr(AttributeOf(tag, "KARTULID").value_or(""), 0);
    object.attributes = hasher.Text();
    at = end;
  }
  return objects;
}

std::vector<HostObject> TakeSnapshot() {
  ScratchFolder scratch;
  const std::string base = scratch.Path() + "/" + std::string(kBase);
  {
    // The host's exports may post rows; those are no edits of the mapper's.
    ScopedFlag no_change_marks(State().blnDoNotSetChangeFlag);
    if (!host::ExportGeodaten(base + ".shp", 10, true, 0)) {
      throw SnapshotError("Die Geodaten des Projekts konnten nicht nach " + base +
                          ".shp exportiert werden.");
    }
    if (!host::ExportDataXML(base + ".xml", true, false)) {
      throw SnapshotError("Die Attributdaten des Projekts konnten nicht nach " + base +
                          ".xml exportiert werden.");
    }
  }
  platform::env::Env& env = CurrentEnv();
  std::vector<XmlObject> listed;
  try {
    listed = XmlObjects(platform::env::ReadFile(env, base + ".xml"), base + ".xml");
  } catch (const platform::env::EnvError& e) {
    throw SnapshotError("Die Datei " + base + ".xml kann nicht gelesen werden:\r" + e.what());
  }

  std::unique_ptr<platform::db::Connection> connection;
  try {
    connection = platform::db::Connection::Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                                                scratch.Path() + ";Extended Properties=DBASE III;");
  } catch (const DbError& e) {
    throw SnapshotError("Der Ordner " + scratch.Path() + " kann nicht geöffnet werden:\r" +
                        e.what());
  }
  std::unordered_map<std::string, size_t> attributes;  // identifier -> index in listed
  for (size_t i = 0; i < listed.size(); ++i) attributes.emplace(listed[i].Kennung, i);
  std::vector<bool> shaped(listed.size(), false);
  std::vector<HostObject> objects;
  objects.reserve(listed.size());
  for (const std::string_view layer : kLayers) {
    const std::string name = std::string(kBase) + std::string(layer);
    const std::string shp = scratch.Path() + "/" + name + ".shp";
    if (!env.Stat(shp)) continue;
    std::vector<std::string> records;
    try {
      records = ShapeRecords(platform::env::ReadFile(env, shp), shp);
    } catch (const platform::env::EnvError& e) {
      throw SnapshotError("Die Datei " + shp + " kann nicht gelesen werden:\r" + e.what());
    }
    const std::vector<LayerRow> rows =
        LayerRows(*connection, name, scratch.Path() + "/" + name + ".dbf");
    if (rows.size() != records.size()) {
      throw SnapshotError("Die Datei " + shp + " hat " + std::to_string(records.size()) +
                          " Formen, ihre Tabelle " + std::to_string(rows.size()) + " Zeilen.");
    }
    for (size_t i = 0; i < rows.size(); ++i) {
      HostObject& object = objects.emplace_back();
      object.id = rows[i].id;
      object.Kennung = rows[i].Kennung;
      object.Klasse = rows[i].Klasse;
      object.Typ = rows[i].Typ;
      Hasher geometry;
      geometry.Add(std::to_string(rows[i].Typ));
      geometry.Add(records[i]);
      object.geometry = geometry.Text();
      const auto found = attributes.find(rows[i].Kennung);
      if (found == attributes.end()) {
        object.attributes = HashOf("");
      } else {
        object.attributes = listed[found->second].attributes;
        shaped[found->second] = true;
      }
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
  return objects;
}

// ---- TA_FP -------------------------------------------------------------------------

std::string FingerprintTablePath() {
  return TransactionStore::Current().TablePath("TA_FP");
}

bool FingerprintTableExists() {
  return TransactionStore::Current().TableExists("TA_FP");
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
  TransactionStore::Current().StoreFingerprints(replaced, rows);
}

std::unordered_map<std::string, Stored> ReadFingerprints() {
  std::unordered_map<std::string, Stored> rows;
  try {
    for (FingerprintRow& row : TransactionStore::Current().ReadFingerprints()) {
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
